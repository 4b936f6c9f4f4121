// Reading of the PostgreSQL cursor's blob streams.
#include "drivers/postgres/PgBlobStream.h"

#include <algorithm>
#include <cstring>

namespace ztl {

TZantrelPgBlobStream::TZantrelPgBlobStream(TZantrelBlobManager* AManager, std::string AFieldName)
    : TZantrelBlobStream(AManager, std::move(AFieldName)) {}

std::int32_t TZantrelPgBlobStream::Read(void* Buffer, std::int32_t Count) {
  const std::int64_t Total = GetBlobSize();
  if (!Buffer || Count <= 0 || Position < 0 || Position >= Total)
    return 0;
  const std::int32_t N = static_cast<std::int32_t>(std::min<std::int64_t>(Count, Total - Position));
  const std::uint8_t* Src =
      Modified ? GetMemory() : reinterpret_cast<const std::uint8_t*>(Fetched.data());
  if (!Src)
    return 0;
  std::memcpy(Buffer, Src + Position, static_cast<std::size_t>(N));
  Position += N;
  return N;
}

std::int32_t TZantrelPgBlobStream::GetBlobSize() {
  return Modified ? Size : static_cast<std::int32_t>(Fetched.size());
}

void TZantrelPgBlobStream::SetFetched(std::string Data) {
  Clear();
  Fetched = std::move(Data);
}

std::string TZantrelPgBlobStream::GetValue() const {
  if (!Modified)
    return Fetched;
  const std::uint8_t* M = GetMemory();
  return M ? std::string(reinterpret_cast<const char*>(M), static_cast<std::size_t>(Size))
           : std::string();
}

} // namespace ztl
