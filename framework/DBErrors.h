// The framework's database error and its raising helpers.
#pragma once

#include "framework/SysUtils.h"

namespace ztl {

class TComponent;

// Error of datasets and their companions. Handlers for database errors catch
// the package's own dataset error too, which derives from this class.
class EDatabaseError : public Exception {
public:
  using Exception::Exception;
};

// Raises EDatabaseError with Msg; with a component, the message is prefixed
// by its name and ": " as the framework does.
[[noreturn]] void DatabaseError(const std::string& Msg, const TComponent* Component = nullptr);
[[noreturn]] void DatabaseErrorFmt(std::string_view Fmt, std::initializer_list<TFormatArg> Args,
                                   const TComponent* Component = nullptr);

} // namespace ztl
