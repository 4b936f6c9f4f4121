// The application object's exception seam.
#include "framework/rtl/Application.h"

#include <string>

#include "framework/rtl/Dialogs.h"
#include "framework/rtl/SysUtils.h"

namespace ztl {

TApplication& Application() {
  static TApplication Instance;
  return Instance;
}

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr E = std::current_exception();
  if (!E)
    return;
  try {
    std::rethrow_exception(E);
  } catch (const EAbort&) {
    return;
  } catch (...) {
  }
  try {
    if (OnException)
      OnException(Sender, E);
    else
      ShowException(E);
  } catch (...) {
    // The report itself failed; a handler must not take the caller down
    // (we may be inside a destructor), so fall back to the plain report.
    try {
      ShowException(std::current_exception());
    } catch (...) {
    }
  }
}

void TApplication::ShowException(std::exception_ptr E) {
  std::string Text = "Unknown exception";
  try {
    if (E)
      std::rethrow_exception(E);
  } catch (const std::exception& Ex) {
    Text = Ex.what();
  } catch (...) {
  }
  MessageBox(Title, Text, mbIconError);
}

} // namespace ztl
