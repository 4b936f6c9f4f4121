// ZtlPackageLoader: the host side of loadable design packages. A designer
// loads package modules with it, one file or a whole package folder, and each
// package registers its classes and editors into the host's registries.
//
// A package's module leaves the framework to its host: the host program must
// export its symbols (CMake ENABLE_EXPORTS) so the package's classes and
// editors land in the registries the host reads. Packages stay loaded until
// the process ends; what they registered has its code inside them. A host
// either links a package statically or loads it, not both: its classes would
// otherwise be registered twice.
#pragma once

#include <string>
#include <vector>

#include "package/ZtlPackageEntry.h"

namespace ztl {

struct TZtlLoadedPackage {
  std::string FileName; // the module's file, as given or found
  const ZtlPackageInfo* Info = nullptr;
};

// Loads and registers one package module. Loading a file that is already
// loaded returns that package again without registering twice. Raises
// Exception when the file cannot be loaded, is not a package of this
// interface version, has the name of a package loaded from another file, or
// fails to register.
const TZtlLoadedPackage& LoadZtlPackage(const std::string& FileName);

struct TZtlPackageFolderResult {
  std::vector<const TZtlLoadedPackage*> Loaded; // in the order they registered
  std::vector<std::string> Errors;              // one line per module that failed
};

// Loads every module ("*.so") of a folder, registering each package after the
// packages of the folder it requires; packages it requires that are not in
// the folder are taken to be part of the host. One failing module does not
// stop the others. A missing folder is one error line.
TZtlPackageFolderResult LoadZtlPackageFolder(const std::string& Folder);

// Every package loaded so far, in load order.
std::vector<const TZtlLoadedPackage*> LoadedZtlPackages();

} // namespace ztl
