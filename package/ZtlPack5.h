// ZtlPack5: the package of the library's base classes as a designer sees it:
// its description, what it contains and requires, and its registration.
#pragma once

#include <string>
#include <vector>

namespace ztl::ZtlPack5 {

// The package's description as the designer's package list shows it.
extern const char* const Description;
// The units the package contains, by their classic names (catalog, core,
// SQL text, dataset and the design units).
const std::vector<std::string>& ContainedUnits();
// The framework's runtime packages it requires.
const std::vector<std::string>& RequiredPackages();

// Registers what this package puts into a designer: the two Params editors
// (the query's and the stored procedure's). The file, path and about editors
// are left to each driver's design package.
void Register();

} // namespace ztl::ZtlPack5
