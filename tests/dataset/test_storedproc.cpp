// The stored procedure over the recording driver: describing parameters from
// the catalog, the call pieces, the checks before preparing, running the
// call, reading output values, the name and parameter setters, and form
// files.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dataset/ZtlStoredProc.h"
#include "framework/DataModule.h"
#include "framework/Streaming.h"
#include "tests/dataset/test_dataset_util.h"
#include "tests/support/RecordingStoredProc.h"

namespace ztl::test {
namespace {

// Catalog rows: x input integer, y output (code 276: low byte 20, Int64),
// a skipped row, r result Boolean, @p1 input-output string.
std::vector<std::vector<Variant>> GetItCatalog() {
  return {{"x   ", 1, 1}, {"y", 3, 276}, {"gone", 0, 7}, {"r", 4, 24}, {"@p1", 2, 7}};
}

struct StoredProcFixture : ::testing::Test {
  StoredProcFixture() {
    Session.SetKeepConnection(false);
    Proc = std::make_unique<TRecordingStoredProc>(nullptr, &Session);
    Proc->Catalog = GetItCatalog();
    Proc->SetProcName("getit");
  }

  TRecordingLog& Log() { return Session.GetLog(); }
  TZantrelParams& Params() { return *Proc->GetParams(); }
  int CountCalls(const std::string& Operation) {
    int N = 0;
    for (const std::string& Call : Log().Calls)
      N += TRecordingLog::OperationOf(Call) == Operation;
    return N;
  }
  bool Logged(const std::string& Call) {
    return std::find(Log().Calls.begin(), Log().Calls.end(), Call) != Log().Calls.end();
  }

