// The table of libpq entry points that the PostgreSQL driver reaches
// through, filled at run time from the client library, and the loading and
// unloading of that library.
#pragma once

#include <libpq-fe.h>

#include <string>

namespace ztl {

// Every libpq function the driver calls, bound by name from the loaded
// library. X(name) names PQ<name>. Missing functions are bound to the
// placeholder that raises "Function not supported by this version of the
// Database Interface library" when called.
#define ZTL_PG_ENTRY_POINTS(X)                                                                     \
  X(libVersion)                                                                                    \
  X(connectdb)                                                                                     \
  X(finish)                                                                                        \
  X(status)                                                                                        \
  X(errorMessage)                                                                                  \
  X(transactionStatus)                                                                             \
  X(setClientEncoding)                                                                             \
  X(clientEncoding)                                                                                \
  X(exec)                                                                                          \
  X(prepare)                                                                                       \
  X(describePrepared)                                                                              \
  X(execPrepared)                                                                                  \
  X(execParams)                                                                                    \
  X(resultStatus)                                                                                  \
  X(resultErrorMessage)                                                                            \
  X(resultErrorField)                                                                              \
  X(clear)                                                                                         \
  X(ntuples)                                                                                       \
  X(nfields)                                                                                       \
  X(nparams)                                                                                       \
  X(fname)                                                                                         \
  X(ftable)                                                                                        \
  X(ftablecol)                                                                                     \
  X(ftype)                                                                                         \
  X(fmod)                                                                                          \
  X(getvalue)                                                                                      \
  X(getlength)                                                                                     \
  X(getisnull)                                                                                     \
  X(cmdTuples)

// The bound entry points. A member holds either the library's function or a
// placeholder, never null, from the first successful load until the library
// is unloaded.
struct TPgApi {
#define ZTL_PG_MEMBER(Name) decltype(&::PQ##Name) Name = nullptr;
  ZTL_PG_ENTRY_POINTS(ZTL_PG_MEMBER)
#undef ZTL_PG_MEMBER
};

// The client library of the PostgreSQL driver: one per process, shared by
// every session of the driver, which counts its references.
class TPgLibrary {
public:
  static const TPgApi& Api() noexcept { return Table; }
  static bool Loaded() noexcept { return Handle != nullptr; }
  // The file name the library was loaded from ("" while none is loaded).
  static const std::string& LoadedName() noexcept { return Name; }

  // Opens the shared library FileName and binds every entry point. False,
  // leaving nothing loaded, when the library cannot be opened or does not
  // look like libpq (no PQconnectdb).
  static bool Load(const std::string& FileName);
  // Unloads the library; the table goes back to nulls.
  static void Free() noexcept;

private:
  static inline void* Handle = nullptr; // dlopen handle, null while unloaded
  static inline TPgApi Table;           // the bound entry points
  static inline std::string Name;       // file the library came from
};

// Shorthand for the bound entry points.
inline const TPgApi& Pq() noexcept {
  return TPgLibrary::Api();
}

// Owns one PGresult and clears it when it goes.
class TPgResult {
public:
  TPgResult() = default;
  explicit TPgResult(PGresult* R) noexcept : Res(R) {}
  TPgResult(TPgResult&& O) noexcept : Res(O.Res) { O.Res = nullptr; }
  TPgResult& operator=(TPgResult&& O) noexcept {
    if (this != &O) {
      Reset();
      Res = O.Res;
      O.Res = nullptr;
    }
    return *this;
  }
  TPgResult(const TPgResult&) = delete;
  TPgResult& operator=(const TPgResult&) = delete;
  ~TPgResult() { Reset(); }

  void Reset() noexcept {
    if (Res && TPgLibrary::Loaded())
      Pq().clear(Res);
    Res = nullptr;
  }
  PGresult* Get() const noexcept { return Res; }
  explicit operator bool() const noexcept { return Res != nullptr; }
  // The command succeeded (with or without rows).
  bool Ok() const noexcept {
    if (!Res)
      return false;
    const ExecStatusType S = Pq().resultStatus(Res);
    return S == PGRES_COMMAND_OK || S == PGRES_TUPLES_OK;
  }

private:
  PGresult* Res = nullptr; // the result, or null
};

} // namespace ztl
