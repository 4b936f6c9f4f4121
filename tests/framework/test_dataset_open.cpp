// Opening and closing, field definitions and field binding, the exception
// seam, translation, provider defaults, params and index definitions.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "framework/rtl/Dialogs.h"
#include "tests/framework/MemDataSet.h"
#include "tests/framework/test_dataset_util.h"

using namespace ztl;
using namespace ztl::test;

namespace {

struct Logged {
  Calls Log;
  TMemDataSet DS;
  Logged() {
    DS.AddColumn("ID", ftInteger);
    DS.AddColumn("NAME", ftString, 10);
    DS.AddRow({Variant(1), Variant("one")});
    DS.CallLog = &Log;
    DS.LogEvents();
  }
};

// Collects what reaches the application's exception seam.
struct SeamCapture {
  std::vector<std::string> Messages;
  SeamCapture() {
    Application().OnException = [this](TObject*, std::exception_ptr E) {
      try {
        std::rethrow_exception(E);
      } catch (const std::exception& Ex) {
        Messages.push_back(Ex.what());
      }
    };
  }
  ~SeamCapture() { Application().OnException = nullptr; }
};

} // namespace

TEST(DataSetOpen, EventOrderAndDefaultFields) {
  Logged L;
  EXPECT_EQ(L.DS.FieldCount(), 0);
  L.DS.Open();
  EXPECT_TRUE(L.DS.Active());
  EXPECT_TRUE(L.DS.DefaultFields());
  EXPECT_EQ(L.DS.FieldCount(), 2);
  EXPECT_EQ(L.DS.FieldByName("name")->AsString(), "one"); // names ignore case
  EXPECT_EQ(L.DS.FieldByName("ID")->FieldNo(), 1);
  L.DS.Open(); // already open: nothing
  L.DS.Close();
  EXPECT_EQ(L.DS.FieldCount(), 0);
  EXPECT_EQ(L.DS.LiveBuffers, 0);
  EXPECT_EQ(L.Log, (Calls{"BeforeOpen", "InternalOpen", "InternalInitFieldDefs", "AfterOpen",
                          "AfterScroll", "BeforeClose", "InternalClose", "AfterClose"}));
}

TEST(DataSetOpen, AFailedOpenLeavesNothingBehind) {
  for (const char* Step : {"InternalOpen", "GetRecord"}) {
    SCOPED_TRACE(Step);
    Logged L;
    TDataSource Source;
    TLogLink Link;
    Source.SetDataSet(&L.DS);
    Link.SetDataSource(&Source);
    L.DS.FailNext(Step);
    EXPECT_EQ(MessageOf([&] { L.DS.Open(); }), std::string(Step) + " failed");
    EXPECT_FALSE(L.DS.Active());
    EXPECT_EQ(L.DS.LiveBuffers, 0);
    EXPECT_EQ(L.DS.FieldCount(), 0);
    EXPECT_TRUE(Link.Calls.empty());
    EXPECT_EQ(std::count(L.Log.begin(), L.Log.end(), "AfterOpen"), 0);
    EXPECT_EQ(L.Log.back(), "InternalClose");
    L.DS.Open(); // and it can open afterwards
    EXPECT_TRUE(L.DS.Active());
  }

  // An error in the events after the records are there closes it again,
  // and the links hear of both changes.
  Logged L;
  TDataSource Source;
  TLogLink Link;
  Source.SetDataSet(&L.DS);
  Link.SetDataSource(&Source);
  L.DS.AfterOpen = [](TDataSet*) { DatabaseError("late"); };
  EXPECT_EQ(MessageOf([&] { L.DS.Open(); }), "late");
  EXPECT_FALSE(L.DS.Active());
  EXPECT_EQ(L.DS.LiveBuffers, 0);
  EXPECT_EQ(Link.Calls, (Calls{"ActiveChanged", "ActiveChanged"}));
}

