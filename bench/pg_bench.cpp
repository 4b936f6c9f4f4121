// The PostgreSQL driver side by side with raw libpq calls on one server: a
// full scan, point lookups by primary key with a reused prepared statement,
// and inserts in one transaction, each through the cursor, the query dataset
// and libpq (the cursor also as one array execution, the raw side also in
// pipeline mode); forward-only scans read through a server cursor; and
// statements that run once each, the way a script or the
// sqllogictest corpus runs them.
//
// The server: the one named by ZTL_BENCH_PGHOST (socket directory or host),
// ZTL_BENCH_PGPORT, ZTL_BENCH_PGUSER and ZTL_BENCH_PGDATABASE when
// ZTL_BENCH_PGHOST is set, else a throw-away cluster started in a temporary
// directory and served on a Unix socket there. ZTL_BENCH_ROWS sets the
// table size (default 200,000; lookups and inserts are a fifth of it).
//
// "--corpus FILE..." instead times sqllogictest files through the cursor
// and through plain libpq calls (PQexec), interleaved, each file in a fresh
// schema, and prints the seconds of each side (ZTL_BENCH_SIDE=cursor or
// libpq: that side only).
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "bench/BenchWorkload.h"
#include "drivers/postgres/ZtlPostgres.h"
#include "tests/support/PgCluster.h"

