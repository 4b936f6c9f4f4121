// The blob stream of a memo or blob column of an SQLite cursor.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/ZtlBlob.h"

namespace ztl {

// A column stream that reads the fetched value of the cursor's current row
// in place, from the cursor's row cache, without copying it. Writing works
// as in the base stream: written data is kept in the stream (Modified) until
// the cursor's row operation stores it or the stream is cleared, and while
// it is Modified, reads return it instead of the fetched value.
class TZantrelSQLiteBlobStream : public TZantrelBlobStream {
public:
  TZantrelSQLiteBlobStream(TZantrelBlobManager* AManager, std::string AFieldName);

  // Copies up to Count bytes from the position; 0 at or past the end or for
  // a negative position or count.
  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  // Bytes of the written data while Modified, else of the fetched value.
  std::int32_t GetBlobSize() override;

  // Points the stream at the fetched value of the current row (which must
  // outlive the pointing) and rewinds it, unless written data is pending.
  void SetFetched(std::span<const std::uint8_t> Data) noexcept;
  // The fetched value the stream points at.
  std::span<const std::uint8_t> GetFetched() const noexcept { return Fetched; }
  // What a read sees: the written data while Modified, else the fetched value.
  std::span<const std::uint8_t> GetValue() const noexcept;

private:
  std::span<const std::uint8_t> Fetched; // value of the current row, owned by the row cache
};

} // namespace ztl
