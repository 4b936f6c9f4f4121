// The blob stream of a text or bytea column of a PostgreSQL cursor.
#pragma once

#include <cstdint>
#include <string>

#include "core/ZtlBlob.h"

namespace ztl {

// A column stream holding the fetched value of the current row apart from
// written data: writes go to the base stream's data (Modified) until the
// cursor's row operation stores them or the stream is cleared; while
// Modified, reads and the size see the written data, otherwise the fetched
// value. The fetched value stays as fetched, so a row operation can still
// find the row by it.
class TZantrelPgBlobStream : public TZantrelBlobStream {
public:
  TZantrelPgBlobStream(TZantrelBlobManager* AManager, std::string AFieldName);

  // Copies up to Count bytes from the position; 0 at or past the end or for
  // a negative position or count.
  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t GetBlobSize() override;

  // Replaces the fetched value (dropping written data) and rewinds.
  void SetFetched(std::string Data);
  const std::string& GetFetched() const noexcept { return Fetched; }
  // What a read sees, as bytes.
  std::string GetValue() const;

private:
  std::string Fetched; // value of the current row as fetched
};

} // namespace ztl
