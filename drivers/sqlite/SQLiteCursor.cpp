// The SQLite cursor's statements: compiling, describing the result,
// binding host variables, opening, closing and executing.
#include "drivers/sqlite/SQLiteCursor_p.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <typeinfo>

#include "core/ZtlConsts.h"
#include "drivers/common/ZtlDriverConsts.h"
#include "drivers/sqlite/SQLiteBlobStream.h"
#include "drivers/sqlite/SQLiteSession.h"
#include "drivers/sqlite/SQLiteShape_p.h"

namespace ztl {

namespace {

bool SameName(std::string_view A, std::string_view B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
           return std::tolower(static_cast<unsigned char>(X)) ==
                  std::tolower(static_cast<unsigned char>(Y));
         });
}

// The names under which SQLite lets a statement reach a rowid.
constexpr const char* RowidNames[] = {"rowid", "_rowid_", "oid"};

// The order SQLite's built-in collating sequence Name gives; coUnknown for
// one an application defined.
TZantrelCollation CollationOf(const char* Name) {
  if (!Name)
    return coUnknown;
  if (SameName(Name, "BINARY"))
    return coBinary;
  if (SameName(Name, "NOCASE"))
    return coNoCase;
  if (SameName(Name, "RTRIM"))
    return coRTrim;
  return coUnknown;
}

// What PRAGMA table_info says about one table.
struct TTableInfo {
  struct TTableColumn {
    std::string Name;     // column name
    std::string Type;     // declared type
    bool NotNull = false; // NOT NULL
    int PrimaryKey = 0;   // position in the primary key, 0 when not in it
  };
  std::vector<TTableColumn> Columns;
  std::string RowidAlias; // the INTEGER PRIMARY KEY column, if there is one

  bool HasColumn(std::string_view Name) const {
    return std::any_of(Columns.begin(), Columns.end(),
                       [&](const TTableColumn& C) { return SameName(C.Name, Name); });
  }
  const TTableColumn* Find(std::string_view Name) const {
    for (const TTableColumn& C : Columns)
      if (SameName(C.Name, Name))
        return &C;
    return nullptr;
  }
};

// Reads PRAGMA table_info of Schema.Table; an empty result when it fails.
TTableInfo ReadTableInfo(sqlite3* Db, const std::string& Schema, const std::string& Table) {
  TTableInfo Info;
  const TSQLiteApi& A = SQLite();
  const std::string SQL =
      "PRAGMA " + SQLiteQuoteName(Schema) + ".table_info(" + SQLiteQuoteName(Table) + ")";
  sqlite3_stmt* Stmt = nullptr;
  if (A.prepare_v2(Db, SQL.c_str(), -1, &Stmt, nullptr) != SQLITE_OK) {
    A.finalize(Stmt);
    return Info;
  }
  TSQLiteStatement Owner(Stmt);
  while (A.step(Stmt) == SQLITE_ROW) {
    TTableInfo::TTableColumn C;
    const auto Text = [&](int I) {
      const unsigned char* P = A.column_text(Stmt, I);
      return P ? std::string(reinterpret_cast<const char*>(P)) : std::string();
    };
    C.Name = Text(1);
    C.Type = Text(2);
    C.NotNull = A.column_int64(Stmt, 3) != 0;
    C.PrimaryKey = static_cast<int>(A.column_int64(Stmt, 5));
    Info.Columns.push_back(std::move(C));
  }
  int Keys = 0;
  const TTableInfo::TTableColumn* Key = nullptr;
  for (const auto& C : Info.Columns)
    if (C.PrimaryKey > 0) {
      ++Keys;
      Key = &C;
    }
  // A single-column primary key declared exactly INTEGER is the rowid itself.
  if (Keys == 1 && SameName(Key->Type, "INTEGER"))
    Info.RowidAlias = Key->Name;
  return Info;
}

} // namespace

// Refused values carry SQLite's own codes for a value too big or of the wrong
// kind.
TZantrelSQLiteSQL::TZantrelSQLiteSQL(TComponent* AOwner)
    : TZtlDriverSQL(AOwner, {-SQLITE_TOOBIG, -SQLITE_MISMATCH}) {}

