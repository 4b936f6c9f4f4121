// The SQL tokenizer: cuts NUL-terminated statement text into words and classifies each word by
// the clause it stands in.
#include "sqltext/ZtlUtil.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace ztl {
namespace {

// What the scanner does with a character before it knows the token.
enum TCharClass : std::uint8_t {
  ccOther,     // ordinary word character (letters, tab, *, parentheses, ...)
  ccSeparator, // NUL, line feed, carriage return, space, comma: ends a word
  ccQuote,     // ", ', `: a quoted text
  ccDot,       // full stop: ends a qualifier or starts the word after it
  ccSlash,     // may open a comment
  ccDigit,     // may start a number
  ccColon,     // parameter marker or :=
  ccOperator   // <, =, >
};

constexpr std::array<TCharClass, 256> MakeCharClasses() {
  std::array<TCharClass, 256> Classes{};
  for (const unsigned char C : {'\0', '\n', '\r', ' ', ','})
    Classes[C] = ccSeparator;
  for (const unsigned char C : {'"', '\'', '`'})
    Classes[C] = ccQuote;
  Classes['.'] = ccDot;
  Classes['/'] = ccSlash;
  for (unsigned char C = '0'; C <= '9'; ++C)
    Classes[C] = ccDigit;
  Classes[':'] = ccColon;
  for (const unsigned char C : {'<', '=', '>'})
    Classes[C] = ccOperator;
  return Classes;
}

constexpr std::array<TCharClass, 256> CharClasses = MakeCharClasses();

inline TCharClass ClassOf(char C) {
  return CharClasses[static_cast<unsigned char>(C)];
}

// Separators skipped between tokens; NUL is the one separator that is never skipped.
inline bool IsSkippedBlank(char C) {
  return C == '\n' || C == '\r' || C == ' ' || C == ',';
}

// Keyword comparison folds ASCII letters only; every keyword is ASCII, so folding other
// characters could not make a word equal to one.
bool SameKeyword(std::string_view Word, std::string_view Keyword) {
  if (Word.size() != Keyword.size())
    return false;
  for (std::size_t I = 0; I < Word.size(); ++I) {
    char C = Word[I];
    if (C >= 'a' && C <= 'z')
      C = static_cast<char>(C - 'a' + 'A');
    if (C != Keyword[I])
      return false;
  }
  return true;
}

// One token as the character scan sees it, before any word classification.
struct TRawToken {
  TZantrelSQLTokenKind Kind; // the kind, unless IsWord
  bool IsWord;               // a plain word that still needs classification
  bool AfterDot;             // a full stop came directly before the word
  std::string_view Text;     // the token text (a view into the statement)
  const char* End;           // where the next token starts
};

TRawToken Finished(TZantrelSQLTokenKind Kind, const char* From, const char* To, const char* End) {
  return {Kind, false, false, std::string_view(From, static_cast<std::size_t>(To - From)), End};
}

// Scans one token at P without classifying words. P must point into NUL-terminated text; the
// scan never steps past the NUL. Every token but skEnd takes at least one character.
TRawToken ScanRawToken(const char* P) {
  const char* Start = nullptr; // first character of the token, once one is seen
  bool AfterDot = false;
  for (;;) {
    const char C = *P;
    switch (ClassOf(C)) {
    case ccSeparator:
      if (Start != nullptr)
        return {skNone, true, AfterDot,
                std::string_view(Start, static_cast<std::size_t>(P - Start)), P};
      if (C == '\0')
        return Finished(skEnd, P, P, P);
      while (IsSkippedBlank(*P))
        ++P;
      break;

    case ccQuote: {
      const bool StartsHere = Start == nullptr;
      if (StartsHere)
        Start = P;
      const char* Close = P + 1;
      while (*Close != '\0' && *Close != C)
        ++Close;
      if (*Close == '\0') {
        // Unterminated: the quote is an ordinary character and the rest scans as words.
        ++P;
        break;
      }
      // A word glued to the opening quote loses its text; doubled quotes are not special.
      const char* End = Close + 1;
      const TZantrelSQLTokenKind Kind = AfterDot      ? skFieldName
                                        : *End == '.' ? skTableName
                                                      : skValue;
      return StartsHere ? Finished(Kind, P + 1, Close, End) : Finished(Kind, P, P, End);
    }

    case ccDot:
      if (Start != nullptr)
        return Finished(skTableName, Start, P, P);
      AfterDot = true;
      ++P;
      break;

    case ccSlash:
      // The token start stays where it is, so a word glued to a comment joins the comment.
      if (Start == nullptr)
        Start = P;
      ++P;
      if (*P == '/') {
        while (*P != '\0' && *P != '\n' && *P != '\r')
          ++P;
        return Finished(skComment, Start, P, P);
      }
      if (*P == '*') {
        // The search starts after the opening asterisk: "/*/" does not close itself.
        const char* Close = P + 1;
        while (*Close != '\0' && !(Close[0] == '*' && Close[1] == '/'))
          ++Close;
        if (*Close == '\0')
          return Finished(skComment, Start, Close, Close);
        return Finished(skComment, Start, Close, Close + 2);
      }
      break;

    case ccDigit:
      if (Start != nullptr) {
        ++P;
        break;
      }
      Start = P;
      while (ClassOf(*P) == ccDigit || *P == '.')
        ++P;
      return Finished(skNumber, Start, P, P);

    case ccColon:
      if (Start == nullptr)
        Start = P;
      ++P;
      if (*P == '=') {
        ++P;
        return Finished(skAssign, Start, P, P);
      }
      break;

    case ccOperator:
      if (Start != nullptr) {
        ++P;
        break;
      }
      Start = P;
      while (ClassOf(*P) == ccOperator)
        ++P;
      return Finished(skOperator, Start, P, P);

    case ccOther:
      if (Start == nullptr)
        Start = P;
      ++P;
      break;
    }
  }
}

// True for a word whose classification reads the next word (IS, GROUP, FOR, ORDER).
bool LooksAhead(const TRawToken& Token) {
  if (!Token.IsWord || Token.AfterDot)
    return false;
  return SameKeyword(Token.Text, "IS") || SameKeyword(Token.Text, "GROUP") ||
         SameKeyword(Token.Text, "FOR") || SameKeyword(Token.Text, "ORDER");
}

// The token after a look-ahead word, read once, with the answer to "is its text Keyword".
// A token that looks ahead itself never needs to be resolved: its text begins with its own
// word (IS, GROUP, FOR or ORDER), so it can equal none of the second words (NULL, NOT, BY,
// UPDATE). That keeps the look-ahead at a fixed depth however long a run of such words is.
struct TNextWord {
  TRawToken Token;

