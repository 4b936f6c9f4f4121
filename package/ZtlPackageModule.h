// ZtlPackageModule: the package side of the loadable-package interface. A
// package's module source builds its entry block from the package's C++
// description with TZtlPackageBlock and exports it with
// ZTL_EXPORT_PACKAGE_ENTRY; nothing else of the package is meant for the host.
#pragma once

#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "package/ZtlPackageEntry.h"

namespace ztl {

// Runs a package's C++ Register for the C entry block: an exception must not
// cross the C boundary, so it becomes -1 and its message.
inline int RunPackageRegister(void (*Register)(), char* ErrorText, size_t ErrorSize) noexcept {
  auto Fail = [&](const char* Message) {
    if (ErrorText && ErrorSize > 0) {
      std::strncpy(ErrorText, Message, ErrorSize - 1);
      ErrorText[ErrorSize - 1] = '\0';
    }
    return -1;
  };
  try {
    Register();
    return 0;
  } catch (const std::exception& E) {
    return Fail(E.what());
  } catch (...) {
    return Fail("unknown error");
  }
}

// Owns the null-terminated string arrays the C block points into; the lists
// it is built from must outlive it (they are the packages' static lists).
class TZtlPackageBlock {
public:
  TZtlPackageBlock(const char* Name, const char* Description,
                   const std::vector<std::string>& ContainedUnits,
                   const std::vector<std::string>& RequiredPackages, const char* PalettePage,
                   const std::vector<std::string>& PaletteComponents,
                   int (*Register)(char*, size_t))
      : Units(Pointers(ContainedUnits)), Required(Pointers(RequiredPackages)),
        Palette(Pointers(PaletteComponents)) {
    Info.AbiVersion = ZTL_PACKAGE_ABI_VERSION;
    Info.Name = Name;
    Info.Description = Description;
    Info.ContainedUnits = Units.data();
    Info.RequiredPackages = Required.data();
    Info.PalettePage = PalettePage;
    Info.PaletteComponents = Palette.data();
    Info.Register = Register;
  }

  const ZtlPackageInfo* Get() const { return &Info; }

private:
  static std::vector<const char*> Pointers(const std::vector<std::string>& List) {
    std::vector<const char*> Result;
    Result.reserve(List.size() + 1);
    for (const std::string& S : List)
      Result.push_back(S.c_str());
    Result.push_back(nullptr);
    return Result;
  }

  std::vector<const char*> Units, Required, Palette;
  ZtlPackageInfo Info{};
};

} // namespace ztl

// The one symbol a package module exports.
#define ZTL_EXPORT_PACKAGE_ENTRY                                                                  \
  extern "C" __attribute__((visibility("default"))) const ZtlPackageInfo* ZtlPackageEntry(void)
