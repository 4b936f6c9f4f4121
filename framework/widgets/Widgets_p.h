// Internal to the widgets layer: text between the framework's 8-bit strings
// and Qt, the Qt window of a form, and the frame of a change the program
// makes.
#pragma once

#include <QString>
#include <exception>
#include <string>

class QDialog;
class QWidget;

namespace ztl {

class TForm;

// Windows-1252 text to Qt and back; a character Windows-1252 lacks becomes
// "?".
QString ToQString(const std::string& Text);
std::string FromQString(const QString& Text);

// A new widget for a control, made once the application object exists.
void UseWidgets();
template <class W>
W* NewWidget() {
  UseWidgets();
  return new W;
}

// The Qt dialog of Form, made now if needed (UseWidgets first).
QDialog* FormDialog(TForm& Form);

// A change the program is making (a setter of a control). Handlers that raise
// inside it leave their exception here instead of going to the application;
// frames nest, and a modal loop starts with none.
struct TCodeFrame {
  std::exception_ptr Pending; // first exception a handler raised inside the frame
  TCodeFrame* Outer;          // the frame this one runs in, or null
};
TCodeFrame*& CurrentCodeFrame();

// Reports the exception being handled: to the innermost frame of a change
// the program makes, else to Application().HandleException(Sender).
void ReportHandlerException(class TObject* Sender);

} // namespace ztl
