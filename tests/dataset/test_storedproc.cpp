// The stored procedure over the recording driver: describing parameters from
// the catalog, the call, the checks before preparing, running the call and
// reading outputs, the setters, and form files.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/forms/DataModule.h"
#include "framework/classes/FormFiles.h"
#include "tests/dataset/test_dataset_util.h"
#include "tests/support/RecordingStoredProc.h"

namespace ztl::test {
namespace {

// x input Integer, y output (code 276: low byte 20, Int64), a skipped row,
// r result Boolean, @p1 input-output String.
std::vector<std::vector<Variant>> GetItCatalog() {
  return {{"x   ", 1, 1}, {"y", 3, 276}, {"gone", 0, 7}, {"r", 4, 24}, {"@p1", 2, 7}};
}

struct ParamRow {
  const char* Name;
  TZantrelFieldTypes Type;
  TZantrelParamType Direction;
};

struct StoredProc : ::testing::Test {
  StoredProc() {
    Session.SetKeepConnection(false);
    Proc = std::make_unique<TRecordingStoredProc>(nullptr, &Session);
    Proc->Catalog = GetItCatalog();
    Proc->SetProcName("getit");
  }

  TRecordingLog& Log() { return Session.GetLog(); }
  TZantrelParams& Params() { return *Proc->GetParams(); }
  TZantrelParam& Param(const char* Name) { return *Params().ParamByName(Name); }
  int CountCalls(const std::string& Operation) { return Log().CountOf(Operation); }
  bool Logged(const std::string& Call) { return Log().Has(Call); }
  void Describe() {
    TZantrelParams Copy;
    Proc->CopyParams(&Copy);
  }
  void Use(const std::vector<ParamRow>& Rows) {
    TZantrelParams List;
    for (const ParamRow& Row : Rows) {
      TZantrelParam* P = List.CreateParam(Row.Name);
      P->SetAlias(Row.Name);
      P->SetDataType(Row.Type);
      P->SetParamType(Row.Direction);
    }
    Proc->SetParamsList(&List);
  }
  void ExpectReleased() {
    EXPECT_FALSE(Proc->GetPrepared());
    EXPECT_EQ(Proc->GetDBFlags(), 0);
    EXPECT_FALSE(Session.GetConnected());
    EXPECT_EQ(Session.GetQueryCount(), 1); // no describe cursor left behind
  }

