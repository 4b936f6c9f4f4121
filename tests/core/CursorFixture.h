// A connected recording session with one recording cursor over a small
// result, shared by the cursor suites.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ZtlBase.h"
#include "tests/support/RecordingCursor.h"
#include "tests/support/RecordingDriver.h"

namespace ztl {

using TCalls = std::vector<std::string>;

inline const std::string SelectParts = "select * from parts where id > ? and qty < ?";

// Columns: ID (integer, key), NAME (string of 10), PRICE (float), NOTE
// (memo), PIC (blob), ROWKEY (integer, hidden key). Row layout: 4 + 11 + 8 +
// 0 + 0 + 4 = 27 bytes; 6 null indicators.
inline std::vector<TRecordingColumn> PartColumns() {
  return {{"ID", ntInteger, 0, false, kiKeyField},
          {"NAME", ntString, 10},
          {"PRICE", ntFloat},
          {"NOTE", ntMemo},
          {"PIC", ntBlob},
          {"ROWKEY", ntInteger, 0, false, kiHiddenKeyField}};
}

inline std::vector<std::vector<Variant>> PartRows() {
  return {{1, "bolt", 0.25, "steel", Variant::Null(), 101},
          {2, "nut", 0.1, Variant::Null(), Variant::Null(), 102},
          {3, "gear", Variant::Null(), "brass, 40 teeth", "\x01\x02\x03", 103}};
}

class CursorTest : public ::testing::Test {
protected:
  void SetUp() override {
    Session.Open();
    SQL.SetResult(PartColumns(), PartRows());
    Log().Clear();
  }

  TRecordingLog& Log() { return Session.GetLog(); }
  TCalls Calls() const { return Session.GetLog().Calls; }

  // Opens SelectParts for writing on its first row and forgets the calls.
  void OpenOnFirstRow() {
    ASSERT_TRUE(SQL.OpenWrite(SelectParts, {0, 100}));
    Log().Clear();
  }

  TRecordingSession Session;
  TRecordingSQL SQL{&Session};
};

} // namespace ztl
