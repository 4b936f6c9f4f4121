// The ztl program's SQL command: options, the connection, one statement or
// a stream of statements from standard input, and their output.
#include "tools/ztl/SqlCommand.h"

#include <unistd.h>

#include <chrono>
#include <iostream>
#include <map>
#include <memory>

#include "core/ZtlConsts.h"
#include "tools/ztl/Commands.h"
#include "tools/ztl/Options.h"
#include "tools/ztl/Statements.h"

namespace ztl::cli {

namespace {

// Runs one statement and prints what it gives. False, with Error set, when
// it fails.
class TRunner {
public:
  TRunner(TConnection& AConnection, const TCommonOptions& AOptions, std::ostream& AOut,
          std::ostream& AErr)
      : Connection(AConnection), Options(AOptions), Out(AOut), Err(AErr),
        Cursor(Connection.NewCursor()) {}

  bool Run(const std::string& SQL, bool CheckUnused, std::string& Error) {
    const auto Start = std::chrono::steady_clock::now();
    const bool Ok = RunTimed(SQL, CheckUnused, Error);
    ReportTiming(Options.Timing, Start, Out, Err);
    return Ok;
  }

private:
  bool RunTimed(const std::string& SQL, bool CheckUnused, std::string& Error) {
    TZantrelSession& Session = Connection.GetSession();
    if (!Cursor->Prepare(SQL)) {
      Error = Session.GetLastError();
      return false;
    }
    std::vector<Variant> Values;
    if (!CollectParams(CheckUnused, Values, Error))
      return false;
    const TZtlVarParams P(Values);
    if (Cursor->GetPreparedForOpen()) {
      TProgress Progress(isatty(STDERR_FILENO) != 0, isatty(STDOUT_FILENO) != 0);
      if (!Cursor->OpenPrepared(Values.empty() ? TZtlVarParams() : P, true)) {
        Error = Session.GetLastError();
        return false;
      }
      TCursorRows Rows(*Cursor);
      const bool Ok = PrintRows(Rows, Options.Format, Out, Progress, Error);
      Cursor->Close();
      return Ok;
    }
    if (!Cursor->ExecutePrepared(Values.empty() ? TZtlVarParams() : P)) {
      Error = Session.GetLastError();
      return false;
    }
    PrintAffected(Cursor->GetRowsProcessed(), Options.Format, Out);
    return true;
  }

  // The -p values in the order of the statement's markers.
  bool CollectParams(bool CheckUnused, std::vector<Variant>& Values, std::string& Error) {
    const std::vector<std::string> Names = Connection.ParamNames(*Cursor);
    std::map<std::string, bool> Used;
    for (std::size_t I = 0; I < Names.size(); ++I) {
      // ":name" is looked up as "name"; "?" and "?NNN" by their number.
      std::string Name = Names[I].empty() ? std::to_string(I + 1) : Names[I].substr(1);
      const auto It = Options.Params.find(Name);
      if (It == Options.Params.end()) {
        Error = LoadZtlStrFmt(SZtlNoParameterValue, {Name});
        return false;
      }
      Used[Name] = true;
      Values.push_back(ParamValue(It->second));
    }
    if (CheckUnused)
      for (const auto& [Name, Value] : Options.Params)
        if (!Used.count(Name)) {
          Error = "The statement has no parameter '" + Name + "'";
          return false;
        }
    return true;
  }

  TConnection& Connection;               // where the statements run
  const TCommonOptions& Options;         // parameters, format, timing
  std::ostream& Out;                     // results
  std::ostream& Err;                     // timings
  std::unique_ptr<TZtlDriverSQL> Cursor; // runs every statement
};

int ReadStatements(TRunner& Runner, const TStatementDialect& Dialect, std::ostream& Out,
                   std::ostream& Err) {
  const bool Interactive = isatty(STDIN_FILENO) != 0;
  std::string Buffer, Line, Statement, Error;
  int Exit = ExitSuccess;
  const auto RunOne = [&](const std::string& Text) {
    if (IsBlankStatement(Text))
      return true;
    if (Runner.Run(Text, false, Error))
      return true;
    Out.flush(); // the rows printed before the error come first
    Err << "ztl: " << OneLine(Error) << '\n';
    Exit = ExitFailure;
    return Interactive;
  };
  for (;;) {
    if (Interactive) {
      Out << (IsBlankStatement(Buffer) ? "ztl> " : "...> ") << std::flush;
    }
    if (!std::getline(std::cin, Line))
      break;
    Buffer += Line;
    Buffer += '\n';
    while (TakeStatement(Buffer, Statement, Dialect))
      if (!RunOne(Statement))
        return Exit;
  }
  if (Interactive)
    Out << '\n';
  // A last statement without its ';' still runs.
  if (!RunOne(Buffer))
    return Exit;
  return Interactive ? ExitSuccess : Exit;
}

} // namespace

int RunSqlCommand(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
  TCommonOptions Options;
  std::string SQL;
  bool HaveSQL = false;
  for (std::size_t I = 0; I < Args.size(); ++I) {
    switch (TakeCommonOption(Args, I, Options, Err, "ztl: ")) {
    case orTaken:
      continue;
    case orBad:
      return ExitUsage;
    case orNotOption:
      break;
    }
    const std::string& A = Args[I];
    // A statement may start with a comment, but never as one word.
    if (A.size() > 2 && A.rfind("--", 0) == 0 && A.find_first_of(" \t\r\n") == std::string::npos) {
      Err << "ztl: unknown option '" << A << "' (see ztl --help)\n";
      return ExitUsage;
    }
    if (HaveSQL) {
      Err << "ztl: expected one SQL statement, got a second one: '" << A
          << "' (quote the statement)\n";
      return ExitUsage;
    }
    SQL = A;
    HaveSQL = true;
  }
  if (HaveSQL && IsBlankStatement(SQL)) {
    Err << "ztl: the SQL text holds no statement\n";
    return ExitUsage;
  }
  int Exit = ExitSuccess;
  const std::unique_ptr<TConnection> Connection = Connect(Options, Err, "ztl: ", Exit);
  if (!Connection)
    return Exit;
  try {
    TRunner Runner(*Connection, Options, Out, Err);
    if (!HaveSQL)
      return ReadStatements(Runner, Connection->Dialect(), Out, Err);
    std::string Error;
    if (!Runner.Run(SQL, true, Error)) {
      Out.flush();
      Err << "ztl: " << OneLine(Error) << '\n';
      return ExitFailure;
    }
    return ExitSuccess;
  } catch (const std::exception& E) {
    Out.flush();
    Err << "ztl: " << OneLine(E.what()) << '\n';
    return ExitFailure;
  }
}

} // namespace ztl::cli