  TRecordingSession Session;
  std::unique_ptr<TRecordingStoredProc> Proc;
};

// ---- Describing ----------------------------------------------------------------------

TEST_F(StoredProc, CatalogRowsBecomeParametersAndTheCall) {
  TZantrelParams Copy;
  Proc->CopyParams(&Copy);
  const std::vector<ParamRow> Want = {{"x", ntInteger, nptInput},
                                      {"y", ntInt64, nptOutput},
                                      {"r", ntBoolean, nptResult},
                                      {"@p1", ntString, nptInputOutput}};
  ASSERT_EQ(Params().Count(), 4);
  for (int I = 0; I < 4; ++I) {
    const TZantrelParam* P = Params().GetParam(I);
    const ParamRow& E = Want[static_cast<std::size_t>(I)];
    EXPECT_EQ(P->GetName(), E.Name);
    EXPECT_EQ(P->GetAlias(), E.Name);
    EXPECT_EQ(P->GetDataType(), E.Type) << E.Name;
    EXPECT_EQ(P->GetParamType(), E.Direction) << E.Name;
  }
  EXPECT_TRUE(Copy.IsEqual(Proc->GetParams()));
  EXPECT_TRUE(Logged("GetParamDescSQL()"));
  EXPECT_EQ(Proc->DescribedProcName, "getit");
  EXPECT_TRUE(Logged("BuildProcSQL(:r|:x,:y,:p1)"));
  EXPECT_EQ(Proc->GetSQLText(), "call getit(:x,:y,:p1) into :r\r\n");

  // Describing prepared no statement and holds nothing; the parameters
  // stay, so preparing does not read the catalog again.
  EXPECT_FALSE(Proc->GetDescribeOnly());
  EXPECT_EQ(CountCalls("InternalPrepare"), 0);
  ExpectReleased();
  Proc->Prepare();
  EXPECT_EQ(CountCalls("GetParamDescSQL"), 1);
  EXPECT_TRUE(Logged("InternalPrepare(call getit(:x,:y,:p1) into :r)"));
}

TEST_F(StoredProc, OwnerAndProcedureNameSplitAtTheFirstFullStop) {
  const std::vector<std::vector<std::string>> Cases = {
      {"dba . getit", "dba", " getit"}, {"a.b.c", "a", "b.c"}, {"  getit  ", "", "getit"}};
  for (const auto& C : Cases) {
    Proc->SetProcName(C[0]);
    Describe();
    EXPECT_TRUE(Logged("GetParamDescSQL(" + C[1] + ")")) << C[0];
    EXPECT_EQ(Proc->DescribedProcName, C[2]) << C[0];
  }
}

TEST_F(StoredProc, AnUnknownDirectionIsLeftOutOfTheCallAndRefused) {
  // 9 is no direction; only one "@" is removed.
  Proc->Catalog = {{"@@a", 1, 1}, {"z", 9, 1}, {"b", 3, 1}};
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Proc->Prepare(); }),
            "No parameter type for parameter 'z'");
  EXPECT_TRUE(Logged("BuildProcSQL(|:@a,:b)"));
  EXPECT_EQ(Params().Count(), 3);
  ExpectReleased();
}

TEST_F(StoredProc, CatalogFailures) {
  Log().FailAt("InternalPrepareOpen", rfRaise, true, -4, "no catalog");
  EXPECT_EQ(MessageOf<EZantrelException>([&] { Proc->Prepare(); }), "no catalog");
  EXPECT_EQ(Params().Count(), 0);
  ExpectReleased();

  // False with a negative code is a failure like any checked driver call.
  Log().FailAt("InternalOpen", rfReturnFalse, true, -5, "catalog closed");
  EXPECT_EQ(MessageOf<EZantrelDatasetError>([&] { Proc->Prepare(); }), "catalog closed");
  ExpectReleased();

  // Without one, no result set means no parameters.
  Log().FailAt("InternalOpen", rfReturnFalse, true, 0, "nothing");
  Proc->Prepare();
  EXPECT_EQ(Params().Count(), 0);
  EXPECT_TRUE(Logged("InternalPrepare(call getit())"));
}

// A catalog cursor whose second fetch fails with a negative code.
class TBrokenCatalogSQL : public TRecordingSQL {
public:
  using TRecordingSQL::TRecordingSQL;
  bool FetchNext() override {
    if (++Fetches < 2)
      return TRecordingSQL::FetchNext();
    GetSession()->SetLastError("fetch broke", -6);
    return false;
  }

private:
  int Fetches = 0; // FetchNext calls so far
};

class TBrokenCatalogProc : public TRecordingStoredProc {
public:
  using TRecordingStoredProc::TRecordingStoredProc;

protected:
  std::unique_ptr<TZantrelSQL> CreateSQL() override {
    if (!GetSQLCursor())
      return TRecordingStoredProc::CreateSQL();
    auto SQL = std::make_unique<TBrokenCatalogSQL>(dynamic_cast<TRecordingSession*>(GetSession()));
    SQL->SetResult(CatalogColumns(), Catalog);
    return SQL;
  }
};

TEST(StoredProcCatalog, AFailureAfterSomeRowsLeavesNoHalfDescription) {
  TRecordingSession Session;
  TBrokenCatalogProc Proc(nullptr, &Session);
  Proc.Catalog = GetItCatalog();
  Proc.SetProcName("getit");
  EXPECT_EQ(MessageOf<EZantrelDatasetError>([&] { Proc.Prepare(); }), "fetch broke");
  EXPECT_EQ(Proc.GetParams()->Count(), 0);
  EXPECT_EQ(Session.GetQueryCount(), 1);
}

