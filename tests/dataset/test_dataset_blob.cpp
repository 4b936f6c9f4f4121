// The dataset's blob stream: reading and writing the cursor's column
// streams, null indicators, the checks at creation, transliteration and the
// change reported at destruction.
#include <cstring>

#include "dataset/ZtlDataset.h"
#include "tests/dataset/test_dataset_util.h"

namespace ztl::test {
namespace {

struct DatasetBlob : DatasetFixture {
  DatasetBlob() {
    SQL().SetResult({{"ID", ntInteger}, {"NOTE", ntMemo}, {"DATA", ntBlob}},
                    {{1, "hello", "\x01\x02"}, {2, Variant::Null(), Variant::Null()}});
    Query->SetReadOnly(false);
    Query->Open();
    Note = dynamic_cast<TBlobField*>(Query->FieldByName("NOTE"));
  }
  ~DatasetBlob() override {
    if (Query->State() == dsEdit)
      Query->Cancel();
  }
  std::unique_ptr<TStream> Stream(TBlobStreamMode Mode, const char* Field = "NOTE") {
    return Query->CreateBlobStream(Query->FieldByName(Field), Mode);
  }
  std::string ReadAll(TStream& S) {
    char Buffer[64] = {};
    const std::int32_t N = S.Read(Buffer, sizeof Buffer);
    return std::string(Buffer, static_cast<std::size_t>(N));
  }
  // The data the cursor's column stream holds.
  std::string ColumnData(const char* Name = "NOTE") {
    TZantrelBlobStream* Column = SQL().GetBlobManager()->BlobByName(Name);
    const auto* P = reinterpret_cast<const char*>(Column->GetMemory());
    return P ? std::string(P, static_cast<std::size_t>(Column->GetDataSize())) : std::string();
  }

  TBlobField* Note = nullptr;
};

TEST_F(DatasetBlob, ReadsTheColumnAndNothingOfANullOne) {
  EXPECT_EQ(ReadAll(*Stream(bmRead)), "hello");
  EXPECT_EQ(Note->AsString(), "hello");
  Query->Next();
  auto Null = Stream(bmRead);
  EXPECT_EQ(ReadAll(*Null), "");
  EXPECT_EQ(Null->Seek(0, soFromEnd), 0);
  EXPECT_TRUE(Note->IsNull());
}

TEST_F(DatasetBlob, CreationChecks) {
  Query->SetName("Query1");
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Stream(bmWrite); }),
            "Query1: Dataset not in edit or insert mode");
  EXPECT_NO_THROW(Stream(bmReadWrite)); // read-write skips both checks
  Query->Edit();
  Note->SetReadOnly(true);
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Stream(bmWrite); }),
            "Field 'NOTE' cannot be modified");
  Note->SetReadOnly(false);

  Query->FilterBuffer = Query->ActiveBuffer();
  TTempState Filter(*Query, dsFilter);
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Stream(bmRead); }),
            "Cannot access field 'NOTE' in a filter");
}

TEST_F(DatasetBlob, AWriteStreamEmptiesTheColumnAtOnceAndMarksTheFieldAtTheEnd) {
  Query->Edit();
  {
    auto S = Stream(bmWrite);
    EXPECT_TRUE(Note->IsNull());
    EXPECT_FALSE(Note->Modified());
  }
  EXPECT_TRUE(Note->Modified());
  EXPECT_TRUE(Note->IsNull());

  {
    auto S = Stream(bmWrite);
    EXPECT_EQ(S->Write("new", 3), 3);
  }
  EXPECT_FALSE(Note->IsNull());
  EXPECT_EQ(Note->AsString(), "new");
}

TEST_F(DatasetBlob, AReadStreamChangesNothing) {
  {
    auto S = Stream(bmRead);
    EXPECT_EQ(S->Write("xyz", 3), 0);
  }
  EXPECT_FALSE(Note->Modified());
  EXPECT_EQ(ColumnData(), "hello");
}

TEST_F(DatasetBlob, AReadWriteStreamInBrowseStateChangesTheColumnAndTheField) {
  int Changes = 0;
  Note->OnChange = [&](TField*) { ++Changes; };
  {
    auto S = Stream(bmReadWrite);
    S->Write("!", 1);
  }
  EXPECT_TRUE(Note->Modified());
  EXPECT_EQ(Changes, 1);
  EXPECT_NE(ColumnData().find('!'), std::string::npos);
}

TEST_F(DatasetBlob, TransliteratedFieldsConvertBothWaysWithoutTouchingTheCallersBytes) {
  Session.SetOemConvert(true);
  Query->Edit();
  const char Ansi[] = "caf\xE9";
  {
    auto S = Stream(bmWrite);
    S->Write(Ansi, 4);
  }
  EXPECT_STREQ(Ansi, "caf\xE9");
  EXPECT_EQ(ColumnData(), "caf\x82"); // code page 850
  EXPECT_EQ(ReadAll(*Stream(bmRead)), "caf\xE9");

  // A blob field does not transliterate; neither does a session without OEM.
  {
    auto S = Stream(bmWrite, "DATA");
    S->Write(Ansi, 4);
  }
  EXPECT_EQ(ColumnData("DATA"), "caf\xE9");
  Session.SetOemConvert(false);
  {
    auto S = Stream(bmWrite);
    S->Write(Ansi, 4);
  }
  EXPECT_EQ(ColumnData(), "caf\xE9");
}