TZantrelSQLiteSQL::~TZantrelSQLiteSQL() {
  DestroySQL();
}

TZantrelSQLiteSession& TZantrelSQLiteSQL::SQLiteSession() {
  // Every open and execute comes here; the exact class is checked without
  // the cost of a full dynamic cast.
  if (Session && typeid(*Session) == typeid(TZantrelSQLiteSession))
    return static_cast<TZantrelSQLiteSession&>(*Session);
  TZantrelSession* S = GetSession();
  auto* Own = dynamic_cast<TZantrelSQLiteSession*>(S);
  if (!Own) {
    if (!S)
      throw EZantrelException(LoadZtlStr(ZTL_ERR_SESS_NIL), 0);
    RaiseLastError(Format(SZtlWrongSession, {"SQLite"}), -SQLITE_MISUSE);
  }
  return *Own;
}

TZantrelSQLiteBlobStream* TZantrelSQLiteSQL::GetColumnStream(std::int32_t FieldIndex) const {
  if (FieldIndex < 0 || FieldIndex >= static_cast<std::int32_t>(Columns.size()))
    return nullptr;
  return BlobStream(Columns[static_cast<std::size_t>(FieldIndex)].Blob);
}

TZantrelCollation TZantrelSQLiteSQL::GetColumnCollation(std::int32_t Column) const {
  if (Column < 0 || Column >= static_cast<std::int32_t>(Columns.size()))
    return coUnknown;
  return Columns[static_cast<std::size_t>(Column)].Collation;
}

// --- Compiling -----------------------------------------------------------------

bool TZantrelSQLiteSQL::Compile(const std::string& SQL, TSQLiteStatement& Stmt, bool* Script) {
  TZantrelSQLiteSession& S = SQLiteSession();
  sqlite3* Db = S.GetDatabase();
  if (!Db)
    return S.Fail(LoadZtlStr(ZTL_ERR_SESS_INVALID_HANDLE), -SQLITE_MISUSE);
  // SQLite would stop at a NUL and quietly ignore what follows it.
  if (SQL.size() > static_cast<std::size_t>(INT_MAX) - 1 ||
      std::memchr(SQL.data(), 0, SQL.size()) != nullptr)
    return S.Fail("The SQL text contains a NUL character", -SQLITE_MISUSE);
  if (Script)
    *Script = false;
  const TSQLiteApi& A = SQLite();
  sqlite3_stmt* P = nullptr;
  const char* Tail = nullptr;
  const int Rc = A.prepare_v2(Db, SQL.c_str(), static_cast<int>(SQL.size()) + 1, &P, &Tail);
  ++S.GetStatistics().Prepares;
  if (Rc != SQLITE_OK) {
    A.finalize(P);
    return S.Fail();
  }
  Stmt.Reset(P);
  if (!P) {
    if (!Script)
      return S.Fail("The SQL text holds no statement", -SQLITE_MISUSE);
    // Only blanks, comments and semicolons: a script with nothing to run.
    *Script = true;
    return true;
  }
  // A second statement in the text would never run; refuse it rather than
  // drop it, unless the caller runs the text as a script. Blanks, comments
  // and semicolons after the first are fine.
  if (Tail && *Tail) {
    sqlite3_stmt* Extra = nullptr;
    const int ExtraRc = A.prepare_v2(Db, Tail, -1, &Extra, nullptr);
    const bool More = ExtraRc != SQLITE_OK || Extra != nullptr;
    A.finalize(Extra);
    if (More) {
      Stmt.Reset();
      if (!Script)
        return S.Fail("The SQL text holds more than one statement", -SQLITE_MISUSE);
      // The later statements may depend on what the first one does (a
      // table it creates), so each is compiled only when its turn comes.
      *Script = true;
    }
  }
  return true;
}

