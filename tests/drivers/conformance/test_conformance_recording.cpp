// The dataset conformance cases on the recording test driver: its "server"
// is the result held in memory, so a table is that result and the cases that
// need SQL (DriverSql) do not apply.
#include "tests/drivers/conformance/ConformanceCases.h"
#include "tests/support/RecordingDataset.h"

namespace ztl::conformance {

// DriverSql needs SQL, which this driver does not run.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(DriverSql);

namespace {

class TRecordingDriver {
public:
  static constexpr const char* Name = "recording";
  static std::string Unavailable() { return {}; }
  static bool Runs(TCase) { return true; }

  // The driver's own type of each logical type (its "declared type").
  static TZantrelFieldTypes TypeOf(TLogical T) {
    static const TZantrelFieldTypes Types[] = {ntString,   ntInteger, ntInt64, ntFloat,
                                               ntCurrency, ntDate,    ntTime,  ntDateTime,
                                               ntBoolean,  ntBinary,  ntMemo,  ntBlob};
    return Types[static_cast<int>(T)];
  }
  static std::string TypeName(TLogical T, int) { return std::to_string(int{TypeOf(T)}); }

  TZantrelSession& Session() { return Own; }
  std::unique_ptr<TZantrelCustomDataset> NewQuery(const std::string& SQL) {
    auto Q = std::make_unique<TRecordingDataset>(nullptr, &Own);
    Q->GetRecordingSQL().SetResult(Columns, Rows);
    // The helper cursors of key searches read the same result.
    Q->OnCreateSQL = [this](TRecordingSQL& S) { S.SetResult(Columns, Rows); };
    Q->GetSQL()->SetText(SQL);
    return Q;
  }

  // Every query made afterwards serves this table's rows, whatever its text.
  void CreateTable(const std::string&, const std::vector<TColumn>& Table,
                   const std::vector<std::vector<Variant>>& Values, bool Keyed = true) {
    Columns.clear();
    for (const TColumn& C : Table) {
      TRecordingColumn Column{C.Name, TypeOf(C.Type), C.Length};
      // A binary field is two bytes shorter than its column here.
      if (C.Type == TLogical::Binary)
        Column.Length += 2;
      if (Keyed && Columns.empty())
        Column.Key = kiKeyField;
      Columns.push_back(Column);
    }
    Rows = Values;
  }
  std::int64_t Prepares() { return Own.GetLog().CountOf("InternalPrepareOpen"); }

private:
  TRecordingSession Own;                  // the session every query uses
  std::vector<TRecordingColumn> Columns;  // the table's columns
  std::vector<std::vector<Variant>> Rows; // its rows
};

INSTANTIATE_TYPED_TEST_SUITE_P(Recording, DriverDatasets, TRecordingDriver);

} // namespace
} // namespace ztl::conformance
