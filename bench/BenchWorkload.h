// What the driver benchmarks share, so that their figures stay comparable
// from one driver to the next: the table's size and the share of it that is
// looked up and inserted, the keys looked up, the values of each row, and
// the way an application reads a dataset's record.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "framework/db/DataSet.h"
#include "framework/variant/Variants.h"

// Each workload's timed part is a function of its own (never inlined), so
// that instruction counts can be limited to it.
#define ZTL_BENCH_ONCE __attribute__((noinline))

namespace ztl::bench {

// Rows of table t: ZTL_BENCH_ROWS, else the driver's default. Lookups and
// inserts are a fifth of it.
struct TWorkloadSize {
  int Rows, Lookups, Inserts;
};

inline TWorkloadSize WorkloadSize(int DefaultRows) {
  const char* Text = std::getenv("ZTL_BENCH_ROWS");
  const int N = Text ? std::atoi(Text) : 0;
  const int Rows = N > 0 ? N : DefaultRows;
  return {Rows, std::max(1, Rows / 5), std::max(1, Rows / 5)};
}

// The same pseudo-random keys in every run and for every side.
inline std::vector<int> LookupKeys(int Rows, int Count) {
  std::mt19937 Random(42);
  std::uniform_int_distribution<int> Pick(1, Rows);
  std::vector<int> Ids(static_cast<std::size_t>(Count));
  for (int& Id : Ids)
    Id = Pick(Random);
  return Ids;
}

// The text values of row Id; amount is Id * 0.25 and qty Id % 100.
struct TRowText {
  std::string Name, Created, Note;
};

inline TRowText RowText(int Id) {
  TRowText R;
  R.Name = "customer " + std::to_string(Id);
  char Buf[32];
  const int Sec = Id % 86400;
  std::snprintf(Buf, sizeof Buf, "2024-%02d-%02d %02d:%02d:%02d", 1 + Id % 12, 1 + Id % 28,
                Sec / 3600, Sec / 60 % 60, Sec % 60);
  R.Created = Buf;
  R.Note = "note of row " + std::to_string(Id) + ", written to look like a short remark";
  return R;
}

// Rows 1..Count as the cursor and the query take them, ready beforehand as
// the raw sides have their values ready.
inline std::vector<std::array<Variant, 6>> InsertValues(int Count) {
  std::vector<std::array<Variant, 6>> Values;
  Values.reserve(static_cast<std::size_t>(Count));
  for (int Id = 1; Id <= Count; ++Id) {
    const TRowText T = RowText(Id);
    Values.push_back({Variant(Id), Variant(T.Name), Variant(Id * 0.25), Variant(Id % 100),
                      Variant(T.Created), Variant(T.Note)});
  }
  return Values;
}

// Reads every field of a dataset's current record the way an application
// does, through the fields, the note as a string. Fields is the dataset's
// field list or the fields taken from it once.
template <class TFieldList>
void ReadRecord(const TFieldList& F, std::int64_t& Sum) {
  Sum += F[0]->GetAsLargeInt();
  const std::string Name = F[1]->GetAsString();
  Sum += static_cast<std::int64_t>(Name.size()) + Name[0];
  Sum += static_cast<std::int64_t>(F[2]->GetAsFloat());
  Sum += F[3]->GetAsLargeInt();
  Sum += static_cast<std::int64_t>(F[4]->GetAsDateTime());
  const std::string Note = F[5]->GetAsString();
  Sum += static_cast<std::int64_t>(Note.size()) + Note[0];
}

} // namespace ztl::bench
