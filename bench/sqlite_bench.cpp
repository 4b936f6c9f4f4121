// The SQLite driver side by side with direct sqlite3 calls on one database
// file: a full scan that keeps every row scrollable, point lookups by primary
// key with a reused binding, and inserts in one transaction, each through the
// cursor and through the query dataset an application uses.
//
// ZTL_BENCH_ROWS sets the table size (default 1,000,000; lookups and inserts
// are a fifth of it), each size on a file of its own. "--once NAME" runs one
// workload a single time (scan-raw, scan-cursor, scan-dataset, lookup-raw,
// lookup-cursor, lookup-dataset, insert-raw, insert-cursor, insert-dataset,
// insert-array-cursor, insert-array-dataset) for instruction counts, e.g.
// "scan-forward" is the dataset's scan with the query forward only, whose
// peak memory does not grow with the table (/usr/bin/time -v shows it).
//   ZTL_BENCH_ROWS=100000 valgrind --tool=callgrind --collect-atstart=no
//     --toggle-collect='*Once*' ztl_sqlite_bench --once scan-cursor
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchWorkload.h"
#include "drivers/sqlite/ZtlSQLite.h"

namespace {

using namespace ztl;
using namespace ztl::bench;

const TWorkloadSize Size = WorkloadSize(1000000);
const int Rows = Size.Rows;
const int Lookups = Size.Lookups;
const int Inserts = Size.Inserts;

const char* const Schema =
    "CREATE TABLE IF NOT EXISTS %s(id INTEGER PRIMARY KEY, name VARCHAR(40), "
    "amount REAL, qty INTEGER, created DATETIME, note TEXT)";

std::string DatabaseFile() {
  const std::string Name =
      Rows == 1000000 ? "ztl-sqlite-bench.db" : "ztl-sqlite-bench-" + std::to_string(Rows) + ".db";
  return (std::filesystem::temp_directory_path() / Name).string();
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
  return LookupKeys(Rows, Lookups);
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

ZTL_BENCH_ONCE std::int64_t ScanRawOnce(sqlite3_stmt* S) {
  std::int64_t Sum = 0;
  while (sqlite3_step(S) == SQLITE_ROW)
    ReadRaw(S, Sum);
  sqlite3_reset(S);
  return Sum;
}

ZTL_BENCH_ONCE std::int64_t ScanCursorOnce(TDriver& D) {
  if (!D.Cursor.OpenPrepared({}, true))
    throw std::runtime_error(D.Session.GetLastError());
  TZantrelBlobStream* Note = D.Cursor.GetBlobManager()->BlobByName("note");
  std::int64_t Sum = 0;
  D.Cursor.MoveToFirst();
  while (D.Cursor.FetchNext())
    ReadCursor(D.Cursor, Note, Sum);
  return Sum;
}

std::vector<TField*> FieldsOf(TDataSet& Q) {
  std::vector<TField*> F;
  for (int I = 0; I < Q.Fields().Count(); ++I)
    F.push_back(Q.Fields()[I]);
  return F;
}

// A query over the benchmark file, on the driver's session.
struct TDatasetDriver : TDriver {
  TZantrelSQLiteQuery Query;
  explicit TDatasetDriver(const char* SQL) {
    Query.SetSession(&Session);
    Query.GetSQL()->SetText(SQL);
  }
};

ZTL_BENCH_ONCE std::int64_t ScanDatasetOnce(TDatasetDriver& D) {
  D.Query.Open();
  const std::vector<TField*> F = FieldsOf(D.Query);
  std::int64_t Sum = 0;
  while (!D.Query.Eof()) {
    ReadRecord(F, Sum);
    D.Query.Next();
  }
  return Sum;
}

void PrepareScan(TDriver& D) {
  if (!D.Cursor.Prepare("SELECT * FROM t"))
    throw std::runtime_error(D.Session.GetLastError());
}

void BM_ScanRaw(benchmark::State& State) {
  sqlite3* Db = OpenRaw();
  sqlite3_stmt* S;
  Check(sqlite3_prepare_v2(Db, "SELECT * FROM t", -1, &S, nullptr), Db, "scan");
  for (auto _ : State)
    benchmark::DoNotOptimize(ScanRawOnce(S));
  State.SetItemsProcessed(State.iterations() * Rows);
  sqlite3_finalize(S);
  sqlite3_close_v2(Db);
}

void BM_ScanCursor(benchmark::State& State) {
  sqlite3_close_v2(OpenRaw());
  TDriver D;
  PrepareScan(D);
  std::size_t CacheBytes = 0;
  for (auto _ : State) {
    benchmark::DoNotOptimize(ScanCursorOnce(D));
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

void BM_ScanDataset(benchmark::State& State) {
  sqlite3_close_v2(OpenRaw());
  TDatasetDriver D("SELECT * FROM t");
  D.Query.Prepare();
  for (auto _ : State) {
    benchmark::DoNotOptimize(ScanDatasetOnce(D));
    State.PauseTiming();
    if (!D.Query.Eof() || D.Query.GetRecordCount() != Rows)
      throw std::runtime_error("the scan did not reach every row");
    D.Query.Close();
    State.ResumeTiming();
  }
  State.SetItemsProcessed(State.iterations() * Rows);
}

void BM_ScanForward(benchmark::State& State) {
  sqlite3_close_v2(OpenRaw());
  TDatasetDriver D("SELECT * FROM t");
  D.Query.SetUniDirectional(true);
  D.Query.Prepare();
  for (auto _ : State) {
    benchmark::DoNotOptimize(ScanDatasetOnce(D));
    State.PauseTiming();
    D.Query.Close();
    State.ResumeTiming();
  }
  State.SetItemsProcessed(State.iterations() * Rows);
}

// --- (b) point lookups --------------------------------------------------------

const char* const LookupSQL = "SELECT * FROM t WHERE id = ?";

ZTL_BENCH_ONCE std::int64_t LookupRawOnce(sqlite3* Db, sqlite3_stmt* S,
                                          const std::vector<int>& Ids) {
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
  return Sum;
}

ZTL_BENCH_ONCE std::int64_t LookupCursorOnce(TDriver& D, const std::vector<int>& Ids) {
  const std::string SQL = LookupSQL;
  D.Session.StartTransaction();
  std::int64_t Sum = 0;
  for (const int Id : Ids) {
    if (!D.Cursor.OpenRead(SQL, {Variant(Id)}))
      throw std::runtime_error(D.Session.GetLastError());
    ReadCursor(D.Cursor, D.Cursor.GetBlobManager()->BlobByName("note"), Sum);
  }
  D.Cursor.Close();
  D.Session.Commit();
  return Sum;
}

// Re-opens a prepared, parameterised query for every key, as a form that
// follows a selection does.
ZTL_BENCH_ONCE std::int64_t LookupDatasetOnce(TDatasetDriver& D, const std::vector<int>& Ids) {
  TZantrelParam* Key = D.Query.GetParams()->ParamByName("id");
  D.Session.StartTransaction();
  std::int64_t Sum = 0;
  for (const int Id : Ids) {
    D.Query.Close();
    Key->SetAsInteger(Id);
    D.Query.Open();
    // Through the field list, as the PostgreSQL bench and an application
    // do: copying the fields into a vector first cost a heap block per lookup.
    ReadRecord(D.Query.Fields(), Sum);
  }
  D.Query.Close();
  D.Session.Commit();
  return Sum;
}

const char* const LookupDatasetSQL = "SELECT * FROM t WHERE id = :id";

void BM_LookupRaw(benchmark::State& State) {
  sqlite3* Db = OpenRaw();
  const std::vector<int> Ids = LookupIds();
  sqlite3_stmt* S;
  Check(sqlite3_prepare_v2(Db, LookupSQL, -1, &S, nullptr), Db, "lookup");
  for (auto _ : State)
    benchmark::DoNotOptimize(LookupRawOnce(Db, S, Ids));
  State.SetItemsProcessed(State.iterations() * Lookups);
  sqlite3_finalize(S);
  sqlite3_close_v2(Db);
}

void BM_LookupCursor(benchmark::State& State) {
  sqlite3_close_v2(OpenRaw());
  TDriver D;
  const std::vector<int> Ids = LookupIds();
  for (auto _ : State)
    benchmark::DoNotOptimize(LookupCursorOnce(D, Ids));
  State.SetItemsProcessed(State.iterations() * Lookups);
  State.counters["prepares"] = static_cast<double>(D.Session.GetStatistics().Prepares);
  State.counters["binds"] = static_cast<double>(D.Session.GetStatistics().Binds);
}

void BM_LookupDataset(benchmark::State& State) {
  sqlite3_close_v2(OpenRaw());
  TDatasetDriver D(LookupDatasetSQL);
  D.Query.Prepare();
  const std::vector<int> Ids = LookupIds();
  for (auto _ : State)
    benchmark::DoNotOptimize(LookupDatasetOnce(D, Ids));
  State.SetItemsProcessed(State.iterations() * Lookups);
  State.counters["prepares"] = static_cast<double>(D.Session.GetStatistics().Prepares);
}

// --- (c) inserts -----------------------------------------------------------------

const char* const InsertSQL = "INSERT INTO t2 VALUES (?, ?, ?, ?, ?, ?)";

std::vector<TRowText> InsertTexts() {
  std::vector<TRowText> Texts;
  Texts.reserve(static_cast<std::size_t>(Inserts));
  for (int Id = 1; Id <= Inserts; ++Id)
    Texts.push_back(RowText(Id));
  return Texts;
}

ZTL_BENCH_ONCE void InsertRawOnce(sqlite3* Db, sqlite3_stmt* S,
                                  const std::vector<TRowText>& Texts) {
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
}

ZTL_BENCH_ONCE void InsertCursorOnce(TDriver& D,
                                     const std::vector<std::array<Variant, 6>>& Values) {
  const std::string SQL = InsertSQL;
  D.Session.StartTransaction();
  for (const auto& Row : Values) {
    if (!D.Cursor.Execute(SQL, std::span<const Variant>(Row)))
      throw std::runtime_error(D.Session.GetLastError());
  }
  D.Session.Commit();
}

const char* const InsertDatasetSQL =
    "INSERT INTO t2 VALUES (:id, :name, :amount, :qty, :created, :note)";

// Sets the prepared query's parameters and runs ExecSQL once per row.
ZTL_BENCH_ONCE void InsertDatasetOnce(TDatasetDriver& D,
                                      const std::vector<std::array<Variant, 6>>& Values) {
  TZantrelParams& P = *D.Query.GetParams();
  D.Session.StartTransaction();
  for (const auto& Row : Values) {
    for (int I = 0; I < 6; ++I)
      P[I]->SetAsVariant(Row[static_cast<std::size_t>(I)]);
    D.Query.ExecSQL();
  }
  D.Session.Commit();
}

// The rows as the array executions take them: one view per row.
std::vector<TZtlVarParams> ArrayRows(const std::vector<std::array<Variant, 6>>& Values) {
  std::vector<TZtlVarParams> Rows;
  Rows.reserve(Values.size());
  for (const auto& Row : Values)
    Rows.emplace_back(std::span<const Variant>(Row));
  return Rows;
}

ZTL_BENCH_ONCE void InsertArrayCursorOnce(TDriver& D, const std::vector<TZtlVarParams>& Rows) {
  D.Session.StartTransaction();
  const TZantrelArrayResult R = D.Cursor.ExecuteArray(InsertSQL, Rows);
  if (!R.Succeeded())
    throw std::runtime_error(R.Errors[0].Message);
  D.Session.Commit();
}

ZTL_BENCH_ONCE void InsertArrayDatasetOnce(TDatasetDriver& D,
                                           const std::vector<TZtlVarParams>& Rows) {
  D.Session.StartTransaction();
  const TZantrelArrayResult R = D.Query.ExecSQLArray(Rows);
  if (!R.Succeeded())
    throw std::runtime_error(R.Errors[0].Message);
  D.Session.Commit();
}

void BM_InsertRaw(benchmark::State& State) {
  sqlite3* Db = OpenRaw();
  const std::vector<TRowText> Texts = InsertTexts();
  sqlite3_stmt* S;
  Check(sqlite3_prepare_v2(Db, InsertSQL, -1, &S, nullptr), Db, "insert");
  for (auto _ : State) {
    InsertRawOnce(Db, S, Texts);
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
  const std::vector<std::array<Variant, 6>> Values = InsertValues(Inserts);
  for (auto _ : State) {
    InsertCursorOnce(D, Values);
    State.PauseTiming();
    D.Session.Execute("DELETE FROM t2");
    State.ResumeTiming();
  }
  State.SetItemsProcessed(State.iterations() * Inserts);
  State.counters["prepares"] = static_cast<double>(D.Session.GetStatistics().Prepares);
  State.counters["binds"] = static_cast<double>(D.Session.GetStatistics().Binds);
}

void BM_InsertDataset(benchmark::State& State) {
  sqlite3_close_v2(OpenRaw());
  TDatasetDriver D(InsertDatasetSQL);
  D.Query.Prepare();
  const std::vector<std::array<Variant, 6>> Values = InsertValues(Inserts);
  for (auto _ : State) {
    InsertDatasetOnce(D, Values);
    State.PauseTiming();
    D.Session.Execute("DELETE FROM t2");
    State.ResumeTiming();
  }
  State.SetItemsProcessed(State.iterations() * Inserts);
}

// The array inserts of driver D (a TDriver or TDatasetDriver) by InsertOnce.
template <class TSide>
void ArrayInserts(benchmark::State& State, TSide& D,
                  void (*InsertOnce)(TSide&, const std::vector<TZtlVarParams>&)) {
  const std::vector<std::array<Variant, 6>> Values = InsertValues(Inserts);
  const std::vector<TZtlVarParams> Rows = ArrayRows(Values);
  for (auto _ : State) {
    InsertOnce(D, Rows);
    State.PauseTiming();
    D.Session.Execute("DELETE FROM t2");
    State.ResumeTiming();
  }
  State.SetItemsProcessed(State.iterations() * Inserts);
}

void BM_InsertArrayCursor(benchmark::State& State) {
  sqlite3_close_v2(OpenRaw());
  TDriver D;
  ArrayInserts(State, D, InsertArrayCursorOnce);
}

void BM_InsertArrayDataset(benchmark::State& State) {
  sqlite3_close_v2(OpenRaw());
  TDatasetDriver D(InsertDatasetSQL);
  ArrayInserts(State, D, InsertArrayDatasetOnce);
}

// Runs one workload once, after the same set-up as its benchmark; false for
// an unknown name.
bool RunWorkload(const std::string& Name) {
  std::int64_t Sum = 0;
  if (Name == "scan-raw" || Name == "lookup-raw" || Name == "insert-raw") {
    sqlite3* Db = OpenRaw();
    sqlite3_stmt* S;
    const char* SQL = Name == "scan-raw"     ? "SELECT * FROM t"
                      : Name == "lookup-raw" ? LookupSQL
                                             : InsertSQL;
    Check(sqlite3_prepare_v2(Db, SQL, -1, &S, nullptr), Db, SQL);
    if (Name == "scan-raw") {
      Sum = ScanRawOnce(S);
    } else if (Name == "lookup-raw") {
      Sum = LookupRawOnce(Db, S, LookupIds());
    } else {
      InsertRawOnce(Db, S, InsertTexts());
      Exec(Db, "DELETE FROM t2");
    }
    sqlite3_finalize(S);
    sqlite3_close_v2(Db);
  } else if (Name == "scan-cursor" || Name == "lookup-cursor" || Name == "insert-cursor") {
    sqlite3_close_v2(OpenRaw());
    TDriver D;
    if (Name == "scan-cursor") {
      PrepareScan(D);
      Sum = ScanCursorOnce(D);
      std::printf("cache bytes per row: %.1f\n",
                  static_cast<double>(D.Cursor.GetCacheMemory()) / Rows);
    } else if (Name == "lookup-cursor") {
      Sum = LookupCursorOnce(D, LookupIds());
    } else {
      InsertCursorOnce(D, InsertValues(Inserts));
      D.Session.Execute("DELETE FROM t2");
    }
  } else if (Name == "scan-dataset" || Name == "scan-forward" || Name == "lookup-dataset" ||
             Name == "insert-dataset") {
    sqlite3_close_v2(OpenRaw());
    const bool Scan = Name == "scan-dataset" || Name == "scan-forward";
    TDatasetDriver D(Scan ? "SELECT * FROM t"
                     : Name == "lookup-dataset" ? LookupDatasetSQL
                                                : InsertDatasetSQL);
    D.Query.SetUniDirectional(Name == "scan-forward");
    D.Query.Prepare();
    if (Scan) {
      Sum = ScanDatasetOnce(D);
    } else if (Name == "lookup-dataset") {
      Sum = LookupDatasetOnce(D, LookupIds());
    } else {
      InsertDatasetOnce(D, InsertValues(Inserts));
      D.Session.Execute("DELETE FROM t2");
    }
  } else if (Name == "insert-array-cursor") {
    sqlite3_close_v2(OpenRaw());
    TDriver D;
    const std::vector<std::array<Variant, 6>> Values = InsertValues(Inserts);
    InsertArrayCursorOnce(D, ArrayRows(Values));
    D.Session.Execute("DELETE FROM t2");
  } else if (Name == "insert-array-dataset") {
    sqlite3_close_v2(OpenRaw());
    TDatasetDriver D(InsertDatasetSQL);
    const std::vector<std::array<Variant, 6>> Values = InsertValues(Inserts);
    InsertArrayDatasetOnce(D, ArrayRows(Values));
    D.Session.Execute("DELETE FROM t2");
  } else {
    return false;
  }
  std::printf("%s: %lld\n", Name.c_str(), static_cast<long long>(Sum));
  return true;
}

} // namespace

BENCHMARK(BM_ScanRaw)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ScanCursor)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ScanDataset)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ScanForward)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_LookupRaw)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_LookupCursor)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_LookupDataset)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_InsertRaw)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_InsertCursor)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_InsertDataset)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_InsertArrayCursor)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_InsertArrayDataset)->Unit(benchmark::kMillisecond)->MinTime(2);

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--once") {
    if (RunWorkload(argv[2]))
      return 0;
    std::fprintf(stderr, "unknown workload %s\n", argv[2]);
    return 2;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
