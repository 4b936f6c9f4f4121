// Fuzzes the SQLite driver's reading of database contents that nobody here
// wrote: a table whose declared column types come from the input (known names
// or free text) and whose stored values disagree with them as freely as
// SQLite allows (text in integer columns, reals in date columns, blobs
// anywhere, blobs of megabytes, texts that are no date), read through the
// query dataset as an application reads them.
//
// Every read must end with a value or a library exception; a crash, undefined
// behaviour, a leak, a hang or an exception of any other kind is a finding.
//
// Input layout (every byte optional; a short input ends the table early):
//   columns (1-4), rows (0-3);
//   per column: a type byte; below 0x80 it picks a known declared type,
//   otherwise its low 5 bits count the bytes of a free declared type text;
//   per value: a kind byte (NULL, integer, real, text, blob, large blob) and
//   its bytes (8 for numbers, a length byte and the bytes for text and blob,
//   two bytes of size in KiB for a large blob).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "drivers/sqlite/SQLiteApi_p.h"
#include "drivers/sqlite/SQLiteDataset.h"
#include "drivers/sqlite/SQLiteSession.h"
#include "framework/classes/Streams.h"
#include "framework/db/DataSet.h"
#include "framework/db/Fields.h"

namespace {

using namespace ztl;

constexpr const char* KnownTypes[] = {
    "",          "INTEGER",     "SMALLINT",     "BIGINT",       "REAL",
    "FLOAT",     "NUMERIC",     "NUMERIC(10,2)", "DECIMAL(38,4)", "CURRENCY",
    "BOOLEAN",   "DATE",        "TIME",         "DATETIME",     "TIMESTAMP",
    "CHAR(1)",   "VARCHAR(3)",  "VARCHAR(255)", "TEXT",         "CLOB",
    "BLOB",      "BINARY(4)",   "VARBINARY(2)", "GUID",         "STRING",
    "NVARCHAR",  "LONG VARCHAR"};

// Reads the input front to back; past its end every read gives zeros.
class TInput {
public:
  TInput(const std::uint8_t* Data, std::size_t Size) : Data(Data), Size(Size) {}
  bool AtEnd() const { return Pos >= Size; }
  std::uint8_t Byte() { return Pos < Size ? Data[Pos++] : 0; }
  std::string Bytes(std::size_t N) {
    N = std::min(N, Size - std::min(Pos, Size));
    std::string Out(reinterpret_cast<const char*>(Data + Pos), N);
    Pos += N;
    return Out;
  }

private:
  const std::uint8_t* Data;
  std::size_t Size;
  std::size_t Pos = 0;
};

std::string DeclaredType(TInput& In) {
  const std::uint8_t B = In.Byte();
  if (B < 0x80)
    return KnownTypes[B % std::size(KnownTypes)];
  // Free text stays inside the column definition: parentheses balanced, no
  // comma outside them that would start another column, no quote, comment or
  // semicolon that would leave the statement.
  std::string Text = In.Bytes(B & 0x1f);
  int Depth = 0;
  for (char& C : Text) {
    if (C == '(')
      ++Depth;
    else if (C == ')' && Depth > 0)
      --Depth;
    else if (C == ')' || (C == ',' && Depth == 0) || C == ';' || C == '\'' || C == '"' ||
             C == '-' || C == '/' || C == '[' || C == '`' || static_cast<unsigned char>(C) < 0x20)
      C = ' ';
  }
  return Text + std::string(static_cast<std::size_t>(Depth), ')');
}

// Binds one value of the kind the input asks for; a used-up input binds
// NULLs and empty values.
void BindValue(sqlite3_stmt* Stmt, int Index, TInput& In) {
  const TSQLiteApi& Api = SQLite();
  switch (In.Byte() % 6) {
  case 0:
    Api.bind_null(Stmt, Index);
    break;
  case 1: {
    std::int64_t V = 0;
    const std::string B = In.Bytes(8);
    std::memcpy(&V, B.data(), B.size());
    Api.bind_int64(Stmt, Index, V);
    break;
  }
  case 2: {
    double V = 0;
    const std::string B = In.Bytes(8);
    std::memcpy(&V, B.data(), B.size());
    Api.bind_double(Stmt, Index, V);
    break;
  }
  case 3: {
    const std::string T = In.Bytes(In.Byte());
    Api.bind_text(Stmt, Index, T.data(), static_cast<int>(T.size()), SQLITE_TRANSIENT);
    break;
  }
  case 4: {
    const std::string T = In.Bytes(In.Byte());
    Api.bind_blob(Stmt, Index, T.data(), static_cast<int>(T.size()), SQLITE_TRANSIENT);
    break;
  }
  default: {
    // Up to 4 MiB: large enough to cross every buffer the driver sizes.
    const std::size_t KiB = (In.Byte() | (In.Byte() << 8)) % 4097;
    const std::string T(KiB * 1024, static_cast<char>(In.Byte()));
    Api.bind_blob(Stmt, Index, T.data(), static_cast<int>(T.size()), SQLITE_TRANSIENT);
    break;
  }
  }
}

// Builds table t from the input on the session's connection; false when
// SQLite refuses the definition (free type texts may be no type at all).
bool BuildTable(TZantrelSQLiteSession& Session, TInput& In) {
  const TSQLiteApi& Api = SQLite();
  sqlite3* Db = Session.GetDatabase();
  if (Api.exec(Db, "DROP TABLE IF EXISTS t", nullptr, nullptr, nullptr) != SQLITE_OK)
    return false;
  const int Columns = In.Byte() % 4 + 1;
  const int Rows = In.Byte() % 4;
  std::string Create = "CREATE TABLE t(";
  std::string Insert = "INSERT INTO t VALUES (";
  for (int C = 0; C < Columns; ++C) {
    Create += (C ? ", c" : "c") + std::to_string(C) + " " + DeclaredType(In);
    Insert += C ? ", ?" : "?";
  }
  if (Api.exec(Db, (Create + ")").c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
    return false;
  sqlite3_stmt* Stmt = nullptr;
  if (Api.prepare_v2(Db, (Insert + ")").c_str(), -1, &Stmt, nullptr) != SQLITE_OK)
    return false;
  bool Ok = true;
  for (int R = 0; R < Rows && Ok && !In.AtEnd(); ++R) {
    Api.reset(Stmt);
    for (int C = 0; C < Columns; ++C)
      BindValue(Stmt, C + 1, In);
    Ok = Api.step(Stmt) == SQLITE_DONE;
  }
  Api.finalize(Stmt);
  return Ok;
}

// Reads the field every way an application may; each way may refuse with
// the library's exception, and a refusal must not disturb the next one.
void ReadEveryWay(TField* Field) {
  const auto Try = [](auto&& Read) {
    try {
      Read();
    } catch (const Exception&) {
    }
  };
  Try([&] { (void)Field->IsNull(); });
  Try([&] { (void)Field->GetAsString(); });
  Try([&] { (void)Field->GetAsVariant(); });
  Try([&] { (void)Field->GetAsInteger(); });
  Try([&] { (void)Field->GetAsLargeInt(); });
  Try([&] { (void)Field->GetAsFloat(); });
  Try([&] { (void)Field->GetAsBoolean(); });
  Try([&] { (void)Field->GetAsDateTime(); });
  if (Field->IsBlob())
    Try([&] {
      const std::unique_ptr<TStream> Blob = Field->DataSet()->CreateBlobStream(Field, bmRead);
      std::string All(static_cast<std::size_t>(Blob->GetSize()), '\0');
      Blob->ReadBuffer(All.data(), static_cast<std::int32_t>(All.size()));
    });
}

TZantrelSQLiteSession& Session() {
  static TZantrelSQLiteSession* S = [] {
    auto* New = new TZantrelSQLiteSession(nullptr);
    New->SetDatabaseName(":memory:");
    New->Open();
    return New;
  }();
  return *S;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  TInput In(Data, Size);
  if (!BuildTable(Session(), In))
    return 0;
  TZantrelSQLiteQuery Query;
  Query.SetSession(&Session());
  Query.GetSQL()->SetText("SELECT * FROM t");
  try {
    Query.Open();
  } catch (const Exception&) {
    return 0; // a declared type the driver cannot take is refused, not misread
  }
  for (int Moves = 0; !Query.Eof() && Moves < 8; ++Moves) {
    for (int I = 0; I < Query.Fields().Count(); ++I)
      ReadEveryWay(Query.Fields()[I]);
    try {
      Query.Next();
    } catch (const Exception&) {
      break;
    }
  }
  Query.Close();
  return 0;
}
