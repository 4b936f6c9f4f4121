// Helpers shared by the framework's dataset suites.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace ztl::test {

// Calls and events in the order a dataset logged them.
using Calls = std::vector<std::string>;

// The message of the exception Action raises, or "<no error>" when it raises
// none, so that a missing error shows in the comparison itself.
inline std::string MessageOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const std::exception& E) {
    return E.what();
  }
  return "<no error>";
}

} // namespace ztl::test
