// Fixture of the editing and searching suites: a modifiable recording
// dataset whose "server" can reorder or alter its rows before each
// execution and report a table's unique key.
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/dataset/test_dataset_util.h"
#include "tests/support/RecordingDataset.h"

namespace ztl::test {

// A recording dataset with the hooks a database would supply: BeforeExecute
// runs before every execution (so a test can sort or change the rows the
// way a server would), and UniqueKey is the table's unique key that the
// catalog query reports (none: the driver has no catalog query).
class TSearchDataset : public TRecordingDataset {
public:
  explicit TSearchDataset(TRecordingSession* ASession) : TRecordingDataset(nullptr, ASession) {
    OnCreateSQL = [this](TRecordingSQL& Helper) {
      std::vector<std::vector<Variant>> Rows;
      for (const std::string& Name : UniqueKey)
        Rows.push_back({Variant(Name + "  ")}); // catalogs pad names with blanks
      Helper.SetResult({{"column_name", ntString, 30}}, std::move(Rows));
    };
  }

  std::function<void()> BeforeExecute;
  std::vector<std::string> UniqueKey;

  using TZantrelDataset::IndexDefs;
  using TZantrelDataset::KeyFields;

protected:
  void GetCursor(bool GenHandle) override {
    if (BeforeExecute)
      BeforeExecute();
    TRecordingDataset::GetCursor(GenHandle);
  }
  std::string QueryUniqueFields() override {
    return UniqueKey.empty() ? std::string() : "select column_name from keys where tab = :t";
  }
};

// ID integer, NAME string(10), PRICE currency; the rows as given.
inline std::vector<TRecordingColumn> PartColumns() {
  return {{"ID", ntInteger}, {"NAME", ntString, 10}, {"PRICE", ntCurrency}};
}

struct SearchFixture : ::testing::Test {
  SearchFixture() : Query(std::make_unique<TSearchDataset>(&Session)) { Query->SetReadOnly(false); }

  // Opens SQL over Rows.
  void OpenOn(const std::string& Text, std::vector<std::vector<Variant>> Rows) {
    SQL().SetResult(PartColumns(), std::move(Rows));
    Query->GetSQL()->SetText(Text);
    Query->Open();
    Log().Clear();
  }

  TRecordingSQL& SQL() { return Query->GetRecordingSQL(); }
  TRecordingLog& Log() { return Session.GetLog(); }
  int CountCalls(const std::string& Operation) { return Log().CountOf(Operation); }
  bool Called(const std::string& Call) { return Log().Has(Call); }
  int Id() { return Query->FieldByName("ID")->AsInteger(); }
  std::string Name() { return Query->FieldByName("NAME")->AsString(); }

  TRecordingSession Session;
  std::unique_ptr<TSearchDataset> Query;
};

} // namespace ztl::test
