// Binding of client-library entry points loaded at run time.
#include "sqltext/ZtlUtil.h"

#include <dlfcn.h>

namespace ztl {

void ZtlAssignProcAddress(void*& Target, void* Proc, void* Fallback) {
  Target = Proc != nullptr ? Proc : Fallback;
}

void* ZtlGetProcAddress(void* Library, const char* Name) {
  // dlsym with a null handle would search the default scope (RTLD_DEFAULT), binding whatever
  // symbol of that name the process happens to hold instead of the library's own.
  if (Library == nullptr || Name == nullptr)
    return nullptr;
  return dlsym(Library, Name);
}

} // namespace ztl
