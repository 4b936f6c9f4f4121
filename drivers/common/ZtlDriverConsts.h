// The messages the bundled drivers raise alike, each worded in one place so
// that two drivers never word the same failure differently.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dataset/ZtlRowFieldData.h"

namespace ztl {

// A value does not fit its column (the same text the field data conversions
// raise, SZtlFieldDataMisfit) or a host variable; the last %s says why.
inline constexpr const char* SZtlHostVariableMisfit = "Value of a host variable does not fit: %s";
// The current row was deleted (or its key changed) by someone else; %s names
// the table.
inline constexpr const char* SZtlRowGone = "The row is no longer in table \"%s\"";
// A row operation found no row to work on; %s: "update" or "delete", then
// the table.
inline constexpr const char* SZtlRowToGone = "The row to %s is no longer in table \"%s\"";
// A row operation would have changed another number of rows than one and was
// undone; %s: the operation, %d: the rows, %s: the table.
inline constexpr const char* SZtlRowsChanged =
    "The %s would have changed %d rows of table \"%s\"; it was undone";

// A row operation found the table's columns, name or key other than when
// its rows were read (another connection altered it); %s names the table.
inline constexpr const char* SZtlTableAltered =
    "Table \"%s\" was altered since its rows were read; open the query again";

// The database ended the open transaction on its own after an error (a
// failed write, a full disk): everything done in it is undone, and until the
// application ends it with Rollback nothing more runs in it.
inline constexpr const char* SZtlTransactionLost =
    "The transaction was rolled back after an error; roll it back to go on";

// The connection broke while the server ran a COMMIT, before it answered:
// the transaction may or may not have been committed. %s: the client
// library's own words.
inline constexpr const char* SZtlCommitUnknown =
    "The connection was lost during COMMIT; the outcome of the transaction is unknown (%s)";

// The server answered a COMMIT by rolling the transaction back, because a
// statement of it had failed before: nothing of it was saved.
inline constexpr const char* SZtlCommitRolledBack =
    "COMMIT found the transaction aborted by an earlier error; it was rolled back and "
    "nothing of it was saved";

// The host variables given do not match the statement's parameter markers;
// %d: the markers, %d: the values given.
inline constexpr const char* SZtlParamCount =
    "The statement takes %d parameter values, %d were given";
// A statement text holding several statements, executed with parameter
// values: which statement takes which value cannot be told.
inline constexpr const char* SZtlScriptWithParams =
    "A text of several statements cannot take parameters; execute them one by one";
// A cursor was given a session of another driver; %s names the driver.
inline constexpr const char* SZtlWrongSession = "The cursor needs a session of its own driver (%s)";

// "Value of column "Column" does not fit: Detail".
std::string ZtlColumnMisfit(std::string_view Column, std::string_view Detail);
// "Value of a host variable does not fit: Detail".
std::string ZtlHostVariableMisfit(std::string_view Detail);
// The message of a row operation (What: "update", "delete", "insert") that
// changed Changed rows of Table instead of one: SZtlRowToGone for an update
// or delete that found none, else SZtlRowsChanged.
std::string ZtlRowCountMisfit(std::string_view What, std::int64_t Changed, std::string_view Table);

} // namespace ztl