TEST_F(StoredProc, WithoutANameOnlyPrepareGetsAsFarAsTheCatalog) {
  Proc->SetProcName("");
  Proc->DescribedProcName = "stale";
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Proc->Prepare(); }), "No SQL statement available");
  EXPECT_TRUE(Logged("GetParamDescSQL()"));
  EXPECT_EQ(Proc->DescribedProcName, "");
  EXPECT_EQ(CountCalls("BuildProcSQL"), 0);

  Log().Clear();
  const std::string NoName = "Empty or missing Stored Procedure name";
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Proc->ExecProc(); }), NoName);
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Proc->Open(); }), NoName);
  EXPECT_EQ(CountCalls("GetParamDescSQL") + CountCalls("InternalPrepare"), 0);
  EXPECT_FALSE(Proc->Active());
  ExpectReleased();
}

TEST_F(StoredProc, PrepareRefusesIncompleteParametersInOrder) {
  const std::vector<std::pair<std::vector<ParamRow>, std::string>> Cases = {
      {{{"a", ntUnknown, nptUnknown}}, "No value for parameter 'a'"},
      {{{"a", ntInteger, nptUnknown}}, "No parameter type for parameter 'a'"},
      {{{"a", ntInteger, nptInput}, {"b", ntUnknown, nptInput}}, "No value for parameter 'b'"},
      {{{"r1", ntInteger, nptResult}, {"r2", ntInteger, nptResult}},
       "Too many Stored Function result parameters"},
      // Every parameter is checked before the results are counted.
      {{{"r1", ntInteger, nptResult}, {"r2", ntInteger, nptResult}, {"c", ntUnknown, nptInput}},
       "No value for parameter 'c'"}};
  for (const auto& [Rows, Message] : Cases) {
    Use(Rows);
    EXPECT_EQ(MessageOf<EDatabaseError>([&] { Proc->Prepare(); }), Message);
    EXPECT_EQ(Params().Count(), static_cast<int>(Rows.size()));
    ExpectReleased();
  }
  EXPECT_EQ(CountCalls("GetParamDescSQL") + CountCalls("InternalPrepare"), 0);
}

// ---- Running ------------------------------------------------------------------------------

TEST_F(StoredProc, ExecProcPassesInputsAndReadsOutputs) {
  Use({{"x", ntInteger, nptInput},
       {"y", ntInteger, nptOutput},
       {"io", ntString, nptInputOutput},
       {"r", ntBoolean, nptResult},
       {"n", ntInteger, nptOutput},
       {"absent", ntInteger, nptOutput}});
  Param("x").SetAsInteger(5);
  Param("io").SetAsString("in");
  Param("absent").SetAsInteger(9);
  Proc->GetRecordingSQL().SetOutputs(
      {{"y", 2.5}, {"io", "out"}, {"r", true}, {"n", Variant::Null()}, {"x", 77}});

  Proc->Prepare(); // keeps the statement's variables for a look after the call
  Proc->ExecProc();
  EXPECT_TRUE(Logged("InternalPrepare(call getit(:x,:y,:io,:n,:absent) into :r)"));
  EXPECT_EQ(CountCalls("InternalExecute"), 1);
  // The inputs only, in order.
  const TZantrelVariableDefs& In = Proc->GetRecordingSQL().GetExecVariables();
  ASSERT_EQ(In.GetCount(), 2);
  EXPECT_EQ(In.GetItem(1)->FieldType, ntString);

  // An output's type follows its value; an input keeps its value even when
  // the cursor lists a variable of its name; an unlisted output stays.
  EXPECT_EQ(Param("y").GetDataType(), ntFloat);
  EXPECT_DOUBLE_EQ(Param("y").GetAsFloat(), 2.5);
  EXPECT_EQ(Param("io").GetAsString(), "out");
  EXPECT_TRUE(Param("r").GetAsBoolean());
  EXPECT_TRUE(Param("n").IsNull()); // and still typed, so the next call is not refused
  EXPECT_EQ(Param("n").GetDataType(), ntInteger);
  EXPECT_EQ(Param("x").GetAsInteger(), 5);
  EXPECT_EQ(Param("absent").GetAsInteger(), 9);
  EXPECT_EQ(Proc->GetDBFlags(), 1u << dfPrepared);

  // Without Prepare the call unprepares again, also when it fails.
  Proc->UnPrepare();
  Proc->ExecProc();
  ExpectReleased();
  Log().FailAt("InternalExecute", rfReturnFalse, true, -9, "proc failed");
  EXPECT_EQ(MessageOf<EZantrelDatasetError>([&] { Proc->ExecProc(); }), "proc failed");
  ExpectReleased();
}

