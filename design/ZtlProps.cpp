// The file property editors.
#include "design/ZtlProps.h"

#include <memory>

#include "design/ZtlDirEd.h"
#include "framework/rtl/SysUtils.h"
#include "framework/widgets/Dialogs.h"

namespace ztl {
namespace {

// Runs the open dialog on Current with Filter; true with Chosen set to the
// chosen file's full path when the user confirms. The Windows patterns of
// the filters are translated by the dialog ("*.dll" offers shared libraries
// here, "*.*" every file).
bool ChooseFile(const std::string& Current, const std::string& Filter, std::string& Chosen) {
  const auto Dialog = std::make_unique<TOpenDialog>(nullptr);
  Dialog->SetFileName(Current);
  Dialog->SetFilter(Filter);
  Dialog->SetOptions(TOpenOptions{ofNoChangeDir, ofPathMustExist, ofFileMustExist});
  if (!Dialog->Execute())
    return false;
  Chosen = Dialog->GetFileName();
  return true;
}

constexpr TPropertyAttributes FileAttributes{paDialog, paRevertable};

} // namespace

TPropertyAttributes TZantrelDBFileProperty::GetAttributes() const {
  return FileAttributes;
}

void TZantrelDBFileProperty::Edit() {
  std::string Chosen;
  if (ChooseFile(GetValue(), "Databases (*.db)|*.db|All Files (*.*)|*.*", Chosen))
    SetValue(Chosen);
}

TPropertyAttributes TZantrelLibFileProperty::GetAttributes() const {
  return FileAttributes;
}

void TZantrelLibFileProperty::Edit() {
  std::string Chosen;
  if (ChooseFile(GetValue(), "Library Files (*.dll)|*.dll|All Files (*.*)|*.*", Chosen))
    SetValue(ExtractFileName(Chosen));
}

TPropertyAttributes TZantrelPathProperty::GetAttributes() const {
  return FileAttributes;
}

void TZantrelPathProperty::Edit() {
  const auto Dialog = std::make_unique<TZantrelPathDialog>(nullptr);
  Dialog->SetPath(GetValue());
  if (Dialog->ShowModal() == mrOk)
    SetValue(Dialog->Path);
}

} // namespace ztl
