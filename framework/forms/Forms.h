// The application's screen (the forms and data modules alive in the process),
// TForm and the seam through which a window system gives forms a window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/classes/Classes.h"
#include "framework/rtl/Events.h"

namespace ztl {

class TDataModule;

// Raised for an operation the object's state does not allow (showing a form
// modally that is already visible, showing a form without a window system).
class EInvalidOperation : public Exception {
public:
  using Exception::Exception;
};

inline constexpr const char* SCannotShowModal = "Cannot make a visible window modal";
inline constexpr const char* SNoFormWindow = "Form %s has no window: no window system is in use";

// The answer a modal form gives: the button or code that closed it. Zero
// keeps a modal form open.
using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;

// What closing a form does; an OnClose handler may change it.
enum TCloseAction : std::uint8_t {
  caNone, // the form stays open
  caHide, // the form is hidden (the default)
  caFree, // treated as caHide: the owner frees the form
  caMinimize
};
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;

enum TFormBorderStyle : std::uint8_t { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow };
enum TPosition : std::uint8_t { poDesigned, poScreenCenter };

class TForm;

// The on-screen side of a form, supplied by a window system (the widgets
// layer installs one over Qt). The form keeps every property itself and
// tells its window when one changes; the window never changes the form
// except through the form's own operations (Close, CloseModal).
class TFormWindow {
public:
  virtual ~TFormWindow() = default;
  // Caption, client size, border style or position changed: show the form's
  // current values.
  virtual void FormChanged() = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual bool IsVisible() const = 0;
  // Shows the window modally and returns once EndModal ended the loop.
  virtual void RunModal() = 0;
  // The form's ModalResult became non-zero while it is modal. The window
  // lets the event in progress finish, then asks TForm::CloseModal and ends
  // the modal loop when the form agrees to close.
  virtual void ModalResultChanged() = 0;
};

// Makes the window of a form; installed by a window system.
using TFormWindowFactory = std::function<std::unique_ptr<TFormWindow>(TForm& Form)>;

// Installs the factory every form without a window uses from now on (an
// empty function: forms get no window) and returns the one it replaces.
TFormWindowFactory SetFormWindowFactory(TFormWindowFactory Factory);

// A form: a named container that owns its components (a form file lists them
// inside it) and stands in Screen's form list from its construction to its
// destruction. Its window is made on first need by the installed window
// system; without one a form is what it always was here, a non-visual
// container, and showing it raises EInvalidOperation.
//
// A descendant that assigns OnCreate calls DoCreate() at the end of its
// constructor (C++ has no step after the most derived constructor), and one
// whose OnDestroy handler touches its own members calls DoDestroy() first
// thing in its destructor. Both are idempotent; ~TForm calls DoDestroy()
// for a form whose handler was assigned from outside.
class TForm : public TComponent {
public:
  explicit TForm(TComponent* AOwner);
  // Fires OnDestroy if nobody did and leaves the screen before the components
  // it owns are destroyed, so nobody walking the screen meets a form that is
  // half gone; the components go while the window still exists, then the
  // window.
  ~TForm() override;

  void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;
  void SetName(const std::string& NewName) override;

  const std::string& GetCaption() const { return Caption; }
  void SetCaption(const std::string& Value);
  int GetWidth() const { return Width; }
  void SetWidth(int Value) { Width = Value; }
  int GetHeight() const { return Height; }
  void SetHeight(int Value) { Height = Value; }
  int GetClientWidth() const { return ClientWidth; }
  void SetClientWidth(int Value);
  int GetClientHeight() const { return ClientHeight; }
  void SetClientHeight(int Value);
  TFormBorderStyle GetBorderStyle() const { return BorderStyle; }
  void SetBorderStyle(TFormBorderStyle Value);
  TPosition GetPosition() const { return Position; }
  void SetPosition(TPosition Value);

  TModalResult GetModalResult() const { return ModalResult; }
  // While the form is modal, a non-zero value closes it once the event in
  // progress has finished (and OnClose has not said caNone).
  void SetModalResult(TModalResult Value);
  bool IsModal() const { return Modal; }

  // Shows the form modally and returns its ModalResult once it closes.
  // Raises EInvalidOperation when the form is already visible or modal, or
  // when there is no window system.
  TModalResult ShowModal();
  // Shows the form without waiting (fires OnShow).
  void Show();
  void Hide();
  bool GetVisible() const { return Window && Window->IsVisible(); }
  // A modal form closes with mrCancel; any other asks OnClose and hides.
  void Close();
  // The modal loop's question before it ends: fires OnClose with caHide;
  // caNone keeps the form open and resets ModalResult. True: close.
  bool CloseModal();

  // The form's window, made now if it does not exist yet; null when no
  // window system is installed.
  TFormWindow* GetWindow();
  bool HandleAllocated() const { return Window != nullptr; }

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TCloseEvent OnClose;

protected:
  void DoCreate();
  void DoDestroy();

private:
  TFormWindow& RequireWindow();
  void WindowChanged();

  std::string Caption;                     // title text
  int Width = 0;                           // designer window size, no effect at run time
  int Height = 0;
  int ClientWidth = 0;                     // inner size of the window; 0: as laid out
  int ClientHeight = 0;
  TFormBorderStyle BorderStyle = bsSizeable;
  TPosition Position = poDesigned;
  TModalResult ModalResult = mrNone;
  bool Modal = false;                      // between ShowModal's start and its return
  bool Created = false;                    // OnCreate has fired
  bool DestroyFired = false;               // OnDestroy has fired
  std::unique_ptr<TFormWindow> Window;     // made on first need, destroyed before the components
};

// The live forms and data modules of the application, each list in the
// order of construction. A TForm or TDataModule enters its list when it is
// constructed and leaves it when its destruction begins; nothing else
// changes the lists, so every pointer they hand out is to a living object.
// An index outside 0 .. Count-1 raises EListError "List index out of bounds
// (%d)".
class TScreen : public TObject {
public:
  TScreen() = default;
  TScreen(const TScreen&) = delete;
  TScreen& operator=(const TScreen&) = delete;

  int GetFormCount() const { return Forms.Count(); }
  TForm* GetForm(int Index) const { return Forms.Get(Index); }
  int GetDataModuleCount() const { return DataModules.Count(); }
  TDataModule* GetDataModule(int Index) const { return DataModules.Get(Index); }

private:
  friend class TForm;
  friend class TDataModule;
  void AddForm(TForm* Form) { Forms.Add(Form); }
  void RemoveForm(TForm* Form) { Forms.Remove(Form); }
  void AddDataModule(TDataModule* DataModule) { DataModules.Add(DataModule); }
  void RemoveDataModule(TDataModule* DataModule) { DataModules.Remove(DataModule); }

  TTypedList<TForm> Forms;             // live forms, not owned
  TTypedList<TDataModule> DataModules; // live data modules, not owned
};

// The one screen of the process.
TScreen& Screen();

// Registers TForm and its published properties (Caption, Width, Height) with
// the class registry, so that form files can hold forms; calling it again
// does nothing.
void RegisterFormClass();

} // namespace ztl
