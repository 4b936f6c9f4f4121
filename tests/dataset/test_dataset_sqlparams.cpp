// The dataset's statement text and parameters: the marker scanner, the
// parameter list kept in step with the text, the values handed to the
// cursor, and the master-detail link.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "dataset/ZtlDataset.h"
#include "tests/dataset/test_dataset_util.h"

namespace ztl::test {
namespace {

struct ScanCase {
  std::string Text;
  std::vector<std::string> Names;
  std::string After;
};

TEST(ParameterScanner, FindsMarkersOutsideLiteralsAndUnescapesColons) {
  const std::vector<ScanCase> Cases = {
      {"select * from T where A = :A and B = :B", {"A", "B"}, ""},
      {"where A = ':X'", {}, ""},
      {"select a::int from T", {}, "select a:int from T"},
      {"where A = :X::int", {"X::int"}, ""},
      {"where A=:P1,:P2)", {"P1", "P2"}, ""},
      {"where A=:P1=1", {"P1=1"}, ""},
      {"where A = : B", {""}, ""},
      {"where A = :'my param'", {"my param"}, ""},
      {"where A = :\"Q\"\r\nand B = :B\tX", {"Q", "B\tX"}, ""},
      {"where A = ':a' || :B || '::'", {"B"}, ""},
      // Comments are read neither for markers nor for quotes, and stay as written.
      {"select 'a' /* it's */ || '::'", {}, ""},
      {"select 2 /* :p */", {}, ""},
      {"select 2 -- :p it's\nwhere A = :A", {"A"}, ""},
      {"select 2 /* not closed :p", {}, ""},
      {"select 4-:A", {"A"}, ""},
  };
  TRecordingDataset Query;
  for (const ScanCase& Case : Cases) {
    SCOPED_TRACE(Case.Text);
    TZantrelParams List;
    std::string Text = Case.Text;
    Query.CreateParams(&List, Text);
    std::vector<std::string> Names;
    for (int I = 0; I < List.Count(); ++I) {
      Names.push_back(List.GetParam(I)->GetName());
      EXPECT_EQ(List.GetParam(I)->GetAlias(), Names.back());
    }
    EXPECT_EQ(Names, Case.Names);
    EXPECT_EQ(Text, Case.After.empty() ? Case.Text : Case.After);
  }
}

TEST(ParameterScanner, FollowsTheDriversDialect) {
  TZantrelMarkerRules Server;
  Server.DoubleColonIsCast = Server.DollarQuotes = Server.EscapeStrings = Server.ArraySlices =
      Server.ColonEquals = true;
  const std::vector<ScanCase> Cases = {
      {"select 7::int, :A::text", {"A"}, ""},
      {"select a::int from T where B = :B", {"B"}, ""},
      {"select $$ :x it's $$, $f$ :y $f$ || :Z", {"Z"}, ""},
      {"select $1, :A", {"A"}, ""},
      {"select E'\\' :x', :B", {"B"}, ""},
      {"select arr[1:2], arr[:3] from T where C = :C", {"C"}, ""},
      {"do $$ begin x := 1; end $$; select :D", {"D"}, ""},
      {"select x := :E", {"E"}, ""},
  };
  TRecordingDataset Query;
  Query.GetRecordingSQL().MarkerRules = Server;
  for (const ScanCase& Case : Cases) {
    SCOPED_TRACE(Case.Text);
    TZantrelParams List;
    std::string Text = Case.Text;
    Query.CreateParams(&List, Text);
    std::vector<std::string> Names;
    for (int I = 0; I < List.Count(); ++I)
      Names.push_back(List.GetParam(I)->GetName());
    EXPECT_EQ(Names, Case.Names);
    EXPECT_EQ(Text, Case.After.empty() ? Case.Text : Case.After);
  }
}

using DatasetParams = DatasetFixture;

TEST_F(DatasetParams, TextChangesRebuildParamsKeepingValuesOfSurvivingNames) {
  Query->GetSQL()->SetText("select * from T where A = :A and B = :B");
  ASSERT_EQ(Query->GetParamsCount(), 2);
  Query->ParamByName("A")->SetAsInteger(5);
  Query->GetSQL()->SetText("select * from T where A = :A and C = :C");
  ASSERT_EQ(Query->GetParamsCount(), 2);
  EXPECT_EQ(Query->ParamByName("A")->GetAsInteger(), 5);
  EXPECT_FALSE(Query->ParamByName("C")->GetBound());
  EXPECT_EQ(Query->GetSQLText(), "select * from T where A = :A and C = :C\r\n");

  Query->SetParamCheck(false);
  Query->GetSQL()->SetText("select * from T where Z = :Z");
  EXPECT_EQ(Query->GetParamsCount(), 2); // left alone
}

TEST_F(DatasetParams, EachNamedInputParameterPassesOneValue) {
  TZantrelParams& P = *Query->GetParams();
  P.Clear();
  for (const char* Name : {"A", "B", "A", "OUT", "RES"})
    P.CreateParam(Name);
  P.FindParam("A")->SetAsInteger(1);
  P.FindParam("B")->Clear();
  P.FindParam("OUT")->SetParamType(nptOutput);
  P.FindParam("RES")->SetParamType(nptResult);
  Variant Values;
  Query->GetParamValues(Values);
  ASSERT_TRUE(Values.IsArray());
  ASSERT_EQ(Values.ElementCount(), 2u);
  EXPECT_EQ(Values.GetElement(0).AsInteger(), 1);
  EXPECT_TRUE(Values.GetElement(1).IsNull());

  // Unnamed positions each pass their own value.
  P.Clear();
  for (int I = 1; I <= 3; ++I)
    P.CreateParam("?")->SetAsInteger(I * 10);
  Query->GetParamValues(Values);
  ASSERT_EQ(Values.ElementCount(), 3u);
  for (int I = 0; I < 3; ++I)
    EXPECT_EQ(Values.GetElement(I).AsInteger(), (I + 1) * 10);

  P.Clear();
  Query->GetParamValues(Values);
  EXPECT_TRUE(Values.IsNull());
}

// The value array is refilled in place between calls: a copy a caller still
// holds keeps what it was given, and a change of the parameters' number,
// direction or type shows in the next array.
TEST_F(DatasetParams, RepeatedValuesFollowEveryChangeOfTheParameters) {
  TZantrelParams& P = *Query->GetParams();
  P.Clear();
  P.CreateParam("A")->SetAsInteger(1);
  P.CreateParam("B")->SetAsString("x");
  const auto Texts = [](const Variant& V) {
    std::vector<std::string> R;
    for (const Variant& E : V.Elements())
      R.push_back(E.IsNull() ? "null" : E.AsString() + "/" + std::to_string(E.VarType()));
    return R;
  };
  const std::string Int = "/" + std::to_string(varInteger);
  const std::string Str = "/" + std::to_string(varString);
  Variant First;
  Query->GetParamValues(First);
  const std::vector<std::string> FirstWas = Texts(First);

  struct Step {
    const char* What;
    std::function<void()> Change;
    std::vector<std::string> Expected;
  };
  const std::vector<Step> Steps = {
      {"new values", [&] { P.FindParam("A")->SetAsInteger(2); P.FindParam("B")->SetAsString("y"); },
       {"2" + Int, "y" + Str}},
      {"a type changes", [&] { P.FindParam("A")->SetAsString("two"); }, {"two" + Str, "y" + Str}},
      {"a value goes null", [&] { P.FindParam("B")->Clear(); }, {"two" + Str, "null"}},
      {"one more parameter", [&] { P.CreateParam("C")->SetAsInteger(3); },
       {"two" + Str, "null", "3" + Int}},
      {"one becomes output", [&] { P.FindParam("A")->SetParamType(nptOutput); },
       {"null", "3" + Int}},
      {"a name repeats", [&] { P.FindParam("C")->SetName("B"); }, {"null"}},
  };
  for (const Step& S : Steps) {
    SCOPED_TRACE(S.What);
    S.Change();
    Variant Values;
    Query->GetParamValues(Values);
    EXPECT_EQ(Texts(Values), S.Expected);
  }
  EXPECT_EQ(Texts(First), FirstWas);
}

TEST_F(DatasetParams, ValuesReachTheCursorsHostVariables) {
  Query->GetSQL()->SetText("select * from PEOPLE where ID = :ID and NAME = :NAME");
  Query->ParamByName("ID")->SetAsInteger(7);
  Query->ParamByName("NAME")->SetAsString("Ann");
  Query->Open();
  const TZantrelVariableDefs& Vars = SQL().GetOpenVariables();
  ASSERT_EQ(Vars.GetCount(), 2);
  const TZantrelFieldDef* Id = Vars.GetItem(0);
  std::int32_t IdValue = 0;
  std::memcpy(&IdValue, Vars.GetBuffer() + Id->Offset, 4);
  EXPECT_EQ(Id->FieldType, ntInteger);
  EXPECT_EQ(IdValue, 7);
  EXPECT_EQ(Vars.GetItem(1)->FieldType, ntString);
  EXPECT_STREQ(reinterpret_cast<const char*>(Vars.GetBuffer() + Vars.GetItem(1)->Offset), "Ann");
}

TEST_F(DatasetParams, ParameterListsChangeOnlyWhileInactive) {
  Query->Open();
  const std::string Open = "Cannot perform this operation on an open dataset";
  TZantrelParams Other;
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Query->SetParamsList(&Other); }), Open);
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Query->ResetParamsList(); }), Open);
}

