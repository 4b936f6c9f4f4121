// Internal to the PostgreSQL driver: may change without notice.
//
// The table of libpq entry points that the PostgreSQL driver reaches
// through, filled at run time from the client library, and the loading and
// unloading of that library.
#pragma once

#include <libpq-fe.h>

#include <string>

#include "drivers/common/ZtlClientLibrary_p.h"

#include "drivers/postgres/PgResult.h"

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
  X(parameterStatus)                                                                               \
  X(host)                                                                                          \
  X(port)                                                                                          \
  X(exec)                                                                                          \
  X(sendQuery)                                                                                     \
  X(getResult)                                                                                     \
  X(putCopyEnd)                                                                                    \
  X(getCopyData)                                                                                   \
  X(freemem)                                                                                       \
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
  X(cmdTuples)                                                                                     \
  X(cmdStatus)

// Pipeline mode (libpq 14 and later): bound when present and left null
// otherwise, in which case array executions run element by element.
#define ZTL_PG_PIPELINE_ENTRY_POINTS(X)                                                            \
  X(enterPipelineMode)                                                                             \
  X(exitPipelineMode)                                                                              \
  X(pipelineSync)                                                                                  \
  X(sendFlushRequest)                                                                              \
  X(sendQueryPrepared)

// The bound entry points.
struct TPgApi {
#define ZTL_PG_MEMBER(Name) ZTL_CLIENT_ENTRY(PQ, Name)
  ZTL_PG_ENTRY_POINTS(ZTL_PG_MEMBER)
  ZTL_PG_PIPELINE_ENTRY_POINTS(ZTL_PG_MEMBER)
#undef ZTL_PG_MEMBER

  // Every pipeline-mode entry point is there.
  bool HasPipeline() const noexcept {
    return enterPipelineMode && exitPipelineMode && pipelineSync && sendFlushRequest &&
           sendQueryPrepared;
  }

  // Binds every entry point from Lib; false for a library that does not
  // look like libpq (PgApi.cpp).
  static bool Bind(void* Lib, TPgApi& Api);
};

// The client library of the PostgreSQL driver: one per process, shared by
// every session of the driver, which counts its references.
using TPgLibrary = TZtlClientLibrary<TPgApi>;

// Shorthand for the bound entry points.
inline const TPgApi& Pq() noexcept {
  return TPgLibrary::Api();
}

} // namespace ztl
