// Loading of the libpq shared library and binding of its entry points.
#include "drivers/postgres/PgApi.h"

#include <dlfcn.h>

#include "core/ZtlErrors.h"
#include "sqltext/ZtlUtil.h"

namespace ztl {

bool TPgLibrary::Load(const std::string& FileName) {
  if (Handle)
    return true;
  // RTLD_LOCAL keeps the library's symbols out of the global scope, so a
  // libpq the application links itself is never bound by accident.
  void* Lib = dlopen(FileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!Lib)
    return false;
  // A library without the connect function is not libpq at all; binding
  // placeholders for everything would only fail later and more obscurely.
  if (!ZtlGetProcAddress(Lib, "PQconnectdb")) {
    dlclose(Lib);
    return false;
  }
  TPgApi Bound;
#define ZTL_PG_BIND(Fn)                                                                            \
  ZtlAssignProcAddress(Bound.Fn, ZtlGetProcAddress(Lib, "PQ" #Fn), &ZtlDummyProc);
  ZTL_PG_ENTRY_POINTS(ZTL_PG_BIND)
#undef ZTL_PG_BIND
  Table = Bound;
  Handle = Lib;
  Name = FileName;
  return true;
}

void TPgLibrary::Free() noexcept {
  if (!Handle)
    return;
  Table = TPgApi{};
  dlclose(Handle);
  Handle = nullptr;
  Name.clear();
}

} // namespace ztl
