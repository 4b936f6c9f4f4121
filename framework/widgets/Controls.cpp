// The controls over Qt widgets: geometry, parents, fonts, the event plumbing
// (focus, mouse clicks, Qt's signals) and each control's own behaviour.
#include "framework/widgets/Controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>

#include "framework/widgets/Widgets_p.h"

namespace ztl {

// Qt's side of a control: its events reach the control through this object,
// which is also the context of every signal connection, so destroying it
// first cuts the control off from Qt.
class TControlEvents final : public QObject {
public:
  explicit TControlEvents(TControl& AControl) : Control(AControl) {}

protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    switch (Event->type()) {
    case QEvent::FocusIn:
      Control.Fire(Control.OnEnter);
      break;
    case QEvent::FocusOut: {
      // Only a move of the focus to another control is an exit, not the
      // window losing activation or a popup opening.
      const Qt::FocusReason Reason = static_cast<QFocusEvent*>(Event)->reason();
      if (Reason != Qt::ActiveWindowFocusReason && Reason != Qt::PopupFocusReason)
        Control.Fire(Control.OnExit);
      break;
    }
    case QEvent::MouseButtonRelease: {
      auto* Mouse = static_cast<QMouseEvent*>(Event);
      if (Control.ClicksOnMouseUp() && Mouse->button() == Qt::LeftButton &&
          Control.GetWidget() && Control.GetWidget()->rect().contains(Mouse->position().toPoint()))
        Control.Fire(Control.OnClick);
      break;
    }
    default:
      break;
    }
    return QObject::eventFilter(Watched, Event);
  }

private:
  TControl& Control; // owns this object
};

struct TControlPrivate {
  QPointer<QWidget> Widget;               // deleted by the control, or by Qt with its parent
  std::unique_ptr<TControlEvents> Events; // the connections' context and event filter
};

namespace {

// The caption of a control that shows "&" itself: "&x" becomes x, "&&" one
// "&".
QString WithoutAccelerators(const std::string& Caption) {
  std::string Plain;
  for (std::size_t I = 0; I < Caption.size(); ++I) {
    if (Caption[I] == '&' && I + 1 < Caption.size())
      ++I;
    else if (Caption[I] == '&')
      continue;
    Plain.push_back(Caption[I]);
  }
  return ToQString(Plain);
}

QColor ToQColor(TColor C) {
  return QColor(static_cast<int>(C & 0xFF), static_cast<int>((C >> 8) & 0xFF),
                static_cast<int>((C >> 16) & 0xFF));
}

// The lines of a list widget or combo box as TStrings. Changes made through
// it fire no event of the control.
template <class W>
class TItemStrings final : public TStrings {
public:
  explicit TItemStrings(W* AWidget) : Widget(AWidget) {}

  std::string Get(int Index) const override {
    CheckIndex(Index, GetCount());
    if constexpr (std::is_same_v<W, QListWidget>)
      return FromQString(Widget->item(Index)->text());
    else
      return FromQString(Widget->itemText(Index));
  }
  int GetCount() const override { return Widget ? static_cast<int>(Widget->count()) : 0; }
  void Insert(int Index, const std::string& S) override {
    CheckIndex(Index, GetCount() + 1);
    const QSignalBlocker Block(Widget);
    Widget->insertItem(Index, ToQString(S));
  }
  void Put(int Index, const std::string& S) override {
    CheckIndex(Index, GetCount());
    const QSignalBlocker Block(Widget);
    if constexpr (std::is_same_v<W, QListWidget>)
      Widget->item(Index)->setText(ToQString(S));
    else
      Widget->setItemText(Index, ToQString(S));
  }
  // Deleting the selected line leaves no line selected (Qt would select a
  // neighbour).
  void Delete(int Index) override {
    CheckIndex(Index, GetCount());
    const QSignalBlocker Block(Widget);
    if constexpr (std::is_same_v<W, QListWidget>) {
      const bool Selected = Widget->currentRow() == Index;
      delete Widget->takeItem(Index);
      if (Selected)
        Widget->setCurrentRow(-1);
    } else {
      const bool Selected = Widget->currentIndex() == Index;
      Widget->removeItem(Index);
      if (Selected)
        Widget->setCurrentIndex(-1);
    }
  }
  void Clear() override {
    if (!Widget)
      return;
    const QSignalBlocker Block(Widget);
    Widget->clear();
  }

private:
  // The widget is gone only while the control is being destroyed; an index
  // outside the lines raises the list's error.
  void CheckIndex(int Index, int Limit) const {
    if (!Widget || Index < 0 || Index >= Limit)
      TList::Error(Index);
  }

  QPointer<W> Widget; // the control's widget
};

} // namespace

// ---- TControl -------------------------------------------------------------