// A cursor whose byte arrays come back with a low bound of 3, as a client
// library's arrays may.
class TOffsetArraySQL : public TRecordingSQL {
public:
  using TRecordingSQL::TRecordingSQL;

protected:
  void InternalGetValue(const std::uint8_t* Buffer, std::int32_t Offset, std::int32_t Size,
                        TZantrelFieldTypes FieldType, TZantrelBlobStream* Blob,
                        Variant& Value) override {
    TRecordingSQL::InternalGetValue(Buffer, Offset, Size, FieldType, Blob, Value);
    if (Value.VarType() == (varArray | varByte))
      Value = VarArrayFromBytes(Value.Bytes().data(), Value.Bytes().size(), 3);
  }
};

TEST_F(StoredProc, BinaryOutputsKeepTheirTypeAndGetTheArraysBytes) {
  // 16 bytes: the recording cursor's size of a binary variable.
  const std::string Data("\x01\x00\xFF\x10\x20\x30\x40\x50\x60\x70\x80\x90\xA0\xB0\xC0\xD0", 16);
  for (const bool Offset : {false, true}) {
    if (Offset)
      Proc->Cursor = std::make_unique<TOffsetArraySQL>(&Session);
    Use({{"b", ntBinary, nptOutput}, {"l", ntBlob, nptOutput}});
    const Variant Bytes = VarArrayFromBytes(Data.data(), Data.size());
    Proc->GetRecordingSQL().SetOutputs({{"b", Bytes}, {"l", Bytes}});
    Proc->ExecProc();
    for (const char* Name : {"b", "l"}) {
      EXPECT_EQ(Param(Name).GetDataType(), Name[0] == 'b' ? ntBinary : ntBlob);
      EXPECT_TRUE(Param(Name).GetBound());
      EXPECT_EQ(Param(Name).GetAsString(), Data) << Name << ", offset " << Offset;
    }
  }
}

TEST_F(StoredProc, OpeningRunsTheCallAsAResultSet) {
  Proc->CallAsQuery = true;
  Proc->GetRecordingSQL().SetResult(PeopleColumns(), PeopleRows());
  Proc->Catalog = {{"x", 1, 1}};
  Describe();
  Param("x").SetAsInteger(1);
  Proc->Open();
  EXPECT_TRUE(Logged("InternalPrepareOpen(select * from getit(:x))"));
  EXPECT_EQ(Proc->FieldByName("NAME")->AsString(), "Ann");

  const std::string Open = "Cannot perform this operation on an open dataset";
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Proc->ExecProc(); }), Open);
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Proc->SetProcName("other"); }), Open);
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Proc->SetParamsList(nullptr); }), Open);
  EXPECT_EQ(Params().Count(), 1);
}

TEST_F(StoredProc, ProviderOperations) {
  IProviderSupport Provider(*Proc);
  EXPECT_EQ(Provider.PSGetTableName(), "");
  Provider.PSSetCommandText("");
  EXPECT_EQ(Proc->GetStoredProcName(), "getit");
  Provider.PSSetCommandText(" other ");
  EXPECT_EQ(Proc->GetStoredProcName(), "other");
  Proc->Catalog = {{"x", 1, 1}};
  Describe();
  Param("x").SetAsInteger(3);
  Provider.PSExecute();
  EXPECT_TRUE(Logged("InternalPrepare(call other(:x))"));
  EXPECT_EQ(CountCalls("InternalExecute"), 1);
}

