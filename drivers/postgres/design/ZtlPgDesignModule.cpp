// The PostgreSQL driver's design package as a loadable module.
#include "drivers/postgres/design/ZtlPgDesign.h"
#include "package/ZtlPackageModule.h"

namespace {

int RegisterZtlPgDesign(char* ErrorText, size_t ErrorSize) {
  return ztl::RunPackageRegister(&ztl::ZtlPgDesign::Register, ErrorText, ErrorSize);
}

} // namespace

ZTL_EXPORT_PACKAGE_ENTRY {
  static const std::vector<std::string> Units{"ZtlPgDesign"};
  static const ztl::TZtlPackageBlock Block("ZtlPgDesign", ztl::ZtlPgDesign::Description, Units,
                                           ztl::ZtlPgDesign::RequiredPackages(),
                                           ztl::ZtlPgDesign::PalettePage,
                                           ztl::ZtlPgDesign::PaletteComponents(), &RegisterZtlPgDesign);
  return Block.Get();
}
