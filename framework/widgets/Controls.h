// The controls a form shows: labels, edits, list and combo boxes, check
// boxes, buttons, group boxes, panels, images and bevels. Each is a
// component owned by its form and a real Qt widget whose objectName is the
// component's Name; Qt stays out of this header.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/classes/Classes.h"
#include "framework/classes/Strings.h"
#include "framework/forms/Forms.h"
#include "framework/graphics/Graphics.h"
#include "framework/rtl/Events.h"
#include "framework/rtl/System.h"

class QWidget;

namespace ztl {

// Makes sure the process has a Qt application object and that forms get Qt
// windows; safe to call again. Every control's constructor calls it, so a
// program that only shows bare forms calls it once itself.
void UseWidgets();

// The Qt window of Form (a QDialog), made now if needed: for tests, pictures
// and the layers above.
QWidget* GetFormWidget(TForm& Form);

// A colour as 0x00BBGGRR.
using TColor = std::uint32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clWhite = 0xFFFFFF;

enum TFontStyle : std::uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = Set<TFontStyle>;

enum TCursor : std::uint8_t { crDefault, crHandPoint };

struct TControlPrivate;

// A control: a component with a Qt widget.
//
// The parent (a form or a container control) is where the widget shows, at
// Left/Top inside it; the owner (usually the form) is who destroys it. A
// control deletes its widget when it is destroyed, unless Qt already did
// with the widget's parent.
//
// Events: a handler runs when Qt reports the user's action or when the
// program changes a value whose change the platform reports (an edit's text,
// a check box's state). A handler that raises during a change the program
// made raises out of that change's setter, once Qt has finished with it;
// one that raises during a user's action goes to
// Application().HandleException, as the platform's message loop does. No
// handler runs once the control or its form is being destroyed.
class TControl : public TComponent {
public:
  ~TControl() override;

  void SetName(const std::string& NewName) override;

  // A form or a container control (group box, panel); null detaches.
  void SetParent(TForm* AParent);
  void SetParent(TControl* AParent);
  TComponent* GetParent() const { return Parent; }
  // The form this control shows in, through its parents; null without one.
  TForm* GetParentForm() const;

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  int GetLeft() const;
  int GetTop() const;
  int GetWidth() const;
  int GetHeight() const;

  bool GetEnabled() const { return Enabled; }
  void SetEnabled(bool Value);
  // The Visible property: whether the control shows when its parent does.
  bool GetVisible() const { return Visible; }
  void SetVisible(bool Value);

  const std::string& GetCaption() const { return Caption; }
  void SetCaption(const std::string& Value);

  bool Focused() const;
  void SetFocus();

  void SetColor(TColor Value);
  void SetFontColor(TColor Value);
  void SetFontStyle(TFontStyles Value);
  void SetFontSize(int Points);
  void SetCursor(TCursor Value);

  // The Qt widget (for tests and for the layers above); null once Qt has
  // deleted it with its parent.
  QWidget* GetWidget() const;

  TNotifyEvent OnClick;
  TNotifyEvent OnEnter; // the control received the focus from another control
  TNotifyEvent OnExit;  // the focus left it for another control

protected:
  // Takes AWidget, which the control owns from now on.
  TControl(TComponent* AOwner, QWidget* AWidget);

  // Runs Event with this control as sender (see the class comment).
  void Fire(const TNotifyEvent& Event);
  // Runs Action, a change the program makes; a handler it fires that raises
  // raises out of here.
  void FromCode(const std::function<void()>& Action);
  // Shows Caption on the widget (captioned controls override it).
  virtual void CaptionChanged() {}
  // Whether a left mouse release on the widget is a click (widgets without
  // a click of their own: labels, images, panels).
  virtual bool ClicksOnMouseUp() const { return false; }
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // False once the control or its owner is being destroyed.
  bool EventsAllowed() const;

private:
  friend class TControlEvents;
  void AttachTo(QWidget* ParentWidget);

  std::unique_ptr<TControlPrivate> D; // the widget and its event plumbing
  TComponent* Parent = nullptr;       // form or container control, not owned
  std::string Caption;
  bool Enabled = true;
  bool Visible = true;
};

// A text. "&x" underlines x; with a focus control Alt+x moves the focus to
// it ("&&" shows one "&").
class TLabel : public TControl {
public:
  explicit TLabel(TComponent* AOwner);

