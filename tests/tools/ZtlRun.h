// Running the built ztl program with its standard output and standard error
// kept apart, for the suites that check what goes where.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/TestHelpers.h"

namespace ztl::test {

// What a run of ztl wrote to each stream, and how it ended.
struct TSplitRun {
  std::string Out;   // standard output
  std::string Err;   // standard error
  int ExitCode = -1; // the exit status, -1 when the program did not exit normally
};

// Runs ztl with Arguments (quoted for the shell) and Environment (NAME='value'
// settings), standard error going to a file in Dir.
inline TSplitRun RunZtlSplit(const TTempDir& Dir, const std::string& Arguments,
                             const std::string& Environment = {}) {
  const std::string ErrFile = Dir.File("stderr.txt");
  const TRun Run = RunCommand("{ " + Environment + " '" + ZTL_PROGRAM + "' " + Arguments + " 2>'" +
                              ErrFile + "'; }");
  std::ifstream In(ErrFile, std::ios::binary);
  std::ostringstream Err;
  Err << In.rdbuf();
  return {Run.Output, Err.str(), Run.ExitCode};
}

// Text quoted for the shell.
inline std::string Quote(const std::string& Text) {
  std::string Out = "'";
  for (const char C : Text)
    Out += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return Out + "'";
}

} // namespace ztl::test