TEST(DataSetOpen, ChecksAndTheirTexts) {
  Logged L;
  EXPECT_EQ(MessageOf([&] { L.DS.CheckActive(); }),
            "Cannot perform this operation on a closed dataset");
  EXPECT_EQ(MessageOf([&] { L.DS.Next(); }), "Cannot perform this operation on a closed dataset");
  L.DS.SetName("Orders");
  L.DS.Open();
  EXPECT_EQ(MessageOf([&] { L.DS.CheckInactive(); }),
            "Orders: Cannot perform this operation on an open dataset");
  EXPECT_EQ(MessageOf([&] { L.DS.FieldByName("NOPE"); }), "Orders: Field 'NOPE' not found");
  EXPECT_EQ(L.DS.FindField("NOPE"), nullptr);
  EXPECT_EQ(MessageOf([&] { L.DS.Fields()[5]; }), "Orders: Field index out of range");
  TIntegerField Late;
  EXPECT_EQ(MessageOf([&] { Late.SetDataSet(&L.DS); }),
            "Orders: Cannot perform this operation on an open dataset");
  EXPECT_EQ(MessageOf([&] { (void)Late.AsInteger(); }), "Field '' has no dataset");
}

TEST(DataSetOpen, ReentrantOpenAndCloseAreIgnored) {
  Logged L;
  L.DS.AfterOpen = [](TDataSet* DS) { DS->Close(); };
  L.DS.BeforeClose = [](TDataSet* DS) { DS->Open(); };
  L.DS.Open();
  EXPECT_TRUE(L.DS.Active());
  L.DS.Close();
  EXPECT_FALSE(L.DS.Active());
}

TEST(DataSetFields, PersistentFieldsBindByNameTypeAndSize) {
  struct Case {
    std::function<TField*()> Make;
    std::string Message;
  };
  const Case Cases[] = {
      {[] {
         auto* F = new TIntegerField;
         F->SetFieldName("NOPE");
         return F;
       },
       "Field 'NOPE' not found"},
      {[] {
         auto* F = new TStringField;
         F->SetFieldName("ID");
         return F;
       },
       "Type mismatch for field 'ID', expecting: String actual: Integer"},
      {[] {
         auto* F = new TStringField;
         F->SetFieldName("NAME");
         F->SetSize(5);
         return F;
       },
       "Size mismatch for field 'NAME', expecting: 5 actual: 10"},
  };
  for (const Case& C : Cases) {
    Logged L;
    std::unique_ptr<TField> Field(C.Make());
    Field->SetDataSet(&L.DS);
    EXPECT_EQ(MessageOf([&] { L.DS.Open(); }), C.Message);
    EXPECT_FALSE(L.DS.Active());
    EXPECT_EQ(L.DS.FieldCount(), 1); // a persistent field stays attached
    EXPECT_EQ(L.DS.LiveBuffers, 0);
  }

  Logged L;
  TIntegerField Id;
  Id.SetFieldName("ID");
  Id.SetDataSet(&L.DS);
  TIntegerField Twin;
  Twin.SetFieldName("id");
  EXPECT_EQ(MessageOf([&] { Twin.SetDataSet(&L.DS); }), "Duplicate field name 'id'");
  L.DS.Open();
  EXPECT_FALSE(L.DS.DefaultFields());
  EXPECT_EQ(L.DS.FieldCount(), 1); // only the persistent field
  EXPECT_EQ(Id.AsInteger(), 1);
  L.DS.Close();
  EXPECT_EQ(Id.DataSet(), &L.DS);
}

TEST(DataSetFields, DefinitionsUpdateThroughAnInformationQuery) {
  Logged L;
  L.DS.Columns.push_back({"HIDDEN", ftUnknown, 0, false});
  L.DS.FieldDefs().Update();
  EXPECT_EQ(L.Log, (Calls{"InternalInitFieldDefs"}));
  EXPECT_FALSE(L.DS.Active());
  ASSERT_EQ(L.DS.FieldDefs().Count(), 3);
  EXPECT_EQ(L.DS.FieldDefs()[1].FieldNo, 2);
  EXPECT_EQ(L.DS.FieldDefs().Find("name").Size, 10u);
  EXPECT_EQ(L.DS.FieldDefs().IndexOf("missing"), -1);
  EXPECT_EQ(MessageOf([&] { L.DS.FieldDefs().Add("Id", ftInteger); }), "Duplicate field name 'Id'");
  L.DS.FieldDefs().Update(); // up to date: no second query
  EXPECT_EQ(L.Log.size(), 1u);

  L.DS.Open(); // a definition without a type gets no field
  EXPECT_EQ(L.DS.FieldCount(), 2);
}

