// The ztl program's SQL command: options, the session, one statement or a
// stream of statements from standard input, and their output.
#include "tools/ztl/SqlCommand.h"

#include <unistd.h>

#include <charconv>
#include <iostream>
#include <map>
#include <memory>

#include "core/ZtlConsts.h"
#include "drivers/sqlite/SQLiteApi_p.h"
#include "drivers/sqlite/ZtlSQLite.h"
#include "tools/ztl/Commands.h"
#include "tools/ztl/DemoDatabase.h"
#include "tools/ztl/ResultPrinter.h"

namespace ztl::cli {

namespace {

// The parsed command line.
struct TOptions {
  std::string Database;                      // --db, empty for the demo database
  std::string SQL;                           // the statement, empty to read standard input
  bool HaveSQL = false;                      // a statement was given (even an empty one)
  std::map<std::string, std::string> Params; // -p values by name
};

// A parameter value as the user most likely means it: whole numbers and
// real numbers as numbers, everything else as text.
Variant ParamValue(const std::string& Text) {
  std::int64_t I;
  const char* End = Text.data() + Text.size();
  auto R = std::from_chars(Text.data(), End, I);
  if (!Text.empty() && R.ec == std::errc() && R.ptr == End)
    return Variant(I);
  double D;
  if (!Text.empty() && Text.find_first_not_of("+-.0123456789eE") == std::string::npos &&
      TryStrToFloat(Text, D))
    return Variant(D);
  return Variant(Text);
}

// Runs one statement and prints what it gives. False, with Error set, when
// it fails.
class TRunner {
public:
  TRunner(TZantrelSQLiteSession& ASession, const std::map<std::string, std::string>& AParams,
          std::ostream& AOut)
      : Session(ASession), Params(AParams), Out(AOut) {
    Cursor.SetSession(&Session);
  }

  bool Run(const std::string& SQL, bool CheckUnused, std::string& Error) {
    if (!Cursor.Prepare(SQL)) {
      Error = Session.GetLastError();
      return false;
    }
    std::vector<Variant> Values;
    if (!CollectParams(CheckUnused, Values, Error))
      return false;
    const TZtlVarParams P(Values);
    if (Cursor.GetPreparedForOpen()) {
      if (!Cursor.OpenPrepared(Values.empty() ? TZtlVarParams() : P, true)) {
        Error = Session.GetLastError();
        return false;
      }
      const bool Ok = PrintResult(Cursor, Out, Error);
      Cursor.Close();
      return Ok;
    }
    if (!Cursor.ExecutePrepared(Values.empty() ? TZtlVarParams() : P)) {
      Error = Session.GetLastError();
      return false;
    }
    const std::int32_t N = Cursor.GetRowsProcessed();
    Out << N << (N == 1 ? " row" : " rows") << " affected\n";
    return true;
  }

private:
  // The -p values in the order of the statement's markers.
  bool CollectParams(bool CheckUnused, std::vector<Variant>& Values, std::string& Error) {
    const std::vector<std::string> Names = Cursor.GetParamNames();
    std::map<std::string, bool> Used;
    for (std::size_t I = 0; I < Names.size(); ++I) {
      // ":name" is looked up as "name"; "?" and "?NNN" by their number.
      std::string Name = Names[I].empty() ? std::to_string(I + 1) : Names[I].substr(1);
      const auto It = Params.find(Name);
      if (It == Params.end()) {
        Error = LoadZtlStrFmt(SZtlNoParameterValue, {Name});
        return false;
      }
      Used[Name] = true;
      Values.push_back(ParamValue(It->second));
    }
    if (CheckUnused)
      for (const auto& [Name, Value] : Params)
        if (!Used.count(Name)) {
          Error = "The statement has no parameter '" + Name + "'";
          return false;
        }
    return true;
  }

