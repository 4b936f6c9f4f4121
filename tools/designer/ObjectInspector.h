// TObjectInspector: the published properties of one component, each shown
// and edited through the property editor the registry picks for it.
//
// A row's value is typed (Enter commits), picked from a list (enumerations,
// booleans, value lists, and the form's components of a fitting class for a
// reference), or edited in a dialog through the ellipsis button (editors
// with paDialog, string lists in a text dialog). Persistent values unfold
// into their own properties. Revert puts a paRevertable property back to the
// ancestor's value. Events are shown by handler name.
#pragma once

#include <QTreeWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/designintf/DesignIntf.h"

namespace ztl::designer {

class TDesignerDocument;

class TObjectInspector : public QTreeWidget {
public:
  TObjectInspector(TDesignerDocument& ADocument, QWidget* Parent = nullptr);
  ~TObjectInspector() override;

  // Shows Component's properties (null: nothing).
  void Inspect(TComponent* Component);
  TComponent* Inspected() const { return Component; }
  // Re-reads every shown value, keeping the rows.
  void RefreshValues();

  // The row of a property by its dotted path ("SQL", "Params", "Options"),
  // or null.
  QTreeWidgetItem* FindRow(const QString& Path) const;
  // What the row's editor does when its text is committed: SetValue through
  // the property editor. Errors go to OnError; returns whether it took.
  bool CommitText(QTreeWidgetItem* Row, const QString& Text);
  // The ellipsis: the editor's Edit, or the string-list text dialog.
  void RunDialog(QTreeWidgetItem* Row);
  // Whether the row has an ellipsis, a value list, or can be reverted.
  bool HasDialog(QTreeWidgetItem* Row) const;
  QStringList ValueList(QTreeWidgetItem* Row) const;
  bool CanRevert(QTreeWidgetItem* Row) const;
  void Revert(QTreeWidgetItem* Row);

  // Reports an error of an edit (the designer shows it).
  std::function<void(const std::string&)> OnError;

private:
  struct TRow;
  TRow* RowOf(QTreeWidgetItem* Item) const;
  void AddRows(QTreeWidgetItem* Parent, TPersistent& Instance, const QString& PathPrefix, int Depth);
  void ShowValue(QTreeWidgetItem* Item);
  void Report(const std::string& Message);

  TDesignerDocument& Document;
  TComponent* Component = nullptr;
  std::vector<std::unique_ptr<TRow>> Rows; // item data (UserRole) is the index
};

} // namespace ztl::designer
