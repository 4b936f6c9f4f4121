// The SQL tokenizer: token streams of statements, compound keywords and their look-ahead,
// numbers, quotes, comments, and the guarantees that matter for outside text (no read past the
// NUL, progress on every token, bounded work on long runs of look-ahead words).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "sqltext/ZtlUtil.h"

using namespace ztl;

namespace {

struct Token {
  TZantrelSQLTokenKind Kind;
  std::string Text;
  bool operator==(const Token&) const = default;
};

void PrintTo(const Token& T, std::ostream* Os) {
  *Os << '{' << T.Kind << ", \"" << T.Text << "\"}";
}

// Reads every token up to and including skEnd, keeping the current clause as callers do.
std::vector<Token> Tokenize(const std::string& SQL) {
  std::vector<Token> Tokens;
  const char* Position = SQL.c_str();
  TZantrelSQLTokenKind Clause = skNone;
  std::string Text;
  for (;;) {
    const TZantrelSQLTokenKind Kind = ZtlReadSQLToken(Position, Text, Clause);
    Tokens.push_back({Kind, Text});
    if (ZtlIsClauseKeyword(Kind))
      Clause = Kind;
    if (Kind == skEnd)
      return Tokens;
  }
}

struct TokenCase {
  std::string SQL;
  std::vector<Token> Expected; // without the final skEnd
};

void ExpectTokens(const std::vector<TokenCase>& Cases) {
  for (const TokenCase& C : Cases) {
    std::vector<Token> Expected = C.Expected;
    Expected.push_back({skEnd, ""});
    EXPECT_EQ(Tokenize(C.SQL), Expected) << C.SQL;
  }
}

} // namespace

TEST(SQLTokens, StatementIsCutIntoClassifiedWords) {
  ExpectTokens({
      {"SELECT * FROM customer c WHERE c.id = :id AND name LIKE :pat ORDER BY name DESC, 2",
       {{skSelect, "SELECT"},
        {skAllFields, "*"},
        {skFrom, "FROM"},
        {skTableName, "customer"},
        {skTableName, "c"},
        {skWhere, "WHERE"},
        {skTableName, "c"},
        {skFieldName, "id"},
        {skOperator, "="},
        {skFieldName, ":id"},
        {skAnd, "AND"},
        {skFieldName, "name"},
        {skLike, "LIKE"},
        {skFieldName, ":pat"},
        {skOrderBy, "ORDER BY"},
        {skFieldName, "name"},
        {skDescending, "DESC"},
        {skNumber, "2"}}},
      {"", {}},
      {" ,\r\n ", {}},
      {"select distinct a from t where * or distinct",
       {{skSelect, "select"},
        {skDistinct, "distinct"},
        {skFieldName, "a"},
        {skFrom, "from"},
        {skTableName, "t"},
        {skWhere, "where"},
        {skFieldName, "*"},
        {skOr, "or"},
        {skFieldName, "distinct"}}},
      // Tab and other control characters are word characters, not separators.
      {"a\tFROM b", {{skFieldName, "a\tFROM"}, {skFieldName, "b"}}},
      {"a<>:b c >= d",
       {{skFieldName, "a<>:b"}, {skFieldName, "c"}, {skOperator, ">="}, {skFieldName, "d"}}},
      {"x := :y z:=1",
       {{skFieldName, "x"},
        {skAssign, ":="},
        {skFieldName, ":y"},
        {skAssign, "z:="},
        {skNumber, "1"}}},
  });
}

TEST(SQLTokens, CompoundKeywordsKeepTheirLettersJoinedBySingleSpaces) {
  ExpectTokens({
      {"x is  not\r\nNull", {{skFieldName, "x"}, {skIsNotNull, "is not Null"}}},
      {"x IS NULL", {{skFieldName, "x"}, {skIsNull, "IS NULL"}}},
      {"a IS b", {{skFieldName, "a"}, {skValue, "IS"}, {skFieldName, "b"}}},
      {"a IS NOT b",
       {{skFieldName, "a"}, {skValue, "IS"}, {skFieldName, "NOT"}, {skFieldName, "b"}}},
      {"IS NOT", {{skValue, "IS"}, {skFieldName, "NOT"}}},
      {"null", {{skValue, "null"}}},
      {"group  By for update Order by",
       {{skGroupBy, "group By"}, {skForUpdate, "for update"}, {skOrderBy, "Order by"}}},
      {"group x for ORDER",
       {{skFieldName, "group"}, {skFieldName, "x"}, {skFieldName, "for"}, {skFieldName, "ORDER"}}},
      // The second word is compared by its token text, whatever kind of token it is.
      {"IS 'null'", {{skIsNull, "IS null"}}},
      {"IS .NULL", {{skIsNull, "IS NULL"}}},
      {"a.IS NULL", {{skTableName, "a"}, {skFieldName, "IS"}, {skValue, "NULL"}}},
  });
}

