// The designer's open form.
#include "tools/designer/DesignerDocument.h"

#include "framework/classes/TypInfo.h"
#include "framework/forms/DataModule.h"
#include "framework/rtl/SysUtils.h"

namespace ztl::designer {

TDesignerDocument::TDesignerDocument() {
  RegisterDataModuleClass();
  New();
}

TDesignerDocument::~TDesignerDocument() = default;

void TDesignerDocument::New() {
  auto Module = std::make_unique<TDataModule>(nullptr);
  Module->SetName("DataModule1");
  Root = std::move(Module);
  AncestorRoot.reset();
  FileName.clear();
  AncestorFile.clear();
  ModifiedFlag = false;
  Changed();
}

void TDesignerDocument::Open(const std::string& AFileName, const std::string& AAncestorFile) {
  std::unique_ptr<TComponent> NewRoot(AAncestorFile.empty()
                                          ? ReadComponentResFile(AFileName)
                                          : ReadInheritedComponentFiles({AAncestorFile, AFileName}));
  std::unique_ptr<TComponent> NewAncestor;
  if (!AAncestorFile.empty())
    NewAncestor.reset(ReadComponentResFile(AAncestorFile));
  Root = std::move(NewRoot);
  AncestorRoot = std::move(NewAncestor);
  FileName = AFileName;
  AncestorFile = AAncestorFile;
  ModifiedFlag = false;
  Changed();
}

void TDesignerDocument::SaveAs(const std::string& AFileName) {
  if (AFileName.empty())
    throw Exception("The form has no file name yet");
  WriteComponentResFile(AFileName, Root.get(), AncestorRoot.get());
  FileName = AFileName;
  ModifiedFlag = false;
  Changed();
}

TComponent* TDesignerDocument::FindAncestorComponent(const TComponent* Component) const {
  if (!AncestorRoot || !Component)
    return nullptr;
  if (Component == Root.get())
    return AncestorRoot.get();
  return AncestorRoot->FindComponent(Component->GetName());
}

std::vector<TComponent*> TDesignerDocument::Components() const {
  // The components the form file holds, as the writer walks them: a
  // dataset's own default fields are not the form's.
  std::vector<TComponent*> Result{Root.get()};
  for (std::size_t I = 0; I < Result.size(); ++I)
    Result[I]->GetChildren([&](TComponent* Child) { Result.push_back(Child); }, Root.get());
  return Result;
}

std::string TDesignerDocument::UniqueName(const std::string& ClassName) const {
  std::string Base = ClassName;
  if (Base.size() > 1 && (Base[0] == 'T' || Base[0] == 't'))
    Base.erase(0, 1);
  const auto All = Components();
  for (int N = 1;; ++N) {
    const std::string Candidate = Base + std::to_string(N);
    bool Taken = false;
    for (const TComponent* C : All)
      Taken = Taken || SameText(C->GetName(), Candidate);
    if (!Taken)
      return Candidate;
  }
}

TComponent* TDesignerDocument::AddComponent(const std::string& ClassName) {
  const TClassInfo& Info = GetClassInfoByName(ClassName);
  const std::string Name = UniqueName(Info.GetName());
  TComponent* Component = Info.Create(Root.get());
  try {
    Component->SetName(Name);
  } catch (...) {
    delete Component;
    throw;
  }
  Modified();
  return Component;
}

void TDesignerDocument::Rename(TComponent* Component, const std::string& NewName) {
  if (Component->GetName() == NewName)
    return;
  Component->SetName(NewName);
  Modified();
}

void TDesignerDocument::Delete(TComponent* Component) {
  if (!Component || Component == Root.get())
    throw Exception("The form itself cannot be deleted");
  delete Component;
  Modified();
}

void TDesignerDocument::Modified() {
  ModifiedFlag = true;
  Changed();
}

void TDesignerDocument::Changed() {
  if (OnChange)
    OnChange();
}

} // namespace ztl::designer