TEST(DataSetFields, GetFieldListAndFieldValues) {
  Logged L;
  L.DS.Open();
  std::vector<TField*> List;
  L.DS.GetFieldList(List, " ID ;; NAME ");
  ASSERT_EQ(List.size(), 2u);
  EXPECT_EQ(List[1]->FieldName(), "NAME");
  Variant Both = L.DS.GetFieldValue("ID;NAME");
  EXPECT_EQ(Both.LowBound(), 0);
  EXPECT_EQ(Both.HighBound(), 1);
  EXPECT_EQ(Both.GetElement(1).AsString(), "one");
  EXPECT_EQ(L.DS.GetFieldValue("ID").AsInteger(), 1);
  L.DS.Edit();
  L.DS.SetFieldValue("ID;NAME", VarArrayOf({Variant(7), Variant("seven")}));
  EXPECT_EQ(L.DS.FieldByName("NAME")->AsString(), "seven");
  EXPECT_THROW(L.DS.SetFieldValue("ID;NAME", Variant(1)), EVariantError);
  L.DS.Cancel();
  EXPECT_EQ(MessageOf([&] { L.DS.GetFieldList(List, "ID;X"); }), "Field 'X' not found");
}

TEST(DataSetFields, TranslateConvertsStringFieldsBothWays) {
  Logged L;
  L.DS.TranslateUpper = true;
  L.DS.Open();
  EXPECT_EQ(L.DS.FieldByName("NAME")->AsString(), "one");
  L.DS.Edit();
  L.DS.FieldByName("NAME")->SetAsString("Mixed");
  L.DS.Post();
  EXPECT_STREQ(reinterpret_cast<const char*>(L.DS.Rows[0].Cells[1].Data.data()), "MIXED");
  EXPECT_EQ(L.DS.FieldByName("NAME")->AsString(), "mixed");
  auto* Name = dynamic_cast<TStringField*>(L.DS.FieldByName("NAME"));
  Name->Transliterate = false;
  EXPECT_EQ(Name->AsString(), "MIXED");

  char Buffer[8] = "abc";
  TMemDataSet Plain;
  EXPECT_EQ(Plain.Translate("xyz", Buffer, true), 3);
  EXPECT_STREQ(Buffer, "xyz");
}

TEST(ExceptionSeam, DesignTimeLoadingAndDestructorsReportInsteadOfRaising) {
  SeamCapture Seam;
  {
    Logged L;
    L.DS.SetDesigning(true);
    L.DS.SetLoadingState(true);
    L.DS.SetActive(true); // remembered until loaded
    EXPECT_FALSE(L.DS.Active());
    L.DS.FailNext("InternalOpen");
    L.DS.Loaded();
    EXPECT_FALSE(L.DS.Active());
    EXPECT_EQ(Seam.Messages, (std::vector<std::string>{"InternalOpen failed"}));
  }
  {
    Logged L;
    L.DS.SetLoadingState(true);
    L.DS.SetActive(true);
    L.DS.FailNext("InternalOpen");
    EXPECT_THROW(L.DS.Loaded(), EDatabaseError); // at run time it raises
  }
  {
    Logged L;
    L.DS.SetLoadingState(true);
    L.DS.SetActive(true);
    L.DS.Loaded();
    EXPECT_TRUE(L.DS.Active());
  }

  // An aborted operation is silent.
  Seam.Messages.clear();
  try {
    Abort();
  } catch (...) {
    Application().HandleException(nullptr);
  }
  EXPECT_TRUE(Seam.Messages.empty());

  // A close that fails in a destructor is reported, not raised.
  {
    auto DS = std::make_unique<TMemDataSet>();
    DS->FillNumbers(1);
    DS->Open();
    DS->BeforeClose = [](TDataSet*) { DatabaseError("cannot close"); };
    DS.reset();
  }
  EXPECT_EQ(Seam.Messages, (std::vector<std::string>{"cannot close"}));
}

TEST(ExceptionSeam, WithoutAHandlerTheMessageBoxShowsIt) {
  std::vector<std::string> Boxes;
  TMessageBoxSink Old = SetMessageBoxSink(
      [&](const std::string&, const std::string& Text, TMsgBoxIcon) { Boxes.push_back(Text); });
  try {
    DatabaseError("shown");
  } catch (...) {
    Application().HandleException(nullptr);
  }
  SetMessageBoxSink(Old);
  EXPECT_EQ(Boxes, (std::vector<std::string>{"shown"}));
}

