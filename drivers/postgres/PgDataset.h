// The PostgreSQL driver's dataset components: the query, the stored
// procedure over the server's functions and procedures, the cursor they both
// run on, and the conversions between the cursor's row values and the
// framework's field data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "dataset/ZtlCustomDataset.h"
#include "dataset/ZtlRowFieldData.h"
#include "dataset/ZtlStoredProc.h"
#include "drivers/postgres/PgCursor.h"

namespace ztl {

// Raised when a value does not fit the column or the field it is copied to;
// the first %s names the column, the second says why. The cursor reports
// its own misfits with the same words.
inline constexpr const char* SPgFieldDataMisfit = SZtlFieldDataMisfit;

// Converts the column described by Def from the PostgreSQL cursor's row
// format at Source into the framework's field data format at Dest (room for
// DestSize bytes), and back from DataSize bytes of field data at Source into
// the row at Dest.
//
// Both directions check the sizes on both sides and raise EDatabaseError
// (SPgFieldDataMisfit) rather than cut a value; a refused write leaves the
// row as it was. Strings are NUL-terminated in both formats and their
// unused row bytes stay zero, since rows are compared byte for byte. Memo
// and blob data travels through the dataset's blob stream, not here; a
// type the driver's rows never hold (ntBinary, ntUnknown) is refused.
void PgReadFieldData(const TZantrelFieldDef& Def, const std::uint8_t* Source, void* Dest,
                     std::size_t DestSize);
void PgWriteFieldData(const TZantrelFieldDef& Def, std::uint8_t* Dest, const void* Source,
                      std::size_t DataSize);

// The cursor of the driver's datasets: a TZantrelPgSQL that can also run a
// statement returning rows as a command. Preparing picks the cursor path for
// such a statement, which would leave ExecSQL and ExecProc with nothing to
// execute; here the executable statement is marked prepared too and is
// prepared on the server only when it is first executed, so a statement
// that is only opened costs nothing more. Executing it reads its first row
// into the output variables, named as the result columns.
class TZantrelPgDatasetSQL : public TZantrelPgSQL {
public:
  explicit TZantrelPgDatasetSQL(TComponent* AOwner = nullptr);
  ~TZantrelPgDatasetSQL() override;

protected:
  bool InternalPrepare(const std::string& SQL) override;
  bool InternalPrepareExecute(const std::string& SQL) override;
  bool InternalBindExecVariables(TStringList* List) override;
  bool InternalExecute(TStringList* List) override;
  void InternalUnprepareExecute() override;

private:
  // Prepares the deferred executable statement on the server; false, with
  // the error recorded, when that fails.
  bool PrepareDeferred();

  bool Deferred = false; // ExecSQL is marked prepared but not yet on the server
};

// The PostgreSQL driver's query component: SQL text with ":name" (or "?")
// parameter markers over a TZantrelPgDatasetSQL cursor on a
// TZantrelPgSession. A SELECT of one table's plain columns can be edited
// when ReadOnly is off (see TZantrelPgSQL for which results qualify).
class TZantrelPgQuery : public TZantrelCustomDataset {
public:
  explicit TZantrelPgQuery(TComponent* AOwner = nullptr);
  ~TZantrelPgQuery() override;

protected:
  // A new cursor on the dataset's session of the moment (none before one is
  // set).
  std::unique_ptr<TZantrelSQL> CreateSQL() override;
  void ReadFieldData(const TZantrelFieldDef& FieldDef, const std::uint8_t* Source, void* Dest,
                     std::size_t DestSize) override;
  void WriteFieldData(const TZantrelFieldDef& FieldDef, std::uint8_t* Dest, const void* Source,
                      std::size_t DataSize) override;
};

// The PostgreSQL driver's stored-procedure component, for the server's
// functions and procedures.
//
// StoredProcName is "name" or "schema.name". A name is matched as written
// and, failing that, in lower case (an unquoted identifier's spelling);
// without a schema only routines visible through the search path count.
// Of several routines of that name (overloads) the one in the earliest
// schema of the search path, then the oldest, is described and called.
//
// Description: one parameter per argument in declaration order, named
// after the argument ("argN" for an unnamed input, "columnN" for an unnamed
// output, as the server names its result column); IN and VARIADIC are
// inputs, INOUT input-outputs, OUT and TABLE columns outputs. A function
// without output arguments that returns a single base value gets a result
// parameter "result" in front. Types: smallint and integer ntInteger,
// bigint and oid ntInt64, real, double, numeric and money ntFloat, boolean,
// date, time and timestamp their own types, bytea ntBlob, anything else
// ntString (its text form).
//
// The call: "SELECT * FROM schema.name(:in, ...)" for a function, with
// " AS result" when it has a result parameter, so the single column carries
// that parameter's name; "CALL schema.name(:in, NULL, ...)" for a
// procedure, which takes NULL in the place of each output argument. Inputs
// and input-outputs are passed, outputs come back as the first row's
// columns. Opening the component gives the function's rows; ExecProc copies
// the first row's values into the output parameters.
class TZantrelPgStoredProc : public TZantrelCustomStoredProc {
public:
  explicit TZantrelPgStoredProc(TComponent* AOwner = nullptr);
  ~TZantrelPgStoredProc() override;

protected:
  std::unique_ptr<TZantrelSQL> CreateSQL() override;
  void ReadFieldData(const TZantrelFieldDef& FieldDef, const std::uint8_t* Source, void* Dest,
                     std::size_t DestSize) override;
  void WriteFieldData(const TZantrelFieldDef& FieldDef, std::uint8_t* Dest, const void* Source,
                      std::size_t DataSize) override;
  // A catalog query over pg_proc, with Owner as a quoted literal and the
  // procedure name as its one parameter ":proc".
  std::string GetParamDescSQL(const std::string& Owner) override;
  // Looks the routine up in the catalog (its kind and quoted name) and
  // writes the call; a routine that cannot be found is called by the name
  // as written, quoted, so that the server reports it missing.
  void BuildProcSQL(const std::string& ResultPart, const std::string& ArgList) override;
};

} // namespace ztl
