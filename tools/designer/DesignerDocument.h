// TDesignerDocument: the form file a designer has open: its root component
// and everything the root owns, the file it came from (and the ancestor it
// inherits from), and whether it changed since it was read or saved.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/classes/Classes.h"
#include "framework/designintf/DesignIntf.h"

namespace ztl::designer {

class TDesignerDocument : public IDesigner {
public:
  TDesignerDocument();
  ~TDesignerDocument() override;
  TDesignerDocument(const TDesignerDocument&) = delete;
  TDesignerDocument& operator=(const TDesignerDocument&) = delete;

  // A new, empty data module named DataModule1.
  void New();
  // Reads FileName (inheriting from AncestorFile when not empty). On failure
  // the document keeps what it had and the reader's error propagates.
  void Open(const std::string& FileName, const std::string& AncestorFile = std::string());
  // Writes the form to FileName (only what differs from the ancestor for an
  // inherited form) and makes it the document's file.
  void SaveAs(const std::string& FileName);
  void Save() { SaveAs(FileName); }

  TComponent* GetRoot() const { return Root.get(); }
  // The ancestor's copy of Component (same name), or null.
  TComponent* FindAncestorComponent(const TComponent* Component) const;
  const std::string& GetFileName() const { return FileName; }
  bool IsModified() const { return ModifiedFlag; }

  // Every component of the form file, the root first, each before the
  // components it holds.
  std::vector<TComponent*> Components() const;
  // A component of ClassName owned by the root, named like the classic
  // designer does (the class name without its leading T, then the first
  // free number: ZantrelSQLiteQuery1). EClassNotFound for an unknown class.
  TComponent* AddComponent(const std::string& ClassName);
  // The first free name of that shape.
  std::string UniqueName(const std::string& ClassName) const;
  // Renames Component; the component's own check refuses bad or taken names.
  void Rename(TComponent* Component, const std::string& NewName);
  // Destroys Component; references to it become nil. The root is refused.
  void Delete(TComponent* Component);

  // IDesigner: something changed; the document is modified.
  void Modified() override;

  // Called after every change (Modified, New, Open, Save, adding, renaming
  // and deleting), so views can refresh.
  std::function<void()> OnChange;

private:
  void Changed();

  std::unique_ptr<TComponent> Root;
  std::unique_ptr<TComponent> AncestorRoot; // read once more from the ancestor file, for diffs
  std::string FileName;
  std::string AncestorFile;
  bool ModifiedFlag = false;
};

} // namespace ztl::designer
