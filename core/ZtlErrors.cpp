// The placeholder entry points for missing client-library functions.
#include "core/ZtlErrors.h"

#include "core/ZtlConsts.h"

namespace ztl {

void ZtlDummyProc() {
  // No session is at hand here, so the error is raised without being
  // recorded as anyone's last error.
  throw EZantrelException(LoadZtlStr(ZTL_ERR_LIB_WRONG), 0);
}

int ZtlDummyProcNoExcept() {
  return 0;
}

} // namespace ztl
