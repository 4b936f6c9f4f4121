// The code of the error a driver raised, for tests that check what the
// caller is told rather than the wording.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/ZtlErrors.h"

namespace ztl::test {

// The ErrorCode of the library's error Action raises (from the session or a
// dataset); 0 when it raises none, 1 when it raises anything else, which no
// driver error ever carries.
inline std::int32_t ErrorCodeOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const EZantrelDatasetError& E) {
    return E.GetErrorCode();
  } catch (const EZantrelException& E) {
    return E.GetErrorCode();
  } catch (...) {
    return 1;
  }
  return 0;
}

// The SQLSTATE the exception Action raises carries; "none" when Action
// raises nothing of the library's.
inline std::string SQLStateOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const EZantrelDatasetError& E) {
    return E.GetSQLState();
  } catch (const EZantrelException& E) {
    return E.GetSQLState();
  } catch (...) {
  }
  return "none";
}

} // namespace ztl::test
