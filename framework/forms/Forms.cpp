// The application's screen, the form and its modal protocol.
#include "framework/forms/Forms.h"

#include "framework/classes/TypInfo.h"
#include "framework/rtl/SysUtils.h"

namespace ztl {

TScreen& Screen() {
  static TScreen Instance;
  return Instance;
}

namespace {
TFormWindowFactory& WindowFactory() {
  static TFormWindowFactory Factory;
  return Factory;
}
} // namespace

TFormWindowFactory SetFormWindowFactory(TFormWindowFactory Factory) {
  TFormWindowFactory Old = std::move(WindowFactory());
  WindowFactory() = std::move(Factory);
  return Old;
}

TForm::TForm(TComponent* AOwner) : TComponent(AOwner) {
  Screen().AddForm(this);
}

TForm::~TForm() {
  DoDestroy();
  Screen().RemoveForm(this);
  // The controls go while the window they live in still exists; then the
  // window, so no window event reaches a form that is half gone.
  DestroyComponents();
  Window.reset();
}

void TForm::DoCreate() {
  if (Created)
    return;
  Created = true;
  if (OnCreate)
    OnCreate(this);
}

void TForm::DoDestroy() {
  // From here on the controls fire no events: the descendant's handlers may
  // refer to members that are about to go.
  Destroying();
  if (DestroyFired)
    return;
  DestroyFired = true;
  if (OnDestroy)
    OnDestroy(this);
}

TFormWindow* TForm::GetWindow() {
  if (!Window && WindowFactory())
    Window = WindowFactory()(*this);
  return Window.get();
}

TFormWindow& TForm::RequireWindow() {
  TFormWindow* W = GetWindow();
  if (!W)
    throw EInvalidOperation(Format(SNoFormWindow, {GetName()}));
  return *W;
}

void TForm::WindowChanged() {
  if (Window)
    Window->FormChanged();
}

void TForm::SetName(const std::string& NewName) {
  TComponent::SetName(NewName);
  WindowChanged();
}

void TForm::SetCaption(const std::string& Value) {
  Caption = Value;
  WindowChanged();
}

void TForm::SetClientWidth(int Value) {
  ClientWidth = Value;
  WindowChanged();
}

void TForm::SetClientHeight(int Value) {
  ClientHeight = Value;
  WindowChanged();
}

void TForm::SetBorderStyle(TFormBorderStyle Value) {
  BorderStyle = Value;
  WindowChanged();
}

void TForm::SetPosition(TPosition Value) {
  Position = Value;
  WindowChanged();
}

void TForm::SetModalResult(TModalResult Value) {
  ModalResult = Value;
  if (Modal && Value != mrNone && Window)
    Window->ModalResultChanged();
}

TModalResult TForm::ShowModal() {
  TFormWindow& W = RequireWindow();
  if (Modal || W.IsVisible())
    throw EInvalidOperation(SCannotShowModal);
  ModalResult = mrNone;
  Modal = true;
  // Modal ends on every path, also when OnShow or the loop raises.
  struct TModalScope {
    bool& Flag;
    ~TModalScope() { Flag = false; }
  } Scope{Modal};
  W.FormChanged();
  if (OnShow)
    OnShow(this);
  // A handler of OnShow may already have answered.
  if (ModalResult != mrNone)
    W.ModalResultChanged();
  W.RunModal();
  W.Hide();
  return ModalResult;
}

void TForm::Show() {
  TFormWindow& W = RequireWindow();
  W.FormChanged();
  W.Show();
  if (OnShow)
    OnShow(this);
}

void TForm::Hide() {
  if (Window)
    Window->Hide();
}

void TForm::Close() {
  if (Modal) {
    SetModalResult(mrCancel);
    return;
  }
  TCloseAction Action = caHide;
  if (OnClose)
    OnClose(this, Action);
  if (Action != caNone)
    Hide();
}

bool TForm::CloseModal() {
  TCloseAction Action = caHide;
  if (OnClose)
    OnClose(this, Action);
  if (Action == caNone) {
    ModalResult = mrNone;
    return false;
  }
  return true;
}

void TForm::GetChildren(const TGetChildProc& Proc, TComponent* Root) {
  (void)Root;
  // Components with a parent component are written inside that parent; one
  // that takes a parent but has none (a field without a dataset) is written
  // here, or nothing would save it.
  for (int I = 0; I < GetComponentCount(); ++I) {
    TComponent* C = GetComponent(I);
    if (!C->HasParent() || !C->GetParentComponent())
      Proc(C);
  }
}

void RegisterFormClass() {
  if (FindClassInfo(typeid(TForm)))
    return;
  RegisterClass<TForm, TComponent>();
  RegisterProperty<TForm>("Caption", &TForm::GetCaption, &TForm::SetCaption, std::string());
  RegisterProperty<TForm>("ClientHeight", &TForm::GetClientHeight, &TForm::SetClientHeight, 0);
  RegisterProperty<TForm>("ClientWidth", &TForm::GetClientWidth, &TForm::SetClientWidth, 0);
  RegisterProperty<TForm>("Height", &TForm::GetHeight, &TForm::SetHeight, 0);
  RegisterProperty<TForm>("Width", &TForm::GetWidth, &TForm::SetWidth, 0);
  RegisterEvent<TForm, TCloseEvent>("OnClose", &TForm::OnClose, "TCloseEvent");
  RegisterEvent<TForm, TNotifyEvent>("OnCreate", &TForm::OnCreate, "TNotifyEvent");
  RegisterEvent<TForm, TNotifyEvent>("OnDestroy", &TForm::OnDestroy, "TNotifyEvent");
  RegisterEvent<TForm, TNotifyEvent>("OnShow", &TForm::OnShow, "TNotifyEvent");
}

namespace {
// Linking the form registers it for form files (see DataModule.cpp).
const bool FormClassRegistered = (RegisterFormClass(), true);
} // namespace

} // namespace ztl
