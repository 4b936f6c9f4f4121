// The application object's exception seam: where errors that cannot be
// raised to a caller (destructors, design-time loading) are reported.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "framework/rtl/System.h"

namespace ztl {

using TExceptionEvent = std::function<void(TObject* Sender, std::exception_ptr E)>;

// The one application object of the process.
//
// HandleException must be called inside a catch block: it reports the
// exception being handled. EAbort is silent and ignored; any other exception
// goes to OnException when one is installed, else to ShowException, which
// shows its message through the message-box shim. HandleException never
// throws: a handler that throws is reported through ShowException instead.
class TApplication : public TObject {
public:
  void HandleException(TObject* Sender);
  // Shows the message of E (or a generic text for a non-library exception).
  void ShowException(std::exception_ptr E);

  TExceptionEvent OnException; // replaces the default report when set
  std::string Title = "Error"; // caption of the default report
};

TApplication& Application();

} // namespace ztl