TEST(SQLTokens, RunsOfLookAheadWordsGiveTheWordByWordReading) {
  // A look-ahead word followed by another one never joins it: the second one's text starts
  // with its own keyword.
  ExpectTokens({
      {"IS IS NULL", {{skValue, "IS"}, {skIsNull, "IS NULL"}}},
      {"IS NOT IS NULL", {{skValue, "IS"}, {skFieldName, "NOT"}, {skIsNull, "IS NULL"}}},
      {"IS NOT NOT NULL",
       {{skValue, "IS"}, {skFieldName, "NOT"}, {skFieldName, "NOT"}, {skValue, "NULL"}}},
      {"GROUP GROUP BY", {{skFieldName, "GROUP"}, {skGroupBy, "GROUP BY"}}},
      {"ORDER FOR UPDATE", {{skFieldName, "ORDER"}, {skForUpdate, "FOR UPDATE"}}},
      {"FOR IS NULL", {{skFieldName, "FOR"}, {skIsNull, "IS NULL"}}},
      {"ORDER IS BY", {{skFieldName, "ORDER"}, {skValue, "IS"}, {skFieldName, "BY"}}},
  });

  // Long runs: each word reads the next one once, without recursion, so this is linear.
  struct LongRun {
    std::string Word, Closing;
    TZantrelSQLTokenKind Lone, Joined;
  };
  const LongRun Runs[] = {{"IS", "NULL", skValue, skIsNull},
                          {"GROUP", "BY", skFieldName, skGroupBy},
                          {"FOR", "UPDATE", skFieldName, skForUpdate},
                          {"ORDER", "BY", skFieldName, skOrderBy}};
  constexpr int Count = 10000;
  for (const LongRun& Run : Runs) {
    std::string SQL;
    for (int I = 0; I < Count; ++I)
      SQL += Run.Word + ' ';
    SQL += Run.Closing;
    const std::vector<Token> Tokens = Tokenize(SQL);
    ASSERT_EQ(Tokens.size(), static_cast<std::size_t>(Count + 1)) << Run.Word;
    for (int I = 0; I + 1 < Count; ++I)
      ASSERT_EQ(Tokens[I], (Token{Run.Lone, Run.Word})) << Run.Word << " #" << I;
    EXPECT_EQ(Tokens[Count - 1], (Token{Run.Joined, Run.Word + ' ' + Run.Closing}));
  }
}

TEST(SQLTokens, NumbersAndFullStops) {
  ExpectTokens({
      {"1.5 .5 -2 1e5",
       {{skNumber, "1.5"},
        {skNumber, "5"},
        {skFieldName, "-2"},
        {skNumber, "1"},
        {skFieldName, "e5"}}},
      {"a1 x.2", {{skFieldName, "a1"}, {skTableName, "x"}, {skNumber, "2"}}},
      {"db.own.t", {{skTableName, "db"}, {skTableName, "own"}, {skFieldName, "t"}}},
      {"a. b .", {{skTableName, "a"}, {skFieldName, "b"}}},
  });
}

TEST(SQLTokens, QuotedTexts) {
  ExpectTokens({
      {"'it''s :no' x", {{skValue, "it"}, {skValue, "s :no"}, {skFieldName, "x"}}},
      {"\"own\".\"tab\" `q`", {{skTableName, "own"}, {skFieldName, "tab"}, {skValue, "q"}}},
      {"'a\"b' \"\"", {{skValue, "a\"b"}, {skValue, ""}}},
      // A word glued to an opening quote loses its text.
      {"ab'cd' x", {{skValue, ""}, {skFieldName, "x"}}},
      // Unterminated: the quote is an ordinary character and the rest scans as words.
      {"SELECT 'abc def", {{skSelect, "SELECT"}, {skFieldName, "'abc"}, {skFieldName, "def"}}},
      {"x\" 'y", {{skFieldName, "x\""}, {skFieldName, "'y"}}},
  });
}

TEST(SQLTokens, Comments) {
  ExpectTokens({
      {"a // note\nb", {{skFieldName, "a"}, {skComment, "// note"}, {skFieldName, "b"}}},
      {"a /* note */ b", {{skFieldName, "a"}, {skComment, "/* note "}, {skFieldName, "b"}}},
      {"/**/x", {{skComment, "/*"}, {skFieldName, "x"}}},
      {"/*/ x", {{skComment, "/*/ x"}}},
      {"/* open", {{skComment, "/* open"}}},
      {"a=:a/* c */ b", {{skComment, "a=:a/* c "}, {skFieldName, "b"}}},
      {"a/b /", {{skFieldName, "a/b"}, {skFieldName, "/"}}},
  });
}

TEST(SQLTokens, NulEndsTheTextAndNullPositionReadsAsEmpty) {
  ExpectTokens({{std::string("a\0FROM t", 8), {{skFieldName, "a"}}}});
  const char* Position = nullptr;
  std::string Text = "old";
  EXPECT_EQ(ZtlReadSQLToken(Position, Text, skNone), skEnd);
  EXPECT_EQ(Text, "");
}

TEST(SQLTokens, EveryTokenMovesForwardAndStaysInsideTheText) {
  // Texts built from the characters that steer the scanner; the tokenizer must end in at most
  // one token per character and never step past the NUL.
  const std::string Alphabet = "ab1.'\"`/*:=<> ,\n\t()";
  const std::string Words[] = {"IS ", "NOT ", "NULL ", "GROUP ", "BY ", "FROM ", "SELECT "};
  std::mt19937 Random(20240601);
  for (int Round = 0; Round < 3000; ++Round) {
    std::string SQL;
    const int Length = static_cast<int>(Random() % 40);
    for (int I = 0; I < Length; ++I) {
      if (Random() % 4 == 0)
        SQL += Words[Random() % std::size(Words)];
      else
        SQL += Alphabet[Random() % Alphabet.size()];
    }
    const char* const End = SQL.c_str() + SQL.size();
    const char* Position = SQL.c_str();
    std::string Text;
    std::size_t Tokens = 0;
    for (;;) {
      const char* Before = Position;
      const TZantrelSQLTokenKind Kind = ZtlReadSQLToken(Position, Text, skSelect);
      ASSERT_LE(Position, End) << SQL;
      if (Kind == skEnd) {
        ASSERT_EQ(Position, End) << SQL;
        break;
      }
      ASSERT_GT(Position, Before) << SQL;
      ASSERT_LE(++Tokens, SQL.size()) << SQL;
    }
  }
}
