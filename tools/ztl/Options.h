// The options every database command of the ztl program takes, and the
// connection they name.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "framework/variant/Variants.h"
#include "tools/ztl/Connection.h"
#include "tools/ztl/ResultPrinter.h"

namespace ztl::cli {

struct TCommonOptions {
  std::string Database;                      // --db, empty for the demo database
  std::string Library;                       // --library, empty for the driver's default
  std::vector<std::string> Init;             // --init statements, run on connecting
  TOutputFormat Format = ofTable;            // --csv, --json
  bool Timing = false;                       // --timing
  std::map<std::string, std::string> Params; // -p values by name
};

// What TakeCommonOption made of an argument.
enum TOptionResult {
  orNotOption, // not one of the common options
  orTaken,     // taken (with its value, I moved past it)
  orBad        // one of them, but wrong; the error line is written
};

// Takes Args[I] (and its value) when it is a common option: --db VALUE
// (or --db=VALUE), --library FILE, --init SQL, --csv, --json, --timing,
// -p/--param name=value. Errors go to Err as one line that starts with Prefix.
TOptionResult TakeCommonOption(const std::vector<std::string>& Args, std::size_t& I,
                               TCommonOptions& Options, std::ostream& Err,
                               const std::string& Prefix);

// The connection the options name: the demo database (made on first use)
// when --db is not given, with the --init statements run on it in order.
// On failure writes one error line starting with Prefix, sets Exit
// (ExitUsage for an unreadable --db, ExitConnect when the database cannot
// be reached, ExitFailure when an --init statement fails) and returns null.
std::unique_ptr<TConnection> Connect(const TCommonOptions& Options, std::ostream& Err,
                                     const std::string& Prefix, int& Exit);

// Message on one line: the line breaks and indentation of a multi-line
// message (libpq's connection errors have them) become "; ".
std::string OneLine(const std::string& Message);

// A parameter value as the user most likely means it: whole numbers and
// real numbers as numbers, everything else as text.
Variant ParamValue(const std::string& Text);

// For --timing (Enabled): writes the time since Start to Err as
// "Time: 1.234 ms", after what Out holds so far.
void ReportTiming(bool Enabled, std::chrono::steady_clock::time_point Start, std::ostream& Out,
                  std::ostream& Err);

} // namespace ztl::cli
