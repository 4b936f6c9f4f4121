// The Qt window of a form: a QDialog that shows the form's caption, client
// size, border and position, and runs its modal loop; plus the Qt
// application object and the text conversion the whole layer uses.
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QGuiApplication>
#include <QMetaObject>
#include <QScreen>
#include <QVector>

#include "framework/rtl/Application.h"
#include "framework/text/Windows1252.h"
#include "framework/widgets/Controls.h"
#include "framework/widgets/Widgets_p.h"

namespace ztl {

QString ToQString(const std::string& Text) {
  return QString::fromStdU16String(Windows1252ToUtf16(Text));
}

std::string FromQString(const QString& Text) {
  return Utf32ToWindows1252(Text.toStdU32String());
}

TCodeFrame*& CurrentCodeFrame() {
  static TCodeFrame* Frame = nullptr;
  return Frame;
}

void ReportHandlerException(TObject* Sender) {
  if (TCodeFrame* Frame = CurrentCodeFrame()) {
    if (!Frame->Pending)
      Frame->Pending = std::current_exception();
    return;
  }
  Application().HandleException(Sender);
}

namespace {

// The form's dialog. Escape clicks the form's Cancel button (and does nothing
// without one); the window's close box asks the form to Close.
class TQtFormDialog final : public QDialog {
public:
  explicit TQtFormDialog(TForm& AForm) : Form(AForm) {}

  void reject() override {
    for (int I = 0; I < Form.GetComponentCount(); ++I) {
      auto* B = dynamic_cast<TButton*>(Form.GetComponent(I));
      if (B && B->GetCancel() && B->GetWidget() && B->GetWidget()->isEnabled() &&
          B->GetWidget()->isVisible()) {
        try {
          B->Click();
        } catch (...) {
          ReportHandlerException(B);
        }
        return;
      }
    }
  }

protected:
  void closeEvent(QCloseEvent* Event) override {
    Event->ignore();
    try {
      Form.Close();
    } catch (...) {
      ReportHandlerException(&Form);
    }
  }

private:
  TForm& Form; // owns the window that owns this dialog
};

class TQtFormWindow final : public TFormWindow {
public:
  explicit TQtFormWindow(TForm& AForm) : Form(AForm), Dialog(new TQtFormDialog(AForm)) {
    FormChanged();
  }
  ~TQtFormWindow() override { delete Dialog; }

  QDialog* GetDialog() const { return Dialog; }

  void FormChanged() override {
    Dialog->setObjectName(ToQString(Form.GetName()));
    Dialog->setWindowTitle(ToQString(Form.GetCaption()));
    const bool Fixed = Form.GetBorderStyle() == bsDialog;
    if (Fixed != FixedBorder && !Dialog->isVisible()) {
      FixedBorder = Fixed;
      Qt::WindowFlags Flags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
      if (Fixed)
        Flags |= Qt::MSWindowsFixedSizeDialogHint;
      else
        Flags |= Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint;
      Dialog->setWindowFlags(Flags);
      Dialog->setSizeGripEnabled(false);
    }
    const QSize Client(Form.GetClientWidth(), Form.GetClientHeight());
    if (Client.width() > 0 && Client.height() > 0) {
      if (FixedBorder)
        Dialog->setFixedSize(Client);
      else
        Dialog->resize(Client);
    }
  }

  void Show() override {
    Place();
    Dialog->show();
  }

  void Hide() override { Dialog->hide(); }
  bool IsVisible() const override { return Dialog->isVisible(); }

  void RunModal() override {
    Place();
    // The user's actions inside the loop are not part of whatever change of
    // the program opened the form.
    TCodeFrame* const Outer = CurrentCodeFrame();
    CurrentCodeFrame() = nullptr;
    Dialog->exec();
    CurrentCodeFrame() = Outer;
    if (CloseError)
      std::rethrow_exception(std::exchange(CloseError, nullptr));
  }

  void ModalResultChanged() override {
    if (CheckPending)
      return;
    CheckPending = true;
    QMetaObject::invokeMethod(
        Dialog,
        [this] {
          CheckPending = false;
          CheckModal();
        },
        Qt::QueuedConnection);
  }

private:
  // Ends the modal loop when the form has an answer and agrees to close. An
  // error of OnClose ends the loop too and leaves ShowModal with it.
  void CheckModal() {
    if (!Form.IsModal() || Form.GetModalResult() == mrNone)
      return;
    try {
      if (Form.CloseModal())
        Dialog->done(Form.GetModalResult());
    } catch (...) {
      CloseError = std::current_exception();
      Dialog->done(mrCancel);
    }
  }

  // Centres the window on the screen when the form asks for it.
  void Place() {
    if (Form.GetPosition() != poScreenCenter)
      return;
    if (const QScreen* S = QGuiApplication::primaryScreen()) {
      QRect Frame = Dialog->frameGeometry();
      Frame.moveCenter(S->availableGeometry().center());
      Dialog->move(Frame.topLeft());
    }
  }

  TForm& Form;
  QDialog* Dialog;               // owned; deleted with the window
  bool FixedBorder = false;      // the window flags in force are the fixed ones
  bool CheckPending = false;     // a CheckModal is queued
  std::exception_ptr CloseError; // raised by OnClose inside the loop
};

} // namespace

void UseWidgets() {
  if (!QCoreApplication::instance()) {
    // Kept for the life of the process (Qt wants argc/argv to outlive it).
    static int Argc = 1;
    static char Name[] = "zantrelix";
    static char* Argv[] = {Name, nullptr};
    new QApplication(Argc, Argv);
  } else if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    throw EInvalidOperation("Widgets need a QApplication, not a QCoreApplication");
  }
  static const bool Installed = [] {
    SetFormWindowFactory([](TForm& Form) { return std::make_unique<TQtFormWindow>(Form); });
    return true;
  }();
  (void)Installed;
}

QDialog* FormDialog(TForm& Form) {
  auto* W = dynamic_cast<TQtFormWindow*>(Form.GetWindow());
  if (!W)
    throw EInvalidOperation(Format(SNoFormWindow, {Form.GetName()}));
  return W->GetDialog();
}

QWidget* GetFormWidget(TForm& Form) {
  UseWidgets();
  return FormDialog(Form);
}

} // namespace ztl
