// Tests of the streams: seek origins, short reads and writes, whole-stream
// copies, memory growth and gap filling, file opening and its errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "framework/classes/Streams.h"

using namespace ztl;

namespace {

std::string TempFile(const char* Name) {
  return testing::TempDir() + Name;
}

std::string Content(TCustomMemoryStream& M) {
  return std::string(static_cast<const char*>(M.Memory()), static_cast<std::size_t>(M.GetSize()));
}

// A stream that accepts at most Limit bytes in total, like a full device.
class TLimitedStream : public TMemoryStream {
public:
  explicit TLimitedStream(std::int64_t ALimit) : Limit(ALimit) {}
  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    const auto N = static_cast<std::int32_t>(std::min<std::int64_t>(Count, Limit - GetSize()));
    return TMemoryStream::Write(Buffer, N);
  }

private:
  std::int64_t Limit;
};

} // namespace

// The same seek behaviour holds for every stream kind.
class StreamSeek : public testing::TestWithParam<std::function<std::unique_ptr<TStream>()>> {};

TEST_P(StreamSeek, OriginsPositionsAndRefusedNegativeTargets) {
  std::unique_ptr<TStream> S = GetParam()();
  S->WriteString("0123456789");
  struct Case {
    std::int64_t Offset;
    int Origin;
    std::int64_t Expected;
  };
  const Case Cases[] = {
      {3, soFromBeginning, 3},   {2, soFromCurrent, 5}, {-1, soFromCurrent, 4},
      {0, soFromEnd, 10},        {-4, soFromEnd, 6},    {5, soFromEnd, 15},
      {-1, soFromBeginning, -1}, {-20, soFromEnd, -1},
  };
  for (const Case& C : Cases) {
    const std::int64_t Before = S->GetPosition();
    EXPECT_EQ(S->Seek(C.Offset, C.Origin), C.Expected) << C.Offset << "/" << C.Origin;
    if (C.Expected < 0) {
      EXPECT_EQ(S->GetPosition(), Before);
    }
  }
  EXPECT_EQ(S->GetSize(), 10);
  S->SetPosition(7);
  char Buf[8] = {};
  EXPECT_EQ(S->Read(Buf, 8), 3) << "a read past the end returns what is there";
  EXPECT_EQ(std::string(Buf, 3), "789");
  EXPECT_EQ(S->Read(Buf, 8), 0);
  EXPECT_EQ(S->Read(Buf, -1), 0);
  EXPECT_EQ(S->Write(Buf, -1), 0);
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, StreamSeek,
    testing::Values([]() -> std::unique_ptr<TStream> { return std::make_unique<TMemoryStream>(); },
                    []() -> std::unique_ptr<TStream> { return std::make_unique<TStringStream>(); },
                    []() -> std::unique_ptr<TStream> {
                      return std::make_unique<TFileStream>(TempFile("ztl_seek.bin"), fmCreate);
                    }));

TEST(StreamBuffer, ShortReadAndWriteRaise) {
  TMemoryStream M;
  M.WriteUInt32(0x11223344);
  M.WriteInt64(-2);
  M.SetPosition(0);
  EXPECT_EQ(M.ReadUInt16(), 0x3344) << "little-endian";
  EXPECT_EQ(M.ReadUInt16(), 0x1122);
  EXPECT_EQ(M.ReadInt64(), -2);
  char Buf[4];
  try {
    M.ReadBuffer(Buf, 4);
    ADD_FAILURE() << "no error";
  } catch (const EReadError& E) {
    EXPECT_STREQ(E.what(), "Stream read error");
  }
  EXPECT_THROW(M.ReadString(100), EReadError) << "a length beyond the data is refused";

  TLimitedStream Full(3);
  try {
    Full.WriteBuffer("abcd", 4);
    ADD_FAILURE() << "no error";
  } catch (const EWriteError& E) {
    EXPECT_STREQ(E.what(), "Stream write error");
  }
}

TEST(StreamCopyFrom, ZeroCopiesWholeSourceFromStart) {
  TMemoryStream Source;
  Source.WriteString("whole source");
  Source.SetPosition(6);
  TMemoryStream Dest;
  Dest.WriteString(">");
  EXPECT_EQ(Dest.CopyFrom(Source, 0), 12);
  EXPECT_EQ(Content(Dest), ">whole source");

  Source.SetPosition(6);
  EXPECT_EQ(Dest.CopyFrom(Source, 3), 3);
  EXPECT_EQ(Content(Dest), ">whole sourcesou");
  Source.SetPosition(6);
  EXPECT_THROW(Dest.CopyFrom(Source, 100), EReadError);
  EXPECT_EQ(Dest.CopyFrom(Source, -1), 0);
}

