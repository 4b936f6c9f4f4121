// Internal to the SQLite driver: may change without notice.
//
// The table of SQLite entry points that the driver reaches through, filled at
// run time from the system's SQLite shared library, and the loading and
// unloading of that library.
#pragma once

#include <sqlite3.h>

#include <string>

#include "drivers/common/ZtlClientLibrary_p.h"

namespace ztl {

// Every SQLite function the driver calls, bound by name from the loaded
// library. X(name) names sqlite3_<name>. Required functions are bound with
// the placeholder that raises "Function not supported by this version of the
// Database Interface library" when called; optional ones (the column
// metadata, missing from builds without SQLITE_ENABLE_COLUMN_METADATA) with
// the one that quietly returns 0, which the driver reads as "no metadata".
#define ZTL_SQLITE_REQUIRED_ENTRY_POINTS(X)                                                        \
  X(initialize)                                                                                    \
  X(libversion)                                                                                    \
  X(libversion_number)                                                                             \
  X(open_v2)                                                                                       \
  X(close_v2)                                                                                      \
  X(errmsg)                                                                                        \
  X(errstr)                                                                                        \
  X(extended_errcode)                                                                              \
  X(extended_result_codes)                                                                         \
  X(busy_timeout)                                                                                  \
  X(get_autocommit)                                                                                \
  X(exec)                                                                                          \
  X(free)                                                                                          \
  X(prepare_v2)                                                                                    \
  X(finalize)                                                                                      \
  X(reset)                                                                                         \
  X(clear_bindings)                                                                                \
  X(step)                                                                                          \
  X(bind_parameter_count)                                                                          \
  X(bind_parameter_name)                                                                           \
  X(bind_int)                                                                                      \
  X(bind_int64)                                                                                    \
  X(bind_double)                                                                                   \
  X(bind_text)                                                                                     \
  X(bind_blob)                                                                                     \
  X(bind_null)                                                                                     \
  X(column_count)                                                                                  \
  X(column_name)                                                                                   \
  X(column_decltype)                                                                               \
  X(column_type)                                                                                   \
  X(column_int64)                                                                                  \
  X(column_double)                                                                                 \
  X(column_text)                                                                                   \
  X(column_blob)                                                                                   \
  X(column_bytes)                                                                                  \
  X(column_value)                                                                                  \
  X(value_type)                                                                                    \
  X(value_int64)                                                                                   \
  X(value_double)                                                                                  \
  X(value_text)                                                                                    \
  X(value_blob)                                                                                    \
  X(value_bytes)                                                                                   \
  X(changes)                                                                                       \
  X(total_changes)                                                                                 \
  X(last_insert_rowid)                                                                             \
  X(db_handle)                                                                                     \
  X(complete)

#define ZTL_SQLITE_OPTIONAL_ENTRY_POINTS(X)                                                        \
  X(column_table_name)                                                                             \
  X(column_origin_name)                                                                            \
  X(column_database_name)                                                                          \
  X(table_column_metadata)

// What the live catalog needs beyond the required set: virtual tables and
// the result and error plumbing of their callbacks. Bound like the optional
// functions above; the catalog is installed only when all are real.
#define ZTL_SQLITE_CATALOG_ENTRY_POINTS(X)                                                         \
  X(create_module_v2)                                                                              \
  X(declare_vtab)                                                                                  \
  X(result_int64)                                                                                  \
  X(result_text)                                                                                   \
  X(result_null)                                                                                   \
  X(mprintf)                                                                                       \
  X(vtab_config)

// The bound entry points.
struct TSQLiteApi {
#define ZTL_SQLITE_MEMBER(Name) ZTL_CLIENT_ENTRY(sqlite3_, Name)
  ZTL_SQLITE_REQUIRED_ENTRY_POINTS(ZTL_SQLITE_MEMBER)
  ZTL_SQLITE_OPTIONAL_ENTRY_POINTS(ZTL_SQLITE_MEMBER)
  ZTL_SQLITE_CATALOG_ENTRY_POINTS(ZTL_SQLITE_MEMBER)
#undef ZTL_SQLITE_MEMBER
  bool HasColumnMetadata = false; // the four optional functions are all real
  bool HasCatalog = false;        // the catalog's functions are all real

  // Binds every entry point from Lib; any library opens (SQLiteApi.cpp).
  static bool Bind(void* Lib, TSQLiteApi& Api);
};

// The library of the SQLite driver: one per process, shared by every session
// of the driver, which counts its references.
using TSQLiteLibrary = TZtlClientLibrary<TSQLiteApi>;

// Shorthand for the bound entry points.
inline const TSQLiteApi& SQLite() noexcept {
  return TSQLiteLibrary::Api();
}

} // namespace ztl