  explicit TNextWord(const char* At) : Token(ScanRawToken(At)) {}
  bool Is(std::string_view Keyword) const {
    return !LooksAhead(Token) && SameKeyword(Token.Text, Keyword);
  }
};

// Appends " " and Word to a compound keyword's text.
void JoinWord(std::string& Text, std::string_view Word) {
  Text += ' ';
  Text.append(Word.data(), Word.size());
}

// Classifies a word; the first rule that applies decides. Text and Position are already set to
// the word and its end; a compound keyword extends both.
TZantrelSQLTokenKind ClassifyWord(const TRawToken& Word, const char*& Position, std::string& Text,
                                  TZantrelSQLTokenKind CurrentClause) {
  const std::string_view W = Word.Text;
  if (W == "*" && CurrentClause == skSelect)
    return skAllFields;
  if (Word.AfterDot)
    return skFieldName;
  if (CurrentClause == skSelect && SameKeyword(W, "DISTINCT"))
    return skDistinct;
  if (SameKeyword(W, "ASC") || SameKeyword(W, "ASCENDING"))
    return skAscending;
  if (SameKeyword(W, "DESC") || SameKeyword(W, "DESCENDING"))
    return skDescending;
  if (SameKeyword(W, "SELECT"))
    return skSelect;
  if (SameKeyword(W, "AND"))
    return skAnd;
  if (SameKeyword(W, "OR"))
    return skOr;
  if (SameKeyword(W, "LIKE"))
    return skLike;
  if (SameKeyword(W, "IS")) {
    const TNextWord First(Position);
    if (First.Is("NULL")) {
      JoinWord(Text, First.Token.Text);
      Position = First.Token.End;
      return skIsNull;
    }
    if (First.Is("NOT")) {
      const TNextWord Second(First.Token.End);
      if (Second.Is("NULL")) {
        JoinWord(Text, First.Token.Text);
        JoinWord(Text, Second.Token.Text);
        Position = Second.Token.End;
        return skIsNotNull;
      }
    }
    // A lone IS keeps its own text and Position stays right after it.
    return skValue;
  }
  if (SameKeyword(W, "FROM"))
    return skFrom;
  if (SameKeyword(W, "WHERE"))
    return skWhere;

  // The second words of GROUP BY, FOR UPDATE and ORDER BY; without it the word falls through
  // to the last rule.
  const auto JoinNext = [&](std::string_view Second) {
    const TNextWord Next(Position);
    if (!Next.Is(Second))
      return false;
    JoinWord(Text, Next.Token.Text);
    Position = Next.Token.End;
    return true;
  };
  if (SameKeyword(W, "GROUP") && JoinNext("BY"))
    return skGroupBy;
  if (SameKeyword(W, "HAVING"))
    return skHaving;
  if (SameKeyword(W, "UNION"))
    return skUnion;
  if (SameKeyword(W, "PLAN"))
    return skPlan;
  if (SameKeyword(W, "FOR") && JoinNext("UPDATE"))
    return skForUpdate;
  if (SameKeyword(W, "ORDER") && JoinNext("BY"))
    return skOrderBy;
  if (SameKeyword(W, "NULL"))
    return skValue;
  return CurrentClause == skFrom ? skTableName : skFieldName;
}

} // namespace

TZantrelSQLTokenKind ZtlReadSQLToken(const char*& Position, std::string& TokenText,
                                     TZantrelSQLTokenKind CurrentClause) {
  if (Position == nullptr) {
    TokenText.clear();
    return skEnd;
  }
  const TRawToken Token = ScanRawToken(Position);
  TokenText.assign(Token.Text.data(), Token.Text.size());
  Position = Token.End;
  if (!Token.IsWord)
    return Token.Kind;
  return ClassifyWord(Token, Position, TokenText, CurrentClause);
}

} // namespace ztl
