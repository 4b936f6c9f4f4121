// The two exception classes of the package and the placeholder entry points
// that a driver installs for client-library functions its library lacks.
#pragma once

#include <cstdint>
#include <string>

#include "framework/db/DBErrors.h"
#include "framework/rtl/SysUtils.h"

namespace ztl {

// Error of the core engine and of drivers. ErrorCode is kept exactly as given:
// the engine itself always uses 0, drivers pass their client library's codes
// (negative for failures). SQLState is the five-character state a server
// reported with the failure (PostgreSQL's "23505"), empty where there is none
// (the engine's own errors, SQLite, a client-side failure); handlers can tell
// a unique violation from a serialization failure without parsing the text.
class EZantrelException : public Exception {
public:
  EZantrelException(std::string Msg, std::int32_t ErrorCode, std::string SQLState = {})
      : Exception(std::move(Msg)), ErrorCode(ErrorCode), SQLState(std::move(SQLState)) {}

  std::int32_t GetErrorCode() const { return ErrorCode; }
  const std::string& GetSQLState() const { return SQLState; }

protected:
  std::int32_t ErrorCode; // the code the raiser gave, unchanged
  std::string SQLState;   // the server's state, or empty
};

// Error of the dataset layer. It is an EDatabaseError so that every handler
// for database errors catches it too; it carries the same ErrorCode and
// SQLState.
class EZantrelDatasetError : public EDatabaseError {
public:
  EZantrelDatasetError(std::string Msg, std::int32_t ErrorCode, std::string SQLState = {})
      : EDatabaseError(std::move(Msg)), ErrorCode(ErrorCode), SQLState(std::move(SQLState)) {}

  std::int32_t GetErrorCode() const { return ErrorCode; }
  const std::string& GetSQLState() const { return SQLState; }

protected:
  std::int32_t ErrorCode; // the code the raiser gave, unchanged
  std::string SQLState;   // the server's state, or empty
};

// Placeholder for a client-library entry point that the loaded library does
// not export. It takes no arguments and, when reached, raises
// EZantrelException with the "function not supported" text and code 0, without
// recording it in any session.
//
// It stands in for functions of every signature. Where the callee cleans up
// the stack, that would take a convention that returns cleanly from a call
// with any number of arguments. Linux x86-64 has one calling convention, in
// which the caller always cleans up and surplus register arguments are
// ignored, so no convention keyword exists or is needed: calling it through a
// pointer typed for the missing function is safe here.
[[noreturn]] void ZtlDummyProc();

// A second placeholder of the same shape that does nothing and returns 0, for
// entry points whose absence is harmless.
int ZtlDummyProcNoExcept();

} // namespace ztl