  TZantrelSQLiteSession& Session;
  const std::map<std::string, std::string>& Params;
  std::ostream& Out;
  TZantrelSQLiteSQL Cursor;
};

// Text is nothing but blanks, comments and semicolons.
bool IsBlankStatement(const std::string& Text) {
  std::size_t I = 0;
  while (I < Text.size()) {
    const char C = Text[I];
    if (C == ' ' || C == '\t' || C == '\n' || C == '\r' || C == ';') {
      ++I;
    } else if (C == '-' && I + 1 < Text.size() && Text[I + 1] == '-') {
      I = Text.find('\n', I);
      if (I == std::string::npos)
        return true;
    } else if (C == '/' && I + 1 < Text.size() && Text[I + 1] == '*') {
      I = Text.find("*/", I + 2);
      if (I == std::string::npos)
        return true;
      I += 2;
    } else {
      return false;
    }
  }
  return true;
}

// Takes the first complete statement (up to and with its ';') off the
// front of Buffer; false when Buffer holds no complete statement yet.
bool TakeStatement(std::string& Buffer, std::string& Statement) {
  for (std::size_t Semi = Buffer.find(';'); Semi != std::string::npos;
       Semi = Buffer.find(';', Semi + 1)) {
    const std::string Candidate = Buffer.substr(0, Semi + 1);
    // sqlite3_complete knows where strings, comments and trigger bodies end.
    if (SQLite().complete(Candidate.c_str())) {
      Statement = Candidate;
      Buffer.erase(0, Semi + 1);
      return true;
    }
  }
  return false;
}

int ReadStatements(TRunner& Runner, std::ostream& Out, std::ostream& Err) {
  const bool Interactive = isatty(STDIN_FILENO) != 0;
  std::string Buffer, Line, Statement, Error;
  int Exit = ExitSuccess;
  const auto RunOne = [&](const std::string& Text) {
    if (IsBlankStatement(Text))
      return true;
    if (Runner.Run(Text, false, Error))
      return true;
    Out.flush(); // the rows printed before the error come first
    Err << "ztl: " << Error << '\n';
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
    while (TakeStatement(Buffer, Statement))
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
  TOptions Options;
  for (std::size_t I = 0; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    if (A == "--db" || A == "-p" || A == "--param") {
      if (I + 1 >= Args.size()) {
        Err << "ztl: " << A << " needs a value\n";
        return ExitUsage;
      }
      const std::string& V = Args[++I];
      if (A == "--db") {
        Options.Database = V;
        continue;
      }
      const std::size_t Eq = V.find('=');
      if (Eq == std::string::npos || Eq == 0) {
        Err << "ztl: a parameter is given as name=value, not '" << V << "'\n";
        return ExitUsage;
      }
      Options.Params[V.substr(0, Eq)] = V.substr(Eq + 1);
    } else if (A.rfind("--db=", 0) == 0) {
      Options.Database = A.substr(5);
    } else if (!Options.HaveSQL) {
      Options.SQL = A;
      Options.HaveSQL = true;
    } else {
      Err << "ztl: expected one SQL statement, got a second one: '" << A
          << "' (quote the statement)\n";
      return ExitUsage;
    }
  }
  try {
    if (Options.Database.empty()) {
      Options.Database = DemoDatabasePath();
      if (Options.Database.empty()) {
        Err << "ztl: no place for the demo database (set HOME or XDG_DATA_HOME, or use --db)\n";
        return ExitFailure;
      }
      EnsureDemoDatabase(Options.Database);
    }
    TZantrelSQLiteSession Session;
    Session.SetDatabaseName(Options.Database);
    Session.Open();
    TRunner Runner(Session, Options.Params, Out);
    if (!Options.HaveSQL)
      return ReadStatements(Runner, Out, Err);
    std::string Error;
    if (IsBlankStatement(Options.SQL)) {
      Err << "ztl: the SQL text holds no statement\n";
      return ExitUsage;
    }
    if (!Runner.Run(Options.SQL, true, Error)) {
      Out.flush();
      Err << "ztl: " << Error << '\n';
      return ExitFailure;
    }
    return ExitSuccess;
  } catch (const std::exception& E) {
    Err << "ztl: " << E.what() << '\n';
    return ExitFailure;
  }
}

} // namespace ztl::cli
