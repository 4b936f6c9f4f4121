// Byte streams: the generic operations of TStream, memory streams, file
// streams and string streams.
#include "framework/classes/Streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ztl {

namespace {

// The position that Seek would reach, or -1 when it would be negative or
// overflow. An unknown origin leaves the position where it is.
std::int64_t SeekTarget(std::int64_t Offset, int Origin, std::int64_t Current, std::int64_t Size) {
  std::int64_t Base = 0;
  switch (Origin) {
  case soFromBeginning:
    Base = 0;
    break;
  case soFromCurrent:
    Base = Current;
    break;
  case soFromEnd:
    Base = Size;
    break;
  default:
    return Current;
  }
  std::int64_t Target = 0;
  if (__builtin_add_overflow(Base, Offset, &Target) || Target < 0)
    return -1;
  return Target;
}

// Repeats Call (a read or a write of up to N bytes at P) until Count bytes
// have gone through or it reports end or failure; an interrupted call is
// retried. Answers the bytes moved.
template <class Byte, class IoCall>
std::int32_t TransferAll(Byte* P, std::int32_t Count, IoCall Call) {
  if (Count <= 0)
    return 0;
  std::int32_t Done = 0;
  while (Done < Count) {
    const ssize_t N = Call(P + Done, static_cast<std::size_t>(Count - Done));
    if (N < 0 && errno == EINTR)
      continue;
    if (N <= 0)
      break;
    Done += static_cast<std::int32_t>(N);
  }
  return Done;
}

// Bytes that a read of Count at Pos finds in a block of Size bytes.
std::int32_t Available(std::int64_t Pos, std::int64_t Size, std::int32_t Count) {
  if (Count <= 0 || Pos >= Size)
    return 0;
  return static_cast<std::int32_t>(std::min<std::int64_t>(Count, Size - Pos));
}

} // namespace

// ---------------------------------------------------------------- TStream

std::int64_t TStream::GetSize() {
  const std::int64_t Pos = Seek(0, soFromCurrent);
  const std::int64_t Result = Seek(0, soFromEnd);
  Seek(Pos, soFromBeginning);
  return Result;
}

void TStream::SetSize(std::int64_t) {}

void TStream::ReadBuffer(void* Buffer, std::int32_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count)
    throw EReadError(SReadError);
}

void TStream::WriteBuffer(const void* Buffer, std::int32_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count)
    throw EWriteError(SWriteError);
}

std::int64_t TStream::CopyFrom(TStream& Source, std::int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.GetSize();
  }
  if (Count <= 0)
    return 0;
  constexpr std::int32_t MaxBufSize = 0xF000;
  std::vector<std::uint8_t> Buffer(
      static_cast<std::size_t>(std::min<std::int64_t>(Count, MaxBufSize)));
  std::int64_t Copied = 0;
  while (Copied < Count) {
    const auto N = static_cast<std::int32_t>(std::min<std::int64_t>(Count - Copied, MaxBufSize));
    Source.ReadBuffer(Buffer.data(), N);
    WriteBuffer(Buffer.data(), N);
    Copied += N;
  }
  return Copied;
}

std::uint8_t TStream::ReadUInt8() {
  std::uint8_t B = 0;
  ReadBuffer(&B, 1);
  return B;
}

std::uint16_t TStream::ReadUInt16() {
  std::uint8_t B[2];
  ReadBuffer(B, 2);
  return static_cast<std::uint16_t>(B[0] | (B[1] << 8));
}

std::uint32_t TStream::ReadUInt32() {
  std::uint8_t B[4];
  ReadBuffer(B, 4);
  std::uint32_t V = 0;
  for (int I = 3; I >= 0; --I)
    V = (V << 8) | B[I];
  return V;
}

std::uint64_t TStream::ReadUInt64() {
  std::uint8_t B[8];
  ReadBuffer(B, 8);
  std::uint64_t V = 0;
  for (int I = 7; I >= 0; --I)
    V = (V << 8) | B[I];
  return V;
}

void TStream::WriteUInt8(std::uint8_t Value) {
  WriteBuffer(&Value, 1);
}

void TStream::WriteUInt16(std::uint16_t Value) {
  const std::uint8_t B[2] = {static_cast<std::uint8_t>(Value),
                             static_cast<std::uint8_t>(Value >> 8)};
  WriteBuffer(B, 2);
}

void TStream::WriteUInt32(std::uint32_t Value) {
  std::uint8_t B[4];
  for (int I = 0; I < 4; ++I)
    B[I] = static_cast<std::uint8_t>(Value >> (8 * I));
  WriteBuffer(B, 4);
}

void TStream::WriteUInt64(std::uint64_t Value) {
  std::uint8_t B[8];
  for (int I = 0; I < 8; ++I)
    B[I] = static_cast<std::uint8_t>(Value >> (8 * I));
  WriteBuffer(B, 8);
}