// ---- Setters -------------------------------------------------------------------------------

TEST_F(StoredProc, OnlyADifferentNameClearsParametersAndCall) {
  Describe();
  Proc->SetProcName("getit");
  EXPECT_EQ(Params().Count(), 4);
  // Compared before trimming and with case.
  for (const char* Name : {"GETIT", " getit "}) {
    Describe();
    Proc->SetProcName(Name);
    EXPECT_EQ(Params().Count(), 0) << Name;
    EXPECT_EQ(Proc->GetSQL()->Count(), 0) << Name;
  }
  EXPECT_EQ(Proc->GetStoredProcName(), "getit");

  Proc->Prepare();
  Proc->SetProcName("other");
  EXPECT_FALSE(Proc->GetPrepared());
  Proc->UnPrepare();
  ExpectReleased();
}

TEST_F(StoredProc, SetParamsListReplacesTheListAndRebuildsAPreparedCall) {
  Proc->Prepare();
  Use({{"only", ntString, nptInput}});
  EXPECT_TRUE(Proc->GetPrepared());
  ASSERT_EQ(Params().Count(), 1);
  EXPECT_TRUE(Logged("InternalPrepare(call getit(:only))"));

  // A prepared procedure's parameters are copied without the catalog.
  TZantrelParams Copy;
  Proc->CopyParams(&Copy);
  EXPECT_TRUE(Copy.IsEqual(Proc->GetParams()));
  EXPECT_EQ(CountCalls("GetParamDescSQL"), 1);

  Proc->UnPrepare();
  Proc->SetParamsList(nullptr);
  EXPECT_EQ(Params().Count(), 0);
}

// ---- Form files -----------------------------------------------------------------------------

TEST(StoredProcForm, NameAndParametersTravelThroughFormFiles) {
  RegisterZantrelStoredProcClass();
  RegisterClass<TRecordingSession, TComponent>();
  RegisterClass<TRecordingStoredProc, TZantrelCustomStoredProc>();

  TDataModule Module(nullptr);
  Module.SetName("Module1");
  auto* Session = new TRecordingSession(&Module);
  Session->SetName("Session1");
  auto* Proc = new TRecordingStoredProc(&Module, Session);
  Proc->SetName("Proc1");
  Proc->SetProcName("dba.getit");
  Proc->Catalog = {{"x", 1, 1}, {"y", 3, 7}};
  TZantrelParams Copy;
  Proc->CopyParams(&Copy);
  Proc->ParamByName("x")->SetAsInteger(42);

  const std::string Form = ComponentToString(&Module);
  for (const char* Line : {"StoredProcName = 'dba.getit'", "Params.Data = {", "Session = Session1"})
    EXPECT_NE(Form.find(Line), std::string::npos) << Line << "\n" << Form;
  EXPECT_EQ(Form.find("SQL.Strings"), std::string::npos) << Form;

  std::unique_ptr<TComponent> Read(StringToComponent(Form));
  auto* Loaded = dynamic_cast<TRecordingStoredProc*>(Read->FindComponent("Proc1"));
  ASSERT_NE(Loaded, nullptr);
  EXPECT_EQ(Loaded->GetStoredProcName(), "dba.getit");
  ASSERT_EQ(Loaded->GetParamsCount(), 2);
  EXPECT_EQ(Loaded->ParamByName("x")->GetAsInteger(), 42);
  EXPECT_EQ(Loaded->ParamByName("y")->GetParamType(), nptOutput);
  EXPECT_EQ(Loaded->GetSession(), Read->FindComponent("Session1"));
}

} // namespace
} // namespace ztl::test