TControl::TControl(TComponent* AOwner, QWidget* AWidget)
    : TComponent(AOwner), D(std::make_unique<TControlPrivate>()) {
  UseWidgets();
  D->Widget = AWidget;
  D->Events = std::make_unique<TControlEvents>(*this);
  AWidget->installEventFilter(D->Events.get());
  // A control lives in its owner's form until it is given another parent.
  if (auto* Form = dynamic_cast<TForm*>(AOwner))
    SetParent(Form);
}

TControl::~TControl() {
  Destroying();
  D->Events.reset();
  delete D->Widget.data();
}

bool TControl::EventsAllowed() const {
  if (InState(csDestroying))
    return false;
  const TComponent* Owner = GetOwnerComponent();
  return !(Owner && Owner->InState(csDestroying));
}

void TControl::Fire(const TNotifyEvent& Event) {
  if (!Event || !EventsAllowed())
    return;
  try {
    Event(this);
  } catch (...) {
    ReportHandlerException(this);
  }
}

void TControl::FromCode(const std::function<void()>& Action) {
  TCodeFrame Frame{nullptr, CurrentCodeFrame()};
  CurrentCodeFrame() = &Frame;
  Action();
  CurrentCodeFrame() = Frame.Outer;
  if (Frame.Pending)
    std::rethrow_exception(Frame.Pending);
}

QWidget* TControl::GetWidget() const {
  return D->Widget.data();
}

void TControl::SetName(const std::string& NewName) {
  TComponent::SetName(NewName);
  if (D->Widget)
    D->Widget->setObjectName(ToQString(NewName));
}

void TControl::AttachTo(QWidget* ParentWidget) {
  if (!D->Widget)
    return;
  const QRect Bounds = D->Widget->geometry();
  D->Widget->setParent(ParentWidget);
  D->Widget->setGeometry(Bounds);
  D->Widget->setVisible(Visible && ParentWidget);
}

void TControl::SetParent(TForm* AParent) {
  if (Parent)
    Parent->RemoveFreeNotification(this);
  Parent = AParent;
  if (AParent)
    AParent->FreeNotification(this);
  AttachTo(AParent ? FormDialog(*AParent) : nullptr);
}

void TControl::SetParent(TControl* AParent) {
  if (AParent == this)
    throw EInvalidOperation("A control cannot be its own parent");
  if (Parent)
    Parent->RemoveFreeNotification(this);
  Parent = AParent;
  if (AParent)
    AParent->FreeNotification(this);
  AttachTo(AParent ? AParent->GetWidget() : nullptr);
}

TForm* TControl::GetParentForm() const {
  for (TComponent* P = Parent; P;) {
    if (auto* Form = dynamic_cast<TForm*>(P))
      return Form;
    auto* C = dynamic_cast<TControl*>(P);
    P = C ? C->Parent : nullptr;
  }
  return nullptr;
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == Parent)
    Parent = nullptr;
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (D->Widget)
    D->Widget->setGeometry(ALeft, ATop, AWidth, AHeight);
}

int TControl::GetLeft() const {
  return D->Widget ? D->Widget->x() : 0;
}
int TControl::GetTop() const {
  return D->Widget ? D->Widget->y() : 0;
}
int TControl::GetWidth() const {
  return D->Widget ? D->Widget->width() : 0;
}
int TControl::GetHeight() const {
  return D->Widget ? D->Widget->height() : 0;
}

void TControl::SetEnabled(bool Value) {
  Enabled = Value;
  if (D->Widget)
    D->Widget->setEnabled(Value);
}

void TControl::SetVisible(bool Value) {
  Visible = Value;
  if (D->Widget && D->Widget->parentWidget())
    D->Widget->setVisible(Value);
}

void TControl::SetCaption(const std::string& Value) {
  Caption = Value;
  CaptionChanged();
}

bool TControl::Focused() const {
  return D->Widget && D->Widget->hasFocus();
}

void TControl::SetFocus() {
  if (D->Widget)
    FromCode([this] { D->Widget->setFocus(Qt::OtherFocusReason); });
}

void TControl::SetColor(TColor Value) {
  if (!D->Widget)
    return;
  QPalette P = D->Widget->palette();
  P.setColor(QPalette::Window, ToQColor(Value));
  D->Widget->setPalette(P);
  D->Widget->setAutoFillBackground(true);
}

void TControl::SetFontColor(TColor Value) {
  if (!D->Widget)
    return;
  QPalette P = D->Widget->palette();
  P.setColor(QPalette::WindowText, ToQColor(Value));
  P.setColor(QPalette::Text, ToQColor(Value));
  D->Widget->setPalette(P);
}