TEST(ProviderDefaults, WhatADatasetAnswersUnlessItKnowsBetter) {
  Logged L;
  L.DS.Open();
  EXPECT_EQ(MessageOf([&] { L.DS.PSExecute(); }), "Operation not supported by this dataset");
  EXPECT_EQ(L.DS.PSGetDefaultOrder(), nullptr);
  EXPECT_EQ(L.DS.PSGetKeyFields(), "");
  L.DS.FieldByName("ID")->ProviderFlags.Include(pfInKey);
  L.DS.FieldByName("NAME")->ProviderFlags.Include(pfInKey);
  EXPECT_EQ(L.DS.PSGetKeyFields(), "ID;NAME");
  EXPECT_EQ(L.DS.PSGetQuoteChar(), "\"");
  EXPECT_FALSE(L.DS.PSIsSQLBased());
  EXPECT_FALSE(L.DS.PSInTransaction());
  EXPECT_EQ(L.DS.PSGetParams(), nullptr);
  EXPECT_EQ(L.DS.PSGetTableName(), "");

  IProviderSupport Provider(L.DS);
  EXPECT_EQ(Provider.PSGetQuoteChar(), "\"");
  EUpdateError Prev("earlier", "", 7, 0, nullptr);
  auto Error =
      Provider.PSGetUpdateException(std::make_exception_ptr(EDatabaseError("boom")), &Prev);
  EXPECT_STREQ(Error->what(), "boom");
  EXPECT_EQ(Error->Context(), "");
  EXPECT_EQ(Error->ErrorCode(), 1);
  EXPECT_EQ(Error->PreviousError(), 7);
  EXPECT_THROW(std::rethrow_exception(Error->OriginalException()), EDatabaseError);
  EXPECT_EQ(Provider.PSGetUpdateException(nullptr, nullptr)->PreviousError(), 0);
}

TEST(Params, ListOwnershipLookupAndCopies) {
  TParams Params;
  TParam& A = Params.CreateParam(ftUnknown, "Alpha", ptInput);
  Params.CreateParam(ftInteger, "alpha", ptOutput);
  EXPECT_EQ(Params.Count(), 2);
  EXPECT_EQ(&Params.ParamByName("ALPHA"), &A); // the first, ignoring case
  EXPECT_EQ(MessageOf([&] { Params.ParamByName("beta"); }), "Parameter 'beta' not found");
  EXPECT_EQ(A.Collection(), &Params);
  EXPECT_TRUE(A.IsNull());
  EXPECT_FALSE(A.Bound());
  A.SetValue(Variant(3.5));
  EXPECT_TRUE(A.Bound());
  EXPECT_EQ(A.DataType(), ftFloat); // taken from the value
  EXPECT_EQ(A.AsString(), "3.5");
  A.Clear();
  EXPECT_TRUE(A.IsNull());

  TParams Copy;
  Copy.Assign(&Params);
  ASSERT_EQ(Copy.Count(), 2);
  EXPECT_EQ(Copy[1].ParamType(), ptOutput);
  EXPECT_NE(&Copy[0], &A);

  std::unique_ptr<TParam> Taken = Params.RemoveParam(A);
  EXPECT_EQ(Taken->Collection(), nullptr);
  EXPECT_EQ(Params.Count(), 1);
  EXPECT_EQ(Params.RemoveParam(*Taken), nullptr);
  Copy.AddParam(std::move(Taken));
  EXPECT_EQ(Copy.Count(), 3);
  EXPECT_THROW(Copy[3], EListError);
}

TEST(Params, ExchangeValuesWithFields) {
  Logged L;
  L.DS.Open();
  TParam P;
  P.Assign(L.DS.FieldByName("NAME"));
  EXPECT_EQ(P.Name(), "NAME");
  EXPECT_EQ(P.DataType(), ftString);
  EXPECT_EQ(P.AsString(), "one");
  L.DS.Edit();
  P.SetAsString("two");
  L.DS.FieldByName("NAME")->Assign(&P);
  EXPECT_EQ(L.DS.FieldByName("NAME")->AsString(), "two");
  L.DS.Cancel();
}

TEST(IndexDefs, StandaloneAndInAList) {
  TIndexDef Def("ByName", "NAME;ID", {ixUnique});
  Def.DescFields = "ID";
  EXPECT_EQ(Def.Collection(), nullptr);
  TIndexDefs List;
  auto Copy = std::make_unique<TIndexDef>();
  Copy->Assign(&Def);
  TIndexDef& Added = List.AddIndexDef(std::move(Copy));
  EXPECT_EQ(Added.Collection(), &List);
  EXPECT_EQ(List.Find("byname").DescFields, "ID");
  EXPECT_TRUE(List[0].Options.Contains(ixUnique));
  EXPECT_EQ(MessageOf([&] { List.Find("none"); }), "Index 'none' not found");
}