  TRecordingSession Session;
  std::unique_ptr<TRecordingStoredProc> Proc;
};

// A parameter list of (name, data type, direction) entries.
struct ParamSpec {
  const char* Name;
  TZantrelFieldTypes Type;
  TZantrelParamType Direction;
};

void Fill(TZantrelParams& List, const std::vector<ParamSpec>& Specs) {
  List.Clear();
  for (const ParamSpec& Spec : Specs) {
    TZantrelParam* P = List.CreateParam(Spec.Name);
    P->SetAlias(Spec.Name);
    P->SetDataType(Spec.Type);
    P->SetParamType(Spec.Direction);
  }
}

// ---- Describing ----------------------------------------------------------------------

TEST(StoredProcCatalog, DataTypeCodesMapThroughTheirLowByte) {
  const std::vector<TZantrelFieldTypes> Table = {
      ntUnknown, ntInteger, ntInteger, ntFloat,   ntFloat,  ntFloat,    ntDate,    ntString,
      ntString,  ntString,  ntMemo,    ntBinary,  ntBlob,   ntDateTime, ntTime,    ntUnknown,
      ntUnknown, ntUnknown, ntUnknown, ntInteger, ntInt64,  ntInteger,  ntInteger, ntInt64,
      ntBoolean, ntUnknown, ntUnknown, ntFloat,   ntBinary, ntUnknown};
  for (std::int32_t Code = 0; Code < 30; ++Code) {
    EXPECT_EQ(ZtlCatalogDataType(Code), Table[static_cast<std::size_t>(Code)]) << Code;
    EXPECT_EQ(ZtlCatalogDataType(Code + 256), Table[static_cast<std::size_t>(Code)]) << Code;
  }
  for (std::int32_t Code : {30, 255, -1})
    EXPECT_EQ(ZtlCatalogDataType(Code), ntUnknown) << Code;
}

using StoredProcDescribe = StoredProcFixture;

TEST_F(StoredProcDescribe, CatalogRowsBecomeParametersAndTheCallPieces) {
  TZantrelParams Copy;
  Proc->CopyParams(&Copy);

  struct Expected {
    const char* Name;
    TZantrelFieldTypes Type;
    TZantrelParamType Direction;
  };
  const std::vector<Expected> Want = {{"x", ntInteger, nptInput},
                                      {"y", ntInt64, nptOutput},
                                      {"r", ntBoolean, nptResult},
                                      {"@p1", ntString, nptInputOutput}};
  ASSERT_EQ(Params().Count(), 4);
  ASSERT_EQ(Copy.Count(), 4);
  for (int I = 0; I < 4; ++I) {
    const TZantrelParam* P = Params().GetParam(I);
    const Expected& E = Want[static_cast<std::size_t>(I)];
    EXPECT_EQ(P->GetName(), E.Name);
    EXPECT_EQ(P->GetAlias(), E.Name);
    EXPECT_EQ(P->GetDataType(), E.Type);
    EXPECT_EQ(P->GetParamType(), E.Direction);
    EXPECT_TRUE(P->IsEqual(Copy.GetParam(I)));
  }
  EXPECT_TRUE(Logged("GetParamDescSQL()"));
  EXPECT_TRUE(Logged("BuildProcSQL(:r|:x,:y,:p1)"));
  EXPECT_EQ(Proc->DescribedProcName, "getit");
  EXPECT_EQ(Proc->GetSQL()->GetText(), "call getit(:x,:y,:p1) into :r\r\n");
  EXPECT_EQ(Proc->GetSQLText(), Proc->GetSQL()->GetText());

  // Describing prepares no statement and leaves nothing held; the
  // parameters stay, so the next prepare does not read the catalog again.
  EXPECT_FALSE(Proc->GetPrepared());
  EXPECT_FALSE(Proc->GetDescribeOnly());
  EXPECT_EQ(Proc->GetDBFlags(), 0);
  EXPECT_FALSE(Session.GetConnected());
  EXPECT_EQ(CountCalls("InternalPrepare"), 0);
  EXPECT_EQ(Session.GetQueryCount(), 1); // the describe cursor is gone
  Proc->Prepare();
  EXPECT_EQ(CountCalls("GetParamDescSQL"), 1);
  EXPECT_TRUE(Logged("InternalPrepare(call getit(:x,:y,:p1) into :r)"));
}

TEST_F(StoredProcDescribe, OwnerAndProcedureNameSplitAtTheFirstFullStop) {
  struct Case {
    const char* StoredProcName;
    const char* Owner;
    const char* ProcName;
  };
  const Case Cases[] = {{"dba . getit", "dba", " getit"},
                        {"a.b.c", "a", "b.c"},
                        {"  getit  ", "", "getit"}}; // the setter trims the whole name
  for (const Case& C : Cases) {
    Proc->SetProcName(C.StoredProcName);
    Log().Clear();
    TZantrelParams Copy;
    Proc->CopyParams(&Copy);
    EXPECT_TRUE(Logged(std::string("GetParamDescSQL(") + C.Owner + ")")) << C.StoredProcName;
    EXPECT_EQ(Proc->DescribedProcName, C.ProcName) << C.StoredProcName;
  }
}

TEST_F(StoredProcDescribe, AnUnknownDirectionIsLeftOutOfTheCallAndRefusedAtPrepare) {
  // Directions past result are not directions; only one "@" is removed.
  Proc->Catalog = {{"@@a", 1, 1}, {"z", 9, 1}, {"b", 3, 1}};
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Proc->Prepare(); }),
            "No parameter type for parameter 'z'");
  ASSERT_EQ(Params().Count(), 3);
  EXPECT_EQ(Params().GetParam(1)->GetParamType(), nptUnknown);
  EXPECT_TRUE(Logged("BuildProcSQL(|:@a,:b)"));
  EXPECT_FALSE(Proc->GetPrepared());
  EXPECT_EQ(Proc->GetDBFlags(), 0);
}

