// Printing an open cursor's rows as an aligned text table.
#pragma once

#include <ostream>
#include <string>

namespace ztl {
class TZantrelSQLiteSQL;
}

namespace ztl::cli {

// Prints the rows of Cursor (open, positioned before its first row) as a
// table: a header of column names, a rule, one line per row with NULL for
// nulls and numbers aligned right, and a "(N rows)" footer. Hidden key
// columns are left out. Column widths come from the first rows; a longer
// value in a later row widens only its own line. Returns false, with
// Error set, when reading a row fails (the rows before it are printed).
bool PrintResult(TZantrelSQLiteSQL& Cursor, std::ostream& Out, std::string& Error);

} // namespace ztl::cli