bool TZantrelSQLiteSQL::RunScript() {
  TZantrelSQLiteSession& S = SQLiteSession();
  if (ExecVariables.GetCount() > 0)
    return S.Fail(SZtlScriptWithParams, -SQLITE_MISUSE);
  if (!S.EnsureTransaction())
    return false;
  const TSQLiteApi& A = SQLite();
  sqlite3* Db = S.GetDatabase();
  OutVariables.Clear();
  RowsProcessed = 0;
  const char* Next = ExecSQL.c_str();
  while (*Next) {
    sqlite3_stmt* P = nullptr;
    const int PrepareRc = A.prepare_v2(Db, Next, -1, &P, &Next);
    ++S.GetStatistics().Prepares;
    TSQLiteStatement Stmt(P);
    if (PrepareRc != SQLITE_OK)
      return S.Fail();
    if (!P)
      continue; // blanks, a comment or a lone semicolon
    ++S.GetStatistics().Executes;
    const int ChangesBefore = A.total_changes(Db);
    int Rc;
    while ((Rc = A.step(P)) == SQLITE_ROW) {
    }
    if (Rc != SQLITE_DONE)
      return S.Fail();
    if (A.total_changes(Db) != ChangesBefore)
      RowsProcessed += A.changes(Db);
  }
  InternalAutoCommit();
  return true;
}

// --- Describing the result -------------------------------------------------------

bool TZantrelSQLiteSQL::AdoptQuery(TSQLiteStatement Stmt, const std::string& SQL) {
  TZantrelSQLiteSession& S = SQLiteSession();
  const TSQLiteApi& A = SQLite();
  const std::int32_t MaxString = S.GetMaxStringSize();
  Updatable = false;
  ReadOnlyReason = LoadZtlStr(ZTL_ERR_CURS_READ_ONLY);
  ReadOnlyCode = -SQLITE_READONLY;
  BaseSchema.clear();
  BaseTable.clear();
  RowidName.clear();
  TypesSettled = false;
  Columns.clear();
  const int Count = A.column_count(Stmt.Get());
  Columns.resize(static_cast<std::size_t>(Count));
  for (int I = 0; I < Count; ++I) {
    TColumn& C = Columns[static_cast<std::size_t>(I)];
    const char* Name = A.column_name(Stmt.Get(), I);
    C.Name = Name ? Name : "";
    C.StmtColumn = I;
    const char* Decl = A.column_decltype(Stmt.Get(), I);
    C.Declared = SQLiteMapDeclaredType(Decl, MaxString);
    C.TextAffinity = SQLiteHasTextAffinity(Decl);
  }
  if (A.HasColumnMetadata && !AnalyseTable(Stmt, SQL))
    return false;
  OpenStmt = std::move(Stmt);
  // Whatever analysing it did, the first open resets it.
  OpenStepped = true;
  ExpectedColumns = A.column_count(OpenStmt.Get());
  LayOut(false);
  return TZantrelSQL::InternalPrepareOpen(SQL);
}

