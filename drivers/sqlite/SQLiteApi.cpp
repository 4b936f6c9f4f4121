// Loading of the SQLite shared library and binding of its entry points.
#include "drivers/sqlite/SQLiteApi.h"

#include <dlfcn.h>

#include "core/ZtlErrors.h"
#include "sqltext/ZtlUtil.h"

namespace ztl {

bool TSQLiteLibrary::Load(const std::string& FileName) {
  if (Handle)
    return true;
  // RTLD_LOCAL keeps the library's symbols out of the global scope, so a
  // second SQLite in the process (an application linking its own) is never
  // bound by accident.
  void* Lib = dlopen(FileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!Lib)
    return false;
  TSQLiteApi Bound;
#define ZTL_SQLITE_BIND_REQUIRED(Fn)                                                               \
  ZtlAssignProcAddress(Bound.Fn, ZtlGetProcAddress(Lib, "sqlite3_" #Fn), &ZtlDummyProc);
  ZTL_SQLITE_REQUIRED_ENTRY_POINTS(ZTL_SQLITE_BIND_REQUIRED)
#undef ZTL_SQLITE_BIND_REQUIRED
  bool AllOptional = true;
#define ZTL_SQLITE_BIND_OPTIONAL(Fn)                                                               \
  {                                                                                                \
    void* Proc = ZtlGetProcAddress(Lib, "sqlite3_" #Fn);                                           \
    AllOptional = AllOptional && Proc != nullptr;                                                  \
    ZtlAssignProcAddress(Bound.Fn, Proc, &ZtlDummyProcNoExcept);                                   \
  }
  ZTL_SQLITE_OPTIONAL_ENTRY_POINTS(ZTL_SQLITE_BIND_OPTIONAL)
#undef ZTL_SQLITE_BIND_OPTIONAL
  Bound.HasColumnMetadata = AllOptional;
  Table = Bound;
  Handle = Lib;
  Name = FileName;
  return true;
}

void TSQLiteLibrary::Free() noexcept {
  if (!Handle)
    return;
  Table = TSQLiteApi{};
  dlclose(Handle);
  Handle = nullptr;
  Name.clear();
}

} // namespace ztl
