// Helpers every test suite shares: the message of the exception an action
// raises, a directory that lives as long as a test needs it, and the ztl
// program run as a user runs it.
#pragma once

#include <cxxabi.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <typeinfo>

#include "framework/rtl/SysUtils.h"

namespace ztl::test {

// The readable name of the dynamic type of E ("std::out_of_range").
inline std::string TypeNameOf(const std::exception& E) {
  const char* Mangled = typeid(E).name();
  int Status = 0;
  const std::unique_ptr<char, decltype(&std::free)> Plain(
      abi::__cxa_demangle(Mangled, nullptr, nullptr, &Status), &std::free);
  return Status == 0 && Plain ? Plain.get() : Mangled;
}

// The message of the exception Action raises, or "" when it raises none.
//
// Only an exception of the kind E (by default any of the library's) gives
// its message. Any other is caught too and described as
// "unexpected <type>: <message>", so that a test comparing the message with
// the text it expects fails on the comparison and shows what was raised,
// instead of ending the test program.
template <class E = Exception, class F>
std::string MessageOf(F&& Action) {
  try {
    Action();
  } catch (const E& Error) {
    return Error.what();
  } catch (const std::exception& Other) {
    return "unexpected " + TypeNameOf(Other) + ": " + Other.what();
  } catch (...) {
    return "unexpected exception of no standard type";
  }
  return {};
}

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes. Raises std::runtime_error when it
// cannot be made.
class TTempDir {
public:
  explicit TTempDir(const std::string& Prefix = "ztl-test") {
    std::string Pattern = (std::filesystem::temp_directory_path() / (Prefix + "-XXXXXX")).string();
    if (!mkdtemp(Pattern.data()))
      throw std::runtime_error("cannot make a temporary directory from " + Pattern);
    Dir = Pattern;
  }
  ~TTempDir() {
    std::error_code Ignored; // a file still held open must not fail the test run
    std::filesystem::remove_all(Dir, Ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return Dir; }
  // The path of Name inside the directory (which need not exist).
  std::string File(const std::string& Name) const { return (Dir / Name).string(); }

private:
  std::filesystem::path Dir; // the directory made
};

// What a run of a program printed and how it ended.
struct TRun {
  std::string Output; // standard output and standard error together
  int ExitCode = -1;  // the exit status, -1 when the program did not exit normally
};

// Runs Command through the shell, capturing standard output and standard
// error together.
inline TRun RunCommand(const std::string& Command) {
  TRun Run;
  FILE* Pipe = popen((Command + " 2>&1").c_str(), "r");
  if (Pipe == nullptr)
    return Run;
  std::array<char, 512> Chunk;
  std::size_t Got;
  while ((Got = fread(Chunk.data(), 1, Chunk.size(), Pipe)) > 0)
    Run.Output.append(Chunk.data(), Got);
  const int Status = pclose(Pipe);
  if (Status != -1 && WIFEXITED(Status))
    Run.ExitCode = WEXITSTATUS(Status);
  return Run;
}

#ifdef ZTL_PROGRAM
// Runs the built ztl program with Arguments, already quoted for the shell.
// Environment, when given, is a list of NAME='value' settings for this run
// only (the demo database's home, say).
inline TRun RunZtl(const std::string& Arguments, const std::string& Environment = {}) {
  return RunCommand((Environment.empty() ? "" : Environment + " ") + "'" + ZTL_PROGRAM + "' " +
                    Arguments);
}
#endif

} // namespace ztl::test
