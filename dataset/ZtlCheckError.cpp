// The dataset layer's check of a driver's error code.
#include "dataset/ZtlCheckError.h"

#include "core/ZtlErrors.h"

namespace ztl {

void ZantrelCheckError(const std::string& Msg, std::int32_t Code) {
  if (Code < 0)
    throw EZantrelDatasetError(Msg, Code);
}

} // namespace ztl