bool TZantrelSQLiteSQL::AnalyseTable(TSQLiteStatement& Stmt, const std::string& SQL) {
  const TSQLiteApi& A = SQLite();
  sqlite3* Db = SQLiteSession().GetDatabase();
  // Origins, nullability and the 64-bit rowid alias, for every column that
  // comes straight from a table.
  std::map<std::string, TTableInfo> Tables;
  std::string Database, Table;
  bool OneTable = !Columns.empty();
  for (TColumn& C : Columns) {
    const char* T = A.column_table_name(Stmt.Get(), C.StmtColumn);
    const char* D = A.column_database_name(Stmt.Get(), C.StmtColumn);
    const char* O = A.column_origin_name(Stmt.Get(), C.StmtColumn);
    if (!T || !D || !O) {
      OneTable = false;
      continue;
    }
    C.Origin = O;
    const char *DeclType, *Collation;
    int NotNull, PrimaryKey, AutoInc;
    if (A.table_column_metadata(Db, D, T, O, &DeclType, &Collation, &NotNull, &PrimaryKey,
                                &AutoInc) == SQLITE_OK)
      C.Collation = CollationOf(Collation);
    const std::string Key = std::string(D) + '\0' + T;
    auto It = Tables.find(Key);
    if (It == Tables.end())
      It = Tables.emplace(Key, ReadTableInfo(Db, D, T)).first;
    const TTableInfo& Info = It->second;
    if (const TTableInfo::TTableColumn* TC = Info.Find(O))
      C.Nulls = !TC->NotNull;
    const bool IsRowid =
        (!Info.RowidAlias.empty() && SameName(O, Info.RowidAlias)) ||
        (!Info.HasColumn(O) && std::any_of(std::begin(RowidNames), std::end(RowidNames),
                                           [&](const char* N) { return SameName(O, N); }));
    if (IsRowid) {
      C.Declared = {ntInt64, 0, 0, false};
      C.Nulls = false;
    }
    if (Table.empty()) {
      Database = D;
      Table = T;
    } else if (!SameName(Database, D) || !SameName(Table, T)) {
      OneTable = false;
    }
  }
  const TSQLiteSelectShape Shape = SQLiteAnalyseSelect(SQL);
  if (!OneTable || !Shape.SingleTable || !SameName(Shape.Table, Table) ||
      (!Shape.Schema.empty() && !SameName(Shape.Schema, Database)))
    return true;
  // A column shown twice could be written twice with different values.
  for (std::size_t I = 0; I < Columns.size(); ++I)
    for (std::size_t J = I + 1; J < Columns.size(); ++J)
      if (SameName(Columns[I].Origin, Columns[J].Origin))
        return true;
  const TTableInfo& Info = Tables.begin()->second;
  BaseSchema = Database;
  BaseTable = Table;
  // The primary key, when the result shows all of it.
  std::vector<std::size_t> KeyColumns;
  std::size_t PrimaryKeyWidth = 0;
  for (const auto& TC : Info.Columns) {
    if (TC.PrimaryKey <= 0)
      continue;
    ++PrimaryKeyWidth;
    for (std::size_t I = 0; I < Columns.size(); ++I)
      if (SameName(Columns[I].Origin, TC.Name))
        KeyColumns.push_back(I);
  }
  if (PrimaryKeyWidth > 0 && KeyColumns.size() == PrimaryKeyWidth) {
    for (std::size_t I : KeyColumns)
      Columns[I].Key = kiKeyField;
    Updatable = true;
    return true;
  }
  // A rowid the statement selects itself.
  for (TColumn& C : Columns)
    if (!Info.HasColumn(C.Origin) &&
        std::any_of(std::begin(RowidNames), std::end(RowidNames),
                    [&](const char* N) { return SameName(C.Origin, N); })) {
      C.Key = kiKeyField;
      RowidName = C.Origin;
      Updatable = true;
      return true;
    }
  // Otherwise the rowid is added to the statement as a hidden column, under
  // the first of its names that no real column takes.
  const char* Alias = nullptr;
  for (const char* N : RowidNames)
    if (!Info.HasColumn(N)) {
      Alias = N;
      break;
    }
  const char *DeclType, *Collation;
  int NotNull, PrimaryKey, AutoInc;
  if (!Alias || A.table_column_metadata(Db, Database.c_str(), Table.c_str(), Alias, &DeclType,
                                        &Collation, &NotNull, &PrimaryKey, &AutoInc) != SQLITE_OK) {
    // WITHOUT ROWID tables have no rowid to fall back on.
    ReadOnlyReason = LoadZtlStr(ZTL_ERR_CURS_MISSING_ROWID);
    ReadOnlyCode = -SQLITE_READONLY;
    BaseTable.clear();
    return true;
  }
  // The key goes last, so that ordinals in ORDER BY and the expansion of
  // "*" name the same columns as in the text as written.
  const std::string Injected =
      SQL.substr(0, Shape.ListEnd) + ", " + Alias + " " + SQL.substr(Shape.ListEnd);
  // A failed attempt must not show as the session's last error: the
  // statement itself compiled fine and stays read-only.
  TZantrelSQLiteSession& S = SQLiteSession();
  const std::string SavedError = S.GetLastError();
  const std::int32_t SavedCode = S.GetLastErrorCode();
  TSQLiteStatement WithRowid;
  const int Expected = static_cast<int>(Columns.size()) + 1;
  if (!Compile(Injected, WithRowid) || A.column_count(WithRowid.Get()) != Expected ||
      !A.column_table_name(WithRowid.Get(), Expected - 1) ||
      !SameName(A.column_table_name(WithRowid.Get(), Expected - 1), Table)) {
    S.SetLastError(SavedError, SavedCode);
    BaseTable.clear();
    return true;
  }
  TColumn Hidden;
  Hidden.Name = "rowid";
  Hidden.StmtColumn = Expected - 1;
  Hidden.Declared = {ntInt64, 0, 0, false};
  Hidden.Origin = Alias;
  Hidden.Nulls = false;
  Hidden.Key = kiHiddenKeyField;
  Columns.push_back(std::move(Hidden));
  RowidName = Alias;
  Stmt = std::move(WithRowid);
  Updatable = true;
  return true;
}

