// The application's screen and the non-visual form.
#include "framework/forms/Forms.h"

#include "framework/classes/TypInfo.h"

namespace ztl {

TScreen& Screen() {
  static TScreen Instance;
  return Instance;
}

TForm::TForm(TComponent* AOwner) : TComponent(AOwner) {
  Screen().AddForm(this);
}

TForm::~TForm() {
  Screen().RemoveForm(this);
}

void TForm::GetChildren(const TGetChildProc& Proc, TComponent* Root) {
  (void)Root;
  // Components with a parent component are written inside that parent.
  for (int I = 0; I < GetComponentCount(); ++I) {
    TComponent* C = GetComponent(I);
    if (!C->HasParent())
      Proc(C);
  }
}

void RegisterFormClass() {
  if (FindClassInfo(typeid(TForm)))
    return;
  RegisterClass<TForm, TComponent>();
  RegisterProperty<TForm>("Caption", &TForm::GetCaption, &TForm::SetCaption, std::string());
  RegisterProperty<TForm>("Height", &TForm::GetHeight, &TForm::SetHeight, 0);
  RegisterProperty<TForm>("Width", &TForm::GetWidth, &TForm::SetWidth, 0);
}

namespace {
// Linking the form registers it for form files (see DataModule.cpp).
const bool FormClassRegistered = (RegisterFormClass(), true);
} // namespace

} // namespace ztl