std::string TStream::ReadString(std::int32_t Count) {
  if (Count <= 0)
    return {};
  // Do not trust Count to size the buffer: a corrupt length field must not
  // allocate more than the stream can deliver.
  const std::int64_t Pos = GetPosition();
  const std::int64_t Size = GetSize();
  if (Pos < 0 || Size - Pos < Count)
    throw EReadError(SReadError);
  std::string S(static_cast<std::size_t>(Count), '\0');
  ReadBuffer(S.data(), Count);
  return S;
}

void TStream::WriteString(std::string_view S) {
  std::size_t Done = 0;
  while (Done < S.size()) {
    const auto N = static_cast<std::int32_t>(
        std::min<std::size_t>(S.size() - Done, std::numeric_limits<std::int32_t>::max()));
    WriteBuffer(S.data() + Done, N);
    Done += static_cast<std::size_t>(N);
  }
}

// ---------------------------------------------------- TCustomMemoryStream

void TCustomMemoryStream::SetPointer(void* Ptr, std::int64_t ASize) {
  Data = Ptr;
  Size = ASize;
}

std::int32_t TCustomMemoryStream::Read(void* Buffer, std::int32_t Count) {
  const std::int32_t N = Available(Position, Size, Count);
  if (N == 0)
    return 0;
  std::memcpy(Buffer, static_cast<const std::uint8_t*>(Data) + Position,
              static_cast<std::size_t>(N));
  Position += N;
  return N;
}

std::int64_t TCustomMemoryStream::Seek(std::int64_t Offset, int Origin) {
  const std::int64_t Target = SeekTarget(Offset, Origin, Position, Size);
  if (Target < 0)
    return -1;
  Position = Target;
  return Position;
}

void TCustomMemoryStream::SaveToStream(TStream& Stream) const {
  // Saving into itself may grow, and so move, the very block being read:
  // write from a copy then.
  if (&Stream == this) {
    const std::vector<std::uint8_t> Copy(static_cast<const std::uint8_t*>(Data),
                                         static_cast<const std::uint8_t*>(Data) + Size);
    Stream.WriteString(std::string_view(reinterpret_cast<const char*>(Copy.data()), Copy.size()));
    return;
  }
  const auto* P = static_cast<const std::uint8_t*>(Data);
  std::int64_t Done = 0;
  while (Done < Size) {
    const auto N = static_cast<std::int32_t>(
        std::min<std::int64_t>(Size - Done, std::numeric_limits<std::int32_t>::max()));
    Stream.WriteBuffer(P + Done, N);
    Done += N;
  }
}

void TCustomMemoryStream::SaveToFile(const std::string& FileName) const {
  TFileStream Stream(FileName, fmCreate);
  SaveToStream(Stream);
}

// ---------------------------------------------------------- TMemoryStream

void TMemoryStream::Grow(std::int64_t NewSize) {
  if (NewSize <= static_cast<std::int64_t>(Block.size()))
    return;
  if (NewSize > MaxMemoryStreamSize)
    throw EStreamError(SMemoryStreamError);
  try {
    // Doubling keeps a run of small writes linear; resize zero-fills.
    const auto Capacity = static_cast<std::int64_t>(Block.capacity());
    if (NewSize > Capacity)
      Block.reserve(
          static_cast<std::size_t>(std::min(std::max(NewSize, 2 * Capacity), MaxMemoryStreamSize)));
    Block.resize(static_cast<std::size_t>(NewSize));
  } catch (const std::bad_alloc&) {
    throw EStreamError(SMemoryStreamError);
  }
  SetPointer(Block.data(), static_cast<std::int64_t>(Block.size()));
}

std::int32_t TMemoryStream::Write(const void* Buffer, std::int32_t Count) {
  if (Count <= 0)
    return 0;
  // Position never exceeds what Seek accepted; the sum is checked against
  // the limit before anything grows.
  if (Position > MaxMemoryStreamSize - Count)
    return 0;
  const std::int64_t End = Position + Count;
  try {
    Grow(End);
  } catch (const EStreamError&) {
    return 0;
  }
  std::memcpy(Block.data() + Position, Buffer, static_cast<std::size_t>(Count));
  Position = End;
  return Count;
}

void TMemoryStream::SetSize(std::int64_t NewSize) {
  if (NewSize < 0)
    NewSize = 0;
  if (NewSize > static_cast<std::int64_t>(Block.size()))
    Grow(NewSize);
  else {
    Block.resize(static_cast<std::size_t>(NewSize));
    SetPointer(Block.empty() ? nullptr : Block.data(), NewSize);
  }
  if (Position > NewSize)
    Position = NewSize;
}

void TMemoryStream::Clear() {
  std::vector<std::uint8_t>().swap(Block);
  SetPointer(nullptr, 0);
  Position = 0;
}