void TZantrelSQLiteSQL::LayOut(bool HaveRow) {
  const TSQLiteApi& A = SQLite();
  const std::int32_t MaxString = SQLiteSession().GetMaxStringSize();
  InternalFreeOpenBuffer();
  FieldDefs.Clear();
  BlobColumns = 0;
  for (TColumn& C : Columns) {
    TSQLiteColumnType T = C.Declared;
    if (T.ByValue && HaveRow)
      T = SQLiteTypeOfValue(A.column_type(OpenStmt.Get(), C.StmtColumn), MaxString);
    C.Type = T.Type;
    C.Size = SQLiteRowSizeOf(T.Type, T.Length);
    C.Blob = IsBlobFieldType(T.Type) ? BlobColumns++ : -1;
    const TZantrelFieldDef* Def =
        InternalAddFieldDef(FieldDefs, C.Name, T.Type, SQLiteStorageClassOf(T.Type), C.Size,
                            T.Length, T.Decimals, C.Nulls, C.Key);
    C.Offset = Def->Offset;
  }
  Slots.clear();
  for (const TColumn& C : Columns)
    Slots.push_back(
        {C.StmtColumn, C.Offset, C.Size, C.Blob, C.Type,
         C.TextAffinity && !C.Origin.empty() && (C.Type == ntString || C.Type == ntMemo)});
  BlobPieces.assign(static_cast<std::size_t>(BlobColumns), {});
  BlobScratch.assign(static_cast<std::size_t>(BlobColumns), {});
  BlobLengths.assign(static_cast<std::size_t>(BlobColumns), 0);
  RowSize = FieldDefs.Size();
  NullSize = FieldDefs.GetCount();
  // Rows are fetched into the row cache, not the base's fetch buffer.
  FetchRows = 1;
  InternalAllocOpenBuffer();
  for (const TZantrelFieldDef* Def : FieldDefs)
    if (IsBlobFieldType(Def->FieldType))
      new TZantrelSQLiteBlobStream(BlobManager.get(), Def->Name); // the manager owns it
  Cache.Configure(RowSize, NullSize, BlobColumns);
}

// --- Preparing ---------------------------------------------------------------------

bool TZantrelSQLiteSQL::InternalPrepare(const std::string& SQL) {
  TSQLiteStatement Stmt;
  bool Script;
  if (!Compile(SQL, Stmt, &Script))
    return false;
  if (Script) {
    ExecScript = true;
    return TZantrelSQL::InternalPrepareExecute(SQL);
  }
  if (SQLite().column_count(Stmt.Get()) > 0)
    return AdoptQuery(std::move(Stmt), SQL);
  ExecStmt = std::move(Stmt);
  ExecStepped = true;
  return TZantrelSQL::InternalPrepareExecute(SQL);
}

bool TZantrelSQLiteSQL::InternalPrepareOpen(const std::string& SQL) {
  TSQLiteStatement Stmt;
  if (!Compile(SQL, Stmt))
    return false;
  if (SQLite().column_count(Stmt.Get()) == 0)
    return SQLiteSession().Fail(LoadZtlStr(ZTL_ERR_CURS_NOT_QUERY), -SQLITE_MISUSE);
  return AdoptQuery(std::move(Stmt), SQL);
}

