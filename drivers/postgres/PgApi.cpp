// Binding of libpq's entry points, and the result handle that clears
// through them.
#include "drivers/postgres/PgApi_p.h"

#include "core/ZtlErrors.h"
#include "sqltext/ZtlUtil.h"

namespace ztl {

bool TPgApi::Bind(void* Lib, TPgApi& Api) {
  // A library without the connect function is not libpq at all; binding
  // placeholders for everything would only fail later and more obscurely.
  if (!ZtlGetProcAddress(Lib, "PQconnectdb"))
    return false;
#define ZTL_PG_BIND(Fn) ZTL_CLIENT_BIND(Lib, Api, PQ, Fn, &ZtlDummyProc)
  ZTL_PG_ENTRY_POINTS(ZTL_PG_BIND)
#undef ZTL_PG_BIND
#define ZTL_PG_BIND_OPTIONAL(Fn)                                                                   \
  Api.Fn = reinterpret_cast<decltype(Api.Fn)>(ZtlGetProcAddress(Lib, "PQ" #Fn));
  ZTL_PG_PIPELINE_ENTRY_POINTS(ZTL_PG_BIND_OPTIONAL)
#undef ZTL_PG_BIND_OPTIONAL
  return true;
}

void TPgResult::Reset() noexcept {
  if (Res && TPgLibrary::Loaded())
    Pq().clear(Res);
  Res = nullptr;
}

bool TPgResult::Ok() const noexcept {
  if (!Res)
    return false;
  const ExecStatusType S = Pq().resultStatus(Res);
  return S == PGRES_COMMAND_OK || S == PGRES_TUPLES_OK;
}

} // namespace ztl
