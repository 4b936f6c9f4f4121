// Reading of SQLite memo and blob columns through their streams.
#include "drivers/sqlite/SQLiteBlobStream.h"

#include <algorithm>
#include <cstring>

namespace ztl {

TZantrelSQLiteBlobStream::TZantrelSQLiteBlobStream(TZantrelBlobManager* AManager,
                                                   std::string AFieldName)
    : TZantrelBlobStream(AManager, std::move(AFieldName)) {}

std::span<const std::uint8_t> TZantrelSQLiteBlobStream::GetValue() const noexcept {
  if (Modified)
    return {Memory.data(), static_cast<std::size_t>(Size)};
  return Fetched;
}

std::int32_t TZantrelSQLiteBlobStream::Read(void* Buffer, std::int32_t Count) {
  const std::span<const std::uint8_t> Data = GetValue();
  if (Count <= 0 || !Buffer || Position < 0 || Position >= static_cast<std::int64_t>(Data.size()))
    return 0;
  const std::size_t N =
      std::min(static_cast<std::size_t>(Count), Data.size() - static_cast<std::size_t>(Position));
  std::memcpy(Buffer, Data.data() + Position, N);
  Position += static_cast<std::int64_t>(N);
  return static_cast<std::int32_t>(N);
}

std::int32_t TZantrelSQLiteBlobStream::GetBlobSize() {
  return static_cast<std::int32_t>(GetValue().size());
}

void TZantrelSQLiteBlobStream::SetFetched(std::span<const std::uint8_t> Data) noexcept {
  Fetched = Data;
  if (!Modified)
    Position = 0;
}

} // namespace ztl
