// Format, comparisons, trimming, file names and integer texts.
#include <gtest/gtest.h>
#include <utility>

#include "framework/db/DBErrors.h"
#include "framework/rtl/SysUtils.h"

using namespace ztl;

TEST(Format, SubstitutesTextAndNumbersWithWidth) {
  struct Case {
    std::string Fmt;
    std::initializer_list<TFormatArg> Args;
    std::string Expected;
  };
  const Case Cases[] = {
      {"List index out of bounds (%d)", {std::int64_t{-1}}, "List index out of bounds (-1)"},
      {"Field \"%s\" not found", {"7"}, "Field \"7\" not found"},
      {"%s=%d%%", {"a", std::int64_t{5}}, "a=5%"},
      {"[%5d][%-4s][%.2s]", {std::int64_t{42}, "ab", "xyz"}, "[   42][ab  ][xy]"},
      {"%d", {"text for a number"}, "text for a number"},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(Format(C.Fmt, C.Args), C.Expected) << C.Fmt;
}

TEST(Format, MissingArgumentOrBadDirectiveRaisesInsteadOfOverreading) {
  EXPECT_THROW(Format("%s %s", {"one"}), EConvertError);
  EXPECT_THROW(Format("50%", {}), EConvertError);
  EXPECT_THROW(Format("%x", {std::int64_t{1}}), EConvertError);
}

TEST(CompareText, FoldsCaseAndOrdersByLength) {
  EXPECT_EQ(CompareText("Name", "NAME"), 0);
  EXPECT_LT(CompareText("abc", "abd"), 0);
  EXPECT_LT(CompareText("ab", "abc"), 0);
  EXPECT_GT(CompareText("b", "A"), 0);
  // Only the locale-aware comparison folds the letters of the upper half.
  EXPECT_NE(CompareText("\xE9t\xE9", "\xC9T\xC9"), 0);
  EXPECT_EQ(AnsiCompareText("\xE9t\xE9", "\xC9T\xC9"), 0);
  EXPECT_EQ(AnsiUpperCase("stra\xDF"
                          "e \xFF"),
            "STRA\xDF"
            "E \x9F");
  EXPECT_EQ(UpperCase("ab\xE9"), "AB\xE9");
  EXPECT_EQ(LowerCase("AbC"), "abc");
}

TEST(AnsiSameText, AgreesWithTheFoldingComparison) {
  const std::pair<const char*, const char*> Pairs[] = {
      {"", ""},     {"id", "ID"},   {"id", "idx"}, {"idx", "id"},
      {"", "a"},    {"\xE9t\xE9", "\xC9T\xC9"}, {"\xFF", "\x9F"}, {"ab", "aB "},
      {"name", "nama"},
  };
  for (const auto& [A, B] : Pairs)
    EXPECT_EQ(AnsiSameText(A, B), AnsiCompareText(A, B) == 0) << A << " / " << B;
}

TEST(Trim, RemovesControlCharactersAndBlanks) {
  EXPECT_EQ(Trim(" \t\r\n x y \x01"), "x y");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a \n"), "  a");
  EXPECT_EQ(Trim("   "), "");
}

TEST(FileNames, SplitOnBothSeparatorsAndDrives) {
  struct Case {
    const char *Path, *Name, *Dir, *Ext;
  };
  const Case Cases[] = {
      {"/home/u/db.sqlite", "db.sqlite", "/home/u", ".sqlite"},
      {"C:\\Data\\Orders.DB", "Orders.DB", "C:\\Data", ".DB"},
      {"C:\\x", "x", "C:\\", ""},
      {"/x", "x", "/", ""},
      {"plain", "plain", "", ""},
      {"dir.d/file", "file", "dir.d", ""},
      {"a.tar.gz", "a.tar.gz", "", ".gz"},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(ExtractFileName(C.Path), C.Name) << C.Path;
    EXPECT_EQ(ExtractFileDir(C.Path), C.Dir) << C.Path;
    EXPECT_EQ(ExtractFileExt(C.Path), C.Ext) << C.Path;
  }
}

TEST(StrToInt, AcceptsSignedDecimalAndHexRejectsTheRest) {
  EXPECT_EQ(StrToInt(" -42 "), -42);
  EXPECT_EQ(StrToInt("$FF"), 255);
  EXPECT_EQ(StrToInt("-9223372036854775808"), INT64_MIN);
  EXPECT_THROW(StrToInt("9223372036854775808"), EConvertError);
  EXPECT_THROW(StrToInt("12a"), EConvertError);
  EXPECT_THROW(StrToInt(""), EConvertError);
  EXPECT_EQ(StrToIntDef("x", 7), 7);
  try {
    StrToInt("abc");
  } catch (const EConvertError& E) {
    EXPECT_STREQ(E.what(), "'abc' is not a valid integer value");
  }
}

TEST(DatabaseError, RaisesWithOptionalComponentPrefix) {
  EXPECT_THROW(DatabaseError("x"), EDatabaseError);
  try {
    DatabaseErrorFmt("Field '%s' not found", {"ID"});
  } catch (const EDatabaseError& E) {
    EXPECT_STREQ(E.what(), "Field 'ID' not found");
  }
}
