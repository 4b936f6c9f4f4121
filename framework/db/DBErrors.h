// The framework's database error and its raising helpers.
#pragma once

#include <exception>
#include <string>

#include "framework/rtl/SysUtils.h"

namespace ztl {

class TComponent;

// Error of datasets and their companions. Handlers for database errors catch
// the package's own dataset error too, which derives from this class.
class EDatabaseError : public Exception {
public:
  using Exception::Exception;
};

// An error met while a provider applied an update: the message, where it
// happened, the error code, the code of the error before it in the same
// batch, and the exception that caused it (owned through the pointer).
class EUpdateError : public EDatabaseError {
public:
  EUpdateError(std::string NativeError, std::string Context, int ErrorCode, int PreviousError,
               std::exception_ptr OriginalException)
      : EDatabaseError(std::move(NativeError)), FContext(std::move(Context)), FErrorCode(ErrorCode),
        FPreviousError(PreviousError), FOriginalException(std::move(OriginalException)) {}

  const std::string& Context() const { return FContext; }
  int ErrorCode() const { return FErrorCode; }
  int PreviousError() const { return FPreviousError; }
  const std::exception_ptr& OriginalException() const { return FOriginalException; }

private:
  std::string FContext;                  // where the update failed
  int FErrorCode;                        // code of this error
  int FPreviousError;                    // code of the error reported before it, 0 when none
  std::exception_ptr FOriginalException; // the exception that caused it
};

// Raises EDatabaseError with Msg; with a component, the message is prefixed
// by its name and ": " as the framework does.
[[noreturn]] void DatabaseError(const std::string& Msg, const TComponent* Component = nullptr);
[[noreturn]] void DatabaseErrorFmt(std::string_view Fmt, std::initializer_list<TFormatArg> Args,
                                   const TComponent* Component = nullptr);

} // namespace ztl
