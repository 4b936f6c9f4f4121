// Opening and closing of the drivers' client libraries.
#include "drivers/common/ZtlClientLibrary_p.h"

#include <dlfcn.h>

namespace ztl {

void* ZtlOpenClientLibrary(const std::string& FileName) noexcept {
  return dlopen(FileName.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void ZtlCloseClientLibrary(void* Handle) noexcept {
  if (Handle)
    dlclose(Handle);
}

} // namespace ztl
