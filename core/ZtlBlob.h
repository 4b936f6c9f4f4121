// Blob streams of memo and blob columns and the manager that owns them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/classes/Streams.h"

namespace ztl {

class TZantrelSQL;
class TZantrelBlobManager;

// Kind of picture stored in a blob column.
enum TZantrelGraphicType : std::uint8_t { gtBitmap, gtMetafile, gtIcon };

// The in-memory data of one memo or blob column of an open cursor.
//
// Writing appends: every Write lengthens the data by Count, wherever the
// position is, the way all writers of this library fill a column (Clear,
// then sequential writes from position 0). A write at a position beyond the
// data first grows the block to Position + Count and fills the gap with zero
// bytes, so nothing is ever written outside the block. Seek does not clamp
// positions; seeking from the end uses GetBlobSize, which the base reports
// only for written (Modified) data.
//
// Read is the driver's: a driver derives its stream class, supplies Read and
// reports the size of fetched data by overriding GetBlobSize. Fetched data is
// put in with LoadData, which leaves Modified false.
class TZantrelBlobStream : public TStream {
public:
  // Registers the stream with AManager (which then owns it) when given.
  TZantrelBlobStream(TZantrelBlobManager* AManager, std::string AFieldName);
  // Releases the data and leaves the manager's list.
  ~TZantrelBlobStream() override;
  TZantrelBlobStream(const TZantrelBlobStream&) = delete;
  TZantrelBlobStream& operator=(const TZantrelBlobStream&) = delete;

  // Appends Count bytes at the position (see the class comment) and returns
  // Count; returns 0 and changes nothing for a negative Count or position,
  // or when the data would pass 2^31-1 bytes.
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  // Origin 0: Position := Offset; 1: Position + Offset; 2: GetBlobSize +
  // Offset; any other origin (or a result past the 64-bit range) changes
  // nothing. Returns the position.
  std::int64_t Seek(std::int64_t Offset, int Origin) override;

  // Drops the data: Size and position 0, Modified false, Empty true.
  void Clear();
  // Clear, then Modified true: an emptied value that counts as a change.
  void Truncate();
  // Bytes of data: Size while Modified, otherwise 0.
  virtual std::int32_t GetBlobSize();
  // Index (resp. driver type) of the column named FieldName in the
  // manager's cursor; -1 without a manager or such a column.
  std::int32_t GetFieldNo() const;
  std::int32_t GetFieldExtType() const;

  TZantrelBlobManager* GetManager() const { return Manager; }
  const std::string& GetFieldName() const { return FieldName; }
  std::int32_t GetDataSize() const { return Size; }
  const std::uint8_t* GetMemory() const { return Memory.empty() ? nullptr : Memory.data(); }
  bool GetModified() const { return Modified; }
  bool GetEmpty() const { return Empty; }

  // For drivers: replaces the data by Count bytes fetched from the database,
  // position 0, Modified false. A negative Count loads nothing.
  void LoadData(const void* Data, std::int32_t Count);

protected:
  friend class TZantrelBlobManager;
  TZantrelBlobManager* Manager = nullptr; // manager that lists this stream
  std::string FieldName;                  // name of the blob column
  std::int32_t Size = 0;                  // bytes held in Memory
  std::vector<std::uint8_t> Memory;       // the data; empty when no block is held
  std::int64_t Position = 0;              // current position; may lie past the data
  bool Modified = false;                  // written or truncated since the last Clear
  bool Empty = false;                     // no data block is held (set by Write and Clear)
};

// The blob streams of one cursor, one per memo or blob column, found by
// column name. The manager owns its streams.
class TZantrelBlobManager {
public:
  explicit TZantrelBlobManager(TZantrelSQL* ASQL) : SQL(ASQL) {}
  virtual ~TZantrelBlobManager();
  TZantrelBlobManager(const TZantrelBlobManager&) = delete;
  TZantrelBlobManager& operator=(const TZantrelBlobManager&) = delete;

  // Takes Stream into the list (and ownership of it).
  void AddBlob(TZantrelBlobStream* Stream);
  // Drops Stream from the list without destroying it.
  void RemoveBlob(TZantrelBlobStream* Stream);
  std::int32_t Count() const { return static_cast<std::int32_t>(List.size()); }
  // Destroys every stream, last first.
  void Clear();
  // Discards the data of every stream; the streams remain.
  void ClearBlobs();
  // The stream named like the stream at Index (so the first of that name);
  // an Index outside the list raises EListError.
  TZantrelBlobStream* GetBlob(std::uint16_t Index);
  // The first stream whose FieldName matches Name case-insensitively;
  // otherwise raises "Field "%s" is not a blob" through the cursor.
  TZantrelBlobStream* BlobByName(std::string_view Name);

  TZantrelSQL* GetSQL() const { return SQL; }
  const std::vector<TZantrelBlobStream*>& GetList() const { return List; }

protected:
  TZantrelSQL* SQL;                      // the owning cursor
  std::vector<TZantrelBlobStream*> List; // the streams, owned, in order of creation
};

} // namespace ztl