TEST_F(StoredProcDescribe, CatalogFailures) {
  // A driver that raises: the error propagates and the cursor goes.
  Log().FailAt("InternalPrepareOpen", rfRaise, true, -4, "no catalog");
  EXPECT_EQ(MessageOf<EZantrelException>([&] { Proc->Prepare(); }), "no catalog");
  EXPECT_EQ(Params().Count(), 0);
  EXPECT_EQ(Session.GetQueryCount(), 1);

  // A driver that returns false with a negative code fails like every
  // checked driver call.
  Log().FailAt("InternalOpen", rfReturnFalse, true, -5, "catalog closed");
  EXPECT_EQ(MessageOf<EZantrelDatasetError>([&] { Proc->Prepare(); }), "catalog closed");
  EXPECT_EQ(Params().Count(), 0);
  EXPECT_EQ(Proc->GetDBFlags(), 0);

  // Without a negative code no result set means no parameters.
  Log().FailAt("InternalOpen", rfReturnFalse, true, 0, "nothing");
  Proc->Prepare();
  EXPECT_EQ(Params().Count(), 0);
  EXPECT_TRUE(Logged("BuildProcSQL(|)"));
  EXPECT_TRUE(Logged("InternalPrepare(call getit())"));
  Proc->UnPrepare();
  EXPECT_EQ(Proc->GetDBFlags(), 0);
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

TEST(StoredProcCatalogFailure, AFailureAfterSomeRowsLeavesNoHalfDescription) {
  TRecordingSession Session;
  TBrokenCatalogProc Proc(nullptr, &Session);
  Proc.Catalog = GetItCatalog();
  Proc.SetProcName("getit");
  EXPECT_EQ(MessageOf<EZantrelDatasetError>([&] { Proc.Prepare(); }), "fetch broke");
  EXPECT_EQ(Proc.GetParams()->Count(), 0);
  EXPECT_EQ(Session.GetQueryCount(), 1);
  EXPECT_EQ(Proc.GetDBFlags(), 0);
}

TEST_F(StoredProcDescribe, AnEmptyNameStillReadsTheCatalogBeforePrepareFails) {
  Proc->SetProcName("");
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Proc->Prepare(); }), "No SQL statement available");
  EXPECT_TRUE(Logged("GetParamDescSQL()"));
  EXPECT_EQ(Proc->DescribedProcName, "");
  EXPECT_EQ(CountCalls("BuildProcSQL"), 0);

  Log().Clear();
  const std::string NoName = "Empty or missing Stored Procedure name";
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Proc->ExecProc(); }), NoName);
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Proc->Open(); }), NoName);
  EXPECT_EQ(CountCalls("GetParamDescSQL"), 0);
  EXPECT_EQ(CountCalls("InternalPrepare"), 0);
  EXPECT_FALSE(Proc->Active());
  EXPECT_EQ(Proc->GetDBFlags(), 0);
  EXPECT_FALSE(Session.GetConnected());
}

// ---- Checks before preparing ----------------------------------------------------------

TEST_F(StoredProcFixture, PrepareRefusesIncompleteParametersInOrder) {
  struct Case {
    std::vector<ParamSpec> Params;
    const char* Message;
  };
  const Case Cases[] = {
      {{{"a", ntUnknown, nptUnknown}}, "No value for parameter 'a'"},
      {{{"a", ntInteger, nptUnknown}}, "No parameter type for parameter 'a'"},
      {{{"a", ntInteger, nptInput}, {"b", ntUnknown, nptInput}}, "No value for parameter 'b'"},
      {{{"r1", ntInteger, nptResult}, {"r2", ntInteger, nptResult}},
       "Too many Stored Function result parameters"},
      // Each parameter is checked before the results are counted.
      {{{"r1", ntInteger, nptResult}, {"r2", ntInteger, nptResult}, {"c", ntUnknown, nptInput}},
       "No value for parameter 'c'"},
  };
  for (const Case& C : Cases) {
    TZantrelParams List;
    Fill(List, C.Params);
    Proc->SetParamsList(&List);
    EXPECT_EQ(MessageOf<EDatabaseError>([&] { Proc->Prepare(); }), C.Message);
    EXPECT_FALSE(Proc->GetPrepared());
    EXPECT_EQ(Params().Count(), static_cast<int>(C.Params.size()));
    EXPECT_EQ(Proc->GetDBFlags(), 0);
  }
  EXPECT_EQ(CountCalls("GetParamDescSQL"), 0);
  EXPECT_EQ(CountCalls("InternalPrepare"), 0);
}

// ---- Running ------------------------------------------------------------------------------

using StoredProcExec = StoredProcFixture;