  TControl* GetFocusControl() const { return FocusControl; }
  void SetFocusControl(TControl* Value);
  void SetWordWrap(bool Value);
  // On (the default): the label takes the size of its text, unless it wraps.
  void SetAutoSize(bool Value);

protected:
  void CaptionChanged() override;
  bool ClicksOnMouseUp() const override { return true; }
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  TControl* FocusControl = nullptr; // not owned; cleared when it goes
  bool WordWrap = false;
  bool AutoSize = true;
};

// A one-line text edit. OnChange fires on every change of the text, the
// user's keystrokes and the program's SetText alike.
class TEdit : public TControl {
public:
  explicit TEdit(TComponent* AOwner);

  std::string GetText() const;
  void SetText(const std::string& Value);

  TNotifyEvent OnChange;
};

// A list of lines. OnClick fires when the user selects a line (mouse or
// keyboard); setting ItemIndex or the items from the program fires nothing.
class TListBox : public TControl {
public:
  explicit TListBox(TComponent* AOwner);
  ~TListBox() override;

  TStrings& GetItems() { return *Items; }
  int GetItemIndex() const;
  void SetItemIndex(int Value); // -1: no selection

private:
  std::unique_ptr<TStrings> Items; // the widget's lines
};

// A drop-down list (the platform's csDropDownList style: no typing).
// OnChange fires when the user chooses an item, not when the program sets
// ItemIndex.
class TComboBox : public TControl {
public:
  explicit TComboBox(TComponent* AOwner);
  ~TComboBox() override;

  TStrings& GetItems() { return *Items; }
  int GetItemIndex() const;
  void SetItemIndex(int Value); // -1: no selection
  std::string GetText() const;  // the chosen item's text, "" without one

  TNotifyEvent OnChange;

private:
  std::unique_ptr<TStrings> Items;
};

// A check box. OnClick fires whenever the state changes: the user's click
// and the program's SetChecked alike (a handler that must not see the
// program's changes is detached around them).
class TCheckBox : public TControl {
public:
  explicit TCheckBox(TComponent* AOwner);

  bool GetChecked() const;
  void SetChecked(bool Value);

protected:
  void CaptionChanged() override;
};

// A push button. A click sets the parent form's ModalResult to the button's
// (which closes a modal form when not mrNone) and then fires OnClick. The
// Default button answers Enter, the Cancel button Escape.
class TButton : public TControl {
public:
  explicit TButton(TComponent* AOwner);

  bool GetDefault() const { return Default; }
  void SetDefault(bool Value);
  bool GetCancel() const { return Cancel; }
  void SetCancel(bool Value) { Cancel = Value; }
  TModalResult GetModalResult() const { return ModalResult; }
  void SetModalResult(TModalResult Value) { ModalResult = Value; }
  // What a user's click does, done by the program.
  void Click();

protected:
  void CaptionChanged() override;

private:
  void DoClick();

  bool Default = false;
  bool Cancel = false;
  TModalResult ModalResult = mrNone;
};

// A framed group with a caption; a container for other controls.
class TGroupBox : public TControl {
public:
  explicit TGroupBox(TComponent* AOwner);

protected:
  void CaptionChanged() override;
};

enum TPanelBevel : std::uint8_t { bvNone, bvLowered, bvRaised };

// A framed area; a container for other controls.
class TPanel : public TControl {
public:
  explicit TPanel(TComponent* AOwner);
  void SetBevelOuter(TPanelBevel Value);

protected:
  bool ClicksOnMouseUp() const override { return true; }
};

// Shows a picture (any format Qt reads from the graphic's bytes: bitmaps,
// icons).
class TImage : public TControl {
public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;

  const TPicture& GetPicture() const { return *Picture; }
  // Shows a copy of Source (a picture or a graphic; null empties it).
  void SetPicture(const TPersistent* Source);
  void SetCenter(bool Value);
  void SetStretch(bool Value);

protected:
  bool ClicksOnMouseUp() const override { return true; }

private:
  void PictureChanged();

  std::unique_ptr<TPicture> Picture;
  bool Center = false;
  bool Stretch = false;
};

enum TBevelShape : std::uint8_t { bsBox, bsFrame, bsTopLine, bsBottomLine };

// A line or frame that only separates.
class TBevel : public TControl {
public:
  explicit TBevel(TComponent* AOwner);
  void SetShape(TBevelShape Value);
};

} // namespace ztl
