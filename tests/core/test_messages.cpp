// The message table, the package exceptions, the placeholder entry points and
// the dataset layer's error-code check.
#include <gtest/gtest.h>

#include <string>

#include "core/ZtlBase.h"
#include "dataset/ZtlBasDS.h"

namespace ztl {
namespace {

struct TMessageCase {
  int Constant;     // the named constant under test
  int Id;           // the identifier it must equal
  const char* Text; // the text loaded for it
};

// Written out independently of the table in the library, so that a typo in
// either one shows up here.
const TMessageCase MessageCases[] = {
    {SZtlNoFieldAccess, 65488, "Cannot access field '%s' in a filter"},
    {SZtlNoMissingOrderBy, 65489, "Missing or unsupported ORDER BY clause to build index"},
    {SZtlNoReadOnly, 65490, "Not a read-only dataset"},
    {ZTL_ERR_FIELD_NOT_FOUND, 65504, "Field \"%s\" not found"},
    {ZTL_ERR_PARAM_NOT_FOUND, 65505, "Host variable \"%s\" not found"},
    {ZTL_ERR_BLOB_REQUIRED, 65506, "Field \"%s\" is not a blob"},
    {ZTL_ERR_BLOB_STREAM_INVALID, 65507, "Not a valid stream parameter"},
    {ZTL_ERR_BLOB_PICTURE_INVALID, 65508, "Not a valid picture parameter"},
    {ZTL_TXT_FALSE, 65509, "False"},
    {ZTL_TXT_TRUE, 65510, "True"},
    {SZtlEmptySQLStatement, 65511, "No SQL statement available"},
    {SZtlDataSetPrepared, 65512, "Cannot perform this operation on an open or prepared dataset"},
    {SZtlRowChanged, 65513, "Couldn't perform the edit because another user changed the record"},
    {SZtlNoStoredProcName, 65514, "Empty or missing Stored Procedure name"},
    {SZtlTooManyResultProcParams, 65515, "Too many Stored Function result parameters"},
    {SZtlStoredProcCompleted, 65516, "The Stored Procedure has completed"},
    {SZtlNoParameterValue, 65517, "No value for parameter '%s'"},
    {SZtlNoParameterType, 65518, "No parameter type for parameter '%s'"},
    {SZtlStoredProcRefresh, 65519, "Cannot perform this operation on a Stored Procedure"},
    {ZTL_ERR_LIB_PATH_NOT_FOUND, 65520, "Could not find database library path"},
    {ZTL_ERR_LIB_LOAD_FAILED, 65521, "Could not load the Database Interface library"},
    {ZTL_ERR_LIB_INIT_FAILED, 65522, "Unable to initialize database interface"},
    {ZTL_ERR_LIB_WRONG, 65523,
     "Function not supported by this version of the Database Interface library"},
    {ZTL_ERR_SESS_NIL, 65524, "The session property is not linked to a session"},
    {ZTL_ERR_SESS_TRANS_ACTIVE, 65525, "A user transaction is already in progress"},
    {ZTL_ERR_SESS_CONNECTED, 65526, "Not allowed while connected to a database"},
    {ZTL_ERR_SESS_INVALID_HANDLE, 65527, "Invalid database handle"},
    {ZTL_ERR_STMT_NOT_PREPARED, 65528, "The statement is not prepared"},
    {ZTL_ERR_CURS_NOT_QUERY, 65529, "The statement doesn't return a result-set"},
    {ZTL_ERR_CURS_IS_QUERY, 65530, "The statement returns a result-set"},
    {ZTL_ERR_CURS_BI_NOT_SUPP, 65531, "Bidirectional cursors not supported"},
    {ZTL_ERR_CURS_NOT_PREPARED, 65532, "The cursor is not prepared"},
    {ZTL_ERR_CURS_NOT_OPENED, 65533, "The cursor is not opened"},
    {ZTL_ERR_CURS_READ_ONLY, 65534, "The cursor is read-only"},
    {ZTL_ERR_CURS_MISSING_ROWID, 65535, "Cursor is missing rowid"},
};

TEST(MessageTable, EveryConstantHasItsIdentifierAndText) {
  ASSERT_EQ(std::size(MessageCases), 35u);
  for (const TMessageCase& Case : MessageCases) {
    SCOPED_TRACE(Case.Id);
    EXPECT_EQ(Case.Constant, Case.Id);
    EXPECT_EQ(LoadZtlStr(Case.Id), Case.Text);
  }
}

TEST(MessageTable, IdentifiersOutsideTheTableLoadEmpty) {
  for (int Id : {0, -1, 65487, 65491, 65503, 65536})
    EXPECT_EQ(LoadZtlStr(Id), "") << Id;
}

TEST(MessageTable, PlaceholdersTakeTextAndNumbers) {
  EXPECT_EQ(LoadZtlStrFmt(ZTL_ERR_FIELD_NOT_FOUND, {"NAME"}), "Field \"NAME\" not found");
  // A numeric field address is shown as its decimal text.
  EXPECT_EQ(LoadZtlStrFmt(ZTL_ERR_FIELD_NOT_FOUND, {std::int64_t{7}}), "Field \"7\" not found");
  // A name carrying format characters is not taken for a format.
  EXPECT_EQ(LoadZtlStrFmt(SZtlNoParameterValue, {"%s%d"}), "No value for parameter '%s%d'");
}

TEST(LibraryConstants, NamesAndVersion) {
  EXPECT_STREQ(szZantrelixVersion, "1.91");
  EXPECT_STREQ(szZantrelLibraryName, "Zantrelix");
  EXPECT_STREQ(szZantrelLibraryShortName, "ZTL");
}

TEST(PackageExceptions, DatasetErrorIsADatabaseErrorWithItsCode) {
  try {
    throw EZantrelDatasetError("broken", -42);
  } catch (const EDatabaseError& E) {
    EXPECT_STREQ(E.what(), "broken");
    const auto* Typed = dynamic_cast<const EZantrelDatasetError*>(&E);
    ASSERT_NE(Typed, nullptr);
    EXPECT_EQ(Typed->GetErrorCode(), -42);
  }
}

TEST(PlaceholderEntryPoints, DummyProcRaisesLibraryWrongWithCodeZero) {
  void (*const EntryPoint)() = ZtlDummyProc;
  try {
    EntryPoint();
    FAIL() << "ZtlDummyProc returned";
  } catch (const EZantrelException& E) {
    EXPECT_EQ(E.GetMessage(), LoadZtlStr(ZTL_ERR_LIB_WRONG));
    EXPECT_EQ(E.GetErrorCode(), 0);
  }
  EXPECT_EQ(ZtlDummyProcNoExcept(), 0);
}

TEST(ZantrelCheckError, OnlyNegativeCodesRaise) {
  EXPECT_NO_THROW(ZantrelCheckError("fine", 0));
  EXPECT_NO_THROW(ZantrelCheckError("fine", 5));
  try {
    ZantrelCheckError("driver said no", -1);
    FAIL() << "a negative code did not raise";
  } catch (const EZantrelDatasetError& E) {
    EXPECT_EQ(E.GetMessage(), "driver said no");
    EXPECT_EQ(E.GetErrorCode(), -1);
  }
}

} // namespace
} // namespace ztl
