// ZtlPrmEd: the designer's editor of a query's Params property, a dialog that
// declares and presets the parameters of the query's own list, and the
// registration that puts it behind the inspector's ellipsis button.
#pragma once

#include <memory>
#include <string>

#include "dataset/ZtlParams.h"
#include "framework/designintf/DesignIntf.h"
#include "framework/widgets/Controls.h"

namespace ztl {

namespace ZtlPrmEd {
struct TParamControls;
} // namespace ZtlPrmEd

// The modal dialog over one parameter list. It edits the list in place, so
// the query sees every change at once; closing it any way but OK puts back
// the copy taken when the list was given (SetParams).
//
// The selected parameter is the list's entry at the list box's selected
// line, whatever its name: a list may hold one name twice ("?" placeholders,
// a New after a Delete), and each line edits its own parameter.
class TZantrelParamsDlg : public TForm {
public:
  explicit TZantrelParamsDlg(TComponent* AOwner);
  ~TZantrelParamsDlg() override;

  // Makes Params (not owned; it must outlive the dialog) the list being
  // edited, keeps a copy of it for the way back, and shows its first entry.
  void SetParams(TZantrelParams* Params);
  TZantrelParams* GetEditedParams() const { return EditedParams; }

  // The controls, owned by the form; each widget's objectName is the field's
  // name.
  TGroupBox* gbParams;
  TLabel* lblParamNames;
  TListBox* lbParamNames;
  TLabel* lblParamName;
  TEdit* edParamName;
  TLabel* lblDataType;
  TComboBox* cbDataType;
  TLabel* lblParamValue;
  TEdit* edParamValue;
  TCheckBox* cbNull;
  TButton* btnNew;
  TButton* btnDelete;
  TButton* btnReset;
  TButton* btnOK;
  TButton* btnCancel;
  TButton* btnHelp;

  // The form's and the controls' event handlers.
  void FormCreate(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void lbParamNamesClick(TObject* Sender);
  void edParamNameChange(TObject* Sender);
  void cbDataTypeChange(TObject* Sender);
  void edParamValueEnter(TObject* Sender);
  void edParamValueExit(TObject* Sender);
  void cbNullClick(TObject* Sender);
  void btnNewClick(TObject* Sender);
  void btnDeleteClick(TObject* Sender);
  void btnResetClick(TObject* Sender);
  void btnHelpClick(TObject* Sender);

  // The most parameters New makes a list hold.
  static constexpr int MaxParams = 255;

private:
  void CreateControls();
  // Fills the list box with the names of EditedParams, in order.
  void ShowParamList();
  // Selects line Index and shows its parameter (none for -1).
  void SelectLine(int Index);
  // Enables the controls that edit a parameter exactly when there is one.
  void CheckControlsEnabled(const TZantrelParam* Param);
  // The parameter of the selected line, or null.
  TZantrelParam* SelectedParam() const;
  // The controls the shared steps of ZtlPrmEd work on.
  ZtlPrmEd::TParamControls Controls() const;

  TZantrelParams* EditedParams = nullptr;       // the list edited; not owned
  std::unique_ptr<TZantrelParams> SavedParams;  // the list as SetParams found it
  std::string OldValue;                         // the value edit's text when it got the focus
};

// The inspector's editor of a query's Params: an ellipsis button that opens
// TZantrelParamsDlg on the query's list and tells the designer when the
// dialog ends with OK.
class TZantrelParamsProperty : public TClassProperty {
public:
  using TClassProperty::TClassProperty;
  // paDialog alone: no value list, no unfolded sub-properties.
  TPropertyAttributes GetAttributes() const override;
  void Edit() override;
};

namespace ZtlPrmEd {
// Steps the parameter dialogs share (the stored procedure's editor too).

// Fills Box with the names of TZantrelParamDataType, lowest value first, so
// that an item's index is the type's ordinal.
void FillDataTypes(TComboBox& Box);
// Replaces Dest's parameters with copies of Source's entries, one by one
// (see the .cpp for why not the list's Assign).
void CopyEntries(const TZantrelParams& Source, TZantrelParams& Dest);
// Fills Box with the names of List's entries, in order (none for no list).
void ShowNames(const TZantrelParams* List, TListBox& Box);
// The entry of List at Box's selected line, or null.
TZantrelParam* ParamAtLine(const TZantrelParams* List, const TListBox& Box);
// Checks or unchecks Box without running its OnClick.
void SetCheckedQuietly(TCheckBox& Box, bool Value);
// Appends a parameter named "p<count + 1>" unless List already holds
// TZantrelParamsDlg::MaxParams; tells whether it did.
bool AppendDefaultParam(TZantrelParams& List);

// The controls every parameter dialog edits one entry with.
struct TParamControls {
  TListBox* List;
  TEdit* Name;
  TComboBox* DataType;
  TEdit* Value;
  TCheckBox* Null;
};
// Shows Param (none: empties the controls) without changing it.
void ShowParam(const TZantrelParam* Param, const TParamControls& C);
// The handlers' work on the entry at the selected line; each does nothing
// without one.
void RenameSelected(TZantrelParams* List, const TParamControls& C);
void SetSelectedDataType(TZantrelParams* List, const TParamControls& C);
// Stores the value edit's text unless it is still OldValue.
void StoreSelectedValue(TZantrelParams* List, const TParamControls& C,
                        const std::string& OldValue);
void ApplyNullBox(TZantrelParams* List, const TParamControls& C);
// Destroys the selected entry (it leaves its list); tells whether there was one.
bool DeleteSelected(TZantrelParams* List, const TParamControls& C);

// Registers TZantrelParamsProperty for every property named Params of type
// TZantrelParams on a TZantrelCustomDataset or a descendant (registering the
// dataset classes first when nobody has).
void Register();
} // namespace ZtlPrmEd

} // namespace ztl