void TMemoryStream::LoadFromStream(TStream& Stream) {
  Stream.SetPosition(0);
  const std::int64_t Count = Stream.GetSize();
  if (Count > MaxMemoryStreamSize)
    throw EStreamError(SMemoryStreamError);
  // Read into a fresh block so that a failing source leaves this stream as
  // it was.
  TMemoryStream Fresh;
  Fresh.SetSize(Count);
  if (Count > 0)
    Stream.ReadBuffer(Fresh.Block.data(), static_cast<std::int32_t>(Count));
  Block.swap(Fresh.Block);
  SetPointer(Block.empty() ? nullptr : Block.data(), static_cast<std::int64_t>(Block.size()));
  Position = 0;
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(Stream);
}

// ------------------------------------------------------------ TFileStream

TFileStream::TFileStream(const std::string& FileName, std::uint16_t Mode) : FileName(FileName) {
  if (Mode == fmCreate) {
    Handle = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (Handle < 0)
      throw EFOpenError(Format(SFCreateError, {FileName}));
    return;
  }
  int Flags = O_CLOEXEC;
  switch (Mode & 3) {
  case fmOpenWrite:
    Flags |= O_WRONLY;
    break;
  case fmOpenReadWrite:
    Flags |= O_RDWR;
    break;
  default:
    Flags |= O_RDONLY;
    break;
  }
  Handle = ::open(FileName.c_str(), Flags);
  if (Handle < 0)
    throw EFOpenError(Format(SFOpenError, {FileName}));
  // A directory opens read-only on this platform but is no file to stream.
  struct stat St {};
  if (::fstat(Handle, &St) != 0 || S_ISDIR(St.st_mode)) {
    ::close(Handle);
    Handle = -1;
    throw EFOpenError(Format(SFOpenError, {FileName}));
  }
}

TFileStream::~TFileStream() {
  if (Handle >= 0)
    ::close(Handle);
}

std::int32_t TFileStream::Read(void* Buffer, std::int32_t Count) {
  return TransferAll(static_cast<char*>(Buffer), Count,
                     [this](char* P, std::size_t N) { return ::read(Handle, P, N); });
}

std::int32_t TFileStream::Write(const void* Buffer, std::int32_t Count) {
  return TransferAll(static_cast<const char*>(Buffer), Count,
                     [this](const char* P, std::size_t N) { return ::write(Handle, P, N); });
}

std::int64_t TFileStream::Seek(std::int64_t Offset, int Origin) {
  int Whence = SEEK_SET;
  switch (Origin) {
  case soFromBeginning:
    Whence = SEEK_SET;
    break;
  case soFromCurrent:
    Whence = SEEK_CUR;
    break;
  case soFromEnd:
    Whence = SEEK_END;
    break;
  default:
    return ::lseek(Handle, 0, SEEK_CUR);
  }
  return ::lseek(Handle, static_cast<off_t>(Offset), Whence);
}

void TFileStream::SetSize(std::int64_t NewSize) {
  if (NewSize < 0 || ::ftruncate(Handle, static_cast<off_t>(NewSize)) != 0)
    throw EStreamError(Format("Cannot resize file %s", {FileName}));
  if (GetPosition() > NewSize)
    Seek(NewSize, soFromBeginning);
}

// ---------------------------------------------------------- TStringStream

std::int32_t TStringStream::Read(void* Buffer, std::int32_t Count) {
  // The string's own length bounds the copy, whatever a descendant's GetSize says.
  const std::int32_t N = Available(Position, static_cast<std::int64_t>(DataString.size()), Count);
  if (N == 0)
    return 0;
  std::memcpy(Buffer, DataString.data() + Position, static_cast<std::size_t>(N));
  Position += N;
  return N;
}

std::int32_t TStringStream::Write(const void* Buffer, std::int32_t Count) {
  if (Count <= 0)
    return 0;
  if (Position > TMemoryStream::MaxMemoryStreamSize - Count)
    return 0;
  const std::int64_t End = Position + Count;
  try {
    if (End > GetSize())
      DataString.resize(static_cast<std::size_t>(End), '\0');
  } catch (const std::bad_alloc&) {
    return 0;
  }
  std::memcpy(DataString.data() + Position, Buffer, static_cast<std::size_t>(Count));
  Position = End;
  return Count;
}

std::int64_t TStringStream::Seek(std::int64_t Offset, int Origin) {
  const std::int64_t Target = SeekTarget(Offset, Origin, Position, GetSize());
  if (Target < 0)
    return -1;
  Position = Target;
  return Position;
}

void TStringStream::SetSize(std::int64_t NewSize) {
  if (NewSize < 0)
    NewSize = 0;
  if (NewSize > TMemoryStream::MaxMemoryStreamSize)
    throw EStreamError(SMemoryStreamError);
  try {
    DataString.resize(static_cast<std::size_t>(NewSize), '\0');
  } catch (const std::bad_alloc&) {
    throw EStreamError(SMemoryStreamError);
  }
  if (Position > NewSize)
    Position = NewSize;
}

} // namespace ztl