TEST_F(StoredProcExec, ExecProcPassesInputsAndReadsOutputs) {
  TZantrelParams List;
  Fill(List, {{"x", ntInteger, nptInput},
              {"y", ntInteger, nptOutput},
              {"io", ntString, nptInputOutput},
              {"r", ntBoolean, nptResult},
              {"absent", ntInteger, nptOutput}});
  Proc->SetParamsList(&List);
  Params().ParamByName("x")->SetAsInteger(5);
  Params().ParamByName("io")->SetAsString("in");
  Params().ParamByName("absent")->SetAsInteger(9);
  Proc->GetRecordingSQL().SetOutputs({{"y", 2.5}, {"io", "out"}, {"r", true}, {"x", 77}});

  Proc->Prepare(); // keeps the statement's variables for a look after the call
  Proc->ExecProc();

  EXPECT_TRUE(Logged("BuildProcSQL(:r|:x,:y,:io,:absent)"));
  EXPECT_TRUE(Logged("InternalPrepare(call getit(:x,:y,:io,:absent) into :r)"));
  EXPECT_EQ(CountCalls("InternalExecute"), 1);
  EXPECT_EQ(CountCalls("GetParamDescSQL"), 0);
  // Inputs only, each once, in order: x and io.
  const TZantrelVariableDefs& In = Proc->GetRecordingSQL().GetExecVariables();
  ASSERT_EQ(In.GetCount(), 2);
  EXPECT_EQ(In.GetItem(0)->FieldType, ntInteger);
  EXPECT_EQ(In.GetItem(1)->FieldType, ntString);

  // The output's type follows the value it got; an input keeps its own
  // value even when the cursor lists a variable of its name; an output the
  // cursor does not list is left alone.
  const TZantrelParam* Y = Params().ParamByName("y");
  EXPECT_EQ(Y->GetDataType(), ntFloat);
  EXPECT_DOUBLE_EQ(Y->GetAsFloat(), 2.5);
  EXPECT_EQ(Params().ParamByName("io")->GetAsString(), "out");
  EXPECT_TRUE(Params().ParamByName("r")->GetAsBoolean());
  EXPECT_EQ(Params().ParamByName("x")->GetAsInteger(), 5);
  EXPECT_EQ(Params().ParamByName("absent")->GetAsInteger(), 9);

  EXPECT_FALSE(Proc->Active());
  EXPECT_EQ(Proc->GetDBFlags(), 1u << dfPrepared);
  Proc->UnPrepare();
  EXPECT_FALSE(Session.GetConnected());
}

TEST_F(StoredProcExec, ANullOutputMakesTheParameterNull) {
  TZantrelParams List;
  Fill(List, {{"y", ntInteger, nptOutput}});
  Proc->SetParamsList(&List);
  Proc->GetRecordingSQL().SetOutputs({{"y", Variant::Null()}});
  Proc->ExecProc();
  const TZantrelParam* Y = Params().ParamByName("y");
  EXPECT_TRUE(Y->IsNull());
  EXPECT_EQ(Y->GetDataType(), ntUnknown);
  // A call without Prepare is unprepared again and lets the session go.
  EXPECT_FALSE(Proc->GetPrepared());
  EXPECT_EQ(Proc->GetDBFlags(), 0);
  EXPECT_FALSE(Session.GetConnected());
}

// A cursor whose binary values come back as byte arrays with a low bound of
// 3, as a client library's arrays may.
class TOffsetArraySQL : public TRecordingSQL {
public:
  using TRecordingSQL::TRecordingSQL;

protected:
  void InternalGetValue(const std::uint8_t* Buffer, std::int32_t Offset, std::int32_t Size,
                        TZantrelFieldTypes FieldType, TZantrelBlobStream* Blob,
                        Variant& Value) override {
    TRecordingSQL::InternalGetValue(Buffer, Offset, Size, FieldType, Blob, Value);
    if (Value.VarType() == (varArray | varByte)) {
      const auto Bytes = Value.Bytes();
      Value = VarArrayFromBytes(Bytes.data(), Bytes.size(), 3);
    }
  }
};

