// The stored format of a parameter collection: exact bytes, both layouts,
// the data-size limit, save-load-save identity, streams cut short or
// corrupted, and the "Data" property's registration with the filer.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "dataset/ZtlBasDS.h"
#include "framework/forms/DataModule.h"
#include "framework/classes/FormFiles.h"
#include "framework/classes/Streams.h"
#include "tests/dataset/test_param_util.h"

namespace ztl {
namespace {

using test::Hex;
using test::Unhex;

std::string Save(const TZantrelParams& Params) {
  TStringStream Stream;
  Params.WriteBinaryData(Stream);
  return Stream.GetDataString();
}

void Load(TZantrelParams& Params, const std::string& Bytes) {
  TStringStream Stream(Bytes);
  Params.ReadBinaryData(Stream);
}

// Little-endian building blocks for hand-made streams.
std::string I32(std::int32_t V) {
  std::string Out;
  for (int I = 0; I < 4; ++I)
    Out += static_cast<char>((static_cast<std::uint32_t>(V) >> (8 * I)) & 0xFF);
  return Out;
}
std::string Text(const std::string& S) {
  return I32(static_cast<std::int32_t>(S.size())) + S;
}
std::string Byte(int V) {
  return std::string(1, static_cast<char>(V));
}

const char* const WorkedExample = "01 FF FF 7F 01 00 00 00 02 00 00 00 49 44 02 00 00 00 49 44 "
                                  "02 04 00 00 00 05 00 00 00 00 01 01";

void MakeWorkedExample(TZantrelParams& Params) {
  TZantrelParam* P = Params.CreateParam("ID");
  P->SetAlias("ID");
  P->SetAsInteger(5);
  P->SetParamType(nptInput);
}

// One parameter of every type with unique names, some null, with directions.
void MakeEveryType(TZantrelParams& Params) {
  Params.CreateParam("UNKNOWN");
  Params.CreateParam("S")->SetAsString("text");
  Params.CreateParam("I")->SetAsInteger(-7);
  TZantrelParam* Big = Params.CreateParam("I64");
  Big->SetDataType(ntInt64);
  Big->SetText("123456789012");
  Params.CreateParam("F")->SetAsFloat(0.1);
  Params.CreateParam("C")->SetAsCurrency(2.5);
  Params.CreateParam("D")->SetAsDate(EncodeDate(2024, 2, 29));
  Params.CreateParam("T")->SetAsTime(EncodeTime(23, 59, 59, 999));
  Params.CreateParam("DT")->SetAsDateTime(EncodeDate(1999, 12, 31) + EncodeTime(1, 2, 3, 4));
  Params.CreateParam("B")->SetAsBoolean(true);
  Params.CreateParam("BIN")->SetAsBinary(std::string("\x00\xFF\x01", 3));
  Params.CreateParam("M")->SetAsMemo("line\r\nline");
  Params.CreateParam("BLOB")->SetAsBlob("blob");
  TZantrelParam* Null = Params.CreateParam("NULL");
  Null->SetAsDate(1.0);
  Null->Clear();
  for (int I = 0; I < Params.Count(); ++I) {
    Params.GetParam(I)->SetAlias("@" + Params.GetParam(I)->GetName());
    Params.GetParam(I)->SetParamType(static_cast<TZantrelParamType>(I % 5));
  }
}

TEST(ParamStore, WorkedExampleHoldsByteForByte) {
  TZantrelParams Params;
  MakeWorkedExample(Params);
  EXPECT_EQ(Hex(Save(Params)), WorkedExample);

  Params.GetParam(0)->SetAsString("abc");
  EXPECT_EQ(Hex(Save(Params)), "01 FF FF 7F 01 00 00 00 02 00 00 00 49 44 02 00 00 00 49 44 "
                               "01 04 00 00 00 61 62 63 00 00 01 01");

  TZantrelParams Read;
  Read.CreateParam("GONE");
  Load(Read, Unhex(WorkedExample));
  TZantrelParams Expected;
  MakeWorkedExample(Expected);
  EXPECT_TRUE(Read.IsEqual(&Expected));
}

TEST(ParamStore, OlderLayoutHasNoVersionWordAndNoFlagBytes) {
  const std::string Stream = I32(3) + // three records
                             Text("A") + Text("a") + Byte(ntInteger) + I32(4) + I32(7) + //
                             Text("B") + Text("") + Byte(ntUnknown) +                    //
                             Text("C") + Text("c") + Byte(ntString) + I32(3) + "xy" + Byte(0);
  TZantrelParams Params;
  Load(Params, Stream);
  ASSERT_EQ(Params.Count(), 3);
  const TZantrelParam* A = Params.GetParam(0);
  EXPECT_EQ(A->GetAsInteger(), 7);
  EXPECT_TRUE(A->GetBound() && !A->IsNull());
  const TZantrelParam* B = Params.GetParam(1);
  EXPECT_EQ(B->GetDataType(), ntUnknown);
  EXPECT_FALSE(B->GetBound() || B->IsNull());
  EXPECT_EQ(Params.GetParam(2)->GetAsString(), "xy");
}

TEST(ParamStore, RecordCasesReadBackAsStored) {
  TZantrelParams Params;
  Params.CreateParam("X");
  Load(Params, I32(TZantrelParams::GetVersion()) + I32(0));
  EXPECT_EQ(Params.Count(), 0);
  // DataType 0 with the null flag set, and a direction outside the known ones.
  Load(Params, I32(TZantrelParams::GetVersion()) + I32(1) + Text("N") + Text("") + Byte(ntUnknown) +
                   Byte(1) + Byte(2) + Byte(9));
  ASSERT_EQ(Params.Count(), 1);
  EXPECT_TRUE(Params.GetParam(0)->IsNull());
  EXPECT_TRUE(Params.GetParam(0)->GetBound());
  EXPECT_EQ(Params.GetParam(0)->GetParamType(), 9);
}

TEST(ParamStore, WriterCutsLongDataAndKeepsEveryParameterOfADuplicatedName) {
  TZantrelParams Params;
  Params.CreateParam("S")->SetAsString(std::string(3000, 'x'));
  Params.CreateParam("A")->SetAsInteger(1);
  Params.CreateParam("a")->SetAsInteger(2);
  TZantrelParam* Big = Params.CreateParam("BIG");
  Big->SetDataType(ntInt64);
  Big->SetText("4096");
  const std::string Bytes = Save(Params);
  EXPECT_EQ(Bytes.substr(4 + 4 + 5 + 4 + 1, 4), I32(2048));
  TZantrelParams Read;
  Load(Read, Bytes);
  EXPECT_EQ(Read.GetParam(0)->GetAsString(), std::string(2048, 'x'));
  EXPECT_EQ(Read.GetItem(2)->GetName(), "a");
  EXPECT_EQ(Read.GetItem(2)->GetAsInteger(), 2);
  EXPECT_EQ(Read.GetParam(3)->GetDataType(), ntInt64);
  EXPECT_EQ(Read.GetParam(3)->GetValue().VarType(), varDouble);
  EXPECT_EQ(Save(Read), Bytes);
}

TEST(ParamStore, SaveLoadSaveGivesTheSameBytesAndEveryCutIsAReadError) {
  TZantrelParams Params;
  MakeEveryType(Params);
  const std::string Bytes = Save(Params);
  // Both directions work from the stream's current position.
  TStringStream Stream("prefix");
  Stream.SetPosition(6);
  Params.WriteBinaryData(Stream);
  Stream.SetPosition(6);
  TZantrelParams Read;
  Read.ReadBinaryData(Stream);
  EXPECT_EQ(Stream.GetPosition(), Stream.GetSize());
  EXPECT_EQ(Save(Read), Bytes);
  EXPECT_EQ(Read.GetParam(7)->GetAsString(), "23:59:59.999");

  int LastCount = 0;
  for (std::size_t Cut = 0; Cut < Bytes.size(); ++Cut) {
    TZantrelParams Partial;
    try {
      Load(Partial, Bytes.substr(0, Cut));
      ADD_FAILURE() << "no error at " << Cut;
    } catch (const EReadError& E) {
      EXPECT_STREQ(E.what(), SReadError);
    }
    EXPECT_GE(Partial.Count(), LastCount); // what was read is kept
    LastCount = Partial.Count();
  }
  EXPECT_EQ(LastCount, Params.Count());
}

TEST(ParamStore, ImpossibleLengthsAndTypesAreRefusedAtOnce) {
  const std::string Head = I32(TZantrelParams::GetVersion()) + I32(1);
  const std::string Names = Text("N") + Text("A");
  const std::string Flags = Byte(0) + Byte(1) + Byte(1);
  const std::string Padding(64, '\0');
  const std::string Cases[] = {
      Head + I32(-1) + Padding,                                         // negative name length
      Head + I32(0x7FFFFFFF) + Padding,                                 // name beyond the stream
      Head + Text("N") + I32(65) + Padding,                             // alias beyond the stream
      Head + Names + Byte(13) + Padding,                                // no such data type
      Head + Names + Byte(ntInteger) + I32(-4) + Padding,               // negative data size
      Head + Names + Byte(ntBlob) + I32(2049) + std::string(3000, 'x'), // above the block
      Head + Names + Byte(ntBlob) + I32(100) + std::string(10, 'x') + Flags, // beyond the stream
  };
  for (const std::string& Bytes : Cases) {
    SCOPED_TRACE(Hex(Bytes.substr(8, 16)));
    TZantrelParams Read;
    EXPECT_THROW(Load(Read, Bytes), EReadError);
    EXPECT_EQ(Read.Count(), 1); // the record begun stays
  }
}

TEST(ParamStore, DatesBeyondTheDayNumberAreAConversionError) {
  const std::string Head = I32(TZantrelParams::GetVersion()) + I32(1) + Text("D") + Text("");
  const std::string Cases[] = {
      Head + Byte(ntDate) + I32(4) + I32(INT32_MIN) + Byte(0) + Byte(1) + Byte(1),
      Head + Byte(ntDateTime) + I32(8) + Unhex("00 00 00 00 00 00 F8 7F") + Byte(0) + Byte(1) +
          Byte(1), // NaN
  };
  for (const std::string& Bytes : Cases) {
    TZantrelParams Read;
    EXPECT_THROW(Load(Read, Bytes), EConvertError);
  }
  TZantrelParam P(nullptr);
  P.SetAsDateTime(-2148000000.0);
  EXPECT_EQ(P.GetAsString(), "");
  EXPECT_THROW(P.GetDataBytes(), EConvertError);
}

// A filer that records the binary property it is given.
class TRecordingFiler : public TFiler {
public:
  void DefineProperty(const std::string&, const TReaderProc&, const TWriterProc&, bool) override {
    ADD_FAILURE() << "the collection defines no value property";
  }
  void DefineBinaryProperty(const std::string& AName, const TStreamProc&, const TStreamProc&,
                            bool AHasData) override {
    Name = AName;
    HasData = AHasData;
  }
  void Define(TPersistent& Instance) { CallDefineProperties(Instance, *this); }

