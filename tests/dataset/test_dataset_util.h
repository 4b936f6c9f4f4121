// Shared fixture pieces of the dataset suites: a recording session with a
// query dataset over a small in-memory result.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/RecordingDataset.h"
#include "tests/support/TestHelpers.h"

namespace ztl::test {

// ID integer, NAME string(10), 3 rows (the second NAME null).
inline std::vector<TRecordingColumn> PeopleColumns() {
  return {{"ID", ntInteger}, {"NAME", ntString, 10}};
}
inline std::vector<std::vector<Variant>> PeopleRows() {
  return {{1, "Ann"}, {2, Variant::Null()}, {3, "Cyd"}};
}

// A session that disconnects when nobody holds it, and a dataset on it over
// the people result.
struct DatasetFixture : ::testing::Test {
  DatasetFixture() {
    Session.SetKeepConnection(false);
    Query = std::make_unique<TRecordingDataset>(nullptr, &Session);
    SQL().SetResult(PeopleColumns(), PeopleRows());
    Query->GetSQL()->SetText("select * from PEOPLE");
  }

  TRecordingSQL& SQL() { return Query->GetRecordingSQL(); }
  TRecordingLog& Log() { return Session.GetLog(); }
  // The calls of one operation (name without arguments) in the log.
  int CountCalls(const std::string& Operation) { return Log().CountOf(Operation); }

  TRecordingSession Session;
  std::unique_ptr<TRecordingDataset> Query;
};

} // namespace ztl::test