TEST_F(StoredProcExec, BinaryOutputsKeepTheirTypeAndGetTheArraysBytes) {
  // The recording cursor pads binary variables to 16 bytes.
  const std::string Data("\x01\x00\xFF\x10\x20\x30\x40\x50\x60\x70\x80\x90\xA0\xB0\xC0\xD0", 16);
  for (const bool OffsetArray : {false, true}) {
    if (OffsetArray)
      Proc->Cursor = std::make_unique<TOffsetArraySQL>(&Session);
    TZantrelParams List;
    Fill(List, {{"b", ntBinary, nptOutput}, {"l", ntBlob, nptOutput}});
    Proc->SetParamsList(&List);
    Proc->GetRecordingSQL().SetOutputs({{"b", VarArrayFromBytes(Data.data(), Data.size())},
                                        {"l", VarArrayFromBytes(Data.data(), Data.size())}});
    Proc->ExecProc();
    for (const char* Name : {"b", "l"}) {
      const TZantrelParam* P = Params().ParamByName(Name);
      EXPECT_EQ(P->GetDataType(), Name[0] == 'b' ? ntBinary : ntBlob) << Name;
      EXPECT_FALSE(P->IsNull());
      EXPECT_TRUE(P->GetBound());
      EXPECT_EQ(P->GetAsString(), Data) << Name << " offset " << OffsetArray;
    }
  }
}

TEST_F(StoredProcExec, OpeningRunsTheCallAsAResultSet) {
  Proc->CallAsQuery = true;
  Proc->GetRecordingSQL().SetResult(PeopleColumns(), PeopleRows());
  Proc->Catalog = {{"x", 1, 1}};
  TZantrelParams Copy;
  Proc->CopyParams(&Copy);
  Params().ParamByName("x")->SetAsInteger(1);
  Proc->Open();
  EXPECT_TRUE(Logged("InternalPrepareOpen(select * from getit(:x))"));
  EXPECT_EQ(Proc->RecordCount(), 3);
  EXPECT_EQ(Proc->FieldByName("NAME")->AsString(), "Ann");

  const std::string Open = "Cannot perform this operation on an open dataset";
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Proc->ExecProc(); }), Open);
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Proc->SetProcName("other"); }), Open);
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Proc->SetParamsList(&Copy); }), Open);
  EXPECT_EQ(Proc->GetStoredProcName(), "getit");
  Proc->Close();
  EXPECT_EQ(Proc->GetDBFlags(), 0);
}

TEST_F(StoredProcExec, AFailingCallReleasesTheSession) {
  TZantrelParams List;
  Fill(List, {{"x", ntInteger, nptInput}});
  Proc->SetParamsList(&List);
  Params().ParamByName("x")->SetAsInteger(1);
  Log().FailAt("InternalExecute", rfReturnFalse, true, -9, "proc failed");
  EXPECT_EQ(MessageOf<EZantrelDatasetError>([&] { Proc->ExecProc(); }), "proc failed");
  EXPECT_EQ(Proc->GetDBFlags(), 0);
  EXPECT_FALSE(Proc->GetPrepared());
  EXPECT_FALSE(Session.GetConnected());
}

TEST_F(StoredProcExec, ProviderOperations) {
  IProviderSupport Provider(*Proc);
  EXPECT_EQ(Provider.PSGetTableName(), "");
  Provider.PSSetCommandText("");
  EXPECT_EQ(Proc->GetStoredProcName(), "getit");
  Provider.PSSetCommandText(" other ");
  EXPECT_EQ(Proc->GetStoredProcName(), "other");

  Proc->Catalog = {{"x", 1, 1}};
  TZantrelParams Copy;
  Proc->CopyParams(&Copy);
  Params().ParamByName("x")->SetAsInteger(3);
  Provider.PSExecute();
  EXPECT_TRUE(Logged("InternalPrepare(call other(:x))"));
  EXPECT_EQ(CountCalls("InternalExecute"), 1);
}

// ---- Name and parameter setters ---------------------------------------------------------

