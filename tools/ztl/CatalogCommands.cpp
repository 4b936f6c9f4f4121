// The ztl program's catalog commands (tables, procs, columns) over the
// catalog routines, and call, which runs a stored procedure through the
// driver's stored-procedure component.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <climits>
#include <iostream>
#include <map>
#include <memory>

#include "catalog/ZtlApp.h"
#include "core/ZtlConsts.h"
#include "dataset/ZtlStoredProc.h"
#include "framework/classes/Strings.h"
#include "framework/variant/DateUtils.h"
#include "tools/ztl/Commands.h"
#include "tools/ztl/Options.h"

namespace ztl::cli {

namespace {

// The words of a command line besides the common options and the flags
// the command knows.
struct TCommandLine {
  TCommonOptions Options;             // the common options
  std::vector<std::string> Flags;     // flags given, of those the command knows
  std::vector<std::string> Arguments; // everything else, in order
};

// Reads Args; false, with the error line written, when they are wrong.
bool ReadCommandLine(const std::vector<std::string>& Args, const std::vector<std::string>& Known,
                     std::size_t Arguments, const std::string& Prefix, TCommandLine& Line,
                     std::ostream& Err) {
  for (std::size_t I = 0; I < Args.size(); ++I) {
    const TOptionResult R = TakeCommonOption(Args, I, Line.Options, Err, Prefix);
    if (R == orBad)
      return false;
    if (R == orTaken)
      continue;
    const std::string& A = Args[I];
    if (std::find(Known.begin(), Known.end(), A) != Known.end()) {
      Line.Flags.push_back(A);
    } else if (A.size() > 1 && A[0] == '-') {
      Err << Prefix << "unknown option '" << A << "' (see ztl --help)\n";
      return false;
    } else {
      Line.Arguments.push_back(A);
    }
  }
  if (Line.Arguments.size() != Arguments) {
    Err << Prefix << "expected " << (Arguments == 0 ? "no arguments" : "one name") << ", got "
        << Line.Arguments.size() << '\n';
    return false;
  }
  return true;
}

bool Has(const TCommandLine& Line, const char* Flag) {
  return std::find(Line.Flags.begin(), Line.Flags.end(), Flag) != Line.Flags.end();
}

// Runs a catalog routine and prints the names it gives as one column.
template <class F>
int ListNames(const TCommandLine& Line, const std::string& Prefix, const char* Column,
              std::ostream& Out, std::ostream& Err, F&& Read) {
  int Exit = ExitSuccess;
  const std::unique_ptr<TConnection> Connection = Connect(Line.Options, Err, Prefix, Exit);
  if (!Connection)
    return Exit;
  TStringList List;
  const auto Start = std::chrono::steady_clock::now();
  try {
    Read(*Connection, List);
  } catch (const std::exception& E) {
    Err << Prefix << OneLine(E.what()) << '\n';
    return ExitFailure;
  }
  TFixedRows Rows({{Column, vkText, 0}});
  for (int I = 0; I < List.Count(); ++I) {
    TCell Cell;
    Cell.Null = false;
    Cell.Value = Variant(List[I]);
    Rows.Add({Cell});
  }
  TProgress NoProgress(false, false);
  std::string Error;
  PrintRows(Rows, Line.Options.Format, Out, NoProgress, Error);
  ReportTiming(Line.Options.Timing, Start, Out, Err);
  return ExitSuccess;
}

// Gives Param the value Text in the parameter's own type, so that the
// procedure gets what its declaration asks for. False, with Error set,
// when Text does not read as that type.
bool SetParamText(TZantrelParam& Param, const std::string& Text, std::string& Error) {
  const auto Refuse = [&](const char* What) {
    Error = "The value '" + Text + "' of parameter '" + Param.GetName() + "' is not " + What;
    return false;
  };
  const char* End = Text.data() + Text.size();
  switch (Param.GetDataType()) {
  case ntInteger:
  case ntInt64: {
    std::int64_t I = 0;
    const auto R = std::from_chars(Text.data(), End, I);
    if (Text.empty() || R.ec != std::errc() || R.ptr != End)
      return Refuse("a whole number");
    if (Param.GetDataType() == ntInteger) {
      if (I < INT32_MIN || I > INT32_MAX)
        return Refuse("a 32-bit whole number");
      Param.SetAsInteger(static_cast<std::int32_t>(I));
    } else {
      Param.SetAsVariant(Variant(I));
    }
    return true;
  }
  case ntFloat:
  case ntCurrency: {
    double D = 0;
    if (Text.find_first_not_of("+-.0123456789eE") != std::string::npos || !TryStrToFloat(Text, D))
      return Refuse("a number");
    if (Param.GetDataType() == ntCurrency)
      Param.SetAsCurrency(D);
    else
      Param.SetAsFloat(D);
    return true;
  }
  case ntBoolean: {
    const std::string L = LowerCase(Text);
    if (L == "true" || L == "t" || L == "1" || L == "yes")
      Param.SetAsBoolean(true);
    else if (L == "false" || L == "f" || L == "0" || L == "no")
      Param.SetAsBoolean(false);
    else
      return Refuse("true or false");
    return true;
  }
  case ntDate:
  case ntTime:
  case ntDateTime: {
    TDateTime T = 0;
    const TZantrelFieldTypes Type = Param.GetDataType();
    const bool Ok = Type == ntDate   ? TryStrToDate(Text, T)
                    : Type == ntTime ? TryStrToTime(Text, T)
                                     : TryStrToDateTime(Text, T);
    if (!Ok)
      return Refuse(Type == ntDate   ? "a date (YYYY-MM-DD)"
                    : Type == ntTime ? "a time (HH:MM:SS)"
                                     : "a date and time (YYYY-MM-DD HH:MM:SS)");
    if (Type == ntDate)
      Param.SetAsDate(T);
    else if (Type == ntTime)
      Param.SetAsTime(T);
    else
      Param.SetAsDateTime(T);
    return true;
  }
  case ntBlob:
    Param.SetAsBlob(Text);
    return true;
  case ntBinary:
    Param.SetAsBinary(Text);
    return true;
  case ntMemo:
    Param.SetAsMemo(Text);
    return true;
  default:
    Param.SetAsString(Text);
    return true;
  }
}

bool IsOutput(const TZantrelParam& P) {
  return P.GetParamType() == nptOutput || P.GetParamType() == nptResult;
}

// Gives the procedure's inputs their -p values; every input needs one,
// and every -p must name an input.
bool SetInputs(TZantrelParams& Params, const std::map<std::string, std::string>& Values,
               std::string& Error) {
  for (const auto& [Name, Text] : Values) {
    TZantrelParam* P = Params.FindParam(Name);
    if (!P) {
      Error = "The procedure has no parameter '" + Name + "'";
      return false;
    }
    if (IsOutput(*P)) {
      Error = "The parameter '" + Name + "' is an output of the procedure and takes no value";
      return false;
    }
    if (!SetParamText(*P, Text, Error))
      return false;
  }
  for (int I = 0; I < Params.Count(); ++I) {
    const TZantrelParam* P = Params.GetParam(I);
    if (!IsOutput(*P) && !Values.count(P->GetName())) {
      Error = LoadZtlStrFmt(SZtlNoParameterValue, {P->GetName()});
      return false;
    }
  }
  return true;
}

// The call text the driver built starts a CALL: a procedure, which gives
// rows only for its output arguments.
bool IsCallStatement(const std::string& Text) {
  const std::size_t Start = Text.find_first_not_of(" \t\r\n");
  return Start != std::string::npos && Text.size() - Start > 4 &&
         LowerCase(Text.substr(Start, 5)) == "call ";
}

} // namespace

int RunTablesCommand(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
  TCommandLine Line;
  if (!ReadCommandLine(Args, {"--owner", "--all"}, 0, "ztl tables: ", Line, Err))
    return ExitUsage;
  const bool All = Has(Line, "--all");
  const bool Owner = Has(Line, "--owner");
  return ListNames(Line, "ztl tables: ", "table_name", Out, Err,
                   [&](const TConnection& C, TStringList& List) {
                     ZtlGetTableNames(C.GetDatabaseName(), All, Owner, List, C.QueryClass());
                   });
}

int RunProcsCommand(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
  TCommandLine Line;
  if (!ReadCommandLine(Args, {"--owner"}, 0, "ztl procs: ", Line, Err))
    return ExitUsage;
  const bool Owner = Has(Line, "--owner");
  return ListNames(Line, "ztl procs: ", "proc_name", Out, Err,
                   [&](const TConnection& C, TStringList& List) {
                     ZtlGetStoredProcNames(C.GetDatabaseName(), Owner, List, C.QueryClass());
                   });
}

int RunColumnsCommand(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
  TCommandLine Line;
  if (!ReadCommandLine(Args, {}, 1, "ztl columns: ", Line, Err))
    return ExitUsage;
  const std::string Table = Line.Arguments[0];
  return ListNames(
      Line, "ztl columns: ", "column_name", Out, Err, [&](const TConnection& C, TStringList& List) {
        ZtlGetFieldNames(C.GetDatabaseName(), Table, List, C.QueryClass());
        // The routine answers an unknown table with no columns;
        // on the command line that is a mistyped name.
        if (List.Count() == 0)
          throw Exception("The table '" + Table + "' has no columns or does not exist");
      });
}

int RunCallCommand(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
  const std::string Prefix = "ztl call: ";
  TCommandLine Line;
  if (!ReadCommandLine(Args, {}, 1, Prefix, Line, Err))
    return ExitUsage;
  int Exit = ExitSuccess;
  const std::unique_ptr<TConnection> Connection = Connect(Line.Options, Err, Prefix, Exit);
  if (!Connection)
    return Exit;
  const auto Start = std::chrono::steady_clock::now();
  std::string Error;
  bool Ok = true;
  try {
    TZantrelCustomStoredProc* Proc = Connection->NewStoredProc();
    Proc->SetProcName(Line.Arguments[0]);
    Proc->Prepare();
    if (!SetInputs(*Proc->GetParams(), Line.Options.Params, Error)) {
      Err << Prefix << OneLine(Error) << '\n';
      return ExitFailure;
    }
    bool HasOutputs = false;
    for (int I = 0; I < Proc->GetParams()->Count(); ++I)
      HasOutputs = HasOutputs || Proc->GetParams()->GetParam(I)->GetParamType() != nptInput;
    if (IsCallStatement(Proc->GetSQL()->GetText()) && !HasOutputs) {
      Proc->ExecProc();
      switch (Line.Options.Format) {
      case ofTable:
        Out << "(no result)\n";
        break;
      case ofJson:
        Out << "[]\n";
        break;
      case ofCsv:
        break;
      }
    } else {
      // A function's rows, or a procedure's output arguments as one row.
      Proc->Open();
      TDataSetRows Rows(*Proc);
      TProgress Progress(isatty(STDERR_FILENO) != 0, isatty(STDOUT_FILENO) != 0);
      Ok = PrintRows(Rows, Line.Options.Format, Out, Progress, Error);
      Proc->Close();
    }
  } catch (const std::exception& E) {
    Ok = false;
    Error = E.what();
  }
  ReportTiming(Line.Options.Timing, Start, Out, Err);
  if (!Ok) {
    Out.flush();
    Err << Prefix << OneLine(Error) << '\n';
    return ExitFailure;
  }
  return ExitSuccess;
}

} // namespace ztl::cli
