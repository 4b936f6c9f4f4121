// The ztl program's statement splitter: a small scanner that knows the
// literals, comments and statement bodies of the drivers' dialects, so
// that statements read from standard input end where the database thinks
// they end.
#include "tools/ztl/Statements.h"

#include <cctype>
#include <string_view>

namespace ztl::cli {

namespace {

bool IsWordStart(char C) {
  return std::isalpha(static_cast<unsigned char>(C)) || C == '_' ||
         static_cast<unsigned char>(C) >= 0x80;
}

bool IsWordChar(char C) {
  return IsWordStart(C) || std::isdigit(static_cast<unsigned char>(C)) || C == '$';
}

bool IsSpace(char C) {
  return C == ' ' || C == '\t' || C == '\n' || C == '\r' || C == '\f' || C == '\v';
}

// Where a literal, quoted name or comment that starts at Pos ends (the
// position past it; Text.size() when it is not closed yet), or Pos when
// none starts there.
std::size_t SkipQuoted(std::string_view Text, std::size_t Pos, const TStatementDialect& D) {
  const std::size_t N = Text.size();
  const char C = Text[Pos];
  const char Next = Pos + 1 < N ? Text[Pos + 1] : '\0';
  const bool AfterWord = Pos > 0 && IsWordChar(Text[Pos - 1]);
  if (C == '-' && Next == '-') {
    const std::size_t End = Text.find('\n', Pos);
    return End == std::string_view::npos ? N : End;
  }
  if (C == '/' && Next == '*') {
    int Depth = 1;
    std::size_t I = Pos + 2;
    while (I < N && Depth > 0) {
      if (Text[I] == '*' && I + 1 < N && Text[I + 1] == '/') {
        --Depth;
        I += 2;
      } else if (D.NestedComments && Text[I] == '/' && I + 1 < N && Text[I + 1] == '*') {
        ++Depth;
        I += 2;
      } else {
        ++I;
      }
    }
    return Depth == 0 ? I : N;
  }
  if (C == '\'' || C == '"' || C == '`' || C == '[') {
    // SQLite reads [name] and `name` as quoted names; elsewhere a stray
    // bracket only opens an array subscript, which holds no semicolon.
    if ((C == '`' || C == '[') && D.DollarQuotes)
      return Pos;
    const char Close = C == '[' ? ']' : C;
    const bool Escapes = C == '\'' && D.EscapeStrings && Pos > 0 &&
                         (Text[Pos - 1] == 'E' || Text[Pos - 1] == 'e') &&
                         (Pos < 2 || !IsWordChar(Text[Pos - 2]));
    for (std::size_t I = Pos + 1; I < N; ++I) {
      if (Escapes && Text[I] == '\\') {
        ++I;
      } else if (Text[I] == Close) {
        if (Close != ']' && I + 1 < N && Text[I + 1] == Close)
          ++I; // a doubled quote stays inside
        else
          return I + 1;
      }
    }
    return N;
  }
  if (D.DollarQuotes && C == '$' && !AfterWord) {
    // $tag$ opens a literal closed by the same tag; $1 is a parameter.
    std::size_t I = Pos + 1;
    if (I < N && std::isdigit(static_cast<unsigned char>(Text[I])))
      return Pos;
    while (I < N && Text[I] != '$' && IsWordChar(Text[I]))
      ++I;
    if (I >= N)
      return N; // the tag itself may still be coming
    if (Text[I] != '$')
      return Pos;
    const std::string_view Tag = Text.substr(Pos, I + 1 - Pos);
    const std::size_t Close = Text.find(Tag, I + 1);
    return Close == std::string_view::npos ? N : Close + Tag.size();
  }
  return Pos;
}

bool SameWord(std::string_view Word, std::string_view Upper) {
  if (Word.size() != Upper.size())
    return false;
  for (std::size_t I = 0; I < Word.size(); ++I)
    if (std::toupper(static_cast<unsigned char>(Word[I])) != Upper[I])
      return false;
  return true;
}

} // namespace

bool IsBlankStatement(const std::string& Text) {
  // Comments of every dialect end the same way when they do not nest, and
  // nesting only matters for where a comment ends, not whether it is one.
  constexpr TStatementDialect Plain{};
  std::size_t I = 0;
  while (I < Text.size()) {
    const char C = Text[I];
    if (IsSpace(C) || C == ';') {
      ++I;
      continue;
    }
    const bool Comment =
        (C == '-' || C == '/') && I + 1 < Text.size() && Text[I + 1] == (C == '-' ? '-' : '*');
    if (!Comment)
      return false;
    I = SkipQuoted(Text, I, Plain);
  }
  return true;
}

bool TakeStatement(std::string& Buffer, std::string& Statement, const TStatementDialect& D) {
  const std::string_view Text(Buffer);
  // The first words decide whether the statement has a body, the last one
  // whether a ';' in a body ends the statement.
  std::string_view First;        // the statement's first word
  std::size_t WordCount = 0;     // words seen
  std::string_view Last;         // the last word
  bool InBody = false;           // inside BEGIN ... END of a trigger or atomic body
  bool TriggerStatement = false; // the statement creates a trigger
  std::size_t I = 0;
  while (I < Text.size()) {
    if (const std::size_t Past = SkipQuoted(Text, I, D); Past != I) {
      if (Past >= Text.size())
        return false; // an open literal or comment: more text is needed
      I = Past;
      continue;
    }
    const char C = Text[I];
    if (IsWordStart(C) && (I == 0 || !IsWordChar(Text[I - 1]))) {
      std::size_t End = I;
      while (End < Text.size() && IsWordChar(Text[End]))
        ++End;
      const std::string_view Word = Text.substr(I, End - I);
      if (WordCount++ == 0)
        First = Word;
      // CREATE [TEMP] TRIGGER: the trigger word comes third at the latest.
      if (WordCount <= 3 && D.TriggerBodies && SameWord(Word, "TRIGGER") &&
          SameWord(First, "CREATE"))
        TriggerStatement = true;
      if (!InBody && SameWord(Word, "BEGIN") && TriggerStatement)
        InBody = true;
      if (!InBody && D.AtomicBodies && SameWord(Word, "ATOMIC") && SameWord(Last, "BEGIN"))
        InBody = true;
      Last = Word;
      I = End;
      continue;
    }
    if (C == ';' && (!InBody || SameWord(Last, "END"))) {
      Statement = Buffer.substr(0, I + 1);
      Buffer.erase(0, I + 1);
      return true;
    }
    if (C == ';')
      Last = {}; // "END" must stand right before the ';' that ends a body
    I += 1;
  }
  return false;
}

} // namespace ztl::cli
