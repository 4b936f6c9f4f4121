// Internal to the SQLite driver: may change without notice.
//
// What the text of a SELECT says about whether its rows are rows of one
// table: the table it reads and where its result list starts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ztl {

// The shape of a SELECT read from its text alone. The driver confirms it
// with SQLite's column metadata before it writes anything.
struct TSQLiteSelectShape {
  // A plain SELECT ... FROM <one table> with no DISTINCT, join, comma list,
  // subquery or function in FROM, GROUP BY, HAVING, WINDOW, window function
  // (OVER) or compound operator at its top level. (An aggregate makes a
  // result column without a table column of origin, which the driver sees.)
  bool SingleTable = false;
  std::string Schema;      // schema as written before the table ("" when none)
  std::string Table;       // the table as written, without quotes
  std::size_t ListEnd = 0; // offset of the top-level FROM: a column added just before it
                           // leaves every result ordinal (ORDER BY 1) as it was
};

// Reads the shape of SQL. Comments, string literals and quoted identifiers
// ("x", [x], `x`) are skipped as SQLite skips them; anything that is not
// clearly a single-table SELECT gives SingleTable false.
TSQLiteSelectShape SQLiteAnalyseSelect(std::string_view SQL);

// Name as an SQLite identifier in double quotes, inner quotes doubled.
std::string SQLiteQuoteName(std::string_view Name);

} // namespace ztl
