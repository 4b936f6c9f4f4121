// The SQLite driver's dataset components: the query, which converts the
// cursor's row values to and from the framework's field data, and the stored
// procedure, which SQLite cannot run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "dataset/ZtlCustomDataset.h"
#include "dataset/ZtlRowFieldData.h"
#include "dataset/ZtlStoredProc.h"

namespace ztl {

// Raised by every attempt to describe or call a stored procedure.
inline constexpr const char* SSQLiteNoStoredProcs =
    "SQLite has no stored procedures; run the statement with a query instead";
// Raised when a value does not fit the column or the field it is copied to;
// the first %s names the column, the second says why.
inline constexpr const char* SSQLiteFieldDataMisfit = SZtlFieldDataMisfit;

// Converts the column described by Def from the SQLite cursor's row format
// at Source into the framework's field data format at Dest (room for
// DestSize bytes), and back from DataSize bytes of field data at Source into
// the row at Dest. Shared by the driver's dataset classes.
//
// Both directions check the sizes on both sides and raise EDatabaseError
// (SSQLiteFieldDataMisfit) instead of cutting a value; a refused write
// leaves the row as it was. Strings are NUL-terminated in both formats and
// their unused row bytes are kept zero, because rows are compared byte for
// byte. A binary field carries no length: a value written back with only
// zero bytes past the row's current length keeps that length, any other
// value takes the whole field. Memo and blob data travels through the
// dataset's blob stream, not here.
void SQLiteReadFieldData(const TZantrelFieldDef& Def, const std::uint8_t* Source, void* Dest,
                         std::size_t DestSize);
void SQLiteWriteFieldData(const TZantrelFieldDef& Def, std::uint8_t* Dest, const void* Source,
                          std::size_t DataSize);

// The SQLite driver's query component: SQL text with ":name" (or "?")
// parameter markers over a TZantrelSQLiteSQL cursor, on a
// TZantrelSQLiteSession. Results of one table can be edited when ReadOnly
// is off (see TZantrelSQLiteSQL for which results qualify).
class TZantrelSQLiteQuery : public TZantrelCustomDataset {
public:
  explicit TZantrelSQLiteQuery(TComponent* AOwner = nullptr);
  ~TZantrelSQLiteQuery() override;

protected:
  // A new cursor on the dataset's session of the moment (none before one is
  // set).
  std::unique_ptr<TZantrelSQL> CreateSQL() override;
  void ReadFieldData(const TZantrelFieldDef& FieldDef, const std::uint8_t* Source, void* Dest,
                     std::size_t DestSize) override;
  void WriteFieldData(const TZantrelFieldDef& FieldDef, std::uint8_t* Dest, const void* Source,
                      std::size_t DataSize) override;
};

// The SQLite driver's stored-procedure component. SQLite has no stored
// procedures, so there is neither a catalog to describe one nor a call
// syntax: describing the parameters (Prepare, Open, ExecProc, CopyParams)
// and building the call both raise EDatabaseError with SSQLiteNoStoredProcs.
// The class exists so that forms written for other drivers load and say
// plainly what is missing, rather than failing on an unknown class.
class TZantrelSQLiteStoredProc : public TZantrelCustomStoredProc {
public:
  explicit TZantrelSQLiteStoredProc(TComponent* AOwner = nullptr);
  ~TZantrelSQLiteStoredProc() override;

protected:
  std::unique_ptr<TZantrelSQL> CreateSQL() override;
  void ReadFieldData(const TZantrelFieldDef& FieldDef, const std::uint8_t* Source, void* Dest,
                     std::size_t DestSize) override;
  void WriteFieldData(const TZantrelFieldDef& FieldDef, std::uint8_t* Dest, const void* Source,
                      std::size_t DataSize) override;
  std::string GetParamDescSQL(const std::string& Owner) override;
  void BuildProcSQL(const std::string& ResultPart, const std::string& ArgList) override;
};

} // namespace ztl
