// TDesignerWindow: ztl-designer's main window: the component palette of the
// loaded packages, the form's component tree, the object inspector, a grid
// of the selected dataset's rows, and the file commands.
#pragma once

#include <QMainWindow>

#include <memory>
#include <string>
#include <vector>

#include "package/ZtlPackageEntry.h"

class QLabel;
class QTabWidget;
class QTableView;
class QTreeWidget;
class QTreeWidgetItem;

namespace ztl {
class TComponent;
}

namespace ztl::designer {

class TDesignerDocument;
class TObjectInspector;
}

namespace ztl {
class TZtlDataSetModel;
}

namespace ztl::designer {

class TDesignerWindow : public QMainWindow {
public:
  // Interactive windows ask before losing changes and show errors in message
  // boxes; others (tests, screenshots) only keep the last error.
  explicit TDesignerWindow(bool AInteractive = true);
  ~TDesignerWindow() override;

  // Adds the palette page of a package (packages without components add
  // only their line to the package list).
  void AddPackage(const ZtlPackageInfo& Package);
  // Opens a form file; false (the error reported) when it cannot be read.
  bool OpenFile(const QString& FileName, const QString& AncestorFile = QString());
  bool SaveFile(const QString& FileName);

  TDesignerDocument& Document() { return *Doc; }
  TObjectInspector& Inspector() { return *InspectorView; }
  QTreeWidget& ComponentTree() { return *Tree; }
  QTableView& DataGrid() { return *Grid; }
  // The grid's model: the selected dataset's rows while it is open.
  TZtlDataSetModel& GridModel() { return *Rows; }
  // Selects a component in the tree (and so in the inspector).
  void Select(TComponent* Component);
  TComponent* Selected() const;
  // The palette's button for a class: adds a component of it.
  void AddComponent(const QString& ClassName);
  void DeleteSelected();
  // The context menu's entries for the selected component: the component
  // editor's verbs; running one by index.
  QStringList Verbs() const;
  void ExecuteVerb(int Index);

  const std::string& LastError() const { return Error; }
  const std::vector<std::string>& PackageLines() const { return Packages; }

protected:
  void closeEvent(QCloseEvent* Event) override;

private:
  void BuildMenus();
  void Rebuild();
  void UpdateTitle();
  void ShowGrid();
  // Whether unsaved changes may be dropped (asks in an interactive window).
  bool MayDiscard();
  void Report(const std::string& Message);

  bool Interactive;
  std::unique_ptr<TDesignerDocument> Doc;
  QTabWidget* Palette = nullptr;
  QTreeWidget* Tree = nullptr;
  TObjectInspector* InspectorView = nullptr;
  QTableView* Grid = nullptr;
  QLabel* GridCaption = nullptr;
  TZtlDataSetModel* Rows = nullptr;
  std::vector<std::string> Packages; // "Name: description" per package
  std::string Error;
  bool Rebuilding = false;
};

} // namespace ztl::designer
