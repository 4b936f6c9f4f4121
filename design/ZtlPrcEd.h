// ZtlPrcEd: the designer's editor of a stored procedure's Params property, a
// dialog over a working copy of the procedure's parameters that also sets
// each one's direction, and the registration that puts it behind the
// inspector's ellipsis button.
#pragma once

#include <string>

#include "dataset/ZtlParams.h"
#include "design/ZtlPrmEd.h"
#include "framework/designintf/DesignIntf.h"
#include "framework/widgets/Controls.h"

namespace ztl {

// The modal dialog over one parameter list, which is a copy: the property
// editor writes it back on OK, so nothing here needs a way back. A named
// procedure's parameters come from the server's catalog, so for one (a
// ProcName) parameters can be changed but not added or removed.
//
// As in the query's dialog, the selected parameter is the list's entry at
// the list box's selected line.
class TZantrelProcParamsDlg : public TForm {
public:
  explicit TZantrelProcParamsDlg(TComponent* AOwner);
  ~TZantrelProcParamsDlg() override = default;

  // Makes Params (not owned; it must outlive the dialog) the list being
  // edited and shows its first entry.
  void SetParams(TZantrelParams* Params);
  TZantrelParams* GetEditedParams() const { return EditedParams; }

  // The procedure's name when the dialog opened; set before SetParams.
  std::string ProcName;

  // The controls, owned by the form; each widget's objectName is the field's
  // name.
  TGroupBox* gbParams;
  TLabel* lblParamNames;
  TListBox* lbParamNames;
  TLabel* lblParamName;
  TEdit* edParamName;
  TLabel* lblParamType;
  TComboBox* cbParamType;
  TLabel* lblDataType;
  TComboBox* cbDataType;
  TLabel* lblParamValue;
  TEdit* edParamValue;
  TCheckBox* cbNull;
  TButton* btnNew;
  TButton* btnDelete;
  TButton* btnOK;
  TButton* btnCancel;
  TButton* btnHelp;

  // The form's and the controls' event handlers.
  void FormCreate(TObject* Sender);
  void lbParamNamesClick(TObject* Sender);
  void edParamNameChange(TObject* Sender);
  void cbParamTypeChange(TObject* Sender);
  void cbDataTypeChange(TObject* Sender);
  void edParamValueEnter(TObject* Sender);
  void edParamValueExit(TObject* Sender);
  void cbNullClick(TObject* Sender);
  void btnNewClick(TObject* Sender);
  void btnDeleteClick(TObject* Sender);
  void btnHelpClick(TObject* Sender);

private:
  void CreateControls();
  void ShowParamList();
  // Selects line Index and shows its parameter (none for -1).
  void SelectLine(int Index);
  // New and Delete only for an unnamed procedure; the value and Null only
  // for a parameter that sends one (below nptOutput).
  void CheckControlsEnabled(const TZantrelParam* Param);
  TZantrelParam* SelectedParam() const;
  // The controls the shared steps of ZtlPrmEd work on.
  ZtlPrmEd::TParamControls Controls() const;

  TZantrelParams* EditedParams = nullptr; // the working list; not owned
  std::string OldValue;                   // the value edit's text when it got the focus
};

// The inspector's editor of a stored procedure's Params: an ellipsis button
// that opens TZantrelProcParamsDlg on a copy of the first selected
// procedure's parameters and, on OK, puts the copy into that procedure.
class TZantrelProcParamsProperty : public TClassProperty {
public:
  using TClassProperty::TClassProperty;
  // paDialog alone: no value list, no unfolded sub-properties.
  TPropertyAttributes GetAttributes() const override;
  // Errors reading the procedure's parameters (its connection, its catalog)
  // leave before the dialog opens, with nothing changed.
  void Edit() override;
};

namespace ZtlPrcEd {
// Registers TZantrelProcParamsProperty for every property named Params of
// type TZantrelParams on a TZantrelCustomStoredProc or a descendant
// (registering the stored procedure classes first when nobody has).
void Register();
} // namespace ZtlPrcEd

} // namespace ztl
