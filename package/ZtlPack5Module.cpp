// The base classes' package as a loadable module.
#include "package/ZtlPack5.h"
#include "package/ZtlPackageModule.h"

namespace {

int RegisterPack5(char* ErrorText, size_t ErrorSize) {
  return ztl::RunPackageRegister(&ztl::ZtlPack5::Register, ErrorText, ErrorSize);
}

} // namespace

ZTL_EXPORT_PACKAGE_ENTRY {
  static const std::vector<std::string> NoComponents;
  static const ztl::TZtlPackageBlock Block("ZtlPack5", ztl::ZtlPack5::Description,
                                           ztl::ZtlPack5::ContainedUnits(),
                                           ztl::ZtlPack5::RequiredPackages(), nullptr,
                                           NoComponents, &RegisterPack5);
  return Block.Get();
}
