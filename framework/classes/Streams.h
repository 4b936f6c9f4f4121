// Byte streams of the framework: the abstract stream, memory streams, file
// streams and a stream over a string.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/rtl/SysUtils.h"
#include "framework/rtl/System.h"

namespace ztl {

// Origins of TStream::Seek.
inline constexpr int soFromBeginning = 0;
inline constexpr int soFromCurrent = 1;
inline constexpr int soFromEnd = 2;

// Open modes of TFileStream. The low two bits choose the access; fmCreate
// creates the file (or empties an existing one) and opens it for reading and
// writing. The share bits are accepted for compatibility and ignored: the
// platform has no mandatory file locks.
inline constexpr std::uint16_t fmCreate = 0xFFFF;
inline constexpr std::uint16_t fmOpenRead = 0x0000;
inline constexpr std::uint16_t fmOpenWrite = 0x0001;
inline constexpr std::uint16_t fmOpenReadWrite = 0x0002;
inline constexpr std::uint16_t fmShareCompat = 0x0000;
inline constexpr std::uint16_t fmShareExclusive = 0x0010;
inline constexpr std::uint16_t fmShareDenyWrite = 0x0020;
inline constexpr std::uint16_t fmShareDenyRead = 0x0030;
inline constexpr std::uint16_t fmShareDenyNone = 0x0040;

// Raised when a memory stream cannot grow to the size asked for.
inline constexpr const char* SMemoryStreamError = "Out of memory while expanding memory stream";

// A sequence of bytes with a current position.
//
// Read and Write move up to Count bytes at the position, advance it and return
// how many bytes moved; a negative Count moves nothing. Seek moves the
// position relative to an origin (soFromBeginning, soFromCurrent, soFromEnd)
// and returns the new position. Descendants supply those three; everything
// else is built on them. ReadBuffer and WriteBuffer insist on the whole count
// (EReadError "Stream read error", EWriteError "Stream write error").
class TStream : public TObject {
public:
  virtual std::int32_t Read(void* Buffer, std::int32_t Count) = 0;
  virtual std::int32_t Write(const void* Buffer, std::int32_t Count) = 0;
  virtual std::int64_t Seek(std::int64_t Offset, int Origin) = 0;

  std::int64_t GetPosition() { return Seek(0, soFromCurrent); }
  void SetPosition(std::int64_t Pos) { Seek(Pos, soFromBeginning); }
  // The size as the end of the stream seen through Seek; the position is
  // restored afterwards.
  virtual std::int64_t GetSize();
  // Changes the size where the stream can; the base ignores the request.
  virtual void SetSize(std::int64_t NewSize);

  void ReadBuffer(void* Buffer, std::int32_t Count);
  void WriteBuffer(const void* Buffer, std::int32_t Count);

  // Copies Count bytes from Source's position into this stream and returns
  // the number copied. Count 0 copies the whole of Source: Source is first
  // positioned at 0 and its full size is copied. A short read raises
  // EReadError, a short write EWriteError; a negative Count copies nothing.
  std::int64_t CopyFrom(TStream& Source, std::int64_t Count);

  // Little-endian fixed-size values; short reads raise EReadError.
  std::uint8_t ReadUInt8();
  std::uint16_t ReadUInt16();
  std::uint32_t ReadUInt32();
  std::uint64_t ReadUInt64();
  std::int32_t ReadInt32() { return static_cast<std::int32_t>(ReadUInt32()); }
  std::int64_t ReadInt64() { return static_cast<std::int64_t>(ReadUInt64()); }
  void WriteUInt8(std::uint8_t Value);
  void WriteUInt16(std::uint16_t Value);
  void WriteUInt32(std::uint32_t Value);
  void WriteUInt64(std::uint64_t Value);
  void WriteInt32(std::int32_t Value) { WriteUInt32(static_cast<std::uint32_t>(Value)); }
  void WriteInt64(std::int64_t Value) { WriteUInt64(static_cast<std::uint64_t>(Value)); }
  // Exactly Count bytes as a string (EReadError if fewer remain) and the
  // bytes of S without a terminator.
  std::string ReadString(std::int32_t Count);
  void WriteString(std::string_view S);
};

// A stream over a block of memory that a descendant provides through
// SetPointer. Reading past the end returns what is there; positions past the
// end are allowed and read nothing.
class TCustomMemoryStream : public TStream {
public:
  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int64_t Seek(std::int64_t Offset, int Origin) override;
  std::int64_t GetSize() override { return Size; }

