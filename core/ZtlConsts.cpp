// The compiled-in message table and its loader.
#include "core/ZtlConsts.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace ztl {

namespace {

struct TZtlMessage {
  int Id;           // resource-string identifier
  const char* Text; // the message as raised
};

// Sorted by identifier so that a lookup is a binary search.
constexpr std::array<TZtlMessage, 35> ZtlMessages{{
    {SZtlNoFieldAccess, "Cannot access field '%s' in a filter"},
    {SZtlNoMissingOrderBy, "Missing or unsupported ORDER BY clause to build index"},
    {SZtlNoReadOnly, "Not a read-only dataset"},
    {ZTL_ERR_FIELD_NOT_FOUND, "Field \"%s\" not found"},
    {ZTL_ERR_PARAM_NOT_FOUND, "Host variable \"%s\" not found"},
    {ZTL_ERR_BLOB_REQUIRED, "Field \"%s\" is not a blob"},
    {ZTL_ERR_BLOB_STREAM_INVALID, "Not a valid stream parameter"},
    {ZTL_ERR_BLOB_PICTURE_INVALID, "Not a valid picture parameter"},
    {ZTL_TXT_FALSE, "False"},
    {ZTL_TXT_TRUE, "True"},
    {SZtlEmptySQLStatement, "No SQL statement available"},
    {SZtlDataSetPrepared, "Cannot perform this operation on an open or prepared dataset"},
    {SZtlRowChanged, "Couldn't perform the edit because another user changed the record"},
    {SZtlNoStoredProcName, "Empty or missing Stored Procedure name"},
    {SZtlTooManyResultProcParams, "Too many Stored Function result parameters"},
    {SZtlStoredProcCompleted, "The Stored Procedure has completed"},
    {SZtlNoParameterValue, "No value for parameter '%s'"},
    {SZtlNoParameterType, "No parameter type for parameter '%s'"},
    {SZtlStoredProcRefresh, "Cannot perform this operation on a Stored Procedure"},
    {ZTL_ERR_LIB_PATH_NOT_FOUND, "Could not find database library path"},
    {ZTL_ERR_LIB_LOAD_FAILED, "Could not load the Database Interface library"},
    {ZTL_ERR_LIB_INIT_FAILED, "Unable to initialize database interface"},
    {ZTL_ERR_LIB_WRONG, "Function not supported by this version of the Database Interface library"},
    {ZTL_ERR_SESS_NIL, "The session property is not linked to a session"},
    {ZTL_ERR_SESS_TRANS_ACTIVE, "A user transaction is already in progress"},
    {ZTL_ERR_SESS_CONNECTED, "Not allowed while connected to a database"},
    {ZTL_ERR_SESS_INVALID_HANDLE, "Invalid database handle"},
    {ZTL_ERR_STMT_NOT_PREPARED, "The statement is not prepared"},
    {ZTL_ERR_CURS_NOT_QUERY, "The statement doesn't return a result-set"},
    {ZTL_ERR_CURS_IS_QUERY, "The statement returns a result-set"},
    {ZTL_ERR_CURS_BI_NOT_SUPP, "Bidirectional cursors not supported"},
    {ZTL_ERR_CURS_NOT_PREPARED, "The cursor is not prepared"},
    {ZTL_ERR_CURS_NOT_OPENED, "The cursor is not opened"},
    {ZTL_ERR_CURS_READ_ONLY, "The cursor is read-only"},
    {ZTL_ERR_CURS_MISSING_ROWID, "Cursor is missing rowid"},
}};

constexpr bool IdsAscending() {
  for (std::size_t I = 1; I < ZtlMessages.size(); ++I)
    if (ZtlMessages[I - 1].Id >= ZtlMessages[I].Id)
      return false;
  return true;
}
static_assert(IdsAscending(), "the message table must stay sorted by identifier");

} // namespace

std::string LoadZtlStr(int Id) {
  const auto* It = std::lower_bound(std::begin(ZtlMessages), std::end(ZtlMessages), Id,
                                    [](const TZtlMessage& M, int Key) { return M.Id < Key; });
  if (It == std::end(ZtlMessages) || It->Id != Id)
    return {};
  return It->Text;
}

std::string LoadZtlStrFmt(int Id, std::initializer_list<TFormatArg> Args) {
  return Format(LoadZtlStr(Id), Args);
}

} // namespace ztl
