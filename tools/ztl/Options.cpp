// The ztl program's common options and connecting to the database they name.
#include "tools/ztl/Options.h"

#include <charconv>
#include <cstdio>

#include "framework/rtl/SysUtils.h"
#include "tools/ztl/Commands.h"
#include "tools/ztl/DemoDatabase.h"

namespace ztl::cli {

TOptionResult TakeCommonOption(const std::vector<std::string>& Args, std::size_t& I,
                               TCommonOptions& Options, std::ostream& Err,
                               const std::string& Prefix) {
  const std::string& A = Args[I];
  if (A == "--csv" || A == "--json") {
    Options.Format = A == "--csv" ? ofCsv : ofJson;
    return orTaken;
  }
  if (A == "--timing") {
    Options.Timing = true;
    return orTaken;
  }
  if (A.rfind("--db=", 0) == 0) {
    Options.Database = A.substr(5);
    return orTaken;
  }
  if (A != "--db" && A != "--library" && A != "--init" && A != "-p" && A != "--param")
    return orNotOption;
  if (I + 1 >= Args.size()) {
    Err << Prefix << A << " needs a value\n";
    return orBad;
  }
  const std::string& V = Args[++I];
  if (A == "--db") {
    Options.Database = V;
    return orTaken;
  }
  if (A == "--library") {
    Options.Library = V;
    return orTaken;
  }
  if (A == "--init") {
    Options.Init.push_back(V);
    return orTaken;
  }
  const std::size_t Eq = V.find('=');
  if (Eq == std::string::npos || Eq == 0) {
    Err << Prefix << "a parameter is given as name=value, not '" << V << "'\n";
    return orBad;
  }
  Options.Params[V.substr(0, Eq)] = V.substr(Eq + 1);
  return orTaken;
}

std::unique_ptr<TConnection> Connect(const TCommonOptions& Options, std::ostream& Err,
                                     const std::string& Prefix, int& Exit) {
  TConnectionTarget Target;
  std::string Error;
  if (!ParseConnection(Options.Database, Target, Error)) {
    Err << Prefix << Error << '\n';
    Exit = ExitUsage;
    return nullptr;
  }
  try {
    if (Options.Database.empty()) {
      Target.File = DemoDatabasePath();
      if (Target.File.empty()) {
        Err << Prefix
            << "no place for the demo database (set HOME or XDG_DATA_HOME, or use --db)\n";
        Exit = ExitFailure;
        return nullptr;
      }
      EnsureDemoDatabase(Target.File);
      EnsureDemoForm(Target.File);
    }
  } catch (const std::exception& E) {
    Err << Prefix << OneLine(E.what()) << '\n';
    Exit = ExitFailure;
    return nullptr;
  }
  std::unique_ptr<TConnection> Connection;
  try {
    Connection = std::make_unique<TConnection>(Target, Options.Library);
  } catch (const std::exception& E) {
    Err << Prefix << OneLine(E.what()) << '\n';
    Exit = ExitConnect;
    return nullptr;
  }
  for (const std::string& SQL : Options.Init)
    if (!Connection->GetSession().Execute(SQL)) {
      Err << Prefix << "--init: " << OneLine(Connection->GetSession().GetLastError()) << '\n';
      Exit = ExitFailure;
      return nullptr;
    }
  return Connection;
}

std::string OneLine(const std::string& Message) {
  std::string Out;
  std::size_t I = 0;
  while (I < Message.size()) {
    const char C = Message[I];
    if (C != '\n' && C != '\r') {
      Out += C;
      ++I;
      continue;
    }
    while (I < Message.size() &&
           (Message[I] == '\n' || Message[I] == '\r' || Message[I] == '\t' || Message[I] == ' '))
      ++I;
    if (I < Message.size() && !Out.empty())
      Out += "; ";
  }
  return Out;
}

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

void ReportTiming(bool Enabled, std::chrono::steady_clock::time_point Start, std::ostream& Out,
                  std::ostream& Err) {
  if (!Enabled)
    return;
  const std::chrono::duration<double, std::milli> Took = std::chrono::steady_clock::now() - Start;
  char Buf[48];
  std::snprintf(Buf, sizeof Buf, "Time: %.3f ms", Took.count());
  Out.flush(); // the time follows the rows it is about
  Err << Buf << '\n';
}

} // namespace ztl::cli
