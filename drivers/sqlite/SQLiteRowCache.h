// The rows of an open SQLite result, kept in the cursor's row format so that
// the cursor can move over them in both directions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace ztl {

// Row cache of one cursor.
//
// A cached row ("slot") is the row data (RowSize bytes) followed by its null
// indicators (NullSize bytes); when the result has memo or blob columns, an
// 8-byte pointer to the row's blob bytes and one 4-byte length per blob
// column follow. Slots lie in blocks of a power-of-two number of rows, so a
// slot never moves once written and finding one is a shift and a mask. Blob
// bytes of a row lie contiguously, column after column, in an arena of large
// blocks (a value larger than a block gets a block of its own).
//
// Invariant: slots 0 .. Count()-1 are complete rows; the slot returned by
// NewSlot is scratch until Commit counts it.
class TSQLiteRowCache {
public:
  // Fixes the slot layout and drops every row. Blocks are kept when the
  // layout stays the same, so a cursor that is opened over and over does not
  // allocate again.
  void Configure(std::int32_t RowSize, std::int32_t NullSize, std::int32_t BlobCount);
  // Drops every row, keeping the blocks for the next open (until Release).
  void Clear() noexcept;
  // Drops every row and every block.
  void Release() noexcept;

  std::int32_t Count() const noexcept { return RowCount; }
  std::int32_t SlotSize() const noexcept { return Stride; }
  std::int32_t BlobCount() const noexcept { return Blobs; }
  // Bytes held in blocks (slots and blob bytes), for measurements.
  std::size_t MemoryUsed() const noexcept;

  // Slot of row I (0 <= I < Count(), or I == Count() for the scratch slot
  // after NewSlot).
  std::uint8_t* Slot(std::int32_t I) noexcept {
    return RowBlocks[static_cast<std::size_t>(I) >> Shift].get() +
           static_cast<std::size_t>(I & Mask) * static_cast<std::size_t>(Stride);
  }
  // The scratch slot after the last row, allocating its block when needed.
  std::uint8_t* NewSlot() {
    if ((static_cast<std::size_t>(RowCount) >> Shift) < RowBlocks.size())
      return Slot(RowCount);
    return NewBlockSlot();
  }
  // Counts the scratch slot as the next row.
  void Commit() noexcept { ++RowCount; }

  // Room for Bytes blob bytes of one row; stays valid until Clear.
  std::uint8_t* AllocBlobBytes(std::size_t Bytes);
  // Records in Slot where its blob bytes lie and how long each value is.
  void SetBlobRef(std::uint8_t* Slot, const std::uint8_t* Data,
                  const std::uint32_t* Lengths) noexcept {
    std::uint8_t* Ref = Slot + DataBytes;
    std::memcpy(Ref, &Data, sizeof Data);
    std::memcpy(Ref + sizeof Data, Lengths,
                sizeof(std::uint32_t) * static_cast<std::size_t>(Blobs));
  }
  // Blob value K (0-based among the blob columns) of a slot.
  std::span<const std::uint8_t> Blob(const std::uint8_t* Slot, std::int32_t K) const noexcept {
    const std::uint8_t* Ref = Slot + DataBytes;
    const std::uint8_t* Data;
    std::memcpy(&Data, Ref, sizeof Data);
    std::size_t Offset = 0;
    std::uint32_t Len = 0;
    for (std::int32_t I = 0; I <= K; ++I) {
      std::memcpy(&Len, Ref + sizeof Data + sizeof Len * static_cast<std::size_t>(I), sizeof Len);
      if (I < K)
        Offset += Len;
    }
    return {Data ? Data + Offset : nullptr, Data ? Len : 0};
  }

private:
  // NewSlot when the slot needs a new block.
  std::uint8_t* NewBlockSlot();

  // A block of the blob arena.
  struct TArenaBlock {
    std::unique_ptr<std::uint8_t[]> Bytes; // the block
    std::size_t Size = 0;                  // bytes in it
  };

  static constexpr std::size_t BlockBytes = 64 * 1024; // target size of a row or arena block

  std::int32_t DataBytes = 0; // RowSize + NullSize: where the blob reference starts
  std::int32_t Blobs = 0;     // blob columns per row
  std::int32_t Stride = 0;    // bytes of one slot
  std::int32_t Shift = 0;     // log2 of rows per block
  std::int32_t Mask = 0;      // rows per block - 1
  std::int32_t RowCount = 0;  // committed rows
  std::vector<std::unique_ptr<std::uint8_t[]>> RowBlocks; // slot blocks
  std::vector<TArenaBlock> Arena;                         // blob byte blocks
  std::size_t ArenaBlock = 0;                             // block being filled
  std::size_t ArenaUsed = 0;                              // bytes used in that block
};

} // namespace ztl