bool TZantrelSQLiteSQL::InternalPrepareExecute(const std::string& SQL) {
  TSQLiteStatement Stmt;
  if (!Compile(SQL, Stmt, &ExecScript))
    return false;
  ExecStmt = std::move(Stmt);
  ExecStepped = static_cast<bool>(ExecStmt);
  return TZantrelSQL::InternalPrepareExecute(SQL);
}

void TZantrelSQLiteSQL::InternalUnprepareOpen() {
  DetachStreams();
  OpenStmt.Reset();
  RereadStmt.Reset();
  RowidStmt.Reset();
  WriteStmts.clear();
  Columns.clear();
  Slots.clear();
  Cache.Release();
  Updatable = false;
  BaseSchema.clear();
  BaseTable.clear();
  RowidName.clear();
  BlobColumns = 0;
  TZantrelSQL::InternalUnprepareOpen();
}

void TZantrelSQLiteSQL::InternalUnprepareExecute() {
  ExecStmt.Reset();
  ExecScript = false;
  TZantrelSQL::InternalUnprepareExecute();
}

// --- Host variables ------------------------------------------------------------------

std::int32_t TZantrelSQLiteSQL::InternalGetDefaultSize(TZantrelFieldTypes FieldType) {
  return ZtlVariableSizeOf(FieldType);
}

std::int32_t TZantrelSQLiteSQL::InternalGetExtType(TZantrelFieldTypes FieldType) {
  return SQLiteStorageClassOf(FieldType);
}

// --- Opening and closing -------------------------------------------------------------

void TZantrelSQLiteSQL::ResetIfStepped(sqlite3_stmt* Stmt, bool& Stepped) {
  if (!Stepped)
    return;
  SQLite().reset(Stmt);
  Stepped = false;
}

bool TZantrelSQLiteSQL::InternalIsScrollable() {
  return true;
}

bool TZantrelSQLiteSQL::InternalOpen(bool AReadOnly) {
  TZantrelSQLiteSession& S = SQLiteSession();
  if (!OpenStmt)
    return S.Fail(LoadZtlStr(ZTL_ERR_CURS_NOT_PREPARED), -SQLITE_MISUSE);
  if (!S.EnsureTransaction())
    return false;
  sqlite3_stmt* Stmt = OpenStmt.Get();
  ResetIfStepped(Stmt, OpenStepped);
  if (!BindVariables(Stmt, OpenVariables))
    return false;
  TZantrelSQL::InternalOpen(AReadOnly);
  // Every open comes after a close, which emptied the cache; this only
  // guards against a descendant that opens without closing.
  if (Cache.Count() != 0) {
    DetachStreams();
    Cache.Clear();
  }
  Position = -1;
  Dropped = 0;
  ForwardOnly = GetUniDirectional();
  AtEnd = false;
  PendingRow = false;
  Failed = false;
  ++S.GetStatistics().Opens;
  // The first rows are read now, so that a statement that cannot run fails
  // its open rather than a later fetch. A row that cannot be read once the
  // statement runs is reported when it is fetched, so the rows before it
  // stay reachable.
  const std::string SavedError = S.GetLastError();
  const std::int32_t SavedCode = S.GetLastErrorCode();
  if (!LoadRows(MaxFetchCount)) {
    if (Failed && Cache.Count() == 0) {
      InternalClose();
      return false;
    }
    S.SetLastError(SavedError, SavedCode);
  }
  return true;
}

void TZantrelSQLiteSQL::InternalClose() {
  // Resetting releases the statement's read lock on the database.
  if (OpenStmt && TSQLiteLibrary::Loaded())
    ResetIfStepped(OpenStmt.Get(), OpenStepped);
  DetachStreams();
  Cache.Clear();
  Position = -1;
  Dropped = 0;
  AtEnd = false;
  PendingRow = false;
  Failed = false;
  TZantrelSQL::InternalClose();
}

// --- Executing -----------------------------------------------------------------------

