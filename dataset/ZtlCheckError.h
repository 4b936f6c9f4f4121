// The dataset layer's check of a driver's error code.
#pragma once

#include <cstdint>
#include <string>

namespace ztl {

// Raises EZantrelDatasetError(Msg, Code, SQLState) when Code is negative; a
// zero or positive code is not a failure and the call has no effect. Driver
// operations that return false are expected to have left a negative code.
void ZantrelCheckError(const std::string& Msg, std::int32_t Code,
                       const std::string& SQLState = {});

} // namespace ztl
