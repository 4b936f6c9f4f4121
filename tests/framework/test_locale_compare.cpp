// Tests of the locale-aware text comparison.
#include <gtest/gtest.h>

#include "framework/text/LocaleCompare.h"

namespace ztl {
namespace {

struct TOrderCase {
  const char* Left;
  const char* Right;
  std::uint32_t Flags;
  int Expected;
};

class LocaleOrder : public ::testing::TestWithParam<TOrderCase> {};

TEST_P(LocaleOrder, ComparesLevelByLevel) {
  const TOrderCase& C = GetParam();
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, C.Flags, C.Left, -1, C.Right, -1), C.Expected)
      << C.Left << " / " << C.Right;
  // The order is antisymmetric.
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, C.Flags, C.Right, -1, C.Left, -1), 4 - C.Expected)
      << C.Right << " / " << C.Left;
}

constexpr std::uint32_t Str = SORT_STRINGSORT;
constexpr std::uint32_t StrNoCase = SORT_STRINGSORT | NORM_IGNORECASE;

INSTANTIATE_TEST_SUITE_P(
    Cases, LocaleOrder,
    ::testing::Values(TOrderCase{"abc", "abc", Str, CSTR_EQUAL},
                      // Letters before case: a < B although 'B' < 'a' in code order.
                      TOrderCase{"a", "B", Str, CSTR_LESS_THAN},
                      // Lower case sorts before upper case, and only decides at the end.
                      TOrderCase{"smith", "Smith", Str, CSTR_LESS_THAN},
                      TOrderCase{"Smith", "smitz", Str, CSTR_LESS_THAN},
                      TOrderCase{"SMITH", "smith", StrNoCase, CSTR_EQUAL},
                      // Accents after letters, before case.
                      TOrderCase{"\xE9t\xE9", "etz", Str, CSTR_LESS_THAN}, // ete with accents < etz
                      TOrderCase{"ete", "\xE9te", Str, CSTR_LESS_THAN},    // unaccented first
                      TOrderCase{"\xE9te", "Ete", Str,
                                 CSTR_GREATER_THAN}, // the accent outweighs case
                      TOrderCase{"ete", "\xE9te", Str | NORM_IGNORENONSPACE, CSTR_EQUAL},
                      // Symbols before digits before letters.
                      TOrderCase{"-1", "1", Str, CSTR_LESS_THAN},
                      TOrderCase{"9", "a", Str, CSTR_LESS_THAN},
                      TOrderCase{" z", "a", Str, CSTR_LESS_THAN},
                      // A word sort looks through hyphens; a string sort does not.
                      TOrderCase{"co-op", "coop", 0, CSTR_EQUAL},
                      TOrderCase{"co-op", "coop", Str, CSTR_LESS_THAN},
                      TOrderCase{"a b", "ab", Str | NORM_IGNORESYMBOLS, CSTR_EQUAL},
                      // Ligatures sort as their letters; thorn after z.
                      TOrderCase{"\xE6on", "aeon", Str, CSTR_GREATER_THAN},
                      TOrderCase{"\xE6z", "af", Str, CSTR_LESS_THAN},
                      TOrderCase{"Stra\xDF"
                                 "e",
                                 "Strasse", StrNoCase, CSTR_GREATER_THAN},
                      TOrderCase{"Stra\xDF"
                                 "e",
                                 "Strast", StrNoCase, CSTR_LESS_THAN},
                      TOrderCase{"\xFE", "z", Str, CSTR_GREATER_THAN},
                      // A leading part sorts first; control characters are ignored.
                      TOrderCase{"Smi", "Smith", Str, CSTR_LESS_THAN},
                      TOrderCase{"a\x01"
                                 "b",
                                 "ab", Str, CSTR_EQUAL}));

TEST(LocaleCompare, CountsEndTextsAtTheirNulOrCount) {
  // Only the first three characters of each take part.
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, Str, "smithers", 3, "smi", 3), CSTR_EQUAL);
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, StrNoCase, "smi", 3, "Smith", 3), CSTR_EQUAL);
  // A count past the NUL stops at the NUL: nothing beyond is read.
  const char Short[4] = {'a', 'b', '\0', 'z'};
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, Str, Short, 4, "ab", -1), CSTR_EQUAL);
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, Str, "", 0, "", -1), CSTR_EQUAL);
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, Str, nullptr, 0, "a", 1), CSTR_LESS_THAN);
}

TEST(LocaleCompare, InvalidCallsFail) {
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, Str, nullptr, 1, "a", 1), 0);
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, Str, "a", 1, nullptr, -1), 0);
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0x80000000u, "a", 1, "a", 1), 0);
}

} // namespace
} // namespace ztl