TEST_F(StoredProcFixture, ChangingTheNameClearsParametersAndCall) {
  TZantrelParams Copy;
  Proc->CopyParams(&Copy);
  ASSERT_EQ(Params().Count(), 4);

  Proc->SetProcName("getit");
  EXPECT_EQ(Params().Count(), 4);

  // Compared before trimming and with case: these differ.
  for (const char* Name : {"GETIT", " getit "}) {
    Proc->CopyParams(&Copy);
    ASSERT_EQ(Params().Count(), 4);
    Proc->SetProcName(Name);
    EXPECT_EQ(Params().Count(), 0) << Name;
    EXPECT_EQ(Proc->GetSQL()->Count(), 0) << Name;
  }
  EXPECT_EQ(Proc->GetStoredProcName(), "getit");

  // Renaming a prepared procedure unprepares it.
  Proc->Prepare();
  Proc->SetProcName("other");
  EXPECT_FALSE(Proc->GetPrepared());
  EXPECT_EQ(Params().Count(), 0);
  Proc->UnPrepare();
  EXPECT_FALSE(Session.GetConnected());
}

TEST_F(StoredProcFixture, SetParamsListReplacesTheListAndRebuildsAPreparedCall) {
  Proc->Prepare();
  EXPECT_TRUE(Logged("BuildProcSQL(:r|:x,:y,:p1)"));

  TZantrelParams List;
  Fill(List, {{"only", ntString, nptInput}});
  Proc->SetParamsList(&List);
  EXPECT_TRUE(Proc->GetPrepared());
  ASSERT_EQ(Params().Count(), 1);
  EXPECT_EQ(Params().GetParam(0)->GetName(), "only");
  EXPECT_TRUE(Logged("BuildProcSQL(|:only)"));
  EXPECT_TRUE(Logged("InternalPrepare(call getit(:only))"));

  Proc->UnPrepare();
  Proc->SetParamsList(nullptr);
  EXPECT_EQ(Params().Count(), 0);
  EXPECT_EQ(Proc->GetDBFlags(), 0);
}

TEST_F(StoredProcFixture, CopyParamsOfAPreparedProcedureReadsNoCatalog) {
  TZantrelParams List;
  Fill(List, {{"a", ntInteger, nptInput}});
  Proc->SetParamsList(&List);
  Proc->Prepare();
  TZantrelParams Copy;
  Proc->CopyParams(&Copy);
  EXPECT_TRUE(Copy.IsEqual(Proc->GetParams()));
  EXPECT_TRUE(Proc->GetPrepared());
  EXPECT_EQ(CountCalls("GetParamDescSQL"), 0);
  Proc->UnPrepare();
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
  TZantrelParams List;
  Fill(List, {{"x", ntInteger, nptInput}, {"y", ntString, nptOutput}});
  Proc->SetParamsList(&List);
  Proc->GetParams()->ParamByName("x")->SetAsInteger(42);

  const std::string Form = ComponentToString(&Module);
  EXPECT_NE(Form.find("StoredProcName = 'dba.getit'"), std::string::npos) << Form;
  EXPECT_NE(Form.find("Params.Data = {"), std::string::npos) << Form;
  EXPECT_NE(Form.find("Session = Session1"), std::string::npos) << Form;
  EXPECT_EQ(Form.find("SQL.Strings"), std::string::npos) << Form;

  std::unique_ptr<TComponent> Read(StringToComponent(Form));
  auto* Copy = dynamic_cast<TRecordingStoredProc*>(Read->FindComponent("Proc1"));
  ASSERT_NE(Copy, nullptr);
  EXPECT_EQ(Copy->GetStoredProcName(), "dba.getit");
  const TZantrelParams& Params = *Copy->GetParams();
  ASSERT_EQ(Params.Count(), 2);
  EXPECT_EQ(Params.GetParam(0)->GetAsInteger(), 42);
  EXPECT_EQ(Params.GetParam(1)->GetName(), "y");
  EXPECT_EQ(Params.GetParam(1)->GetDataType(), ntString);
  EXPECT_EQ(Params.GetParam(1)->GetParamType(), nptOutput);
  EXPECT_EQ(Copy->GetSession(), Read->FindComponent("Session1"));
}

} // namespace
} // namespace ztl::test