void TZantrelSQLiteSQL::ReadOutVariables(sqlite3_stmt* Stmt) {
  const TSQLiteApi& A = SQLite();
  OutVariables.Clear();
  const int Count = A.column_count(Stmt);
  std::vector<std::pair<const void*, std::int32_t>> Values(static_cast<std::size_t>(Count));
  for (int I = 0; I < Count; ++I) {
    const char* Name = A.column_name(Stmt, I);
    TZantrelFieldDef* Def = OutVariables.AddFieldDef(Name ? Name : "");
    // Each output takes the type of its value, so nothing is converted.
    switch (A.column_type(Stmt, I)) {
    case SQLITE_INTEGER:
      Def->FieldType = ntInt64;
      Def->Size = 8;
      break;
    case SQLITE_FLOAT:
      Def->FieldType = ntFloat;
      Def->Size = 8;
      break;
    case SQLITE_TEXT:
      Def->FieldType = ntMemo;
      Values[static_cast<std::size_t>(I)].first = A.column_text(Stmt, I);
      Def->Size = A.column_bytes(Stmt, I);
      break;
    case SQLITE_BLOB:
      Def->FieldType = ntBlob;
      Values[static_cast<std::size_t>(I)].first = A.column_blob(Stmt, I);
      Def->Size = A.column_bytes(Stmt, I);
      break;
    default:
      Def->FieldType = ntUnknown;
      Def->Size = 0;
      break;
    }
    Def->ExtType = SQLiteStorageClassOf(Def->FieldType);
    Def->Nulls = true;
    Values[static_cast<std::size_t>(I)].second = Def->Size;
  }
  OutVariables.SetBufSize(OutVariables.Size());
  std::uint8_t* Buffer = OutVariables.GetBuffer();
  for (int I = 0; I < Count; ++I) {
    const TZantrelFieldDef* Def = OutVariables.GetItem(I);
    std::uint8_t* P = Buffer + Def->Offset;
    if (Def->FieldType == ntInt64) {
      const std::int64_t V = A.column_int64(Stmt, I);
      std::memcpy(P, &V, sizeof V);
    } else if (Def->FieldType == ntFloat) {
      const double V = A.column_double(Stmt, I);
      std::memcpy(P, &V, sizeof V);
    } else if (Def->Size > 0 && Values[static_cast<std::size_t>(I)].first) {
      std::memcpy(P, Values[static_cast<std::size_t>(I)].first,
                  static_cast<std::size_t>(Def->Size));
    }
  }
}

bool TZantrelSQLiteSQL::InternalExecute(TStringList*) {
  TZantrelSQLiteSession& S = SQLiteSession();
  if (ExecScript && PreparedForExecute)
    return RunScript();
  if (!ExecStmt)
    return S.Fail(LoadZtlStr(ZTL_ERR_STMT_NOT_PREPARED), -SQLITE_MISUSE);
  if (!S.EnsureTransaction())
    return false;
  const TSQLiteApi& A = SQLite();
  sqlite3_stmt* Stmt = ExecStmt.Get();
  sqlite3* Db = S.GetDatabase();
  ResetIfStepped(Stmt, ExecStepped);
  if (!BindVariables(Stmt, ExecVariables))
    return false;
  ++S.GetStatistics().Executes;
  const int ChangesBefore = A.total_changes(Db);
  ExecStepped = true;
  int Rc = A.step(Stmt);
  bool HaveOutput = false;
  // A statement with results (INSERT ... RETURNING, a PRAGMA) runs to its
  // end; its first row becomes the output variables.
  while (Rc == SQLITE_ROW) {
    if (!HaveOutput) {
      ReadOutVariables(Stmt);
      HaveOutput = true;
    }
    Rc = A.step(Stmt);
  }
  if (Rc != SQLITE_DONE) {
    S.Fail();
    ResetIfStepped(Stmt, ExecStepped);
    return false;
  }
  if (!HaveOutput && A.column_count(Stmt) > 0)
    OutVariables.Clear();
  // sqlite3_changes keeps the count of the last INSERT, UPDATE or DELETE, so
  // it only speaks for this statement when this statement changed rows.
  RowsProcessed = A.total_changes(Db) != ChangesBefore ? A.changes(Db) : 0;
  ResetIfStepped(Stmt, ExecStepped);
  InternalAutoCommit();
  return true;
}

} // namespace ztl
