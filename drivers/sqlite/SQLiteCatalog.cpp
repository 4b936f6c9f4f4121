// The SQLite driver's live catalog: read-only virtual tables in an in-memory
// database attached as "sys", each read from the connection's schemas when a
// statement scans it.
#include "drivers/sqlite/SQLiteCatalog_p.h"

#include <cstdint>
#include <map>
#include <new>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "drivers/sqlite/SQLiteApi_p.h"
#include "drivers/sqlite/SQLiteShape_p.h"
#include "drivers/sqlite/SQLiteStatement.h"

namespace ztl {
namespace {

// The module name the catalog's virtual tables are created with.
constexpr const char* ModuleName = "ztl_catalog";

enum class TRelation { Table, Column, Procedure, User };

struct TRelationDef {
  const char* Name;        // the relation's name in the catalog schema
  TRelation Kind;          // what it lists
  const char* Declaration; // its columns, as sqlite3_declare_vtab takes them
};

// Column 0 of systable and syscolumn is table_id, the one column a scan can
// be narrowed by (see BestIndex).
constexpr TRelationDef Relations[] = {
    {"systable", TRelation::Table,
     "CREATE TABLE x(table_id INTEGER, table_name TEXT COLLATE NOCASE, table_type TEXT, "
     "creator INTEGER)"},
    {"syscolumn", TRelation::Column,
     "CREATE TABLE x(table_id INTEGER, column_id INTEGER, column_name TEXT COLLATE NOCASE)"},
    {"sysprocedure", TRelation::Procedure,
     "CREATE TABLE x(proc_id INTEGER, proc_name TEXT COLLATE NOCASE, creator INTEGER)"},
    {"sysuserperms", TRelation::User,
     "CREATE TABLE x(user_id INTEGER, user_name TEXT COLLATE NOCASE)"},
};

// What one connection's catalog remembers between scans: the ids handed
// out to tables, so that a table keeps its id while the connection lives.
struct TCatalogState {
  std::map<std::string, std::int64_t> TableIds; // by folded "schema\0table"
  std::int64_t NextTableId = 1;                 // the id of the next table first seen
};

// One virtual table of the catalog. The base must come first: SQLite hands
// back the pointer to it.
struct TCatalogVTab {
  sqlite3_vtab Base{};              // SQLite's part (the error message slot)
  sqlite3* Db = nullptr;            // the connection whose schemas are listed
  TCatalogState* State = nullptr;   // the connection's catalog state (the module's)
  TRelation Kind = TRelation::User; // the relation it answers
  std::string HostSchema;           // the schema holding the catalog, never listed
};

using TValue = std::variant<std::int64_t, std::string>;
using TRow = std::vector<TValue>;

// A scan: the rows are read whole when the scan starts, so a statement sees
// one state of the schemas however slowly it steps.
struct TCatalogCursor {
  sqlite3_vtab_cursor Base{}; // SQLite's part
  std::vector<TRow> Rows;     // the rows of this scan
  std::size_t Position = 0;   // the current row
};

struct TSchema {
  std::int64_t UserId; // its number (database_list position + 1)
  std::string Name;    // its name
};

struct TTable {
  std::int64_t Id;     // table_id
  std::int64_t UserId; // the creator: its schema's number
  std::string Schema;  // its schema
  std::string Name;    // its name
  bool View;           // a view, not a base table
};

// A failure inside a scan, carrying SQLite's code and message out to the
// callback that reports it.
struct TScanError {
  int Code;
  std::string Message;
};

std::string ColumnText(sqlite3_stmt* Stmt, int Column) {
  const unsigned char* P = SQLite().column_text(Stmt, Column);
  return P ? std::string(reinterpret_cast<const char*>(P)) : std::string();
}

// ASCII case folding, as SQLite compares identifiers.
std::string Folded(std::string_view Text) {
  std::string Result(Text);
  for (char& C : Result)
    if (C >= 'A' && C <= 'Z')
      C = static_cast<char>(C - 'A' + 'a');
  return Result;
}

// Runs SQL on Db and hands every row to Row; a failure is thrown as a
// TScanError with the connection's message.
template <class F>
void ForEachRow(sqlite3* Db, const std::string& SQL, F&& Row) {
  const TSQLiteApi& A = SQLite();
  sqlite3_stmt* P = nullptr;
  if (A.prepare_v2(Db, SQL.c_str(), -1, &P, nullptr) != SQLITE_OK) {
    A.finalize(P);
    throw TScanError{A.extended_errcode(Db), A.errmsg(Db)};
  }
  TSQLiteStatement Stmt(P);
  int Rc;
  while ((Rc = A.step(P)) == SQLITE_ROW)
    Row(P);
  if (Rc != SQLITE_DONE)
    throw TScanError{A.extended_errcode(Db), A.errmsg(Db)};
}

// The schemas of the connection but the catalog's own.
std::vector<TSchema> ReadSchemas(const TCatalogVTab& Tab) {
  std::vector<TSchema> Result;
  ForEachRow(Tab.Db, "PRAGMA database_list", [&](sqlite3_stmt* S) {
    std::string Name = ColumnText(S, 1);
    if (Folded(Name) != Folded(Tab.HostSchema))
      Result.push_back({SQLite().column_int64(S, 0) + 1, std::move(Name)});
  });
  return Result;
}

// The tables and views of every schema, in schema order and, within one,
// in the order they were created; only the one with table_id OnlyId when
// OnlyId is not 0.
std::vector<TTable> ReadTables(const TCatalogVTab& Tab, std::int64_t OnlyId) {
  std::vector<TTable> Result;
  for (const TSchema& Schema : ReadSchemas(Tab)) {
    // SQLite's own sqlite_* tables (sequences, statistics) are no user's.
    const std::string SQL = "SELECT type, name FROM " + SQLiteQuoteName(Schema.Name) +
                            ".sqlite_master WHERE type IN ('table', 'view') AND "
                            "name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY rowid";
    ForEachRow(Tab.Db, SQL, [&](sqlite3_stmt* S) {
      std::string Name = ColumnText(S, 1);
      const std::string Key = Folded(Schema.Name) + '\0' + Folded(Name);
      auto [It, Added] = Tab.State->TableIds.try_emplace(Key, Tab.State->NextTableId);
      if (Added)
        ++Tab.State->NextTableId;
      if (OnlyId == 0 || It->second == OnlyId)
        Result.push_back(
            {It->second, Schema.UserId, Schema.Name, std::move(Name), ColumnText(S, 0) == "view"});
    });
  }
  return Result;
}

// The rows of Tab's relation, narrowed to table OnlyId when not 0.
std::vector<TRow> ReadRows(const TCatalogVTab& Tab, std::int64_t OnlyId) {
  std::vector<TRow> Rows;
  switch (Tab.Kind) {
  case TRelation::User:
    for (TSchema& S : ReadSchemas(Tab))
      Rows.push_back({S.UserId, std::move(S.Name)});
    break;
  case TRelation::Table:
    for (TTable& T : ReadTables(Tab, OnlyId))
      Rows.push_back({T.Id, std::move(T.Name), std::string(T.View ? "VIEW" : "BASE"), T.UserId});
    break;
  case TRelation::Column:
    for (const TTable& T : ReadTables(Tab, OnlyId)) {
      // table_xinfo also lists generated columns, which are the table's as
      // much as any other; its hidden value 1 marks a virtual table's hidden
      // arguments, which are not.
      const std::string SQL =
          "PRAGMA " + SQLiteQuoteName(T.Schema) + ".table_xinfo(" + SQLiteQuoteName(T.Name) + ")";
      std::int64_t ColumnId = 0;
      ForEachRow(Tab.Db, SQL, [&](sqlite3_stmt* S) {
        if (SQLite().column_int64(S, 6) != 1)
          Rows.push_back({T.Id, ++ColumnId, ColumnText(S, 1)});
      });
    }
    break;
  case TRelation::Procedure:
    break; // SQLite has no stored procedures
  }
  return Rows;
}

// Stores Message as Tab's error, where SQLite reads it from.
void SetVTabError(sqlite3_vtab* Tab, const std::string& Message) {
  SQLite().free(Tab->zErrMsg);
  Tab->zErrMsg = SQLite().mprintf("%s", Message.c_str());
}

// --- The module's callbacks. None lets an exception out into SQLite. ---------

int Connect(sqlite3* Db, void* Aux, int Argc, const char* const* Argv, sqlite3_vtab** VTab,
            char** Err) {
  // Argv: module name, schema name, table name, then the module arguments.
  const TRelationDef* Def = nullptr;
  if (Argc >= 3)
    for (const TRelationDef& R : Relations)
      if (Folded(Argv[2]) == R.Name)
        Def = &R;
  if (!Def) {
    *Err = SQLite().mprintf("%s", "not a relation of the catalog");
    return SQLITE_ERROR;
  }
  const int Rc = SQLite().declare_vtab(Db, Def->Declaration);
  if (Rc != SQLITE_OK)
    return Rc;
  // Reading the catalog has no side effects, so views and triggers may use
  // it even where the schema is not trusted.
  SQLite().vtab_config(Db, SQLITE_VTAB_INNOCUOUS);
  auto* Tab = new (std::nothrow) TCatalogVTab;
  if (!Tab)
    return SQLITE_NOMEM;
  try {
    Tab->HostSchema = Argv[1];
  } catch (...) {
    delete Tab;
    return SQLITE_NOMEM;
  }
  Tab->Db = Db;
  Tab->State = static_cast<TCatalogState*>(Aux);
  Tab->Kind = Def->Kind;
  *VTab = &Tab->Base;
  return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* VTab) {
  delete reinterpret_cast<TCatalogVTab*>(VTab);
  return SQLITE_OK;
}

// An equality on table_id narrows systable and syscolumn to one table;
// without it a scan of syscolumn reads every table's columns, which the
// costs make the planner avoid.
int BestIndex(sqlite3_vtab* VTab, sqlite3_index_info* Info) {
  const TRelation Kind = reinterpret_cast<TCatalogVTab*>(VTab)->Kind;
  const bool ById = Kind == TRelation::Table || Kind == TRelation::Column;
  for (int I = 0; ById && I < Info->nConstraint; ++I) {
    const auto& C = Info->aConstraint[I];
    if (C.usable && C.iColumn == 0 && C.op == SQLITE_INDEX_CONSTRAINT_EQ) {
      Info->aConstraintUsage[I].argvIndex = 1;
      Info->aConstraintUsage[I].omit = 1;
      Info->idxNum = 1;
      Info->estimatedCost = 10;
      Info->estimatedRows = 10;
      return SQLITE_OK;
    }
  }
  Info->idxNum = 0;
  Info->estimatedCost = Kind == TRelation::Column ? 100000 : 1000;
  Info->estimatedRows = Kind == TRelation::Column ? 10000 : 100;
  return SQLITE_OK;
}

int Open(sqlite3_vtab*, sqlite3_vtab_cursor** Cursor) {
  auto* C = new (std::nothrow) TCatalogCursor;
  if (!C)
    return SQLITE_NOMEM;
  *Cursor = &C->Base;
  return SQLITE_OK;
}

TCatalogCursor& CursorOf(sqlite3_vtab_cursor* Cursor) {
  return *reinterpret_cast<TCatalogCursor*>(Cursor);
}

int Close(sqlite3_vtab_cursor* Cursor) {
  delete &CursorOf(Cursor);
  return SQLITE_OK;
}

int Filter(sqlite3_vtab_cursor* Cursor, int IdxNum, const char*, int Argc, sqlite3_value** Argv) {
  TCatalogCursor& C = CursorOf(Cursor);
  const auto& Tab = *reinterpret_cast<const TCatalogVTab*>(Cursor->pVtab);
  C.Rows.clear();
  C.Position = 0;
  std::int64_t OnlyId = 0;
  if (IdxNum == 1 && Argc == 1) {
    // A table_id that is no integer (or 0, never handed out) matches no table.
    if (SQLite().value_type(Argv[0]) != SQLITE_INTEGER)
      return SQLITE_OK;
    OnlyId = SQLite().value_int64(Argv[0]);
    if (OnlyId == 0)
      return SQLITE_OK;
  }
  try {
    C.Rows = ReadRows(Tab, OnlyId);
    return SQLITE_OK;
  } catch (const TScanError& E) {
    SetVTabError(Cursor->pVtab, E.Message);
    return E.Code;
  } catch (const std::bad_alloc&) {
    return SQLITE_NOMEM;
  } catch (...) {
    return SQLITE_ERROR;
  }
}

int Next(sqlite3_vtab_cursor* Cursor) {
  ++CursorOf(Cursor).Position;
  return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor* Cursor) {
  const TCatalogCursor& C = CursorOf(Cursor);
  return C.Position >= C.Rows.size();
}

int Column(sqlite3_vtab_cursor* Cursor, sqlite3_context* Context, int N) {
  const TCatalogCursor& C = CursorOf(Cursor);
  // Eof guards every call SQLite makes; the checks keep a misuse harmless.
  if (C.Position >= C.Rows.size() || N < 0 ||
      static_cast<std::size_t>(N) >= C.Rows[C.Position].size()) {
    SQLite().result_null(Context);
    return SQLITE_OK;
  }
  const TValue& V = C.Rows[C.Position][static_cast<std::size_t>(N)];
  if (const auto* I = std::get_if<std::int64_t>(&V))
    SQLite().result_int64(Context, *I);
  else {
    const std::string& S = std::get<std::string>(V);
    SQLite().result_text(Context, S.data(), static_cast<int>(S.size()), SQLITE_TRANSIENT);
  }
  return SQLITE_OK;
}

int Rowid(sqlite3_vtab_cursor* Cursor, sqlite3_int64* Rowid) {
  *Rowid = static_cast<sqlite3_int64>(CursorOf(Cursor).Position) + 1;
  return SQLITE_OK;
}

void DestroyState(void* State) {
  delete static_cast<TCatalogState*>(State);
}

// The module: no xUpdate makes every relation read-only.
sqlite3_module MakeModule() {
  sqlite3_module M{};
  M.iVersion = 1;
  M.xCreate = Connect;
  M.xConnect = Connect;
  M.xBestIndex = BestIndex;
  M.xDisconnect = Disconnect;
  M.xDestroy = Disconnect;
  M.xOpen = Open;
  M.xClose = Close;
  M.xFilter = Filter;
  M.xNext = Next;
  M.xEof = Eof;
  M.xColumn = Column;
  M.xRowid = Rowid;
  return M;
}

const sqlite3_module Module = MakeModule();

// Runs SQL; false with Error set to SQLite's message when it fails.
bool Run(sqlite3* Db, const std::string& SQL, std::string& Error) {
  char* Err = nullptr;
  if (SQLite().exec(Db, SQL.c_str(), nullptr, nullptr, &Err) == SQLITE_OK)
    return true;
  Error = Err ? Err : SQLite().errmsg(Db);
  SQLite().free(Err);
  return false;
}

} // namespace

bool SQLiteInstallCatalog(sqlite3* Db, std::string& Error) {
  if (!SQLite().HasCatalog) {
    Error = "the SQLite library offers no virtual tables";
    return false;
  }
  bool Taken = false;
  try {
    TCatalogVTab Probe;
    Probe.Db = Db;
    for (const TSchema& S : ReadSchemas(Probe))
      Taken = Taken || Folded(S.Name) == SQLiteCatalogSchema;
  } catch (const TScanError& E) {
    Error = E.Message;
    return false;
  }
  if (Taken) {
    Error = std::string("a database is attached as \"") + SQLiteCatalogSchema + "\" already";
    return false;
  }
  // The module owns the state from here on, also when registering fails.
  if (SQLite().create_module_v2(Db, ModuleName, &Module, new TCatalogState, DestroyState) !=
      SQLITE_OK) {
    Error = SQLite().errmsg(Db);
    return false;
  }
  const std::string Schema = SQLiteQuoteName(SQLiteCatalogSchema);
  // A plain ":memory:" would inherit a read-only session's flags and refuse
  // the creations below; "mode=memory" stays writable whatever the main
  // database is. Without "cache=shared" it is this connection's alone.
  if (!Run(Db, "ATTACH DATABASE 'file:ztl-catalog?mode=memory' AS " + Schema, Error))
    return false;
  for (const TRelationDef& R : Relations) {
    if (!Run(Db, "CREATE VIRTUAL TABLE " + Schema + "." + R.Name + " USING " + ModuleName, Error)) {
      std::string Ignored;
      Run(Db, "DETACH DATABASE " + Schema, Ignored);
      return false;
    }
  }
  return true;
}

} // namespace ztl