namespace {

using namespace ztl;
using namespace ztl::bench;

const TWorkloadSize Size = WorkloadSize(200000);
const int Rows = Size.Rows;
const int Lookups = Size.Lookups;
const int Inserts = Size.Inserts;

// Where the server is: given by the environment or the throw-away cluster.
struct TServer {
  std::string Host, User, Database;
  int Port = 0;
};

const TServer& Server() {
  static const TServer S = [] {
    TServer R;
    if (const char* Host = std::getenv("ZTL_BENCH_PGHOST")) {
      R.Host = Host;
      const char* Port = std::getenv("ZTL_BENCH_PGPORT");
      R.Port = Port ? std::atoi(Port) : 0;
      const char* User = std::getenv("ZTL_BENCH_PGUSER");
      R.User = User ? User : "";
      const char* Db = std::getenv("ZTL_BENCH_PGDATABASE");
      R.Database = Db ? Db : "";
      return R;
    }
    auto& C = ztl::testing::PgCluster::Shared();
    if (!C.Available())
      throw std::runtime_error("no PostgreSQL cluster: " + C.Reason());
    R.Host = C.SocketDir();
    R.Port = C.Port();
    R.User = ztl::testing::PgCluster::User;
    R.Database = ztl::testing::PgCluster::Database;
    return R;
  }();
  return S;
}

void Check(PGconn* Conn, PGresult* R, const char* What) {
  const ExecStatusType St = PQresultStatus(R);
  if (St != PGRES_COMMAND_OK && St != PGRES_TUPLES_OK) {
    const std::string Msg = std::string(What) + ": " + PQerrorMessage(Conn);
    PQclear(R);
    throw std::runtime_error(Msg);
  }
  PQclear(R);
}

void Exec(PGconn* Conn, const std::string& SQL) {
  Check(Conn, PQexec(Conn, SQL.c_str()), SQL.c_str());
}

// A raw connection, with table t of Rows rows (filled on first use) and an
// empty t2 of the same shape.
PGconn* OpenRaw() {
  const TServer& S = Server();
  std::string Info = "host='" + S.Host + "'";
  if (S.Port)
    Info += " port=" + std::to_string(S.Port);
  if (!S.User.empty())
    Info += " user='" + S.User + "'";
  if (!S.Database.empty())
    Info += " dbname='" + S.Database + "'";
  PGconn* Conn = PQconnectdb(Info.c_str());
  if (PQstatus(Conn) != CONNECTION_OK)
    throw std::runtime_error(PQerrorMessage(Conn));
  Exec(Conn, "SET client_min_messages TO warning");
  const std::string Shape = "(id integer PRIMARY KEY, name varchar(40), amount double precision, "
                            "qty integer, created timestamp, note text)";
  Exec(Conn, "CREATE TABLE IF NOT EXISTS t" + Shape);
  Exec(Conn, "CREATE TABLE IF NOT EXISTS t2" + Shape);
  PGresult* Count = PQexec(Conn, "SELECT count(*) FROM t");
  const int Have = std::atoi(PQgetvalue(Count, 0, 0));
  PQclear(Count);
  if (Have != Rows) {
    Exec(Conn, "TRUNCATE t");
    // The same values as the SQLite bench writes.
    Exec(Conn, "INSERT INTO t SELECT i, 'customer ' || i, i * 0.25, i % 100, "
               "make_timestamp(2024, 1 + i % 12, 1 + i % 28, (i % 86400) / 3600, "
               "(i % 86400) / 60 % 60, i % 60), "
               "'note of row ' || i || ', written to look like a short remark' "
               "FROM generate_series(1, " +
                   std::to_string(Rows) + ") AS g(i)");
    Exec(Conn, "VACUUM ANALYZE t");
  }
  Exec(Conn, "TRUNCATE t2");
  return Conn;
}

// A driver session on the same server.
void Aim(TZantrelPgSession& Session) {
  const TServer& S = Server();
  Session.SetServerName(S.Host);
  Session.SetPort(S.Port);
  Session.SetUserName(S.User);
  Session.SetDatabaseName(S.Database);
  Session.Open();
}

struct TDriver {
  TZantrelPgSession Session;
  TZantrelPgSQL Cursor;
  TDriver() {
    Aim(Session);
    Cursor.SetSession(&Session);
  }
};

struct TDataset {
  TZantrelPgSession Session;
  TZantrelPgQuery Query;
  explicit TDataset(const char* SQL) {
    Aim(Session);
    Query.SetSession(&Session);
    Query.GetSQL()->SetText(SQL);
  }
};

std::vector<int> LookupIds() {
  return LookupKeys(Rows, Lookups);
}

// Reads every column of a raw row the way an application would: numbers as
// numbers, the time stamp's fields, texts through their pointer and length.
void ReadRaw(const PGresult* R, int Row, std::int64_t& Sum) {
  Sum += std::strtoll(PQgetvalue(R, Row, 0), nullptr, 10);
  Sum += PQgetlength(R, Row, 1) + PQgetvalue(R, Row, 1)[0];
  Sum += static_cast<std::int64_t>(std::strtod(PQgetvalue(R, Row, 2), nullptr));
  Sum += std::strtol(PQgetvalue(R, Row, 3), nullptr, 10);
  int Y = 0, Mo = 0, D = 0, H = 0, Mi = 0, S = 0;
  std::sscanf(PQgetvalue(R, Row, 4), "%d-%d-%d %d:%d:%d", &Y, &Mo, &D, &H, &Mi, &S);
  Sum += Y + Mo + D + H + Mi + S;
  Sum += PQgetlength(R, Row, 5) + PQgetvalue(R, Row, 5)[0];
}

// Reads every column of the cursor's current row through its public
// interface, the note through its memo stream.
void ReadCursor(TZantrelPgSQL& C, TZantrelBlobStream* Note, std::int64_t& Sum) {
  static const Variant Fields[] = {Variant(0), Variant(1), Variant(2), Variant(3), Variant(4)};
  Sum += C.GetFieldValue(Fields[0]).AsInt64();
  const Variant Name = C.GetFieldValue(Fields[1]);
  Sum += static_cast<std::int64_t>(Name.RawText().size()) + Name.RawText()[0];
  Sum += static_cast<std::int64_t>(C.GetFieldValue(Fields[2]).AsDouble());
  Sum += C.GetFieldValue(Fields[3]).AsInt64();
  Sum += static_cast<std::int64_t>(C.GetFieldValue(Fields[4]).AsDouble());
  char Buf[256];
  Note->Seek(0, soFromBeginning);
  const std::int32_t N = Note->Read(Buf, sizeof Buf);
  Sum += N + Buf[0];
}

// The process's peak resident memory so far, in MB; run one benchmark per
// process (--benchmark_filter) to compare the scans' peaks.
double PeakMegabytes() {
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  return static_cast<double>(Usage.ru_maxrss) / 1024.0;
}

// --- (a) full scan ----------------------------------------------------------

const char* const ScanSQL = "SELECT * FROM t";

ZTL_BENCH_ONCE std::int64_t ScanRawOnce(PGconn* Conn) {
  PGresult* R = PQexec(Conn, ScanSQL);
  std::int64_t Sum = 0;
  const int N = PQntuples(R);
  for (int Row = 0; Row < N; ++Row)
    ReadRaw(R, Row, Sum);
  PQclear(R);
  return Sum;
}

ZTL_BENCH_ONCE std::int64_t ScanCursorOnce(TDriver& D) {
  if (!D.Cursor.OpenRead(ScanSQL))
    throw std::runtime_error(D.Session.GetLastError());
  TZantrelBlobStream* Note = D.Cursor.GetBlobManager()->BlobByName("note");
  std::int64_t Sum = 0;
  D.Cursor.MoveToFirst();
  while (D.Cursor.FetchNext())
    ReadCursor(D.Cursor, Note, Sum);
  D.Cursor.Close();
  return Sum;
}

ZTL_BENCH_ONCE std::int64_t ScanDatasetOnce(TDataset& D) {
  D.Query.Open();
  std::int64_t Sum = 0;
  for (; !D.Query.Eof(); D.Query.Next())
    ReadRecord(D.Query.Fields(), Sum);
  D.Query.Close();
  return Sum;
}

void BM_ScanRaw(benchmark::State& State) {
  PGconn* Conn = OpenRaw();
  for (auto _ : State)
    benchmark::DoNotOptimize(ScanRawOnce(Conn));
  State.SetItemsProcessed(State.iterations() * Rows);
  State.counters["peak_MB"] = PeakMegabytes();
  PQfinish(Conn);
}

void BM_ScanCursor(benchmark::State& State) {
  PQfinish(OpenRaw());
  TDriver D;
  for (auto _ : State)
    benchmark::DoNotOptimize(ScanCursorOnce(D));
  State.SetItemsProcessed(State.iterations() * Rows);
  State.counters["peak_MB"] = PeakMegabytes();
}

void BM_ScanDataset(benchmark::State& State) {
  PQfinish(OpenRaw());
  TDataset D(ScanSQL);
  for (auto _ : State)
    benchmark::DoNotOptimize(ScanDatasetOnce(D));
  State.SetItemsProcessed(State.iterations() * Rows);
  State.counters["peak_MB"] = PeakMegabytes();
}

// The forward-only scans: a server-side cursor read in batches of the
// argument's rows (MaxFetchCount), the dataset unidirectional.
void BM_ScanCursorForward(benchmark::State& State) {
  PQfinish(OpenRaw());
  TDriver D;
  D.Cursor.SetUniDirectional(true);
  D.Cursor.SetMaxFetchCount(static_cast<std::int32_t>(State.range(0)));
  for (auto _ : State)
    benchmark::DoNotOptimize(ScanCursorOnce(D));
  State.SetItemsProcessed(State.iterations() * Rows);
  State.counters["peak_MB"] = PeakMegabytes();
}

void BM_ScanDatasetForward(benchmark::State& State) {
  PQfinish(OpenRaw());
  TDataset D(ScanSQL);
  D.Query.SetUniDirectional(true);
  for (auto _ : State)
    benchmark::DoNotOptimize(ScanDatasetOnce(D));
  State.SetItemsProcessed(State.iterations() * Rows);
  State.counters["peak_MB"] = PeakMegabytes();
}

// --- (b) point lookups, one prepared statement -------------------------------

ZTL_BENCH_ONCE std::int64_t LookupRawOnce(PGconn* Conn, const std::vector<int>& Ids) {
  std::int64_t Sum = 0;
  char Id[16];
  const char* Values[1] = {Id};
  for (const int K : Ids) {
    std::snprintf(Id, sizeof Id, "%d", K);
    PGresult* R = PQexecPrepared(Conn, "lookup", 1, Values, nullptr, nullptr, 0);
    if (PQntuples(R) == 1)
      ReadRaw(R, 0, Sum);
    PQclear(R);
  }
  return Sum;
}

ZTL_BENCH_ONCE std::int64_t LookupCursorOnce(TDriver& D, const std::vector<int>& Ids) {
  const std::string SQL = "SELECT * FROM t WHERE id = ?";
  std::int64_t Sum = 0;
  for (const int Id : Ids) {
    if (!D.Cursor.OpenRead(SQL, {Variant(Id)}))
      throw std::runtime_error(D.Session.GetLastError());
    ReadCursor(D.Cursor, D.Cursor.GetBlobManager()->BlobByName("note"), Sum);
  }
  D.Cursor.Close();
  return Sum;
}

ZTL_BENCH_ONCE std::int64_t LookupDatasetOnce(TDataset& D, const std::vector<int>& Ids) {
  std::int64_t Sum = 0;
  TZantrelParam* P = D.Query.ParamByName("id");
  for (const int Id : Ids) {
    D.Query.Close();
    P->SetAsInteger(Id);
    D.Query.Open();
    ReadRecord(D.Query.Fields(), Sum);
  }
  D.Query.Close();
  return Sum;
}

void BM_LookupRaw(benchmark::State& State) {
  PGconn* Conn = OpenRaw();
  Check(Conn, PQprepare(Conn, "lookup", "SELECT * FROM t WHERE id = $1", 0, nullptr), "prepare");
  const std::vector<int> Ids = LookupIds();
  for (auto _ : State)
    benchmark::DoNotOptimize(LookupRawOnce(Conn, Ids));
  State.SetItemsProcessed(State.iterations() * Lookups);
  PQfinish(Conn);
}

void BM_LookupCursor(benchmark::State& State) {
  PQfinish(OpenRaw());
  TDriver D;
  const std::vector<int> Ids = LookupIds();
  for (auto _ : State)
    benchmark::DoNotOptimize(LookupCursorOnce(D, Ids));
  State.SetItemsProcessed(State.iterations() * Lookups);
  State.counters["prepares"] = static_cast<double>(D.Session.GetStatistics().Prepares);
}

void BM_LookupDataset(benchmark::State& State) {
  PQfinish(OpenRaw());
  TDataset D("SELECT * FROM t WHERE id = :id");
  D.Query.ParamByName("id")->SetAsInteger(1);
  D.Query.Prepare();
  const std::vector<int> Ids = LookupIds();
  for (auto _ : State)
    benchmark::DoNotOptimize(LookupDatasetOnce(D, Ids));
  State.SetItemsProcessed(State.iterations() * Lookups);
  State.counters["prepares"] = static_cast<double>(D.Session.GetStatistics().Prepares);
}

// --- (c) inserts in one transaction -------------------------------------------

// A row's values as libpq sends them: every value a text.
struct TRowValues {
  std::string Id, Name, Amount, Qty, Created, Note;
};

std::vector<TRowValues> InsertTexts() {
  std::vector<TRowValues> Texts;
  for (int Id = 1; Id <= Inserts; ++Id) {
    TRowText T = RowText(Id);
    char Amount[32];
    std::snprintf(Amount, sizeof Amount, "%.17g", Id * 0.25);
    Texts.push_back({std::to_string(Id), std::move(T.Name), Amount, std::to_string(Id % 100),
                     std::move(T.Created), std::move(T.Note)});
  }
  return Texts;
}

const char* const InsertRawSQL = "INSERT INTO t2 VALUES ($1, $2, $3, $4, $5, $6)";

ZTL_BENCH_ONCE void InsertRawOnce(PGconn* Conn, const std::vector<TRowValues>& Texts) {
  Exec(Conn, "BEGIN");
  for (const TRowValues& T : Texts) {
    const char* Values[6] = {T.Id.c_str(),  T.Name.c_str(),    T.Amount.c_str(),
                             T.Qty.c_str(), T.Created.c_str(), T.Note.c_str()};
    Check(Conn, PQexecPrepared(Conn, "insert", 6, Values, nullptr, nullptr, 0), "insert");
  }
  Exec(Conn, "COMMIT");
}

// The same inserts sent in pipeline mode: one sync at the end, so the rows
// travel without waiting for each other's answers.
ZTL_BENCH_ONCE void InsertPipelineOnce(PGconn* Conn, const std::vector<TRowValues>& Texts) {
  Exec(Conn, "BEGIN");
  if (!PQenterPipelineMode(Conn))
    throw std::runtime_error("no pipeline mode");
  std::size_t Sent = 0, Read = 0;
  auto ReadOne = [&] {
    PGresult* R = PQgetResult(Conn);
    if (PQresultStatus(R) != PGRES_COMMAND_OK)
      throw std::runtime_error(PQerrorMessage(Conn));
    PQclear(R);
    if (PQgetResult(Conn)) // the null that ends each query's results
      throw std::runtime_error("unexpected result");
    ++Read;
  };
  for (const TRowValues& T : Texts) {
    const char* Values[6] = {T.Id.c_str(),  T.Name.c_str(),    T.Amount.c_str(),
                             T.Qty.c_str(), T.Created.c_str(), T.Note.c_str()};
    if (!PQsendQueryPrepared(Conn, "insert", 6, Values, nullptr, nullptr, 0))
      throw std::runtime_error(PQerrorMessage(Conn));
    ++Sent;
    // Reading as we go keeps both sides' buffers from filling up.
    if (Sent - Read > 1000) {
      PQflush(Conn);
      ReadOne();
    }
  }
  PQpipelineSync(Conn);
  while (Read < Sent)
    ReadOne();
  PGresult* Sync = PQgetResult(Conn);
  if (PQresultStatus(Sync) != PGRES_PIPELINE_SYNC)
    throw std::runtime_error("no sync");
  PQclear(Sync);
  PQexitPipelineMode(Conn);
  Exec(Conn, "COMMIT");
}

ZTL_BENCH_ONCE void InsertCursorOnce(TDriver& D, const std::vector<std::array<Variant, 6>>& Rows_) {
  const std::string SQL = "INSERT INTO t2 VALUES (?, ?, ?, ?, ?, ?)";
  D.Session.StartTransaction();
  for (const auto& Row : Rows_)
    if (!D.Cursor.Execute(SQL, std::span<const Variant>(Row)))
      throw std::runtime_error(D.Session.GetLastError());
  D.Session.Commit();
}

// The same inserts as one array execution: its elements go through the
// pipeline, one sync per chunk, inside the transaction. Without the
// transaction (Autocommit) each element commits on its own and is synced
// on its own, as in PQexecPrepared's autocommit.
ZTL_BENCH_ONCE void InsertCursorArrayOnce(TDriver& D, std::span<const TZtlVarParams> Rows_,
                                          bool Autocommit) {
  const std::string SQL = "INSERT INTO t2 VALUES (?, ?, ?, ?, ?, ?)";
  if (!Autocommit)
    D.Session.StartTransaction();
  const TZantrelArrayResult R = D.Cursor.ExecuteArray(SQL, Rows_, !Autocommit);
  if (!R.Succeeded())
    throw std::runtime_error(R.Errors.front().Message);
  if (!Autocommit)
    D.Session.Commit();
}

// Raw prepared inserts, each its own transaction.
ZTL_BENCH_ONCE void InsertRawAutocommitOnce(PGconn* Conn, const std::vector<TRowValues>& Texts) {
  for (const TRowValues& T : Texts) {
    const char* Values[6] = {T.Id.c_str(),  T.Name.c_str(),    T.Amount.c_str(),
                             T.Qty.c_str(), T.Created.c_str(), T.Note.c_str()};
    Check(Conn, PQexecPrepared(Conn, "insert", 6, Values, nullptr, nullptr, 0), "insert");
  }
}

ZTL_BENCH_ONCE void InsertDatasetOnce(TDataset& D, const std::vector<TRowValues>& Texts) {
  D.Session.StartTransaction();
  TZantrelParams& P = *D.Query.GetParams();
  for (std::size_t I = 0; I < Texts.size(); ++I) {
    const TRowValues& T = Texts[I];
    const int Id = static_cast<int>(I) + 1;
    P[0]->SetAsInteger(Id);
    P[1]->SetAsString(T.Name);
    P[2]->SetAsFloat(Id * 0.25);
    P[3]->SetAsInteger(Id % 100);
    P[4]->SetAsString(T.Created);
    P[5]->SetAsString(T.Note);
    D.Query.ExecSQL();
  }
  D.Session.Commit();
}

// Runs the raw inserts through Once, from a statement prepared as the
// driver's would be.
void InsertRawWith(benchmark::State& State,
                   void (*Once)(PGconn*, const std::vector<TRowValues>&)) {
  PGconn* Conn = OpenRaw();
  Check(Conn, PQprepare(Conn, "insert", InsertRawSQL, 0, nullptr), "prepare");
  const std::vector<TRowValues> Texts = InsertTexts();
  for (auto _ : State) {
    Once(Conn, Texts);
    State.PauseTiming();
    Exec(Conn, "TRUNCATE t2");
    State.ResumeTiming();
  }
  State.SetItemsProcessed(State.iterations() * Inserts);
  PQfinish(Conn);
}

void BM_InsertRaw(benchmark::State& State) {
  InsertRawWith(State, InsertRawOnce);
}

void BM_InsertRawPipeline(benchmark::State& State) {
  InsertRawWith(State, InsertPipelineOnce);
}

void BM_InsertCursor(benchmark::State& State) {
  PQfinish(OpenRaw());
  TDriver D;
  const auto Values = InsertValues(Inserts);
  for (auto _ : State) {
    InsertCursorOnce(D, Values);
    State.PauseTiming();
    D.Session.Execute("TRUNCATE t2");
    State.ResumeTiming();
  }
  State.SetItemsProcessed(State.iterations() * Inserts);
  State.counters["prepares"] = static_cast<double>(D.Session.GetStatistics().Prepares);
}

void BM_InsertRawAutocommit(benchmark::State& State) {
  InsertRawWith(State, InsertRawAutocommitOnce);
}

// Argument 0: in one transaction; 1: every element committed on its own.
void BM_InsertCursorArray(benchmark::State& State) {
  PQfinish(OpenRaw());
  TDriver D;
  const auto Values = InsertValues(Inserts);
  std::vector<TZtlVarParams> Rows_;
  for (const auto& Row : Values)
    Rows_.emplace_back(std::span<const Variant>(Row));
  for (auto _ : State) {
    InsertCursorArrayOnce(D, Rows_, State.range(0) != 0);
    State.PauseTiming();
    D.Session.Execute("TRUNCATE t2");
    State.ResumeTiming();
  }
  State.SetItemsProcessed(State.iterations() * Inserts);
  State.counters["pipelined"] = static_cast<double>(D.Session.GetStatistics().Pipelined);
}

void BM_InsertDataset(benchmark::State& State) {
  PQfinish(OpenRaw());
  TDataset D("INSERT INTO t2 VALUES (:id, :name, :amount, :qty, :created, :note)");
  D.Query.Prepare();
  const std::vector<TRowValues> Texts = InsertTexts();
  for (auto _ : State) {
    InsertDatasetOnce(D, Texts);
    State.PauseTiming();
    D.Session.Execute("TRUNCATE t2");
    State.ResumeTiming();
  }
  State.SetItemsProcessed(State.iterations() * Inserts);
  State.counters["prepares"] = static_cast<double>(D.Session.GetStatistics().Prepares);
}

// --- (d) statements opened once ------------------------------------------------

// Texts that differ by a literal, so that none is a repetition of another:
// an expression, a table's key and columns, columns without the key.
std::vector<std::string> OnceTexts() {
  std::vector<std::string> Texts;
  const int N = std::max(1, Lookups / 20);
  for (int I = 0; I < N; ++I) {
    const std::string K = std::to_string(1 + I * 7 % Rows);
    switch (I % 3) {
    case 0:
      Texts.push_back("SELECT qty * 2 + " + K + ", amount FROM t WHERE id BETWEEN " + K + " AND " +
                      K + " + 5");
      break;
    case 1:
      Texts.push_back("SELECT id, name, qty FROM t WHERE id = " + K);
      break;
    default:
      Texts.push_back("SELECT name, qty FROM t WHERE id = " + K);
      break;
    }
  }
  return Texts;
}

ZTL_BENCH_ONCE std::int64_t OnceRawOnce(PGconn* Conn, const std::vector<std::string>& Texts) {
  std::int64_t Sum = 0;
  for (const std::string& SQL : Texts) {
    PGresult* R = PQexec(Conn, SQL.c_str());
    for (int Row = 0; Row < PQntuples(R); ++Row)
      for (int Col = 0; Col < PQnfields(R); ++Col)
        Sum += PQgetlength(R, Row, Col);
    PQclear(R);
  }
  return Sum;
}

ZTL_BENCH_ONCE std::int64_t OnceCursorOnce(TDriver& D, const std::vector<std::string>& Texts) {
  std::int64_t Sum = 0;
  for (const std::string& SQL : Texts) {
    if (!D.Cursor.Open(SQL, {}, true))
      throw std::runtime_error(D.Session.GetLastError());
    while (D.Cursor.FetchNext())
      for (std::int32_t Col = 0; Col < D.Cursor.GetFieldCount(); ++Col)
        Sum += static_cast<std::int64_t>(D.Cursor.GetFieldValue(Variant(Col)).AsString().size());
  }
  D.Cursor.Unprepare();
  return Sum;
}

void BM_OnceRaw(benchmark::State& State) {
  PGconn* Conn = OpenRaw();
  const auto Texts = OnceTexts();
  for (auto _ : State)
    benchmark::DoNotOptimize(OnceRawOnce(Conn, Texts));
  State.SetItemsProcessed(State.iterations() * static_cast<std::int64_t>(Texts.size()));
  PQfinish(Conn);
}

void BM_OnceCursor(benchmark::State& State) {
  PQfinish(OpenRaw());
  TDriver D;
  const auto Texts = OnceTexts();
  for (auto _ : State)
    benchmark::DoNotOptimize(OnceCursorOnce(D, Texts));
  State.SetItemsProcessed(State.iterations() * static_cast<std::int64_t>(Texts.size()));
}

// --- The corpus ----------------------------------------------------------------

// One record of a sqllogictest file: a statement or a query, and its text.
struct TRecord {
  bool Query = false;
  std::string SQL;
};

// The records of Path that a PostgreSQL server is meant to run ("onlyif"
// another engine and "skipif postgresql" are left out).
std::vector<TRecord> ReadCorpus(const std::string& Path) {
  std::ifstream In(Path);
  if (!In)
    throw std::runtime_error("cannot read " + Path);
  std::vector<TRecord> Records;
  std::string Line;
  bool Skip = false, InRecord = false, InSQL = false;
  TRecord R;
  auto Flush = [&] {
    if (InRecord && !Skip && !R.SQL.empty())
      Records.push_back(R);
    R = TRecord{};
    Skip = InRecord = InSQL = false;
  };
  while (std::getline(In, Line)) {
    if (!Line.empty() && Line.back() == '\r')
      Line.pop_back();
    if (Line.empty()) {
      Flush();
      continue;
    }
    if (InSQL) {
      if (Line.rfind("----", 0) == 0)
        InSQL = false;
      else
        R.SQL += (R.SQL.empty() ? "" : "\n") + Line;
      continue;
    }
    if (InRecord)
      continue; // expected results
    if (Line.rfind("skipif ", 0) == 0)
      Skip = Skip || Line.find("postgresql") != std::string::npos;
    else if (Line.rfind("onlyif ", 0) == 0)
      Skip = Skip || Line.find("postgresql") == std::string::npos;
    else if (Line.rfind("statement", 0) == 0 || Line.rfind("query", 0) == 0) {
      InRecord = InSQL = true;
      R.Query = Line[0] == 'q';
    }
  }
  Flush();
  return Records;
}

// The seconds one side took over Records, and the failures it met.
struct TCorpusTime {
  double Seconds = 0;
  int Failures = 0;
};

TCorpusTime CorpusRaw(PGconn* Conn, const std::vector<TRecord>& Records) {
  const auto Start = std::chrono::steady_clock::now();
  TCorpusTime T;
  std::size_t Sum = 0;
  for (const TRecord& R : Records) {
    PGresult* Res = PQexec(Conn, R.SQL.c_str());
    const ExecStatusType St = PQresultStatus(Res);
    if (St != PGRES_COMMAND_OK && St != PGRES_TUPLES_OK)
      ++T.Failures;
    for (int Row = 0; Row < PQntuples(Res); ++Row)
      for (int Col = 0; Col < PQnfields(Res); ++Col)
        Sum += std::strlen(PQgetvalue(Res, Row, Col));
    PQclear(Res);
  }
  benchmark::DoNotOptimize(Sum);
  T.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
  return T;
}

TCorpusTime CorpusCursor(TDriver& D, const std::vector<TRecord>& Records) {
  const auto Start = std::chrono::steady_clock::now();
  TCorpusTime T;
  std::size_t Sum = 0;
  for (const TRecord& R : Records) {
    if (!R.Query) {
      if (!D.Cursor.Execute(R.SQL))
        ++T.Failures;
      continue;
    }
    if (!D.Cursor.Open(R.SQL, {}, true)) {
      ++T.Failures;
      continue;
    }
    while (D.Cursor.FetchNext())
      for (std::int32_t Col = 0; Col < D.Cursor.GetFieldCount(); ++Col)
        Sum += D.Cursor.GetFieldValue(Variant(Col)).AsString().size();
  }
  D.Cursor.Unprepare();
  benchmark::DoNotOptimize(Sum);
  T.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
  return T;
}

int RunCorpus(int Count, char** Paths) {
  PGconn* Conn = OpenRaw();
  TDriver D;
  double Raw = 0, Cursor = 0;
  for (int I = 0; I < Count; ++I) {
    const std::vector<TRecord> Records = ReadCorpus(Paths[I]);
    // Each side in a fresh schema of its own, so both build the same tables.
    auto Fresh = [&](const char* Schema) {
      Exec(Conn, std::string("DROP SCHEMA IF EXISTS ") + Schema + " CASCADE");
      Exec(Conn, std::string("CREATE SCHEMA ") + Schema);
    };
    Fresh("slt_raw");
    Fresh("slt_cursor");
    Exec(Conn, "SET search_path TO slt_raw");
    if (!D.Session.Execute("SET search_path TO slt_cursor"))
      throw std::runtime_error(D.Session.GetLastError());
    // ZTL_BENCH_SIDE=cursor or libpq runs one side only, for counting its
    // round trips from outside (strace -c -e sendto).
    const char* Side = std::getenv("ZTL_BENCH_SIDE");
    const bool Both = !Side || !*Side;
    const TCorpusTime C = Both || std::string(Side) == "cursor" ? CorpusCursor(D, Records)
                                                                : TCorpusTime{};
    const TCorpusTime R = Both || std::string(Side) == "libpq" ? CorpusRaw(Conn, Records)
                                                               : TCorpusTime{};
    std::printf("%-50s %6zu records  cursor %7.3f s (%d failed)  libpq %7.3f s (%d failed)  "
                "%.2fx\n",
                Paths[I], Records.size(), C.Seconds, C.Failures, R.Seconds, R.Failures,
                C.Seconds / R.Seconds);
    Raw += R.Seconds;
    Cursor += C.Seconds;
  }
  std::printf("total  cursor %.3f s  libpq %.3f s  %.2fx\n", Cursor, Raw, Cursor / Raw);
  PQfinish(Conn);
  return 0;
}

} // namespace

BENCHMARK(BM_ScanRaw)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ScanCursor)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ScanDataset)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ScanCursorForward)->Arg(25)->Arg(1000)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ScanDatasetForward)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_LookupRaw)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_LookupCursor)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_LookupDataset)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_InsertRaw)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_InsertRawPipeline)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_InsertCursor)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_InsertCursorArray)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_InsertRawAutocommit)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_InsertDataset)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_OnceRaw)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_OnceCursor)->Unit(benchmark::kMillisecond)->MinTime(2);

int main(int argc, char** argv) {
  try {
    if (argc >= 3 && std::string(argv[1]) == "--corpus")
      return RunCorpus(argc - 2, argv + 2);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
      return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  } catch (const std::exception& E) {
    std::fprintf(stderr, "%s\n", E.what());
    return 1;
  }
  return 0;
}