TEST_F(DatasetParams, SetQueryDisconnectsOnlyForADifferentText) {
  Query->Open();
  TStringList Same;
  Same.SetText("select * from PEOPLE");
  Query->SetQuery(&Same);
  EXPECT_TRUE(Query->Active());
  int Changes = 0;
  Query->GetSQL()->OnChange = [&](TObject*) { ++Changes; };
  TStringList Other;
  Other.SetText("select 1\nfrom PEOPLE");
  Query->SetQuery(&Other);
  EXPECT_FALSE(Query->Active());
  EXPECT_EQ(Changes, 1);
}

// ---- Master-detail -----------------------------------------------------------------------

struct MasterDetail : DatasetFixture {
  MasterDetail() {
    Detail = std::make_unique<TRecordingDataset>(nullptr, &Session);
    Detail->GetRecordingSQL().SetResult({{"ID", ntInteger}, {"TEXT", ntString, 10}},
                                        {{1, "a"}, {2, "b"}});
    Detail->GetSQL()->SetText("select * from ORDERS where ID = :ID");
    Source.SetDataSet(Query.get());
    Detail->SetDataSource(&Source);
  }
  ~MasterDetail() override {
    Detail.reset();
    Source.SetDataSet(nullptr);
  }
  int DetailOpens() {
    int N = 0;
    for (const std::string& Call : Log().Calls)
      N += Call.rfind("InternalOpen(", 0) == 0;
    return N;
  }

