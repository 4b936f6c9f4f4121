// Helpers shared by the framework's dataset suites.
#pragma once

#include <string>
#include <vector>

#include "tests/support/TestHelpers.h"

namespace ztl::test {

// Calls and events in the order a dataset logged them.
using Calls = std::vector<std::string>;

} // namespace ztl::test
