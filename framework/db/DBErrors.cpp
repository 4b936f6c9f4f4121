// Raising the framework's database error.
#include "framework/db/DBErrors.h"

#include "framework/classes/Classes.h"

namespace ztl {

void DatabaseError(const std::string& Msg, const TComponent* Component) {
  if (Component && !Component->GetName().empty())
    throw EDatabaseError(Component->GetName() + ": " + Msg);
  throw EDatabaseError(Msg);
}

void DatabaseErrorFmt(std::string_view Fmt, std::initializer_list<TFormatArg> Args,
                      const TComponent* Component) {
  DatabaseError(Format(Fmt, Args), Component);
}

} // namespace ztl
