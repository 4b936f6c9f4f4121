// The dataset layer's check of a driver's error code.
#include "dataset/ZtlCheckError.h"

#include "core/ZtlErrors.h"

namespace ztl {

void ZantrelCheckError(const std::string& Msg, std::int32_t Code, const std::string& SQLState) {
  if (Code < 0)
    throw EZantrelDatasetError(Msg, Code, SQLState);
}

} // namespace ztl
