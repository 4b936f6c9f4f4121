// A data module read from a form file, its query opened on a SQLite file:
// the persistent fields of the form are the query's fields, lookup and
// calculated ones included, and the events run the code bound to them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "drivers/sqlite/SQLiteDataset.h"
#include "drivers/sqlite/SQLiteRegister.h"
#include "framework/classes/TypInfo.h"
#include "framework/db/DB.h"
#include "framework/forms/DataModule.h"
#include "tests/support/TestHelpers.h"

namespace ztl {
namespace {

std::string ReadForm(const char* Name) {
  std::ifstream In(std::string(ZTL_FORMS_DIR) + "/" + Name, std::ios::binary);
  std::ostringstream S;
  S << In.rdbuf();
  return S.str();
}

class FormFieldsOnSQLite : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterZantrelSQLiteClasses();
    std::string Text = ReadForm("items.zfm");
    const std::string Placeholder = "'items.db'";
    const std::size_t At = Text.find(Placeholder);
    ASSERT_NE(At, std::string::npos);
    Text.replace(At, Placeholder.size(), "'" + (Temp.Path() / "items.db").string() + "'");

    TEventHandlers Handlers;
    Handlers.Add<TDataSetNotifyEvent>("Query1AfterOpen",
                                      [this](TDataSet* D) { Log.push_back("open " + D->GetName()); });
    Handlers.Add<TDataSetNotifyEvent>("Query1CalcFields", [](TDataSet* D) {
      D->FieldByName("TOTAL")->SetAsFloat(D->FieldByName("PRICE")->AsFloat() *
                                          D->FieldByName("QTY")->AsFloat());
    });
    RegisterEventHandlers("TDataModule", Handlers);
    Module.reset(StringToComponent(Text));

    TZantrelSQLiteQuery Setup;
    Setup.SetSession(dynamic_cast<TZantrelSession*>(Module->FindComponent("Session1")));
    Setup.GetSQL()->SetText(
        "create table COUNTRY(ID integer, NAME varchar(30));"
        "insert into COUNTRY values (1, 'Norway'), (2, 'Chile');"
        // Four bytes a character: the form's Size 40 is varchar(10).
        "create table ITEM(ID integer, NAME varchar(10), PRICE float, QTY integer,"
        " COUNTRY_ID bigint);"
        "insert into ITEM values (10, 'anchor', 2.5, 4, 1), (11, 'buoy', 1.25, 2, 2)");
    Setup.ExecSQL();
  }
  void TearDown() override { RegisterEventHandlers("TDataModule", {}); }

  TDataSet* Query(const char* Name) { return dynamic_cast<TDataSet*>(Module->FindComponent(Name)); }

  test::TTempDir Temp{"ztl-form-fields"};
  std::vector<std::string> Log;
  std::unique_ptr<TComponent> Module;
};

TEST_F(FormFieldsOnSQLite, OpenUsesTheFormsFieldsInsteadOfMakingItsOwn) {
  TDataSet* Items = Query("Query1");
  ASSERT_NE(Items, nullptr);
  Query("Query2")->Open();
  Items->Open();
  EXPECT_EQ(Log, std::vector<std::string>{"open Query1"});
  EXPECT_FALSE(Items->DefaultFields());
  ASSERT_EQ(Items->FieldCount(), 7);
  for (TField* F : Items->Fields())
    EXPECT_EQ(F->GetOwnerComponent(), Module.get()) << F->GetName();
  EXPECT_EQ(Items->FieldByName("NAME"), Module->FindComponent("Query1NAME"));

  // Rows come sorted by name: anchor, buoy.
  struct TRow {
    const char* Name;
    double Total;
    const char* Country;
  };
  for (const TRow& Row : {TRow{"anchor", 10.0, "Norway"}, TRow{"buoy", 2.5, "Chile"}}) {
    EXPECT_EQ(Items->FieldByName("NAME")->AsString(), Row.Name);
    EXPECT_EQ(Items->FieldByName("TOTAL")->AsFloat(), Row.Total) << Row.Name;
    EXPECT_EQ(Items->FieldByName("COUNTRY")->AsString(), Row.Country) << Row.Name;
    Items->Next();
  }
  EXPECT_TRUE(Items->Eof());

  Items->Close();
  // The fields stay with the form across a close and a second open.
  EXPECT_EQ(Items->FieldCount(), 7);
  Items->Open();
  EXPECT_EQ(Items->FieldByName("ID")->AsInteger(), 10);
}

TEST_F(FormFieldsOnSQLite, AFieldTheQueryDoesNotReturnStopsTheOpen) {
  TDataSet* Items = Query("Query1");
  auto* Query1 = dynamic_cast<TZantrelSQLiteQuery*>(Items);
  ASSERT_NE(Query1, nullptr);
  Query1->GetSQL()->SetText("select ID, NAME, PRICE, COUNTRY_ID from ITEM");
  try {
    Items->Open();
    ADD_FAILURE() << "opened without QTY";
  } catch (const EDatabaseError& E) {
    EXPECT_NE(std::string(E.GetMessage()).find("QTY"), std::string::npos) << E.GetMessage();
  }
  EXPECT_FALSE(Items->Active());
  EXPECT_TRUE(Log.empty());
}

} // namespace
} // namespace ztl
