// The SQLite driver's design package as a loadable module.
#include "drivers/sqlite/design/ZtlSQLiteDesign.h"
#include "package/ZtlPackageModule.h"

namespace {

int RegisterZtlSQLiteDesign(char* ErrorText, size_t ErrorSize) {
  return ztl::RunPackageRegister(&ztl::ZtlSQLiteDesign::Register, ErrorText, ErrorSize);
}

} // namespace

ZTL_EXPORT_PACKAGE_ENTRY {
  static const std::vector<std::string> Units{"ZtlSQLiteDesign"};
  static const ztl::TZtlPackageBlock Block("ZtlSQLiteDesign", ztl::ZtlSQLiteDesign::Description, Units,
                                           ztl::ZtlSQLiteDesign::RequiredPackages(),
                                           ztl::ZtlSQLiteDesign::PalettePage,
                                           ztl::ZtlSQLiteDesign::PaletteComponents(), &RegisterZtlSQLiteDesign);
  return Block.Get();
}