TEST(StreamCopyFrom, LargerThanOneChunk) {
  TMemoryStream Source;
  Source.SetSize(200000);
  static_cast<std::uint8_t*>(Source.Memory())[199999] = 7;
  TMemoryStream Dest;
  EXPECT_EQ(Dest.CopyFrom(Source, 0), 200000);
  EXPECT_EQ(std::memcmp(Source.Memory(), Dest.Memory(), 200000), 0);
}

TEST(MemoryStream, GrowsAndZeroFillsGapBeforeWrite) {
  TMemoryStream M;
  EXPECT_EQ(M.Memory(), nullptr);
  M.WriteString("ab");
  M.Seek(3, soFromEnd);
  EXPECT_EQ(M.GetSize(), 2) << "seeking alone does not grow";
  M.WriteString("cd");
  EXPECT_EQ(Content(M), std::string("ab\0\0\0cd", 7));
  EXPECT_EQ(M.GetPosition(), 7);

  M.SetSize(3);
  EXPECT_EQ(M.GetPosition(), 3) << "position pulled back to the new end";
  M.SetSize(5);
  EXPECT_EQ(Content(M), std::string("ab\0\0\0", 5)) << "growth is zero-filled";
  M.Clear();
  EXPECT_EQ(M.GetSize(), 0);
  EXPECT_EQ(M.GetPosition(), 0);
}

TEST(MemoryStream, SizeLimitIsEnforcedWithoutOverflow) {
  TMemoryStream M;
  EXPECT_EQ(M.Seek(std::numeric_limits<std::int64_t>::max(), soFromBeginning),
            std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(M.Seek(1, soFromCurrent), -1) << "overflowing target refused";
  EXPECT_EQ(M.Write("x", 1), 0) << "a write beyond the limit writes nothing";
  EXPECT_EQ(M.GetSize(), 0);
  M.SetPosition(TMemoryStream::MaxMemoryStreamSize);
  EXPECT_EQ(M.Write("x", 1), 0);
  try {
    M.SetSize(TMemoryStream::MaxMemoryStreamSize + 1);
    ADD_FAILURE() << "no error";
  } catch (const EStreamError& E) {
    EXPECT_STREQ(E.what(), "Out of memory while expanding memory stream");
  }
}

TEST(MemoryStream, LoadAndSaveKeepBytes) {
  TStringStream Source(std::string("bytes\0with\xFFnul", 14));
  Source.SetPosition(5);
  TMemoryStream M;
  M.LoadFromStream(Source);
  EXPECT_EQ(Content(M), Source.GetDataString());
  EXPECT_EQ(M.GetPosition(), 0);

  const std::string File = TempFile("ztl_memory.bin");
  M.SaveToFile(File);
  TMemoryStream Back;
  Back.LoadFromFile(File);
  EXPECT_EQ(Content(Back), Source.GetDataString());
  std::remove(File.c_str());

  // Saving a stream into itself appends a copy even though the block moves.
  Back.Seek(0, soFromEnd);
  Back.SaveToStream(Back);
  EXPECT_EQ(Content(Back), Source.GetDataString() + Source.GetDataString());
}

TEST(FileStream, OpenErrorsNameTheFile) {
  const std::string Missing = TempFile("ztl_no_such_dir/none.bin");
  struct Case {
    std::string Name;
    std::uint16_t Mode;
    std::string Message;
  };
  const Case Cases[] = {
      {Missing, fmOpenRead, "Cannot open file " + Missing},
      {Missing, fmOpenReadWrite, "Cannot open file " + Missing},
      {Missing, fmCreate, "Cannot create file " + Missing},
      {testing::TempDir(), fmOpenRead, "Cannot open file " + testing::TempDir()},
  };
  for (const Case& C : Cases) {
    try {
      TFileStream F(C.Name, C.Mode);
      ADD_FAILURE() << C.Name << " opened";
    } catch (const EFOpenError& E) {
      EXPECT_EQ(E.GetMessage(), C.Message);
    }
  }
}

TEST(FileStream, ModesAndResize) {
  const std::string File = TempFile("ztl_modes.bin");
  {
    TFileStream F(File, fmCreate);
    F.WriteString("hello world");
  }
  {
    TFileStream F(File, fmOpenRead | fmShareDenyNone);
    EXPECT_EQ(F.GetSize(), 11);
    EXPECT_EQ(F.Write("x", 1), 0) << "read-only file refuses writes";
  }
  {
    TFileStream F(File, fmOpenReadWrite);
    F.SetPosition(6);
    F.WriteString("WORLD");
    F.SetSize(8);
    EXPECT_EQ(F.GetPosition(), 8);
    F.SetPosition(0);
    EXPECT_EQ(F.ReadString(8), "hello WO");
  }
  std::remove(File.c_str());
}
