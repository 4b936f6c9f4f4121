// Binding of the SQLite library's entry points, and the statement handle
// that finalizes through them.
#include "drivers/sqlite/SQLiteApi_p.h"
#include "drivers/sqlite/SQLiteStatement.h"

#include "core/ZtlErrors.h"
#include "sqltext/ZtlUtil.h"

namespace ztl {

bool TSQLiteApi::Bind(void* Lib, TSQLiteApi& Api) {
#define ZTL_SQLITE_BIND_REQUIRED(Fn) ZTL_CLIENT_BIND(Lib, Api, sqlite3_, Fn, &ZtlDummyProc)
  ZTL_SQLITE_REQUIRED_ENTRY_POINTS(ZTL_SQLITE_BIND_REQUIRED)
#undef ZTL_SQLITE_BIND_REQUIRED
  // The column metadata is used only when all four functions are there.
  bool AllOptional = true;
#define ZTL_SQLITE_BIND_OPTIONAL(Fn)                                                               \
  AllOptional = AllOptional && ZtlGetProcAddress(Lib, "sqlite3_" #Fn) != nullptr;                  \
  ZTL_CLIENT_BIND(Lib, Api, sqlite3_, Fn, &ZtlDummyProcNoExcept)
  ZTL_SQLITE_OPTIONAL_ENTRY_POINTS(ZTL_SQLITE_BIND_OPTIONAL)
#undef ZTL_SQLITE_BIND_OPTIONAL
  Api.HasColumnMetadata = AllOptional;
  return true;
}

void TSQLiteStatement::Reset(sqlite3_stmt* AStmt) noexcept {
  if (Stmt && TSQLiteLibrary::Loaded())
    SQLite().finalize(Stmt);
  Stmt = AStmt;
}

} // namespace ztl
