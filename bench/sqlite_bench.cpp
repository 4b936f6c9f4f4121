// The SQLite driver side by side with direct sqlite3 calls on one database
// file: a full scan that keeps every row scrollable, point lookups by primary
// key with a reused binding, and inserts in one transaction.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "drivers/sqlite/ZtlSQLite.h"

namespace {

using namespace ztl;

constexpr int Rows = 1000000;
constexpr int Lookups = 200000;
constexpr int Inserts = 200000;

const char* const Schema =
    "CREATE TABLE IF NOT EXISTS %s(id INTEGER PRIMARY KEY, name VARCHAR(40), "
    "amount REAL, qty INTEGER, created DATETIME, note TEXT)";

std::string DatabaseFile() {
  return (std::filesystem::temp_directory_path() / "ztl-sqlite-bench.db").string();
}

void Check(int Rc, sqlite3* Db, const char* What) {
  if (Rc != SQLITE_OK && Rc != SQLITE_DONE && Rc != SQLITE_ROW)
    throw std::runtime_error(std::string(What) + ": " + sqlite3_errmsg(Db));
}

void Exec(sqlite3* Db, const std::string& SQL) {
  Check(sqlite3_exec(Db, SQL.c_str(), nullptr, nullptr, nullptr), Db, SQL.c_str());
}

std::string Table(const char* Name) {
  char Buf[256];
  std::snprintf(Buf, sizeof Buf, Schema, Name);
  return Buf;
}

// The values of row Id, the same for both sides.
struct TRowText {
  std::string Name, Created, Note;
};
TRowText RowText(int Id) {
  TRowText R;
  R.Name = "customer " + std::to_string(Id);
  char Buf[32];
  const int Sec = Id % 86400;
  std::snprintf(Buf, sizeof Buf, "2024-%02d-%02d %02d:%02d:%02d", 1 + Id % 12, 1 + Id % 28,
                Sec / 3600, Sec / 60 % 60, Sec % 60);
  R.Created = Buf;
  R.Note = "note of row " + std::to_string(Id) + ", written to look like a short remark";
  return R;
}

// Opens the benchmark file, filling table t with Rows rows on first use.
sqlite3* OpenRaw() {
  sqlite3* Db = nullptr;
  Check(sqlite3_open_v2(DatabaseFile().c_str(), &Db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr),
        Db, "open");
  Exec(Db, Table("t"));
  sqlite3_stmt* Count;
  Check(sqlite3_prepare_v2(Db, "SELECT count(*) FROM t", -1, &Count, nullptr), Db, "count");
  sqlite3_step(Count);
  const int Have = sqlite3_column_int(Count, 0);
  sqlite3_finalize(Count);
  if (Have != Rows) {
    Exec(Db, "DELETE FROM t");
    Exec(Db, "BEGIN");
    sqlite3_stmt* Ins;
    Check(sqlite3_prepare_v2(Db, "INSERT INTO t VALUES (?, ?, ?, ?, ?, ?)", -1, &Ins, nullptr), Db,
          "insert");
    for (int Id = 1; Id <= Rows; ++Id) {
      const TRowText T = RowText(Id);
      sqlite3_bind_int64(Ins, 1, Id);
      sqlite3_bind_text(Ins, 2, T.Name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_double(Ins, 3, Id * 0.25);
      sqlite3_bind_int(Ins, 4, Id % 100);
      sqlite3_bind_text(Ins, 5, T.Created.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(Ins, 6, T.Note.c_str(), -1, SQLITE_TRANSIENT);
      Check(sqlite3_step(Ins), Db, "insert row");
      sqlite3_reset(Ins);
    }
    sqlite3_finalize(Ins);
    Exec(Db, "COMMIT");
  }
  Exec(Db, Table("t2"));
  return Db;
}

// A session of the driver on the benchmark file.
struct TDriver {
  TZantrelSQLiteSession Session;
  TZantrelSQLiteSQL Cursor;
  TDriver() {
    Session.SetDatabaseName(DatabaseFile());
    Session.Open();
    Cursor.SetSession(&Session);
  }
};

std::vector<int> LookupIds() {
  std::mt19937 Random(42);
  std::uniform_int_distribution<int> Pick(1, Rows);
  std::vector<int> Ids(Lookups);
  for (int& Id : Ids)
    Id = Pick(Random);
  return Ids;
}

// Reads every column of the current raw row the way an application would:
// numbers as numbers, texts through their pointer and length.
void ReadRaw(sqlite3_stmt* S, std::int64_t& Sum) {
  Sum += sqlite3_column_int64(S, 0);
  Sum += sqlite3_column_bytes(S, 1) + sqlite3_column_text(S, 1)[0];
  Sum += static_cast<std::int64_t>(sqlite3_column_double(S, 2));
  Sum += sqlite3_column_int(S, 3);
  Sum += sqlite3_column_bytes(S, 4) + sqlite3_column_text(S, 4)[0];
  Sum += sqlite3_column_bytes(S, 5) + sqlite3_column_text(S, 5)[0];
}

// Reads every column of the cursor's current row through its public
// interface, the note through its memo stream.
void ReadCursor(TZantrelSQLiteSQL& C, TZantrelBlobStream* Note, std::int64_t& Sum) {
  static const Variant Fields[] = {Variant(0), Variant(1), Variant(2), Variant(3), Variant(4)};
  Sum += C.GetFieldValue(Fields[0]).RawInt();
  const Variant Name = C.GetFieldValue(Fields[1]);
  Sum += static_cast<std::int64_t>(Name.RawText().size()) + Name.RawText()[0];
  Sum += static_cast<std::int64_t>(C.GetFieldValue(Fields[2]).RawReal());
  Sum += C.GetFieldValue(Fields[3]).RawInt();
  Sum += static_cast<std::int64_t>(C.GetFieldValue(Fields[4]).RawReal());
  char Buf[256];
  Note->Seek(0, soFromBeginning);
  const std::int32_t N = Note->Read(Buf, sizeof Buf);
  Sum += N + Buf[0];
}

// --- (a) full scan ----------------------------------------------------------

void BM_ScanRaw(benchmark::State& State) {
  sqlite3* Db = OpenRaw();
  sqlite3_stmt* S;
  Check(sqlite3_prepare_v2(Db, "SELECT * FROM t", -1, &S, nullptr), Db, "scan");
  for (auto _ : State) {
    std::int64_t Sum = 0;
    while (sqlite3_step(S) == SQLITE_ROW)
      ReadRaw(S, Sum);
    sqlite3_reset(S);
    benchmark::DoNotOptimize(Sum);
  }
  State.SetItemsProcessed(State.iterations() * Rows);
  sqlite3_finalize(S);
  sqlite3_close_v2(Db);
}

void BM_ScanCursor(benchmark::State& State) {
  sqlite3_close_v2(OpenRaw());
  TDriver D;
  if (!D.Cursor.Prepare("SELECT * FROM t"))
    throw std::runtime_error(D.Session.GetLastError());
  std::size_t CacheBytes = 0;
  for (auto _ : State) {
    if (!D.Cursor.OpenPrepared({}, true))
      throw std::runtime_error(D.Session.GetLastError());
    TZantrelBlobStream* Note = D.Cursor.GetBlobManager()->BlobByName("note");
    std::int64_t Sum = 0;
    D.Cursor.MoveToFirst();
    while (D.Cursor.FetchNext())
      ReadCursor(D.Cursor, Note, Sum);
    benchmark::DoNotOptimize(Sum);
    State.PauseTiming();
    CacheBytes = D.Cursor.GetCacheMemory();
    // Every row stays reachable.
    if (D.Cursor.GetRecordCount() != Rows || !D.Cursor.MoveTo(Rows / 2))
      throw std::runtime_error("rows were not kept");
    D.Cursor.Close();
    State.ResumeTiming();
  }
  State.SetItemsProcessed(State.iterations() * Rows);
  // Bytes per cached row beyond the row format and the note's text.
  sqlite3* Db = OpenRaw();
  sqlite3_stmt* S;
  sqlite3_prepare_v2(Db, "SELECT sum(length(note)) FROM t", -1, &S, nullptr);
  sqlite3_step(S);
  const double NoteBytes = static_cast<double>(sqlite3_column_int64(S, 0));
  sqlite3_finalize(S);
  sqlite3_close_v2(Db);
  const double PerRow = static_cast<double>(CacheBytes) / Rows;
  State.counters["row_format_bytes"] = D.Cursor.GetRowSize() + D.Cursor.GetNullSize();
  State.counters["cache_bytes_per_row"] = PerRow - NoteBytes / Rows;
  State.counters["overhead_bytes_per_row"] =
      PerRow - NoteBytes / Rows - (D.Cursor.GetRowSize() + D.Cursor.GetNullSize());
}

// --- (b) point lookups --------------------------------------------------------

void BM_LookupRaw(benchmark::State& State) {
  sqlite3* Db = OpenRaw();
  const std::vector<int> Ids = LookupIds();
  sqlite3_stmt* S;
  Check(sqlite3_prepare_v2(Db, "SELECT * FROM t WHERE id = ?", -1, &S, nullptr), Db, "lookup");
  for (auto _ : State) {
    Exec(Db, "BEGIN");
    std::int64_t Sum = 0;
    for (const int Id : Ids) {
      sqlite3_reset(S);
      sqlite3_bind_int64(S, 1, Id);
      if (sqlite3_step(S) == SQLITE_ROW)
        ReadRaw(S, Sum);
    }
    sqlite3_reset(S);
    Exec(Db, "COMMIT");
    benchmark::DoNotOptimize(Sum);
  }
  State.SetItemsProcessed(State.iterations() * Lookups);
  sqlite3_finalize(S);
  sqlite3_close_v2(Db);
}

void BM_LookupCursor(benchmark::State& State) {
  sqlite3_close_v2(OpenRaw());
  TDriver D;
  const std::vector<int> Ids = LookupIds();
  const std::string SQL = "SELECT * FROM t WHERE id = ?";
  for (auto _ : State) {
    D.Session.StartTransaction();
    std::int64_t Sum = 0;
    for (const int Id : Ids) {
      if (!D.Cursor.OpenRead(SQL, {Variant(Id)}))
        throw std::runtime_error(D.Session.GetLastError());
      ReadCursor(D.Cursor, D.Cursor.GetBlobManager()->BlobByName("note"), Sum);
    }
    D.Cursor.Close();
    D.Session.Commit();
    benchmark::DoNotOptimize(Sum);
  }
  State.SetItemsProcessed(State.iterations() * Lookups);
  State.counters["prepares"] = static_cast<double>(D.Session.GetStatistics().Prepares);
  State.counters["binds"] = static_cast<double>(D.Session.GetStatistics().Binds);
}

// --- (c) inserts -----------------------------------------------------------------

std::vector<TRowText> InsertTexts() {
  std::vector<TRowText> Texts;
  Texts.reserve(Inserts);
  for (int Id = 1; Id <= Inserts; ++Id)
    Texts.push_back(RowText(Id));
  return Texts;
}

void BM_InsertRaw(benchmark::State& State) {
  sqlite3* Db = OpenRaw();
  const std::vector<TRowText> Texts = InsertTexts();
  sqlite3_stmt* S;
  Check(sqlite3_prepare_v2(Db, "INSERT INTO t2 VALUES (?, ?, ?, ?, ?, ?)", -1, &S, nullptr), Db,
        "insert");
  for (auto _ : State) {
    Exec(Db, "BEGIN");
    for (int Id = 1; Id <= Inserts; ++Id) {
      const TRowText& T = Texts[static_cast<std::size_t>(Id - 1)];
      sqlite3_reset(S);
      sqlite3_bind_int64(S, 1, Id);
      sqlite3_bind_text(S, 2, T.Name.data(), static_cast<int>(T.Name.size()), SQLITE_STATIC);
      sqlite3_bind_double(S, 3, Id * 0.25);
      sqlite3_bind_int(S, 4, Id % 100);
      sqlite3_bind_text(S, 5, T.Created.data(), static_cast<int>(T.Created.size()), SQLITE_STATIC);
      sqlite3_bind_text(S, 6, T.Note.data(), static_cast<int>(T.Note.size()), SQLITE_STATIC);
      Check(sqlite3_step(S), Db, "insert row");
    }
    sqlite3_reset(S);
    Exec(Db, "COMMIT");
    State.PauseTiming();
    Exec(Db, "DELETE FROM t2");
    State.ResumeTiming();
  }
  State.SetItemsProcessed(State.iterations() * Inserts);
  sqlite3_finalize(S);
  sqlite3_close_v2(Db);
}

void BM_InsertCursor(benchmark::State& State) {
  sqlite3_close_v2(OpenRaw());
  TDriver D;
  // The application's values, ready in the form the cursor takes them, as
  // the raw side has its strings ready.
  std::vector<std::array<Variant, 6>> Values;
  Values.reserve(Inserts);
  for (const TRowText& T : InsertTexts()) {
    const int Id = static_cast<int>(Values.size()) + 1;
    Values.push_back({Variant(Id), Variant(T.Name), Variant(Id * 0.25), Variant(Id % 100),
                      Variant(T.Created), Variant(T.Note)});
  }
  const std::string SQL = "INSERT INTO t2 VALUES (?, ?, ?, ?, ?, ?)";
  for (auto _ : State) {
    D.Session.StartTransaction();
    for (const auto& Row : Values) {
      if (!D.Cursor.Execute(SQL, std::span<const Variant>(Row)))
        throw std::runtime_error(D.Session.GetLastError());
    }
    D.Session.Commit();
    State.PauseTiming();
    D.Session.Execute("DELETE FROM t2");
    State.ResumeTiming();
  }
  State.SetItemsProcessed(State.iterations() * Inserts);
  State.counters["prepares"] = static_cast<double>(D.Session.GetStatistics().Prepares);
  State.counters["binds"] = static_cast<double>(D.Session.GetStatistics().Binds);
}

} // namespace

BENCHMARK(BM_ScanRaw)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ScanCursor)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_LookupRaw)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_LookupCursor)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_InsertRaw)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_InsertCursor)->Unit(benchmark::kMillisecond)->MinTime(2);

BENCHMARK_MAIN();