  std::string Name;
  bool HasData = false;
};

TEST(ParamStore, DataPropertyIsWrittenOnlyWhenItDiffersFromTheAncestor) {
  TZantrelParams Empty, One, SameAsOne;
  MakeWorkedExample(One);
  MakeWorkedExample(SameAsOne);
  struct TCase {
    TZantrelParams* Params;
    TPersistent* Ancestor;
    bool HasData;
  };
  const TCase Cases[] = {
      {&Empty, nullptr, false},
      {&One, nullptr, true},
      {&One, &SameAsOne, false},
      {&Empty, &One, true},
  };
  for (const TCase& C : Cases) {
    TRecordingFiler Filer;
    Filer.SetAncestor(C.Ancestor);
    Filer.Define(*C.Params);
    EXPECT_EQ(Filer.Name, "Data");
    EXPECT_EQ(Filer.HasData, C.HasData);
  }
}

} // namespace

namespace test {

// A component publishing a parameter collection the way a dataset does.
class TParamsHolder : public TComponent {
public:
  explicit TParamsHolder(TComponent* AOwner) : TComponent(AOwner), Params(this) {}
  TZantrelParams* GetParams() const { return &Params; }

private:
  mutable TZantrelParams Params; // published as "Params"
};

void RegisterParamsHolder() {
  RegisterZantrelParamsClass();
  RegisterClass<TParamsHolder, TComponent>();
  RegisterProperty<TParamsHolder>("Params", &TParamsHolder::GetParams, nullptr);
}

} // namespace test

namespace {

// The "Params.Data" value of a form's root, or null when it is not written.
const TFormValue* FindData(const TFormObject& Form) {
  for (const TFormProperty& Prop : Form.Properties)
    if (Prop.Name == "Params.Data")
      return &Prop.Value;
  return nullptr;
}

TEST(ParamStore, FormFilesCarryTheCollectionAsParamsData) {
  test::RegisterParamsHolder();
  ASSERT_NE(FindClassInfo("TZantrelParams"), nullptr);
  test::TParamsHolder Holder(nullptr), Ancestor(nullptr);
  Holder.SetName("Query1");
  Ancestor.SetName("Query1");
  EXPECT_EQ(FindData(ParseFormText(ComponentToString(&Holder))), nullptr);

  MakeEveryType(*Holder.GetParams());
  const std::string Form = ComponentToString(&Holder);
  const TFormObject Parsed = ParseFormText(Form);
  const TFormValue* Data = FindData(Parsed);
  ASSERT_NE(Data, nullptr);
  EXPECT_EQ(Data->Type, vaBinary);
  EXPECT_EQ(Data->Text, Save(*Holder.GetParams()));

  std::unique_ptr<TComponent> Read(StringToComponent(Form));
  auto* Copy = dynamic_cast<test::TParamsHolder*>(Read.get());
  ASSERT_NE(Copy, nullptr);
  EXPECT_EQ(Save(*Copy->GetParams()), Data->Text);

  // Against an ancestor holding the same parameters nothing is repeated.
  MakeEveryType(*Ancestor.GetParams());
  EXPECT_EQ(FindData(ParseFormText(ComponentToString(&Holder, &Ancestor))), nullptr);
  Holder.GetParams()->GetParam(0)->SetAsInteger(1);
  EXPECT_NE(FindData(ParseFormText(ComponentToString(&Holder, &Ancestor))), nullptr);
}

} // namespace
} // namespace ztl
