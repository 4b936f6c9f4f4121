// The base classes' package frame.
#include "package/ZtlPack5.h"

#include "design/ZtlPrcEd.h"
#include "design/ZtlPrmEd.h"

namespace ztl::ZtlPack5 {

const char* const Description = "Zantrelix base classes";

const std::vector<std::string>& ContainedUnits() {
  static const std::vector<std::string> Units{"ZtlApp",   "ZtlBase",  "ZtlUtil",
                                              "ZtlBasDS", "ZtlAbout", "ZtlProps",
                                              "ZtlDirEd", "ZtlPrcEd", "ZtlPrmEd"};
  return Units;
}

const std::vector<std::string>& RequiredPackages() {
  static const std::vector<std::string> Packages{"vcldb50", "vclx50", "vcl50"};
  return Packages;
}

void Register() {
  ZtlPrmEd::Register();
  ZtlPrcEd::Register();
}

} // namespace ztl::ZtlPack5
