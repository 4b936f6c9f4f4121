// Internal to the SQLite driver: may change without notice.
//
// The parts of the SQLite cursor that need the client library's
// declarations: the description of a result column, and every internal
// header the cursor's files share.
#pragma once

#include "drivers/sqlite/SQLiteApi_p.h"
#include "drivers/sqlite/SQLiteCursor.h"
#include "drivers/sqlite/SQLiteSession.h"
#include "drivers/sqlite/SQLiteTypes_p.h"

namespace ztl {

// One result column as the driver sees it.
struct TZantrelSQLiteSQL::TColumn {
  std::string Name;                          // column name as SQLite reports it
  std::int32_t StmtColumn = 0;               // its position in the compiled statement
  TSQLiteColumnType Declared;                // what its declared type says
  bool TextAffinity = false;                 // the declared type gives SQLite's TEXT affinity
  TZantrelFieldTypes Type = ntUnknown;       // logical type in use
  std::int32_t Offset = 0;                   // offset in the row
  std::int32_t Size = 0;                     // bytes in the row
  std::int32_t Blob = -1;                    // number among the memo and blob columns, or -1
  std::string Origin;                        // table column it shows ("" for an expression)
  bool Nulls = true;                         // the table column accepts nulls
  TZantrelKeyIndicator Key = kiRegularField; // key role
  TZantrelCollation Collation = coUnknown;   // how ORDER BY of the column compares its text
};

} // namespace ztl
