// Binding of the SQLite library's entry points, and the statement handle
// that finalizes through them.
#include "drivers/sqlite/SQLiteApi_p.h"
#include "drivers/sqlite/SQLiteStatement.h"

#include "core/ZtlErrors.h"
#include "sqltext/ZtlUtil.h"

namespace ztl {
namespace {

// Binds Target to the library's function Name, or to the placeholder that
// quietly returns 0; true when the library has the function.
template <class Fn>
bool BindOptional(void* Lib, Fn*& Target, const char* Name) {
  void* const Proc = ZtlGetProcAddress(Lib, Name);
  ZtlAssignProcAddress(Target, Proc, &ZtlDummyProcNoExcept);
  return Proc != nullptr;
}

} // namespace

bool TSQLiteApi::Bind(void* Lib, TSQLiteApi& Api) {
#define ZTL_SQLITE_BIND_REQUIRED(Fn) ZTL_CLIENT_BIND(Lib, Api, sqlite3_, Fn, &ZtlDummyProc)
  ZTL_SQLITE_REQUIRED_ENTRY_POINTS(ZTL_SQLITE_BIND_REQUIRED)
#undef ZTL_SQLITE_BIND_REQUIRED
  // Each optional group is used only when all of its functions are there;
  // "&" rather than "&&" so that every member is bound, present or not.
#define ZTL_SQLITE_BIND_OPTIONAL(Fn) &BindOptional(Lib, Api.Fn, "sqlite3_" #Fn)
  Api.HasColumnMetadata = (true ZTL_SQLITE_OPTIONAL_ENTRY_POINTS(ZTL_SQLITE_BIND_OPTIONAL));
  Api.HasCatalog = (true ZTL_SQLITE_CATALOG_ENTRY_POINTS(ZTL_SQLITE_BIND_OPTIONAL));
#undef ZTL_SQLITE_BIND_OPTIONAL
  return true;
}

void TSQLiteStatement::Reset(sqlite3_stmt* AStmt) noexcept {
  if (Stmt && TSQLiteLibrary::Loaded())
    SQLite().finalize(Stmt);
  Stmt = AStmt;
}

} // namespace ztl
