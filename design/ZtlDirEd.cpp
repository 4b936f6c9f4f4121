// The folder chooser.
#include "design/ZtlDirEd.h"

#include "framework/rtl/SysUtils.h"

namespace ztl {

TZantrelPathDialog::TZantrelPathDialog(TComponent* AOwner) : TForm(AOwner) {
  SetName("ZantrelPathDialog");
  SetCaption("Choose Folder");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(273);
  SetClientHeight(289);
  CreateControls();
}

void TZantrelPathDialog::CreateControls() {
  const auto Place = [this](auto* Control, const char* Name, int Left, int Top, int Width,
                            int Height) {
    Control->SetName(Name);
    Control->SetParent(this);
    Control->SetBounds(Left, Top, Width, Height);
    return Control;
  };
  const auto Label = [&](const char* Name, const char* Caption, int Top) {
    TLabel* L = Place(new TLabel(this), Name, 8, Top, 180, 16);
    L->SetCaption(Caption);
    return L;
  };

  Label1 = Label("Label1", "Location:", 8);
  edPath = Place(new TEdit(this), "edPath", 8, 48, 257, 24);
  Label2 = Label("Label2", "&Path:", 30);
  Label2->SetFocusControl(edPath);
  dlDirList = Place(new TDirectoryListBox(this), "dlDirList", 8, 98, 176, 133);
  Label3 = Label("Label3", "&Directories:", 80);
  Label3->SetFocusControl(dlDirList);
  dcDrive = Place(new TDriveComboBox(this), "dcDrive", 8, 257, 176, 24);
  Label4 = Label("Label4", "Dri&ves:", 239);
  Label4->SetFocusControl(dcDrive);

  btnOK = Place(new TButton(this), "btnOK", 192, 98, 73, 25);
  btnOK->SetCaption("OK");
  btnOK->SetDefault(true);
  btnOK->SetModalResult(mrOk);
  btnCancel = Place(new TButton(this), "btnCancel", 192, 130, 73, 25);
  btnCancel->SetCaption("Cancel");
  btnCancel->SetCancel(true);
  btnCancel->SetModalResult(mrCancel);

  dcDrive->OnChange = [this](TObject* Sender) { dcDriveChange(Sender); };
  dlDirList->OnChange = [this](TObject* Sender) { dlDirListChange(Sender); };
  edPath->OnChange = [this](TObject* Sender) { edPathChange(Sender); };
  // The list opens on the current directory before any of the handlers
  // were attached, so bring the edit and Path in step with it.
  dlDirListChange(dlDirList);
}

void TZantrelPathDialog::SetPath(const std::string& Value) {
  if (Trim(Value).empty())
    return;
  try {
    const std::string Dir = ExtractFileDir(Value);
    // A value without a directory part names no drive: treated as a
    // missing one rather than reading past an empty string.
    if (Dir.empty())
      throw EInOutError(Format(SDriveNotFound, {Value}));
    dcDrive->SetDrive(Dir[0]);
    dlDirList->SetDirectory(Value);
  } catch (...) {
    // The root of the current drive.
    dlDirList->SetDirectory("/");
  }
  dlDirList->Update();
}

void TZantrelPathDialog::dcDriveChange(TObject*) {
  dlDirList->SetDrive(dcDrive->GetDrive());
}

void TZantrelPathDialog::dlDirListChange(TObject*) {
  edPath->SetText(dlDirList->GetDirectory());
}

void TZantrelPathDialog::edPathChange(TObject*) {
  Path = edPath->GetText();
}

} // namespace ztl
