// Blob streams and their manager, whole-blob transfer between columns and
// streams or pictures, and the byte-array helpers.
#include <gtest/gtest.h>

#include <memory>

#include "framework/graphics/Graphics.h"
#include "tests/core/CursorFixture.h"

namespace ztl {
namespace {

// The base stream as it is, with the one operation a driver must add.
class TPlainBlobStream : public TZantrelBlobStream {
public:
  using TZantrelBlobStream::TZantrelBlobStream;
  std::int32_t Read(void*, std::int32_t) override { return 0; }
};

std::string DataOf(const TZantrelBlobStream& S) {
  return S.GetMemory() ? std::string(reinterpret_cast<const char*>(S.GetMemory()),
                                     static_cast<std::size_t>(S.GetDataSize()))
                       : std::string();
}

// --- The stream -------------------------------------------------------------------

TEST(BlobStreamTest, WritesAppendAndSeekFollowsTheWrittenSize) {
  TPlainBlobStream S(nullptr, "DATA");
  EXPECT_EQ(S.Write("abc", 3), 3);
  EXPECT_EQ(S.Write("defg", 4), 4);
  EXPECT_EQ(S.GetDataSize(), 7);
  EXPECT_EQ(S.GetPosition(), 7);
  EXPECT_EQ(S.GetBlobSize(), 7);
  EXPECT_TRUE(S.GetModified());
  EXPECT_FALSE(S.GetEmpty());
  EXPECT_EQ(S.Seek(0, soFromEnd), 7);
  EXPECT_EQ(S.Seek(-2, soFromCurrent), 5);
  EXPECT_EQ(S.Seek(10, soFromBeginning), 10) << "positions are not clamped";
  EXPECT_EQ(S.Seek(3, 7), 10) << "an unknown origin changes nothing";
  EXPECT_EQ(DataOf(S), "abcdefg");
}

TEST(BlobStreamTest, WritePastTheDataFillsTheGapWithZeros) {
  TPlainBlobStream S(nullptr, "DATA");
  S.Write("abc", 3);
  S.Seek(6, soFromBeginning);
  EXPECT_EQ(S.Write("xy", 2), 2);
  EXPECT_EQ(S.GetDataSize(), 8);
  EXPECT_EQ(DataOf(S), std::string("abc\0\0\0xy", 8));
  EXPECT_EQ(S.GetPosition(), 8);
}

TEST(BlobStreamTest, WritesThatCannotFitChangeNothing) {
  TPlainBlobStream S(nullptr, "DATA");
  S.Write("abc", 3);
  EXPECT_EQ(S.Write("x", -1), 0);
  S.Seek(-10, soFromCurrent);
  EXPECT_EQ(S.Write("x", 1), 0) << "a negative position";
  S.Seek(0x7FFFFFFF, soFromBeginning);
  EXPECT_EQ(S.Write("x", 1), 0) << "past 2^31-1 bytes";
  S.Seek(0x7FFFFFFFFFFFFFFF, soFromBeginning);
  EXPECT_EQ(S.Write("x", 1), 0) << "at the last 64-bit position";
  S.Seek(0x7FFFFFFF, soFromBeginning);
  EXPECT_EQ(DataOf(S), "abc");
  EXPECT_EQ(S.Seek(0x7FFFFFFFFFFFFFFF, soFromCurrent), 0x7FFFFFFF) << "overflow refused";
}

TEST(BlobStreamTest, EmptyWriteOnNothingLeavesTheStreamEmpty) {
  TPlainBlobStream S(nullptr, "DATA");
  EXPECT_FALSE(S.GetEmpty()) << "nothing said yet";
  EXPECT_EQ(S.Write("", 0), 0);
  EXPECT_TRUE(S.GetEmpty());
  EXPECT_FALSE(S.GetModified());
}

TEST(BlobStreamTest, TruncateEmptiesButCountsAsAChange) {
  TPlainBlobStream S(nullptr, "DATA");
  S.Write("abc", 3);
  S.Truncate();
  EXPECT_EQ(S.GetDataSize(), 0);
  EXPECT_EQ(S.GetPosition(), 0);
  EXPECT_TRUE(S.GetModified());
  EXPECT_TRUE(S.GetEmpty());
  EXPECT_EQ(S.GetBlobSize(), 0);
  S.Clear();
  EXPECT_FALSE(S.GetModified());
}

TEST(BlobStreamTest, FetchedDataIsNotCountedByTheBase) {
  TPlainBlobStream S(nullptr, "DATA");
  S.LoadData("fetched", 7);
  EXPECT_EQ(S.GetDataSize(), 7);
  EXPECT_FALSE(S.GetModified());
  EXPECT_EQ(S.GetBlobSize(), 0);
  EXPECT_EQ(S.Seek(0, soFromEnd), 0);

  TRecordingBlobStream Driver(nullptr, "DATA");
  Driver.LoadData("fetched", 7);
  EXPECT_EQ(Driver.Seek(0, soFromEnd), 7) << "a driver reports fetched data";
  Driver.Seek(2, soFromBeginning);
  char Buf[8] = {};
  EXPECT_EQ(Driver.Read(Buf, 8), 5);
  EXPECT_STREQ(Buf, "tched");
}

// --- The manager ------------------------------------------------------------------

using BlobTransferTest = CursorTest;

TEST(BlobManagerTest, OwnsItsStreamsAndFindsThemByName) {
  TRecordingSQL SQL;
  TZantrelBlobManager& M = *SQL.GetBlobManager();
  auto* A = new TPlainBlobStream(&M, "Note");
  auto* B = new TPlainBlobStream(&M, "PIC");
  auto* C = new TPlainBlobStream(&M, "note");
  EXPECT_EQ(M.Count(), 3);
  EXPECT_EQ(A->GetManager(), &M);
  EXPECT_EQ(M.BlobByName("NOTE"), A);
  EXPECT_EQ(M.GetBlob(1), B);
  EXPECT_EQ(M.GetBlob(2), A) << "by the name of the stream at the index";
  EXPECT_THROW(M.GetBlob(3), EListError);

  A->Write("x", 1);
  M.ClearBlobs();
  EXPECT_EQ(M.Count(), 3);
  EXPECT_FALSE(A->GetModified());

  delete C;
  EXPECT_EQ(M.Count(), 2);
  auto Loose = std::make_unique<TPlainBlobStream>(&M, "LOOSE");
  M.RemoveBlob(Loose.get());
  EXPECT_EQ(Loose->GetManager(), nullptr);
  M.Clear();
  EXPECT_EQ(M.Count(), 0);
}

TEST_F(BlobTransferTest, BlobByNameRefusesOtherColumns) {
  ASSERT_TRUE(SQL.PrepareOpen(SelectParts));
  TZantrelBlobManager& M = *SQL.GetBlobManager();
  EXPECT_EQ(M.BlobByName("note")->GetFieldNo(), 3);
  EXPECT_EQ(M.BlobByName("PIC")->GetFieldExtType(), 1000 + ntBlob);
  try {
    M.BlobByName("NAME");
    ADD_FAILURE() << "no error";
  } catch (const EZantrelException& E) {
    EXPECT_STREQ(E.what(), "Field \"NAME\" is not a blob");
  }
  EXPECT_EQ(Session.GetLastError(), "Field \"NAME\" is not a blob");

  TPlainBlobStream Orphan(nullptr, "NOTE");
  EXPECT_EQ(Orphan.GetFieldNo(), -1);
  EXPECT_EQ(Orphan.GetFieldExtType(), -1);
}

// --- Transfer between columns and streams -------------------------------------------

TEST_F(BlobTransferTest, StreamToBlobChecksInOrderThenCopiesTheWholeStream) {
  TMemoryStream Source;
  Source.WriteString("full text");
  struct TCase {
    const char* Name;
    bool ReadOnly;
    TStream* Stream;
    Variant Field;
    const char* Error;
  };
  const TCase Cases[] = {
      {"read-only first", true, nullptr, "cost", "The cursor is read-only"},
      {"no stream", false, nullptr, "cost", "Not a valid stream parameter"},
      {"unknown column", false, &Source, "cost", "Field \"cost\" not found"},
      {"not a blob", false, &Source, "NAME", "Field \"NAME\" is not a blob"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    ASSERT_TRUE(Case.ReadOnly ? SQL.OpenRead(SelectParts, {0, 1})
                              : SQL.OpenWrite(SelectParts, {0, 1}));
    try {
      SQL.StreamToBlob(Case.Field, Case.Stream);
      ADD_FAILURE() << "no error";
    } catch (const EZantrelException& E) {
      EXPECT_STREQ(E.what(), Case.Error);
      EXPECT_EQ(SQL.GetLastError(), Case.Error);
    }
  }

  ASSERT_TRUE(SQL.FetchNext()); // row 2: NOTE is null
  ASSERT_TRUE(SQL.IsFieldNull("NOTE"));
  Source.SetPosition(4); // copied from the start whatever the position
  SQL.StreamToBlob("NOTE", &Source);
  EXPECT_EQ(SQL.GetFieldValue("NOTE").AsString(), "full text");
  EXPECT_FALSE(SQL.IsFieldNull("NOTE"));
  EXPECT_TRUE(SQL.IsFieldDirty("NOTE"));
}

TEST_F(BlobTransferTest, BlobToStreamCopiesTheValueAndRewinds) {
  ASSERT_TRUE(SQL.OpenRead(SelectParts, {0, 1}));
  EXPECT_THROW(SQL.BlobToStream("NOTE", nullptr), EZantrelException);
  EXPECT_EQ(SQL.GetLastError(), "Not a valid stream parameter");

  TMemoryStream Target;
  Target.WriteString("much longer old content");
  Target.SetPosition(0);
  SQL.BlobToStream("NOTE", &Target); // read-only is no obstacle to reading
  EXPECT_EQ(TZantrelSQL::StreamToStr(&Target), "steel") << "sized to the value first";
  EXPECT_EQ(Target.GetPosition(), 0);

  TStringStream Text("head:");
  Text.Seek(0, soFromEnd);
  SQL.BlobToStream(3, &Text);
  EXPECT_EQ(Text.GetDataString(), "head:steel") << "written at the stream's position";
  EXPECT_EQ(Text.GetPosition(), 0);
}

TEST_F(BlobTransferTest, PicturesTravelInTheirFileFormats) {
  OpenOnFirstRow();
  TPicture Picture;
  Picture.GetBitmap()->SetSize(3, 2);
  const std::vector<std::uint8_t> Image = Picture.GetBitmap()->GetImage();
  SQL.GraphicToBlob("PIC", &Picture, gtBitmap);
  TZantrelBlobStream* Pic = SQL.GetBlobManager()->BlobByName("PIC");
  EXPECT_EQ(Pic->GetDataSize(), static_cast<std::int32_t>(Image.size()));
  EXPECT_EQ(Pic->GetMemory()[0], 'B');
  EXPECT_EQ(Pic->GetMemory()[1], 'M');

  TPicture Loaded;
  SQL.BlobToGraphic("PIC", &Loaded, gtBitmap);
  EXPECT_EQ(Loaded.GetBitmap()->GetImage(), Image);
  EXPECT_EQ(Loaded.GetWidth(), 3);

  TPicture IconPicture;
  IconPicture.GetIcon()->SetSize(16, 16);
  SQL.GraphicToBlob("PIC", &IconPicture, gtIcon);
  TPicture IconLoaded;
  SQL.BlobToGraphic("PIC", &IconLoaded, gtIcon);
  EXPECT_EQ(IconLoaded.GetIcon()->GetImage(), IconPicture.GetIcon()->GetImage());
}

TEST_F(BlobTransferTest, UnknownGraphicTypeSavesNothingButMarksNotNull) {
  OpenOnFirstRow();
  TPicture Picture;
  Picture.GetBitmap()->SetSize(1, 1);
  ASSERT_TRUE(SQL.IsFieldNull("PIC"));
  SQL.GraphicToBlob("PIC", &Picture, static_cast<TZantrelGraphicType>(7));
  EXPECT_EQ(SQL.GetBlobManager()->BlobByName("PIC")->GetDataSize(), 0);
  EXPECT_FALSE(SQL.IsFieldNull("PIC"));
  TPicture Loaded;
  SQL.BlobToGraphic("PIC", &Loaded, static_cast<TZantrelGraphicType>(7));
  EXPECT_EQ(Loaded.GetGraphic(), nullptr);
}

TEST_F(BlobTransferTest, PictureChecksComeInOrder) {
  TPicture Picture;
  ASSERT_TRUE(SQL.OpenRead(SelectParts, {0, 1}));
  EXPECT_THROW(SQL.GraphicToBlob("PIC", nullptr, gtBitmap), EZantrelException);
  EXPECT_EQ(SQL.GetLastError(), "The cursor is read-only");
  EXPECT_THROW(SQL.BlobToGraphic("PIC", nullptr, gtBitmap), EZantrelException);
  EXPECT_EQ(SQL.GetLastError(), "Not a valid picture parameter");
  ASSERT_TRUE(SQL.OpenWrite(SelectParts, {0, 1}));
  EXPECT_THROW(SQL.GraphicToBlob("PIC", nullptr, gtBitmap), EZantrelException);
  EXPECT_EQ(SQL.GetLastError(), "Not a valid picture parameter");
  EXPECT_THROW(SQL.GraphicToBlob("cost", &Picture, gtBitmap), EZantrelException);
  EXPECT_EQ(SQL.GetLastError(), "Field \"cost\" not found");
}

TEST_F(BlobTransferTest, CorruptPictureDataRaisesThePicturesError) {
  OpenOnFirstRow();
  TMemoryStream Junk;
  Junk.WriteString("not a bitmap at all");
  SQL.StreamToBlob("PIC", &Junk);
  TPicture Picture;
  EXPECT_THROW(SQL.BlobToGraphic("PIC", &Picture, gtBitmap), EInvalidGraphic);
}

// --- Byte-array helpers -------------------------------------------------------------

TEST(BlobHelperTest, BytesBecomeByteArraysAndStrings) {
  const char Data[] = {'a', '\0', 'c'};
  EXPECT_TRUE(TZantrelSQL::StrToVarByte(Data, 0).IsNull());
  EXPECT_TRUE(TZantrelSQL::StrToVarByte(Data, -4).IsNull());
  const Variant V = TZantrelSQL::StrToVarByte(Data, 3);
  EXPECT_EQ(V.VarType(), varArray | varByte);
  EXPECT_EQ(VarArrayLowBound(V, 1), 0);
  EXPECT_EQ(VarArrayHighBound(V, 1), 2);
  EXPECT_EQ(V.GetElement(2).AsInteger(), 'c');

  EXPECT_TRUE(TZantrelSQL::StreamToVarByte(nullptr).IsNull());
  TMemoryStream Stream;
  EXPECT_TRUE(TZantrelSQL::StreamToVarByte(&Stream).IsNull());
  EXPECT_EQ(TZantrelSQL::StreamToStr(&Stream), "");
  EXPECT_EQ(TZantrelSQL::StreamToStr(nullptr), "");
  Stream.Write(Data, 3);
  EXPECT_EQ(TZantrelSQL::StreamToVarByte(&Stream).ElementCount(), 3u);
  EXPECT_EQ(TZantrelSQL::StreamToStr(&Stream), std::string(Data, 3));
}

} // namespace
} // namespace ztl