  // The block; null when the stream is empty.
  void* Memory() const { return Data; }
  // Writes the whole block to Stream (at Stream's position); this stream's
  // position is not used or changed.
  void SaveToStream(TStream& Stream) const;
  // Creates (or empties) FileName and writes the whole block to it.
  void SaveToFile(const std::string& FileName) const;

protected:
  void SetPointer(void* Ptr, std::int64_t ASize);
  std::int64_t Position = 0; // current position; may lie past the end, never negative

private:
  void* Data = nullptr;  // first byte of the block
  std::int64_t Size = 0; // bytes in the block
};

// A memory stream that owns a growable, zero-initialised block.
//
// Writing past the end grows the stream; writing at a position beyond the
// end first fills the gap with zero bytes. The size is limited to
// MaxMemoryStreamSize (the 32-bit counts of Read and Write cannot address
// more anyway): a write that would pass the limit writes nothing and returns
// 0, and SetSize beyond it raises EStreamError "Out of memory while expanding
// memory stream". Every size computation is checked for overflow.
class TMemoryStream : public TCustomMemoryStream {
public:
  static constexpr std::int64_t MaxMemoryStreamSize = 0x7FFFFFFF;

  TMemoryStream() = default;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;

  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  // Grows with zero bytes or cuts; the position is pulled back to the new
  // end if it lay beyond it.
  void SetSize(std::int64_t NewSize) override;
  void Clear(); // size and position 0, block released

  // Replaces the content with the whole of Stream (from its position 0); the
  // position becomes 0.
  void LoadFromStream(TStream& Stream);
  // Replaces the content with the file's; EFOpenError if it cannot be opened.
  void LoadFromFile(const std::string& FileName);

private:
  void Grow(std::int64_t NewSize); // never shrinks; zero-fills what it adds
  std::vector<std::uint8_t> Block; // the bytes; Block.size() is the size
};

// A stream over an open file. The handle is closed when the stream is
// destroyed. Opening a file that cannot be opened raises EFOpenError "Cannot
// open file %s"; fmCreate on a file that cannot be created raises EFOpenError
// "Cannot create file %s" (the file name is the one given).
class TFileStream : public TStream {
public:
  TFileStream(const std::string& FileName, std::uint16_t Mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  // Returns the new position, or -1 when the system refuses the move (a
  // negative resulting position); the position is then unchanged.
  std::int64_t Seek(std::int64_t Offset, int Origin) override;
  // Raises EStreamError when the file cannot be resized.
  void SetSize(std::int64_t NewSize) override;

  const std::string& GetFileName() const { return FileName; }
  int GetHandle() const { return Handle; }

private:
  std::string FileName; // as given to the constructor
  int Handle = -1;      // open file descriptor
};

// A stream over a string it owns: handy for text held in memory. Writing past
// the end grows the string, zero-filling any gap before the position.
class TStringStream : public TStream {
public:
  explicit TStringStream(std::string AString = {}) : DataString(std::move(AString)) {}

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  std::int64_t Seek(std::int64_t Offset, int Origin) override;
  std::int64_t GetSize() override { return static_cast<std::int64_t>(DataString.size()); }
  void SetSize(std::int64_t NewSize) override;

  const std::string& GetDataString() const { return DataString; }

private:
  std::string DataString;    // the content
  std::int64_t Position = 0; // current position; never negative
};

} // namespace ztl
