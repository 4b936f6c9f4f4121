// Storage of the rows an SQLite cursor has read.
#include "drivers/sqlite/SQLiteRowCache.h"

#include <algorithm>
#include <limits>
#include <new>

namespace ztl {

void TSQLiteRowCache::Configure(std::int32_t RowSize, std::int32_t NullSize,
                                std::int32_t BlobCount) {
  const std::int32_t Data = RowSize + NullSize;
  const std::int32_t NewStride =
      Data + (BlobCount > 0 ? static_cast<std::int32_t>(sizeof(void*)) + 4 * BlobCount : 0);
  if (NewStride != Stride || BlobCount != Blobs || Data != DataBytes)
    Release();
  DataBytes = Data;
  Blobs = BlobCount;
  Stride = NewStride > 0 ? NewStride : 1;
  // As many rows as fill a block, rounded down to a power of two; a row
  // larger than a block gets a block of one.
  Shift = 0;
  while ((static_cast<std::size_t>(Stride) << (Shift + 1)) <= BlockBytes && Shift < 20)
    ++Shift;
  Mask = (1 << Shift) - 1;
  Clear();
}

void TSQLiteRowCache::Clear() noexcept {
  // The blocks stay: a cursor opened again (a refresh) fills the memory it
  // already has instead of asking the system for fresh pages.
  RowCount = 0;
  ArenaBlock = 0;
  ArenaUsed = 0;
}

void TSQLiteRowCache::Release() noexcept {
  RowBlocks.clear();
  RowBlocks.shrink_to_fit();
  Arena.clear();
  Arena.shrink_to_fit();
  RowCount = 0;
  ArenaBlock = 0;
  ArenaUsed = 0;
}

std::size_t TSQLiteRowCache::MemoryUsed() const noexcept {
  std::size_t Total =
      RowBlocks.size() * (static_cast<std::size_t>(Mask) + 1) * static_cast<std::size_t>(Stride);
  for (const TArenaBlock& Block : Arena)
    Total += Block.Size;
  return Total;
}

std::uint8_t* TSQLiteRowCache::NewBlockSlot() {
  // Row numbers are 32-bit; the row after the last one has none.
  if (RowCount == std::numeric_limits<std::int32_t>::max())
    throw std::bad_alloc();
  while ((static_cast<std::size_t>(RowCount) >> Shift) >= RowBlocks.size())
    RowBlocks.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(
        (static_cast<std::size_t>(Mask) + 1) * static_cast<std::size_t>(Stride)));
  return Slot(RowCount);
}

std::uint8_t* TSQLiteRowCache::AllocBlobBytes(std::size_t Bytes) {
  if (Bytes == 0)
    return nullptr;
  if (ArenaBlock < Arena.size() && Arena[ArenaBlock].Size - ArenaUsed >= Bytes) {
    std::uint8_t* P = Arena[ArenaBlock].Bytes.get() + ArenaUsed;
    ArenaUsed += Bytes;
    return P;
  }
  // The current block is full: move to the next one (a kept one if it is
  // big enough), or add one.
  std::size_t Next = Arena.empty() ? 0 : ArenaBlock + 1;
  if (Next < Arena.size() && Arena[Next].Size < Bytes)
    Arena.resize(Next);
  if (Next >= Arena.size()) {
    TArenaBlock Block;
    Block.Size = std::max(Bytes, BlockBytes);
    Block.Bytes = std::make_unique_for_overwrite<std::uint8_t[]>(Block.Size);
    Arena.push_back(std::move(Block));
  }
  ArenaBlock = Next;
  ArenaUsed = Bytes;
  return Arena[Next].Bytes.get();
}

} // namespace ztl
