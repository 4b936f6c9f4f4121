// The parameter collection: ownership, lookup with its duplicate-name rule,
// the not-found error, comparison and copying from collections and from the
// framework's parameter list.
#include <gtest/gtest.h>

#include <memory>

#include "dataset/ZtlBasDS.h"
#include "framework/DBParams.h"
#include "framework/Strings.h"

namespace ztl {
namespace {

TEST(ParamsOwnership, ParametersLeaveTheirCollectionWhenDestroyedOrMoved) {
  TZantrelParams List, Other;
  TZantrelParam* A = List.CreateParam("A");
  TZantrelParam* B = List.CreateParam("B");
  List.CreateParam("C");
  delete B;
  EXPECT_EQ(List.Count(), 2);
  EXPECT_EQ(List.GetParam(1)->GetName(), "C");

  Other.AddParam(A); // moves, so that neither list frees it twice
  EXPECT_EQ(List.Count(), 1);
  EXPECT_EQ(A->GetParams(), &Other);

  Other.RemoveParam(A);
  std::unique_ptr<TZantrelParam> Owned(A);
  EXPECT_EQ(Other.Count(), 0);
  EXPECT_EQ(A->GetParams(), nullptr);
  List.RemoveParam(A); // not in it: nothing happens
  EXPECT_EQ(List.Count(), 1);
  List.Clear();
  EXPECT_EQ(List.Count(), 0);
}

TEST(ParamsLookup, DuplicateNamesYieldTheFirstParameterForEveryIndex) {
  TZantrelParams List;
  TZantrelParam* A = List.CreateParam("A");
  List.CreateParam("a");
  TZantrelParam* B = List.CreateParam("B");
  EXPECT_EQ(List.Count(), 3);
  EXPECT_EQ(List.GetParam(0), A);
  EXPECT_EQ(List.GetParam(1), A);
  EXPECT_EQ(List[2], B);
  EXPECT_EQ(List.FindParam("b"), B);
  EXPECT_EQ(List.FindParam("x"), nullptr);
  for (int Index : {-1, 3}) {
    try {
      List.GetParam(Index);
      ADD_FAILURE() << "no error for index " << Index;
    } catch (const EListError& E) {
      EXPECT_EQ(E.GetMessage(), Format(SListIndexError, {std::int64_t{Index}}));
    }
  }
}

TEST(ParamsLookup, MissingNameOrAliasRaisesHostVariableNotFound) {
  TZantrelParams List;
  TZantrelParam* P = List.CreateParam("ID");
  P->SetAlias("@Id");
  EXPECT_EQ(List.ParamByName("id"), P);
  EXPECT_EQ(List.ParamByAlias("@ID"), P);
  struct TCase {
    std::function<void()> Call;
    const char* Message;
  };
  const TCase Cases[] = {
      {[&] { List.ParamByName("NAME"); }, "Host variable \"NAME\" not found"},
      {[&] { List.ParamByAlias("ID"); }, "Host variable \"ID\" not found"},
  };
  for (const TCase& C : Cases) {
    try {
      C.Call();
      ADD_FAILURE() << "no error: " << C.Message;
    } catch (const EZantrelException& E) {
      EXPECT_EQ(E.GetMessage(), C.Message);
      EXPECT_EQ(E.GetErrorCode(), 0);
    }
  }
}

TEST(ParamsAssign, CopiesACollectionAndLeavesItselfAlone) {
  TZantrelParams Source, Target;
  TZantrelParam* Id = Source.CreateParam("ID");
  Id->SetAsInteger(5);
  Id->SetParamType(nptInput);
  Source.CreateParam("S")->SetAsString("text");
  Target.CreateParam("OLD");
  Target.Assign(&Source);
  EXPECT_TRUE(Target.IsEqual(&Source));
  EXPECT_NE(Target.GetParam(0), Id);

  Target.Assign(&Target);
  EXPECT_TRUE(Target.IsEqual(&Source));

  TZantrelParams Copy;
  Copy.Assign(&Source);
  EXPECT_TRUE(Copy.IsEqual(&Source));
  Copy.GetParam(1)->SetAsString("other");
  EXPECT_FALSE(Copy.IsEqual(&Source));
  Copy.CreateParam("X");
  EXPECT_FALSE(Copy.IsEqual(&Source));

  TStringList Lines;
  EXPECT_THROW(Target.Assign(&Lines), EConvertError);
  EXPECT_EQ(Target.Count(), 2);
}

TEST(ParamsAssign, FrameworkParamsMapDirectionsAndTakeTypesFromValues) {
  TParams Source;
  Source.CreateParam(ftString, "IN", ptInput).SetValue(Variant(1.5));
  Source.CreateParam(ftInteger, "OUT", ptOutput);
  Source.CreateParam(ftUnknown, "IO", ptInputOutput).SetValue(Variant("x"));
  Source.CreateParam(ftUnknown, "RES", ptResult).SetValue(Variant(3));
  Source.CreateParam(ftUnknown, "UNK", ptUnknown).SetValue(Variant(true));

  TZantrelParams Target;
  Target.CreateParam("OLD");
  Target.Assign(&Source);
  ASSERT_EQ(Target.Count(), 5);
  struct TExpect {
    const char* Name;
    TZantrelParamType Direction;
    TZantrelParamDataType Type;
    bool Null;
  };
  const TExpect Expected[] = {
      {"IN", nptInput, ntFloat, false},        {"OUT", nptOutput, ntUnknown, true},
      {"IO", nptInputOutput, ntString, false}, {"RES", nptResult, ntInteger, false},
      {"UNK", nptUnknown, ntBoolean, false},
  };
  for (int I = 0; I < 5; ++I) {
    const TZantrelParam* P = Target.GetParam(I);
    SCOPED_TRACE(Expected[I].Name);
    EXPECT_EQ(P->GetName(), Expected[I].Name);
    EXPECT_EQ(P->GetAlias(), Expected[I].Name);
    EXPECT_EQ(P->GetParamType(), Expected[I].Direction);
    EXPECT_EQ(P->GetDataType(), Expected[I].Type);
    EXPECT_EQ(P->IsNull(), Expected[I].Null);
  }
}

TEST(ParamsAssign, AssignValuesMatchesNamesCaseSensitively) {
  TZantrelParams Own, Source;
  Own.CreateParam("ID")->SetAsInteger(1);
  Own.CreateParam("NAME")->SetAsString("kept");
  Source.CreateParam("id")->SetAsInteger(2);
  Source.CreateParam("ID")->SetAsInteger(3);
  Source.CreateParam("name")->SetAsString("ignored");
  Own.AssignValues(&Source);
  EXPECT_EQ(Own.GetParam(0)->GetAsInteger(), 1); // "ID" meets the first "id" entry's name
  EXPECT_EQ(Own.GetParam(1)->GetAsString(), "kept");

  TZantrelParams Exact;
  Exact.CreateParam("ID")->SetAsInteger(7);
  Own.AssignValues(&Exact);
  EXPECT_EQ(Own.GetParam(0)->GetAsInteger(), 7);
  Own.AssignValues(&Own); // onto itself: values survive
  EXPECT_EQ(Own.GetParam(0)->GetAsInteger(), 7);
  EXPECT_EQ(Own.GetParam(1)->GetAsString(), "kept");
}

TEST(ParamsOwner, NamePathFollowsTheOwningComponent) {
  TComponent Root(nullptr);
  Root.SetName("Query1");
  TZantrelParams Owned(&Root), Free;
  EXPECT_EQ(Owned.GetOwner(), &Root);
  EXPECT_EQ(Owned.GetNamePath(), "Query1.TZantrelParams");
  EXPECT_EQ(Free.GetNamePath(), "TZantrelParams");
}

} // namespace
} // namespace ztl
