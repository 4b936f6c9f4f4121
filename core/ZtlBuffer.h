// A zero-filled byte block owned by value: the row, null-indicator and bind
// buffers of the core engine.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace ztl {

// TZtlBuffer holds either no block ("none") or a block of Size() bytes that
// was zero-filled when it was allocated. A block of 0 bytes still counts as
// allocated, so "the buffer exists" and "the buffer is empty" stay distinct.
// Moving hands the block over; copying is not allowed (a buffer belongs to
// exactly one cursor or variable list).
class TZtlBuffer {
public:
  TZtlBuffer() = default;
  TZtlBuffer(TZtlBuffer&&) noexcept = default;
  TZtlBuffer& operator=(TZtlBuffer&&) noexcept = default;
  TZtlBuffer(const TZtlBuffer&) = delete;
  TZtlBuffer& operator=(const TZtlBuffer&) = delete;

  // Replaces the block by a new zero-filled one of Count bytes.
  void Allocate(std::size_t Count) {
    Block = std::make_unique<std::uint8_t[]>(Count);
    Bytes = Count;
  }
  // Releases the block; the buffer becomes none.
  void Release() noexcept {
    Block.reset();
    Bytes = 0;
  }

  bool Assigned() const noexcept { return Block != nullptr; }
  std::size_t Size() const noexcept { return Bytes; }
  std::uint8_t* Data() noexcept { return Block.get(); }
  const std::uint8_t* Data() const noexcept { return Block.get(); }
  std::span<std::uint8_t> Span() noexcept { return {Block.get(), Bytes}; }
  std::span<const std::uint8_t> Span() const noexcept { return {Block.get(), Bytes}; }

  // True when bytes Offset .. Offset+Count-1 lie inside the block.
  bool Covers(std::int64_t Offset, std::int64_t Count) const noexcept {
    return Block && Offset >= 0 && Count >= 0 && Offset <= static_cast<std::int64_t>(Bytes) &&
           Count <= static_cast<std::int64_t>(Bytes) - Offset;
  }

  // Sets the first Count bytes (at most the whole block) to Value.
  void Fill(std::uint8_t Value, std::size_t Count) noexcept {
    if (Block)
      std::fill_n(Block.get(), std::min(Count, Bytes), Value);
  }
  void Fill(std::uint8_t Value) noexcept { Fill(Value, Bytes); }

private:
  std::unique_ptr<std::uint8_t[]> Block; // the bytes, or null for none
  std::size_t Bytes = 0;                 // size of Block
};

} // namespace ztl
