// The parameter editor's dialog, its property editor and their registration.
#include "design/ZtlPrmEd.h"

#include <array>
#include <utility>

#include "dataset/ZtlCustomDataset.h"
#include "dataset/ZtlDataset.h"
#include "framework/rtl/SysUtils.h"
#include "framework/widgets/Shell.h"

namespace ztl {
namespace {

// The names of TZantrelParamDataType, lowest value first.
constexpr std::array<const char*, ntBlob + 1> DataTypeNames = {
    "ntUnknown", "ntString", "ntInteger", "ntInt64",  "ntFloat",  "ntCurrency", "ntDate",
    "ntTime",    "ntDateTime", "ntBoolean", "ntBinary", "ntMemo", "ntBlob"};

} // namespace

void ZtlPrmEd::FillDataTypes(TComboBox& Box) {
  TStrings& Items = Box.GetItems();
  Items.Clear();
  for (const char* Name : DataTypeNames)
    Items.Add(Name);
}

// The list's own Assign copies the parameter each entry's name finds, which
// folds entries sharing a name into the first of them; the dialogs' copies
// and their ways back must keep every entry as it is.
void ZtlPrmEd::CopyEntries(const TZantrelParams& Source, TZantrelParams& Dest) {
  if (&Source == &Dest)
    return;
  Dest.Clear();
  for (int I = 0; I < Source.Count(); ++I)
    Dest.CreateParam()->AssignParam(Source.GetItem(I));
}

void ZtlPrmEd::ShowNames(const TZantrelParams* List, TListBox& Box) {
  TStrings& Items = Box.GetItems();
  Items.Clear();
  if (!List)
    return;
  for (int I = 0; I < List->Count(); ++I)
    Items.Add(List->GetItem(I)->GetName());
}

TZantrelParam* ZtlPrmEd::ParamAtLine(const TZantrelParams* List, const TListBox& Box) {
  const int Index = Box.GetItemIndex();
  if (!List || Index < 0 || Index >= List->Count())
    return nullptr;
  return List->GetItem(Index);
}

void ZtlPrmEd::SetCheckedQuietly(TCheckBox& Box, bool Value) {
  // Detached, the box has no handler that could raise out of SetChecked.
  TNotifyEvent Handler = std::move(Box.OnClick);
  Box.OnClick = nullptr;
  Box.SetChecked(Value);
  Box.OnClick = std::move(Handler);
}

bool ZtlPrmEd::AppendDefaultParam(TZantrelParams& List) {
  if (List.Count() >= TZantrelParamsDlg::MaxParams)
    return false;
  // The default name follows the count, not the names present: it may repeat
  // one after a Delete.
  List.CreateParam(Format("p%d", {List.Count() + 1}));
  return true;
}

void ZtlPrmEd::ShowParam(const TZantrelParam* Param, const TParamControls& C) {
  C.Name->SetText(Param ? Param->GetName() : "");
  C.DataType->SetItemIndex(Param ? Param->GetDataType() : -1);
  C.Value->SetText(Param && Param->GetDataType() != ntUnknown ? Param->GetAsString() : "");
  SetCheckedQuietly(*C.Null, Param && Param->IsNull());
}

void ZtlPrmEd::RenameSelected(TZantrelParams* List, const TParamControls& C) {
  TZantrelParam* Param = ParamAtLine(List, *C.List);
  if (!Param)
    return;
  // Written as typed: a name the list already holds, or none, is the
  // developer's to correct before OK.
  Param->SetName(C.Name->GetText());
  C.List->GetItems().SetStrings(C.List->GetItemIndex(), Param->GetName());
}

void ZtlPrmEd::SetSelectedDataType(TZantrelParams* List, const TParamControls& C) {
  TZantrelParam* Param = ParamAtLine(List, *C.List);
  const int Index = C.DataType->GetItemIndex();
  if (!Param || Index < 0 || Index > ntBlob)
    return;
  Param->SetDataType(static_cast<TZantrelParamDataType>(Index));
  C.Value->SetText("");
}

void ZtlPrmEd::StoreSelectedValue(TZantrelParams* List, const TParamControls& C,
                                  const std::string& OldValue) {
  const std::string Text = C.Value->GetText();
  if (Text == OldValue)
    return;
  TZantrelParam* Param = ParamAtLine(List, *C.List);
  if (!Param)
    return;
  Param->SetText(Text);
  SetCheckedQuietly(*C.Null, Param->IsNull());
}

void ZtlPrmEd::ApplyNullBox(TZantrelParams* List, const TParamControls& C) {
  TZantrelParam* Param = ParamAtLine(List, *C.List);
  if (!Param)
    return;
  if (C.Null->GetChecked())
    Param->Clear();
  else
    Param->SetText(C.Value->GetText());
  C.Value->SetText("");
}

bool ZtlPrmEd::DeleteSelected(TZantrelParams* List, const TParamControls& C) {
  TZantrelParam* Param = ParamAtLine(List, *C.List);
  if (!Param)
    return false;
  // A parameter leaves its list when it is destroyed.
  std::unique_ptr<TZantrelParam>{Param}.reset();
  return true;
}

// ---- TZantrelParamsDlg ------------------------------------------------------

TZantrelParamsDlg::TZantrelParamsDlg(TComponent* AOwner) : TForm(AOwner) {
  SetName("ZantrelParamsDlg");
  SetCaption("Parameters");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(400);
  SetClientHeight(240);
  CreateControls();
  OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
  OnDestroy = [this](TObject* Sender) { FormDestroy(Sender); };
  OnClose = [this](TObject* Sender, TCloseAction& Action) { FormClose(Sender, Action); };
  DoCreate();
}

TZantrelParamsDlg::~TZantrelParamsDlg() {
  DoDestroy();
}

void TZantrelParamsDlg::CreateControls() {
  gbParams = new TGroupBox(this);
  gbParams->SetName("gbParams");
  gbParams->SetParent(this);
  gbParams->SetCaption("Declare Parameters");
  gbParams->SetBounds(8, 8, 385, 177);

  // Every control below down to btnReset lives in the group box.
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

  lbParamNames = InGroup(new TListBox(this), "lbParamNames", 10, 38, 145, 129);
  lblParamNames = Label("lblParamNames", "&Parameter name:", 10, 18, lbParamNames);
  edParamName = InGroup(new TEdit(this), "edParamName", 232, 20, 143, 24);
  lblParamName = Label("lblParamName", "&Name:", 164, 24, edParamName);
  cbDataType = InGroup(new TComboBox(this), "cbDataType", 232, 50, 143, 24);
  lblDataType = Label("lblDataType", "&Data type:", 164, 54, cbDataType);
  edParamValue = InGroup(new TEdit(this), "edParamValue", 232, 80, 143, 24);
  lblParamValue = Label("lblParamValue", "&Value:", 164, 84, edParamValue);
  cbNull = InGroup(new TCheckBox(this), "cbNull", 232, 110, 143, 22);
  cbNull->SetCaption("&Null Value");
  btnNew = InGroup(new TButton(this), "btnNew", 164, 142, 67, 25);
  btnNew->SetCaption("New");
  btnDelete = InGroup(new TButton(this), "btnDelete", 236, 142, 67, 25);
  btnDelete->SetCaption("Delete");
  btnDelete->SetEnabled(false);
  btnReset = InGroup(new TButton(this), "btnReset", 308, 142, 67, 25);
  btnReset->SetCaption("Reset");

  const auto DialogButton = [this](const char* Name, const char* Caption, int Left) {
    auto* B = new TButton(this);
    B->SetName(Name);
    B->SetParent(this);
    B->SetCaption(Caption);
    B->SetBounds(Left, 200, 75, 25);
    return B;
  };
  btnOK = DialogButton("btnOK", "OK", 156);
  btnOK->SetDefault(true);
  btnOK->SetModalResult(mrOk);
  btnCancel = DialogButton("btnCancel", "Cancel", 237);
  btnCancel->SetCancel(true);
  btnCancel->SetModalResult(mrCancel);
  btnHelp = DialogButton("btnHelp", "&Help", 318);

  lbParamNames->OnClick = [this](TObject* Sender) { lbParamNamesClick(Sender); };
  edParamName->OnChange = [this](TObject* Sender) { edParamNameChange(Sender); };
  cbDataType->OnChange = [this](TObject* Sender) { cbDataTypeChange(Sender); };
  edParamValue->OnEnter = [this](TObject* Sender) { edParamValueEnter(Sender); };
  edParamValue->OnExit = [this](TObject* Sender) { edParamValueExit(Sender); };
  cbNull->OnClick = [this](TObject* Sender) { cbNullClick(Sender); };
  btnNew->OnClick = [this](TObject* Sender) { btnNewClick(Sender); };
  btnDelete->OnClick = [this](TObject* Sender) { btnDeleteClick(Sender); };
  btnReset->OnClick = [this](TObject* Sender) { btnResetClick(Sender); };
  btnHelp->OnClick = [this](TObject* Sender) { btnHelpClick(Sender); };
}

void TZantrelParamsDlg::FormCreate(TObject* /*Sender*/) {
  SavedParams = std::make_unique<TZantrelParams>();
  ZtlPrmEd::FillDataTypes(*cbDataType);
}

void TZantrelParamsDlg::FormDestroy(TObject* /*Sender*/) {
  SavedParams.reset();
}

void TZantrelParamsDlg::FormClose(TObject* /*Sender*/, TCloseAction& /*Action*/) {
  if (GetModalResult() != mrOk && EditedParams && SavedParams)
    ZtlPrmEd::CopyEntries(*SavedParams, *EditedParams);
}

void TZantrelParamsDlg::SetParams(TZantrelParams* Params) {
  EditedParams = Params;
  if (EditedParams)
    ZtlPrmEd::CopyEntries(*EditedParams, *SavedParams);
  else
    SavedParams->Clear();
  ShowParamList();
  SelectLine(0);
}

void TZantrelParamsDlg::ShowParamList() {
  ZtlPrmEd::ShowNames(EditedParams, *lbParamNames);
}

void TZantrelParamsDlg::SelectLine(int Index) {
  lbParamNames->SetItemIndex(Index);
  lbParamNamesClick(lbParamNames);
}

void TZantrelParamsDlg::CheckControlsEnabled(const TZantrelParam* Param) {
  const bool Present = Param != nullptr;
  btnDelete->SetEnabled(Present);
  edParamName->SetEnabled(Present);
  cbDataType->SetEnabled(Present);
  edParamValue->SetEnabled(Present);
  cbNull->SetEnabled(Present);
}

ZtlPrmEd::TParamControls TZantrelParamsDlg::Controls() const {
  return {lbParamNames, edParamName, cbDataType, edParamValue, cbNull};
}

TZantrelParam* TZantrelParamsDlg::SelectedParam() const {
  return ZtlPrmEd::ParamAtLine(EditedParams, *lbParamNames);
}

void TZantrelParamsDlg::lbParamNamesClick(TObject* /*Sender*/) {
  TZantrelParam* Param = SelectedParam();
  ZtlPrmEd::ShowParam(Param, Controls());
  CheckControlsEnabled(Param);
}

void TZantrelParamsDlg::edParamNameChange(TObject* /*Sender*/) {
  ZtlPrmEd::RenameSelected(EditedParams, Controls());
}

void TZantrelParamsDlg::cbDataTypeChange(TObject* /*Sender*/) {
  ZtlPrmEd::SetSelectedDataType(EditedParams, Controls());
}

void TZantrelParamsDlg::edParamValueEnter(TObject* /*Sender*/) {
  OldValue = edParamValue->GetText();
}

void TZantrelParamsDlg::edParamValueExit(TObject* /*Sender*/) {
  ZtlPrmEd::StoreSelectedValue(EditedParams, Controls(), OldValue);
}

void TZantrelParamsDlg::cbNullClick(TObject* /*Sender*/) {
  ZtlPrmEd::ApplyNullBox(EditedParams, Controls());
}

void TZantrelParamsDlg::btnNewClick(TObject* /*Sender*/) {
  if (!EditedParams || !ZtlPrmEd::AppendDefaultParam(*EditedParams))
    return;
  ShowParamList();
  SelectLine(EditedParams->Count() - 1);
}

void TZantrelParamsDlg::btnDeleteClick(TObject* /*Sender*/) {
  if (!ZtlPrmEd::DeleteSelected(EditedParams, Controls()))
    return;
  ShowParamList();
  SelectLine(0);
}

void TZantrelParamsDlg::btnResetClick(TObject* /*Sender*/) {
  if (!EditedParams)
    return;
  auto* Dataset = dynamic_cast<TZantrelDataset*>(EditedParams->GetOwner());
  if (!Dataset)
    return;
  // Raises for an open dataset before the list is touched; the designer
  // reports it.
  Dataset->ResetParamsList();
  ShowParamList();
  SelectLine(0);
}

void TZantrelParamsDlg::btnHelpClick(TObject* /*Sender*/) {
  HelpJump("Params_Property");
}

// ---- TZantrelParamsProperty -------------------------------------------------

TPropertyAttributes TZantrelParamsProperty::GetAttributes() const {
  return TPropertyAttributes{paDialog};
}

void TZantrelParamsProperty::Edit() {
  auto* Params = dynamic_cast<TZantrelParams*>(GetOrdValue());
  if (!Params)
    return;
  // The framework's application is no component, so the dialog has no
  // owner; the pointer frees it on every way out.
  const auto Dialog = std::make_unique<TZantrelParamsDlg>(nullptr);
  Dialog->SetCaption(Params->GetNamePath() + " Parameters");
  Dialog->SetParams(Params);
  if (Dialog->ShowModal() == mrOk)
    Modified();
}

void ZtlPrmEd::Register() {
  RegisterZantrelDatasetClasses();
  RegisterPropertyEditor(TypeInfo<TZantrelParams>(), ComponentClass<TZantrelCustomDataset>(),
                         "Params", PropertyEditorClass<TZantrelParamsProperty>());
}

} // namespace ztl