void TControl::SetFontStyle(TFontStyles Value) {
  if (!D->Widget)
    return;
  QFont F = D->Widget->font();
  F.setBold(Value.Contains(fsBold));
  F.setItalic(Value.Contains(fsItalic));
  F.setUnderline(Value.Contains(fsUnderline));
  F.setStrikeOut(Value.Contains(fsStrikeOut));
  D->Widget->setFont(F);
}

void TControl::SetFontSize(int Points) {
  if (!D->Widget || Points <= 0)
    return;
  QFont F = D->Widget->font();
  F.setPointSize(Points);
  D->Widget->setFont(F);
}

void TControl::SetCursor(TCursor Value) {
  if (D->Widget)
    D->Widget->setCursor(Value == crHandPoint ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

// ---- TLabel ---------------------------------------------------------------

TLabel::TLabel(TComponent* AOwner) : TControl(AOwner, NewWidget<QLabel>()) {
  static_cast<QLabel*>(GetWidget())->setTextFormat(Qt::PlainText);
}

void TLabel::CaptionChanged() {
  auto* L = static_cast<QLabel*>(GetWidget());
  if (!L)
    return;
  // With a buddy Qt reads the accelerator itself; without one it would show
  // the "&".
  L->setBuddy(FocusControl ? FocusControl->GetWidget() : nullptr);
  L->setText(FocusControl ? ToQString(GetCaption()) : WithoutAccelerators(GetCaption()));
  if (AutoSize && !WordWrap)
    L->adjustSize();
}

void TLabel::SetFocusControl(TControl* Value) {
  if (FocusControl)
    FocusControl->RemoveFreeNotification(this);
  FocusControl = Value;
  if (FocusControl)
    FocusControl->FreeNotification(this);
  CaptionChanged();
}

void TLabel::Notification(TComponent* AComponent, TOperation Operation) {
  TControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FocusControl) {
    FocusControl = nullptr;
    if (!InState(csDestroying))
      CaptionChanged();
  }
}

void TLabel::SetWordWrap(bool Value) {
  WordWrap = Value;
  if (auto* L = static_cast<QLabel*>(GetWidget()))
    L->setWordWrap(Value);
}

void TLabel::SetAutoSize(bool Value) {
  AutoSize = Value;
  CaptionChanged();
}

// ---- TEdit ----------------------------------------------------------------

TEdit::TEdit(TComponent* AOwner) : TControl(AOwner, NewWidget<QLineEdit>()) {
  QObject::connect(static_cast<QLineEdit*>(GetWidget()), &QLineEdit::textChanged,
                   GetWidget(), [this] { Fire(OnChange); });
}

std::string TEdit::GetText() const {
  auto* E = static_cast<QLineEdit*>(GetWidget());
  return E ? FromQString(E->text()) : std::string();
}

void TEdit::SetText(const std::string& Value) {
  if (auto* E = static_cast<QLineEdit*>(GetWidget()))
    FromCode([E, &Value] { E->setText(ToQString(Value)); });
}

// ---- TListBox -------------------------------------------------------------

TListBox::TListBox(TComponent* AOwner) : TControl(AOwner, NewWidget<QListWidget>()) {
  auto* L = static_cast<QListWidget*>(GetWidget());
  Items = std::make_unique<TItemStrings<QListWidget>>(L);
  QObject::connect(L, &QListWidget::currentRowChanged, L, [this] { Fire(OnClick); });
}

TListBox::~TListBox() = default;

int TListBox::GetItemIndex() const {
  auto* L = static_cast<QListWidget*>(GetWidget());
  return L ? L->currentRow() : -1;
}

void TListBox::SetItemIndex(int Value) {
  auto* L = static_cast<QListWidget*>(GetWidget());
  if (!L)
    return;
  const QSignalBlocker Block(L);
  L->setCurrentRow(Value >= 0 && Value < L->count() ? Value : -1);
}

// ---- TComboBox ------------------------------------------------------------

TComboBox::TComboBox(TComponent* AOwner) : TControl(AOwner, NewWidget<QComboBox>()) {
  auto* C = static_cast<QComboBox*>(GetWidget());
  C->setEditable(false);
  Items = std::make_unique<TItemStrings<QComboBox>>(C);
  // activated is the user's choice only, even when it is the same item.
  QObject::connect(C, &QComboBox::activated, C, [this] { Fire(OnChange); });
}

TComboBox::~TComboBox() = default;

int TComboBox::GetItemIndex() const {
  auto* C = static_cast<QComboBox*>(GetWidget());
  return C ? C->currentIndex() : -1;
}

void TComboBox::SetItemIndex(int Value) {
  auto* C = static_cast<QComboBox*>(GetWidget());
  if (!C)
    return;
  const QSignalBlocker Block(C);
  C->setCurrentIndex(Value >= 0 && Value < C->count() ? Value : -1);
}

std::string TComboBox::GetText() const {
  auto* C = static_cast<QComboBox*>(GetWidget());
  return C ? FromQString(C->currentText()) : std::string();
}

// ---- TCheckBox ------------------------------------------------------------

TCheckBox::TCheckBox(TComponent* AOwner) : TControl(AOwner, NewWidget<QCheckBox>()) {
  QObject::connect(static_cast<QCheckBox*>(GetWidget()), &QCheckBox::toggled, GetWidget(),
                   [this] { Fire(OnClick); });
}

bool TCheckBox::GetChecked() const {
  auto* C = static_cast<QCheckBox*>(GetWidget());
  return C && C->isChecked();
}

void TCheckBox::SetChecked(bool Value) {
  if (auto* C = static_cast<QCheckBox*>(GetWidget()))
    FromCode([C, Value] { C->setChecked(Value); });
}

void TCheckBox::CaptionChanged() {
  if (auto* C = static_cast<QCheckBox*>(GetWidget()))
    C->setText(ToQString(GetCaption()));
}

// ---- TButton --------------------------------------------------------------

TButton::TButton(TComponent* AOwner) : TControl(AOwner, NewWidget<QPushButton>()) {
  auto* B = static_cast<QPushButton*>(GetWidget());
  // A focused button answers Enter itself; otherwise the Default one does.
  B->setAutoDefault(true);
  QObject::connect(B, &QPushButton::clicked, B, [this] { DoClick(); });
}

void TButton::DoClick() {
  if (!EventsAllowed())
    return;
  if (TForm* Form = GetParentForm()) {
    try {
      Form->SetModalResult(ModalResult);
    } catch (...) {
      ReportHandlerException(this);
      return;
    }
  }
  Fire(OnClick);
}

void TButton::Click() {
  FromCode([this] { DoClick(); });
}

void TButton::SetDefault(bool Value) {
  Default = Value;
  if (auto* B = static_cast<QPushButton*>(GetWidget()))
    B->setDefault(Value);
}

void TButton::CaptionChanged() {
  if (auto* B = static_cast<QPushButton*>(GetWidget()))
    B->setText(ToQString(GetCaption()));
}

// ---- containers and decoration ---------------------------------------------

TGroupBox::TGroupBox(TComponent* AOwner) : TControl(AOwner, NewWidget<QGroupBox>()) {}

void TGroupBox::CaptionChanged() {
  if (auto* G = static_cast<QGroupBox*>(GetWidget()))
    G->setTitle(ToQString(GetCaption()));
}

TPanel::TPanel(TComponent* AOwner) : TControl(AOwner, NewWidget<QFrame>()) {
  SetBevelOuter(bvRaised);
}

void TPanel::SetBevelOuter(TPanelBevel Value) {
  auto* F = static_cast<QFrame*>(GetWidget());
  if (!F)
    return;
  F->setFrameShape(Value == bvNone ? QFrame::NoFrame : QFrame::Panel);
  F->setFrameShadow(Value == bvLowered ? QFrame::Sunken : QFrame::Raised);
}

TImage::TImage(TComponent* AOwner)
    : TControl(AOwner, NewWidget<QLabel>()), Picture(std::make_unique<TPicture>()) {}

TImage::~TImage() = default;

void TImage::SetPicture(const TPersistent* Source) {
  Picture->Assign(Source);
  PictureChanged();
}

void TImage::SetCenter(bool Value) {
  Center = Value;
  PictureChanged();
}

void TImage::SetStretch(bool Value) {
  Stretch = Value;
  PictureChanged();
}

void TImage::PictureChanged() {
  auto* L = static_cast<QLabel*>(GetWidget());
  if (!L)
    return;
  QImage Image;
  if (const TGraphic* G = Picture->GetGraphic(); G && !G->GetEmpty()) {
    const auto& Bytes = G->GetImage();
    Image.loadFromData(reinterpret_cast<const uchar*>(Bytes.data()),
                       static_cast<int>(Bytes.size()));
  }
  L->setPixmap(QPixmap::fromImage(Image));
  L->setScaledContents(Stretch);
  L->setAlignment(Center ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop);
}

TBevel::TBevel(TComponent* AOwner) : TControl(AOwner, NewWidget<QFrame>()) {
  SetShape(bsBox);
}

void TBevel::SetShape(TBevelShape Value) {
  auto* F = static_cast<QFrame*>(GetWidget());
  if (!F)
    return;
  F->setFrameShadow(QFrame::Sunken);
  switch (Value) {
  case bsTopLine:
  case bsBottomLine:
    F->setFrameShape(QFrame::HLine);
    break;
  case bsFrame:
  case bsBox:
    F->setFrameShape(QFrame::Box);
    break;
  }
}

} // namespace ztl