  TDataSource Source;
  std::unique_ptr<TRecordingDataset> Detail;
};

TEST_F(MasterDetail, UnboundParametersFollowTheMastersRecord) {
  Query->Open();
  Detail->Open();
  EXPECT_EQ(Detail->ParamByName("ID")->GetAsInteger(), 1);
  EXPECT_FALSE(Detail->ParamByName("ID")->GetBound());
  const int Before = DetailOpens();
  Query->Next();
  EXPECT_EQ(Detail->ParamByName("ID")->GetAsInteger(), 2);
  EXPECT_GT(DetailOpens(), Before); // re-executed
  EXPECT_EQ(Detail->RecNo(), 1);    // on its first row
}

TEST_F(MasterDetail, BoundParametersKeepTheApplicationsValue) {
  Detail->ParamByName("ID")->SetAsInteger(99);
  Query->Open();
  Detail->Open();
  Query->Next();
  EXPECT_EQ(Detail->ParamByName("ID")->GetAsInteger(), 99);
}

TEST_F(MasterDetail, AParameterWithoutMasterFieldFails) {
  Detail->GetSQL()->SetText("select * from ORDERS where X = :NOPE");
  Query->Open();
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Detail->Open(); }), "Field 'NOPE' not found");
  EXPECT_FALSE(Detail->Active());
  EXPECT_EQ(Detail->GetDBFlags(), 0);
}

TEST_F(MasterDetail, ALinkBackToTheDetailIsRefused) {
  TDataSource DetailSource;
  DetailSource.SetDataSet(Detail.get());
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { Query->SetDataSource(&DetailSource); }),
            "Circular datalinks are not allowed");
  EXPECT_EQ(Query->GetDataSource(), nullptr);
  DetailSource.SetDataSet(nullptr);
}

} // namespace
} // namespace ztl::test
