// The stored procedure parameter editor's dialog, its property editor and
// their registration.
#include "design/ZtlPrcEd.h"

#include <memory>

#include "dataset/ZtlStoredProc.h"
#include "framework/rtl/SysUtils.h"
#include "framework/widgets/Shell.h"

namespace ztl {
namespace {

// The direction box's items; an item's index is the direction's ordinal
// minus one, so nptUnknown shows no selection.
constexpr const char* ParamTypeNames[] = {"Input", "Input/Output", "Output", "Result"};

// Output and result parameters get their values from the server.
bool SendsValue(TZantrelParamType Type) {
  return Type < nptOutput;
}

} // namespace

// ---- TZantrelProcParamsDlg --------------------------------------------------

TZantrelProcParamsDlg::TZantrelProcParamsDlg(TComponent* AOwner) : TForm(AOwner) {
  SetName("ZantrelProcParamsDlg");
  SetCaption("ZantrelProcParamsDlg");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(400);
  SetClientHeight(264);
  CreateControls();
  OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
  DoCreate();
}

void TZantrelProcParamsDlg::CreateControls() {
  gbParams = new TGroupBox(this);
  gbParams->SetName("gbParams");
  gbParams->SetParent(this);
  gbParams->SetCaption("Declare Parameters");
  gbParams->SetBounds(8, 8, 385, 201);

  // Every control below down to btnDelete lives in the group box, made in
  // tab order.
  const auto InGroup = [this](auto* Control, const char* Name, int Left, int Top, int Width,
                              int Height) {
    Control->SetName(Name);
    Control->SetParent(gbParams);
    Control->SetBounds(Left, Top, Width, Height);
    return Control;
  };
  const auto Label = [&](const char* Name, const char* Caption, int Left, int Top,
                         TControl* Focus) {
    TLabel* L = InGroup(new TLabel(this), Name, Left, Top, 68, 16);
    L->SetCaption(Caption);
    L->SetFocusControl(Focus);
    return L;
  };

  lbParamNames = InGroup(new TListBox(this), "lbParamNames", 10, 38, 145, 153);
  lblParamNames = Label("lblParamNames", "&Parameter name:", 10, 18, lbParamNames);
  edParamName = InGroup(new TEdit(this), "edParamName", 262, 20, 113, 24);
  lblParamName = Label("lblParamName", "&Name:", 164, 24, edParamName);
  cbParamType = InGroup(new TComboBox(this), "cbParamType", 262, 50, 113, 24);
  lblParamType = Label("lblParamType", "&Parameter type:", 164, 54, cbParamType);
  lblParamType->SetBounds(164, 54, 96, 16); // the longest caption
  cbDataType = InGroup(new TComboBox(this), "cbDataType", 262, 80, 113, 24);
  lblDataType = Label("lblDataType", "&Data type:", 164, 84, cbDataType);
  edParamValue = InGroup(new TEdit(this), "edParamValue", 262, 110, 113, 24);
  lblParamValue = Label("lblParamValue", "&Value:", 164, 114, edParamValue);
  cbNull = InGroup(new TCheckBox(this), "cbNull", 262, 140, 113, 22);
  cbNull->SetCaption("&Null Value");
  btnNew = InGroup(new TButton(this), "btnNew", 236, 166, 67, 25);
  btnNew->SetCaption("New");
  btnDelete = InGroup(new TButton(this), "btnDelete", 308, 166, 67, 25);
  btnDelete->SetCaption("Delete");
  btnDelete->SetEnabled(false);

  const auto DialogButton = [this](const char* Name, const char* Caption, int Left) {
    auto* B = new TButton(this);
    B->SetName(Name);
    B->SetParent(this);
    B->SetCaption(Caption);
    B->SetBounds(Left, 224, 75, 25);
    return B;
  };
  btnOK = DialogButton("btnOK", "OK", 156);
  btnOK->SetDefault(true);
  btnOK->SetModalResult(mrOk);
  btnCancel = DialogButton("btnCancel", "Cancel", 237);
  btnCancel->SetCancel(true);
  btnCancel->SetModalResult(mrCancel);
  btnHelp = DialogButton("btnHelp", "&Help", 318);

  TStrings& Types = cbParamType->GetItems();
  for (const char* Name : ParamTypeNames)
    Types.Add(Name);

  lbParamNames->OnClick = [this](TObject* Sender) { lbParamNamesClick(Sender); };
  edParamName->OnChange = [this](TObject* Sender) { edParamNameChange(Sender); };
  cbParamType->OnChange = [this](TObject* Sender) { cbParamTypeChange(Sender); };
  cbDataType->OnChange = [this](TObject* Sender) { cbDataTypeChange(Sender); };
  edParamValue->OnEnter = [this](TObject* Sender) { edParamValueEnter(Sender); };
  edParamValue->OnExit = [this](TObject* Sender) { edParamValueExit(Sender); };
  cbNull->OnClick = [this](TObject* Sender) { cbNullClick(Sender); };
  btnNew->OnClick = [this](TObject* Sender) { btnNewClick(Sender); };
  btnDelete->OnClick = [this](TObject* Sender) { btnDeleteClick(Sender); };
  btnHelp->OnClick = [this](TObject* Sender) { btnHelpClick(Sender); };
}

void TZantrelProcParamsDlg::FormCreate(TObject* /*Sender*/) {
  ZtlPrmEd::FillDataTypes(*cbDataType);
}

void TZantrelProcParamsDlg::SetParams(TZantrelParams* Params) {
  EditedParams = Params;
  ShowParamList();
  SelectLine(0);
}

void TZantrelProcParamsDlg::ShowParamList() {
  ZtlPrmEd::ShowNames(EditedParams, *lbParamNames);
}

void TZantrelProcParamsDlg::SelectLine(int Index) {
  lbParamNames->SetItemIndex(Index);
  lbParamNamesClick(lbParamNames);
}

void TZantrelProcParamsDlg::CheckControlsEnabled(const TZantrelParam* Param) {
  const bool Present = Param != nullptr;
  const bool Free = ProcName.empty();
  btnNew->SetEnabled(Free);
  btnDelete->SetEnabled(Present && Free);
  edParamName->SetEnabled(Present);
  cbParamType->SetEnabled(Present);
  cbDataType->SetEnabled(Present);
  const bool Value = Present && SendsValue(Param->GetParamType());
  edParamValue->SetEnabled(Value);
  cbNull->SetEnabled(Value);
}

ZtlPrmEd::TParamControls TZantrelProcParamsDlg::Controls() const {
  return {lbParamNames, edParamName, cbDataType, edParamValue, cbNull};
}

TZantrelParam* TZantrelProcParamsDlg::SelectedParam() const {
  return ZtlPrmEd::ParamAtLine(EditedParams, *lbParamNames);
}

void TZantrelProcParamsDlg::lbParamNamesClick(TObject* /*Sender*/) {
  TZantrelParam* Param = SelectedParam();
  ZtlPrmEd::ShowParam(Param, Controls());
  cbParamType->SetItemIndex(Param ? static_cast<int>(Param->GetParamType()) - 1 : -1);
  CheckControlsEnabled(Param);
}

void TZantrelProcParamsDlg::edParamNameChange(TObject* /*Sender*/) {
  ZtlPrmEd::RenameSelected(EditedParams, Controls());
}

void TZantrelProcParamsDlg::cbParamTypeChange(TObject* /*Sender*/) {
  TZantrelParam* Param = SelectedParam();
  const int Index = cbParamType->GetItemIndex();
  if (!Param || Index < 0 || Index > nptResult - 1)
    return;
  // The value stays: choosing Input again brings it back as it was.
  Param->SetParamType(static_cast<TZantrelParamType>(Index + 1));
  edParamValue->SetEnabled(Index <= 1);
  cbNull->SetEnabled(Index <= 1);
}

void TZantrelProcParamsDlg::cbDataTypeChange(TObject* /*Sender*/) {
  ZtlPrmEd::SetSelectedDataType(EditedParams, Controls());
}

void TZantrelProcParamsDlg::edParamValueEnter(TObject* /*Sender*/) {
  OldValue = edParamValue->GetText();
}

void TZantrelProcParamsDlg::edParamValueExit(TObject* /*Sender*/) {
  ZtlPrmEd::StoreSelectedValue(EditedParams, Controls(), OldValue);
}

void TZantrelProcParamsDlg::cbNullClick(TObject* /*Sender*/) {
  ZtlPrmEd::ApplyNullBox(EditedParams, Controls());
}

void TZantrelProcParamsDlg::btnNewClick(TObject* /*Sender*/) {
  if (!EditedParams || !ZtlPrmEd::AppendDefaultParam(*EditedParams))
    return;
  ShowParamList();
  SelectLine(EditedParams->Count() - 1);
}

void TZantrelProcParamsDlg::btnDeleteClick(TObject* /*Sender*/) {
  if (!ZtlPrmEd::DeleteSelected(EditedParams, Controls()))
    return;
  ShowParamList();
  SelectLine(0);
}

void TZantrelProcParamsDlg::btnHelpClick(TObject* /*Sender*/) {
  HelpJump("Params_Property");
}

// ---- TZantrelProcParamsProperty ---------------------------------------------

TPropertyAttributes TZantrelProcParamsProperty::GetAttributes() const {
  return TPropertyAttributes{paDialog};
}

void TZantrelProcParamsProperty::Edit() {
  auto* Params = dynamic_cast<TZantrelParams*>(GetOrdValue());
  auto* Proc = dynamic_cast<TZantrelCustomStoredProc*>(GetComponent(0));
  if (!Params || !Proc)
    return;
  const auto Working = std::make_unique<TZantrelParams>();
  // May read the catalog; its errors leave here, before any dialog.
  Proc->CopyParams(Working.get());
  // The framework's application is no component, so the dialog has no
  // owner; it goes before the working list it edits.
  const auto Dialog = std::make_unique<TZantrelProcParamsDlg>(nullptr);
  Dialog->SetCaption(Working->GetNamePath() + " Parameters");
  Dialog->ProcName = Proc->GetStoredProcName();
  Dialog->SetParams(Working.get());
  if (Dialog->ShowModal() != mrOk)
    return;
  // Entry by entry, so that two entries of one name (New after a Delete)
  // both arrive as edited.
  ZtlPrmEd::CopyEntries(*Working, *Params);
  Modified();
}

void ZtlPrcEd::Register() {
  RegisterZantrelStoredProcClass();
  RegisterPropertyEditor(TypeInfo<TZantrelParams>(), ComponentClass<TZantrelCustomStoredProc>(),
                         "Params", PropertyEditorClass<TZantrelProcParamsProperty>());
}

} // namespace ztl
