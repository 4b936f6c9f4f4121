// Finding a column by its address and a blob column's stream, on the paths
// that rows read by position take.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/core/CursorFixture.h"

namespace ztl {
namespace {

using FieldLookupTest = CursorTest;

TEST_F(FieldLookupTest, AddressesByPositionAndByName) {
  OpenOnFirstRow();
  struct TCase {
    Variant Address;
    const char* Name; // nullptr: no such field
  };
  const TCase Cases[] = {
      {Variant(0), "ID"},
      {Variant(std::int16_t{1}), "NAME"},  // a Smallint is a position too
      {Variant(std::uint8_t{1}), nullptr}, // a Byte is a name: "1"
      {Variant(std::int64_t{2}), nullptr}, // so is an Int64: "2"
      {Variant(5), "ROWKEY"},
      {Variant(6), nullptr},
      {Variant(-1), nullptr},
      {Variant("price"), "PRICE"},
      {Variant("PRICE "), nullptr},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(VarToStr(C.Address));
    const TZantrelFieldDef* Def = SQL.GetField(C.Address);
    if (!C.Name) {
      EXPECT_EQ(Def, nullptr);
      EXPECT_THROW(SQL.GetFieldValue(C.Address), EZantrelException);
      continue;
    }
    ASSERT_NE(Def, nullptr);
    EXPECT_EQ(Def->Name, C.Name);
    EXPECT_EQ(SQL.GetFieldType(C.Address), Def->FieldType);
  }
  EXPECT_EQ(SQL.GetFieldValue(Variant(0)).AsInteger(), 1);
  EXPECT_EQ(SQL.GetFieldValue(Variant(std::int16_t{1})).AsString(), "bolt");
}

// The stream a column's value goes to is the first one that answers to the
// column's name, whatever order the streams are in.
TEST_F(FieldLookupTest, BlobStreamIsTheFirstOfItsName) {
  OpenOnFirstRow();
  TZantrelBlobManager& M = *SQL.GetBlobManager();
  ASSERT_EQ(M.Count(), 2);
  TZantrelBlobStream* Note = M.GetList()[0];
  TZantrelBlobStream* Pic = M.GetList()[1];
  ASSERT_EQ(Note->GetFieldName(), "NOTE");

  // In column order: each column finds its own stream.
  SQL.SetFieldValue("NOTE", "n1");
  SQL.SetFieldValue("PIC", "p1");
  EXPECT_EQ(SQL.GetFieldValue("NOTE").AsString(), "n1");
  EXPECT_EQ(Note->GetDataSize(), 2);
  EXPECT_EQ(Pic->GetDataSize(), 2);

  // Streams out of column order.
  M.RemoveBlob(Note);
  M.AddBlob(Note);
  SQL.SetFieldValue("NOTE", "note 2");
  EXPECT_EQ(Note->GetDataSize(), 6);
  EXPECT_EQ(Pic->GetDataSize(), 2);
  EXPECT_EQ(SQL.GetFieldValue("NOTE").AsString(), "note 2");

  // A stream of the same name in another case, ahead of the column's own.
  M.RemoveBlob(Pic);
  M.RemoveBlob(Note);
  auto* Decoy = new TRecordingBlobStream(&M, "Pic");
  M.AddBlob(Pic);
  M.AddBlob(Note);
  SQL.SetFieldValue("PIC", "decoy");
  EXPECT_EQ(Decoy->GetDataSize(), 5);
  EXPECT_EQ(Pic->GetDataSize(), 2);
  EXPECT_TRUE(SQL.IsFieldDirty("PIC"));
  EXPECT_EQ(SQL.GetFieldValue("NOTE").AsString(), "note 2");

  // Without any stream of its name the column is no blob to the manager.
  M.RemoveBlob(Decoy);
  M.RemoveBlob(Pic);
  delete Decoy;
  delete Pic;
  EXPECT_THROW(SQL.GetFieldValue("PIC"), EZantrelException);
}

} // namespace
} // namespace ztl