TEST_F(DatasetBlob, WithoutARecordTheStreamIsInert) {
  Query->Close();
  SQL().SetResult({{"ID", ntInteger}, {"NOTE", ntMemo}}, {});
  Query->Open();
  auto S = Stream(bmReadWrite);
  char Buffer[4];
  EXPECT_EQ(S->Read(Buffer, 4), 0);
  EXPECT_EQ(S->Write("abcd", 4), 0);
  EXPECT_EQ(S->Seek(2, soFromBeginning), 0);
}

TEST_F(DatasetBlob, AnErrorOfTheFinalChangeEventGoesToTheApplication) {
  std::string Reported;
  Application().OnException = [&](TObject*, std::exception_ptr E) {
    try {
      std::rethrow_exception(E);
    } catch (const Exception& Error) {
      Reported = Error.what();
    }
  };
  Note->OnChange = [](TField*) { throw EDatabaseError("refused"); };
  Query->Edit();
  EXPECT_NO_THROW(Stream(bmWrite));
  Application().OnException = nullptr;
  EXPECT_EQ(Reported, "refused");
  EXPECT_TRUE(Note->Modified());
}

// The whole-content read the fields use (GetBlobContent) against a read
// stream read to its end, in every state a field is read in.
struct DatasetBlobContent : DatasetBlob {
  std::string ByStream(const char* Field) {
    auto S = Stream(bmRead, Field);
    std::string Result;
    char Chunk[7]; // small, so that long values take many reads
    for (std::int32_t N; (N = S->Read(Chunk, sizeof Chunk)) > 0;)
      Result.append(Chunk, static_cast<std::size_t>(N));
    return Result;
  }
  // Both fields agree with their streams.
  void ExpectAsStream(const char* Where) {
    SCOPED_TRACE(Where);
    EXPECT_EQ(Note->AsString(), ByStream("NOTE"));
    EXPECT_EQ(Query->FieldByName("DATA")->AsString(), ByStream("DATA"));
  }
  // And the memo reads Expected.
  void ExpectAsStream(const std::string& Expected, const char* Where) {
    ExpectAsStream(Where);
    EXPECT_EQ(Note->AsString(), Expected) << Where;
  }
  void Write(const char* Field, const std::string& Value) {
    auto S = Stream(bmWrite, Field);
    S->Write(Value.data(), static_cast<std::int32_t>(Value.size()));
  }
};

TEST_F(DatasetBlobContent, EqualsTheStreamInEveryState) {
  const std::string Long(20000, '\xE9'); // beyond any one read of a stream
  for (const bool Oem : {false, true}) {
    SCOPED_TRACE(Oem ? "OEM conversion" : "no conversion");
    Session.SetOemConvert(Oem);
    Query->First();
    ExpectAsStream("hello", "fetched");
    Query->Next();
    ExpectAsStream("", "fetched null");

    Query->First();
    Query->Edit();
    Write("NOTE", Long);
    Write("DATA", "caf\xE9");
    ExpectAsStream(Long, "edited");
    {
      TTempState Old(*Query, dsOldValue);
      ExpectAsStream("old value");
    }
    {
      TTempState Calc(*Query, dsCalcFields);
      ExpectAsStream("calculating");
    }
    Query->Cancel();

    Query->Append();
    ExpectAsStream("", "inserted, empty");
    Write("NOTE", "caf\xE9 au lait");
    ExpectAsStream("caf\xE9 au lait", "inserted");
    Query->Cancel();
  }
}

TEST_F(DatasetBlobContent, TheVariantAndTheSavedStreamHoldTheSameBytes) {
  Session.SetOemConvert(true);
  Query->Edit();
  Write("NOTE", "caf\xE9");
  EXPECT_EQ(Note->AsVariant().AsString(), "caf\xE9");
  TMemoryStream Saved;
  Note->SaveToStream(Saved);
  Saved.SetPosition(0);
  EXPECT_EQ(Saved.ReadString(4), "caf\xE9");
  Query->Cancel();
}

TEST_F(DatasetBlobContent, FailsAndStaysInertAsTheStreamDoes) {
  {
    Query->FilterBuffer = Query->ActiveBuffer();
    TTempState Filter(*Query, dsFilter);
    EXPECT_EQ(MessageOf<EDatabaseError>([&] { (void)Note->AsString(); }),
              "Cannot access field 'NOTE' in a filter");
  }
  Query->Close();
  SQL().SetResult({{"ID", ntInteger}, {"NOTE", ntMemo}}, {});
  Query->Open();
  EXPECT_EQ(Query->FieldByName("NOTE")->AsString(), "");
}

} // namespace
} // namespace ztl::test
