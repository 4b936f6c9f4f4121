// The parameter collection: ownership, lookup with its duplicate-name rule,
// the not-found error and copying from collections and from the framework's
// parameter list.
#include <gtest/gtest.h>

#include <memory>

#include "dataset/ZtlBasDS.h"
#include "framework/db/DBParams.h"
#include "framework/classes/Strings.h"

namespace ztl {
namespace {

TEST(ParamsOwnership, ParametersLeaveTheirCollectionWhenDestroyedOrMoved) {
  TZantrelParams List, Other;
  TZantrelParam* A = List.CreateParam("A");
  delete List.CreateParam("B");
  List.CreateParam("C");
  EXPECT_EQ(List.GetParam(1)->GetName(), "C");
  Other.AddParam(A); // moves, so that neither list frees it twice
  EXPECT_EQ(List.Count(), 1);
  Other.RemoveParam(A);
  std::unique_ptr<TZantrelParam> Owned(A);
  EXPECT_EQ(Other.Count(), 0);
  EXPECT_EQ(A->GetParams(), nullptr);
}

TEST(ParamsLookup, DuplicateNamesYieldTheFirstParameterForEveryIndex) {
  TZantrelParams List;
  TZantrelParam* A = List.CreateParam("A");
  List.CreateParam("a");
  List.CreateParam("B")->SetAlias("@b");
  EXPECT_EQ(List.Count(), 3);
  EXPECT_EQ(List.GetParam(0), A);
  EXPECT_EQ(List.GetParam(1), A);
  EXPECT_EQ(List.GetParam(2), List.GetItem(2));
  // The first of a name wins wherever its later entries stand.
  TZantrelParam* X = List.CreateParam("x");
  List.CreateParam("Y");
  List.CreateParam("y");
  List.CreateParam("X");
  EXPECT_EQ(List.GetParam(5), List.GetItem(4));
  EXPECT_EQ(List.GetParam(6), X);
  List.Clear();
  A = List.CreateParam("A");
  List.CreateParam("a");
  List.CreateParam("B")->SetAlias("@b");
  EXPECT_EQ(List.FindParam("b"), List.ParamByAlias("@B"));
  EXPECT_EQ(List.FindParam("x"), nullptr);
  EXPECT_THROW(List.GetParam(-1), EListError);
  try {
    List.GetParam(3);
    ADD_FAILURE();
  } catch (const EListError& E) {
    EXPECT_STREQ(E.what(), "List index out of bounds (3)");
  }
  for (auto Find : {&TZantrelParams::ParamByName, &TZantrelParams::ParamByAlias}) {
    try {
      (List.*Find)("NAME");
      ADD_FAILURE();
    } catch (const EZantrelException& E) {
      EXPECT_STREQ(E.what(), "Host variable \"NAME\" not found");
      EXPECT_EQ(E.GetErrorCode(), 0);
    }
  }
}

TEST(ParamsAssign, CopiesACollectionAndLeavesItselfAlone) {
  TZantrelParams Source, Target;
  Source.CreateParam("ID")->SetAsInteger(5);
  Source.CreateParam("S")->SetAsString("text");
  Target.CreateParam("OLD");
  Target.Assign(&Source);
  EXPECT_TRUE(Target.IsEqual(&Source));
  EXPECT_NE(Target.GetParam(0), Source.GetParam(0));
  Target.Assign(&Target);
  EXPECT_TRUE(Target.IsEqual(&Source));
  Target.CreateParam("X");
  EXPECT_FALSE(Target.IsEqual(&Source));

  TStringList Lines;
  EXPECT_THROW(Target.Assign(&Lines), EConvertError);
  EXPECT_EQ(Target.Count(), 3);
}

TEST(ParamsAssign, FrameworkParamsMapDirectionsAndTakeTypesFromValues) {
  struct TCase {
    const char* Name;
    TParamType From;
    Variant Value;
    TZantrelParamType Direction;
    TZantrelParamDataType Type;
  };
  const TCase Cases[] = {
      {"IN", ptInput, Variant(1.5), nptInput, ntFloat},
      {"OUT", ptOutput, Variant(), nptOutput, ntUnknown},
      {"IO", ptInputOutput, Variant("x"), nptInputOutput, ntString},
      {"RES", ptResult, Variant(3), nptResult, ntInteger},
      {"UNK", ptUnknown, Variant(true), nptUnknown, ntBoolean},
  };
  TParams Source;
  for (const TCase& C : Cases) {
    TParam& Item = Source.CreateParam(ftString, C.Name, C.From);
    if (!C.Value.IsEmpty())
      Item.SetValue(C.Value);
  }
  TZantrelParams Target;
  Target.CreateParam("OLD");
  Target.Assign(&Source);
  ASSERT_EQ(Target.Count(), 5);
  for (int I = 0; I < 5; ++I) {
    const TZantrelParam* P = Target.GetParam(I);
    SCOPED_TRACE(Cases[I].Name);
    EXPECT_EQ(P->GetAlias(), Cases[I].Name);
    EXPECT_EQ(P->GetParamType(), Cases[I].Direction);
    EXPECT_EQ(P->GetDataType(), Cases[I].Type);
    EXPECT_EQ(P->IsNull(), Cases[I].Value.IsEmpty());
  }
}

TEST(ParamsAssign, AssignValuesMatchesNamesCaseSensitively) {
  TZantrelParams Own, Source;
  Own.CreateParam("ID")->SetAsInteger(1);
  Own.CreateParam("NAME")->SetAsString("kept");
  Source.CreateParam("id")->SetAsInteger(2);
  Source.CreateParam("NAME")->SetAsString("new");
  Own.AssignValues(&Source);
  EXPECT_EQ(Own.GetParam(0)->GetAsInteger(), 1);
  EXPECT_EQ(Own.GetParam(1)->GetAsString(), "new");
  Own.AssignValues(&Own); // onto itself: values survive
  EXPECT_EQ(Own.GetParam(1)->GetAsString(), "new");
}

} // namespace
} // namespace ztl
