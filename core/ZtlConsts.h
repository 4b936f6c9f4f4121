// Library names, the version constant and the message table of the core
// engine and the dataset layer: every message has a fixed numeric identifier
// and a named constant, and its text is loaded by identifier when raised.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "framework/rtl/SysUtils.h"

namespace ztl {

inline constexpr const char* szZantrelixVersion = "1.91";
inline constexpr const char* szZantrelLibraryName = "Zantrelix";
inline constexpr const char* szZantrelLibraryShortName = "ZTL";

// Identifiers of the dataset layer's messages.
inline constexpr int SZtlNoFieldAccess = 65488;
inline constexpr int SZtlNoMissingOrderBy = 65489;
inline constexpr int SZtlNoReadOnly = 65490;

// Identifiers of the core engine's messages and texts.
inline constexpr int ZTL_ERR_FIELD_NOT_FOUND = 65504;
inline constexpr int ZTL_ERR_PARAM_NOT_FOUND = 65505;
inline constexpr int ZTL_ERR_BLOB_REQUIRED = 65506;
inline constexpr int ZTL_ERR_BLOB_STREAM_INVALID = 65507;
inline constexpr int ZTL_ERR_BLOB_PICTURE_INVALID = 65508;
inline constexpr int ZTL_TXT_FALSE = 65509;
inline constexpr int ZTL_TXT_TRUE = 65510;

inline constexpr int SZtlEmptySQLStatement = 65511;
inline constexpr int SZtlDataSetPrepared = 65512;
inline constexpr int SZtlRowChanged = 65513;
inline constexpr int SZtlNoStoredProcName = 65514;
inline constexpr int SZtlTooManyResultProcParams = 65515;
inline constexpr int SZtlStoredProcCompleted = 65516;
inline constexpr int SZtlNoParameterValue = 65517;
inline constexpr int SZtlNoParameterType = 65518;
inline constexpr int SZtlStoredProcRefresh = 65519;

inline constexpr int ZTL_ERR_LIB_PATH_NOT_FOUND = 65520;
inline constexpr int ZTL_ERR_LIB_LOAD_FAILED = 65521;
inline constexpr int ZTL_ERR_LIB_INIT_FAILED = 65522;
inline constexpr int ZTL_ERR_LIB_WRONG = 65523;
inline constexpr int ZTL_ERR_SESS_NIL = 65524;
inline constexpr int ZTL_ERR_SESS_TRANS_ACTIVE = 65525;
inline constexpr int ZTL_ERR_SESS_CONNECTED = 65526;
inline constexpr int ZTL_ERR_SESS_INVALID_HANDLE = 65527;
inline constexpr int ZTL_ERR_STMT_NOT_PREPARED = 65528;
inline constexpr int ZTL_ERR_CURS_NOT_QUERY = 65529;
inline constexpr int ZTL_ERR_CURS_IS_QUERY = 65530;
inline constexpr int ZTL_ERR_CURS_BI_NOT_SUPP = 65531;
inline constexpr int ZTL_ERR_CURS_NOT_PREPARED = 65532;
inline constexpr int ZTL_ERR_CURS_NOT_OPENED = 65533;
inline constexpr int ZTL_ERR_CURS_READ_ONLY = 65534;
inline constexpr int ZTL_ERR_CURS_MISSING_ROWID = 65535;

// Returns the text of message Id, or an empty string for an identifier that
// the table does not hold (the way a missing resource string loads).
std::string LoadZtlStr(int Id);

// The text of message Id with its %s (or %d) placeholders filled from Args,
// as Format does. A number meant for a %s is passed as its decimal text.
std::string LoadZtlStrFmt(int Id, std::initializer_list<TFormatArg> Args);

} // namespace ztl
