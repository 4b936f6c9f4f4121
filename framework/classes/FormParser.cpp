// The parser of the text form syntax: form text to a TFormObject tree.
#include <charconv>
#include <cmath>

#include "framework/classes/FormFiles.h"
#include "framework/text/Windows1252.h"

namespace ztl {

EParserError::EParserError(const std::string& Msg, int ALine)
    : EReadError(Format(SParseError, {Msg, std::int64_t{ALine}})), Line(ALine) {}

namespace {

enum TToken : std::uint8_t {
  toEOF,     // end of the text
  toSymbol,  // an identifier
  toString,  // one run of quoted parts and #nn codes
  toInteger, // a whole number
  toFloat,   // a real number
  toChar     // any other single character
};

bool IsIdentStart(char C) {
  return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_';
}
bool IsDigit(char C) {
  return C >= '0' && C <= '9';
}
bool IsIdentChar(char C) {
  return IsIdentStart(C) || IsDigit(C);
}
int HexValue(char C) {
  if (C >= '0' && C <= '9')
    return C - '0';
  if (C >= 'A' && C <= 'F')
    return C - 'A' + 10;
  if (C >= 'a' && C <= 'f')
    return C - 'a' + 10;
  return -1;
}

// A one-token-lookahead scanner and recursive-descent parser. The scanner
// never reads past Text; every token records the line it starts on.
class TFormParser {
public:
  explicit TFormParser(std::string_view AText) : Text(AText) { NextToken(); }

  TFormObject ParseForm() {
    if (Token == toEOF)
      Error(SInvalidFormFile);
    TFormObject Root = ParseObject(0);
    if (Token != toEOF)
      Error(SInvalidFormFile);
    return Root;
  }

private:
  [[noreturn]] void Error(const std::string& Msg) const { throw EParserError(Msg, TokenLine); }

  // ---- scanner ---------------------------------------------------------------

  // Skips blanks and control characters, counting lines (CRLF, LF or CR).
  void SkipBlanks() {
    while (Pos < Text.size()) {
      const char C = Text[Pos];
      if (C == '\n') {
        ++Line;
      } else if (C == '\r') {
        ++Line;
        if (Pos + 1 < Text.size() && Text[Pos + 1] == '\n')
          ++Pos;
      } else if (C == '\0' || static_cast<unsigned char>(C) > ' ') {
        return;
      }
      ++Pos;
    }
  }

  void NextToken() {
    SkipBlanks();
    TokenLine = Line;
    TokenText.clear();
    if (Pos >= Text.size()) {
      Token = toEOF;
      return;
    }
    const char C = Text[Pos];
    if (IsIdentStart(C)) {
      const std::size_t Start = Pos;
      while (Pos < Text.size() && IsIdentChar(Text[Pos]))
        ++Pos;
      TokenText.assign(Text.substr(Start, Pos - Start));
      Token = toSymbol;
    } else if (C == '\'' || C == '#') {
      ScanString();
      Token = toString;
    } else if (IsDigit(C) || (C == '-' && Pos + 1 < Text.size() && IsDigit(Text[Pos + 1]))) {
      ScanNumber();
    } else if (C == '$') {
      ScanHexNumber();
    } else {
      TokenText.assign(1, C);
      ++Pos;
      Token = toChar;
    }
  }

  // 'quoted' parts ('' is one quote) and #nn or #$hh codes, side by side.
  void ScanString() {
    while (Pos < Text.size()) {
      if (Text[Pos] == '\'') {
        ++Pos;
        for (;;) {
          if (Pos >= Text.size() || Text[Pos] == '\r' || Text[Pos] == '\n')
            Error(SInvalidString);
          if (Text[Pos] == '\'') {
            if (Pos + 1 < Text.size() && Text[Pos + 1] == '\'') {
              TokenText += '\'';
              Pos += 2;
              continue;
            }
            ++Pos;
            break;
          }
          TokenText += Text[Pos++];
        }
      } else if (Text[Pos] == '#') {
        ++Pos;
        TokenText += CharCode();
      } else {
        break;
      }
    }
  }

  // The character of a #nn code: bytes stand for themselves, larger codes
  // are taken as Unicode and must have a place in Windows-1252.
  char CharCode() {
    std::uint64_t Code = 0;
    const std::size_t Start = Pos;
    if (Pos < Text.size() && Text[Pos] == '$') {
      ++Pos;
      while (Pos < Text.size() && HexValue(Text[Pos]) >= 0) {
        Code = Code * 16 + static_cast<unsigned>(HexValue(Text[Pos++]));
        if (Code > 0xFFFF)
          Error(Format(SInvalidCharCode, {Text.substr(Start, Pos - Start)}));
      }
    } else {
      while (Pos < Text.size() && IsDigit(Text[Pos])) {
        Code = Code * 10 + static_cast<unsigned>(Text[Pos++] - '0');
        if (Code > 0xFFFF)
          Error(Format(SInvalidCharCode, {Text.substr(Start, Pos - Start)}));
      }
    }
    if (Pos == Start || (Text[Start] == '$' && Pos == Start + 1))
      Error(SInvalidString);
    // Writers that store text as Unicode write the page's 0x80..0x9F row as
    // #8364 and so on.
    if (Code <= 0xFF)
      return static_cast<char>(Code);
    if (char Byte; UnicodeToWindows1252(static_cast<std::uint32_t>(Code), Byte))
      return Byte;
    Error(Format(SInvalidCharCode, {Text.substr(Start, Pos - Start)}));
  }

  void ScanNumber() {
    const std::size_t Start = Pos;
    if (Text[Pos] == '-')
      ++Pos;
    while (Pos < Text.size() && IsDigit(Text[Pos]))
      ++Pos;
    Token = toInteger;
    if (Pos < Text.size() && Text[Pos] == '.' && Pos + 1 < Text.size() && IsDigit(Text[Pos + 1])) {
      Token = toFloat;
      ++Pos;
      while (Pos < Text.size() && IsDigit(Text[Pos]))
        ++Pos;
    }
    if (Pos < Text.size() && (Text[Pos] == 'e' || Text[Pos] == 'E')) {
      std::size_t P = Pos + 1;
      if (P < Text.size() && (Text[P] == '+' || Text[P] == '-'))
        ++P;
      if (P < Text.size() && IsDigit(Text[P])) {
        Token = toFloat;
        Pos = P;
        while (Pos < Text.size() && IsDigit(Text[Pos]))
          ++Pos;
      }
    }
    const std::string_view Number = Text.substr(Start, Pos - Start);
    // Single, currency and date suffixes of the classic syntax; the value is
    // the number as written.
    if (Pos < Text.size() && std::string_view("sScCdD").find(Text[Pos]) != std::string_view::npos &&
        !(Pos + 1 < Text.size() && IsIdentChar(Text[Pos + 1]))) {
      Token = toFloat;
      ++Pos;
    }
    TokenText.assign(Number);
    if (Token == toInteger) {
      auto Result = std::from_chars(Number.data(), Number.data() + Number.size(), IntValue);
      if (Result.ec != std::errc() || Result.ptr != Number.data() + Number.size())
        Error(Format(SInvalidInteger, {Number}));
    } else {
      auto Result = std::from_chars(Number.data(), Number.data() + Number.size(), FloatValue);
      if (Result.ec != std::errc() || Result.ptr != Number.data() + Number.size() ||
          !std::isfinite(FloatValue))
        Error(Format(SInvalidFloat, {Number}));
    }
  }

  // $hex: up to 16 digits, the bit pattern of a 64-bit integer.
  void ScanHexNumber() {
    const std::size_t Start = Pos++;
    std::uint64_t Value = 0;
    int Digits = 0;
    while (Pos < Text.size() && HexValue(Text[Pos]) >= 0) {
      if (++Digits > 16)
        Error(Format(SInvalidInteger, {Text.substr(Start, Pos + 1 - Start)}));
      Value = Value * 16 + static_cast<unsigned>(HexValue(Text[Pos++]));
    }
    if (Digits == 0)
      Error(Format(SInvalidInteger, {"$"}));
    TokenText.assign(Text.substr(Start, Pos - Start));
    IntValue = static_cast<std::int64_t>(Value);
    Token = toInteger;
  }

  bool IsSymbol(std::string_view Name) const {
    return Token == toSymbol && SameText(TokenText, Name);
  }
  bool IsChar(char C) const { return Token == toChar && TokenText[0] == C; }
  bool IsObjectKeyword() const {
    return IsSymbol("object") || IsSymbol("inherited") || IsSymbol("inline");
  }
  void ExpectChar(char C) {
    if (!IsChar(C))
      Error(Format(SCharExpected, {std::string_view(&C, 1)}));
    NextToken();
  }
  std::string ExpectIdent() {
    if (Token != toSymbol)
      Error(SIdentifierExpected);
    std::string Result = std::move(TokenText);
    NextToken();
    return Result;
  }
  void Enter(int Depth) const {
    if (Depth >= MaxFormNesting)
      Error(SNestingTooDeep);
  }

  // ---- grammar ---------------------------------------------------------------

  // ('object' | 'inherited' | 'inline') [Name ':'] Class ['[' n ']']
  //   { Property } { Object } 'end'
  TFormObject ParseObject(int Depth) {
    Enter(Depth);
    if (!IsObjectKeyword())
      Error(SInvalidFormFile);
    TFormObject Object;
    Object.Line = TokenLine;
    Object.Inherited = IsSymbol("inherited");
    Object.Inline = IsSymbol("inline");
    NextToken();
    std::string First = ExpectIdent();
    if (IsChar(':')) {
      NextToken();
      Object.Name = std::move(First);
      Object.ClassName = ExpectIdent();
    } else {
      Object.ClassName = std::move(First);
    }
    if (IsChar('[')) {
      NextToken();
      if (Token != toInteger || IntValue < 0 || IntValue > INT32_MAX)
        Error(SNumberExpected);
      Object.ChildPos = static_cast<int>(IntValue);
      NextToken();
      ExpectChar(']');
    }
    while (!IsSymbol("end") && !IsObjectKeyword())
      Object.Properties.push_back(ParseProperty(Depth));
    while (!IsSymbol("end")) {
      if (!IsObjectKeyword())
        Error(Format(SCharExpected, {"end"}));
      Object.Children.push_back(ParseObject(Depth + 1));
    }
    NextToken();
    return Object;
  }

  // Name { '.' Name } '=' Value
  TFormProperty ParseProperty(int Depth) {
    TFormProperty Prop;
    Prop.Line = TokenLine;
    Prop.Name = ExpectIdent();
    while (IsChar('.')) {
      NextToken();
      Prop.Name += '.';
      Prop.Name += ExpectIdent();
    }
    ExpectChar('=');
    Prop.Value = ParseValue(Depth);
    return Prop;
  }

  TFormValue ParseValue(int Depth) {
    TFormValue Value;
    Value.Line = TokenLine;
    switch (Token) {
    case toInteger:
      Value.Type = vaInteger;
      Value.Integer = IntValue;
      NextToken();
      return Value;
    case toFloat:
      Value.Type = vaExtended;
      Value.Float = FloatValue;
      NextToken();
      return Value;
    case toString:
      // 'part one' + 'part two' across lines is one string.
      Value.Type = vaString;
      Value.Text = std::move(TokenText);
      NextToken();
      while (IsChar('+')) {
        NextToken();
        if (Token != toString)
          Error(SStringExpected);
        Value.Text += TokenText;
        NextToken();
      }
      return Value;
    case toSymbol:
      if (SameText(TokenText, "True"))
        Value.Type = vaTrue;
      else if (SameText(TokenText, "False"))
        Value.Type = vaFalse;
      else if (SameText(TokenText, "nil"))
        Value.Type = vaNil;
      else if (SameText(TokenText, "Null"))
        Value.Type = vaNull;
      else {
        Value.Type = vaIdent;
        Value.Text = std::move(TokenText);
        NextToken();
        while (IsChar('.')) {
          NextToken();
          Value.Text += '.';
          Value.Text += ExpectIdent();
        }
        return Value;
      }
      NextToken();
      return Value;
    case toChar:
      break;
    case toEOF:
      Error(SInvalidPropertyValue);
    }
    if (IsChar('['))
      return ParseSet(Value);
    if (IsChar('('))
      return ParseList(Value, Depth);
    if (IsChar('{'))
      return ParseBinary(Value);
    if (IsChar('<'))
      return ParseCollection(Value, Depth);
    Error(SInvalidPropertyValue);
  }

  // '[' [ Name { ',' Name } ] ']'
  TFormValue ParseSet(TFormValue& Value) {
    Value.Type = vaSet;
    NextToken();
    if (!IsChar(']'))
      for (;;) {
        TFormValue Member;
        Member.Type = vaIdent;
        Member.Line = TokenLine;
        Member.Text = ExpectIdent();
        Value.Items.push_back(std::move(Member));
        if (IsChar(']'))
          break;
        ExpectChar(',');
      }
    NextToken();
    return std::move(Value);
  }

  // '(' { Value } ')'
  TFormValue ParseList(TFormValue& Value, int Depth) {
    Enter(Depth + 1);
    Value.Type = vaList;
    NextToken();
    while (!IsChar(')')) {
      if (Token == toEOF)
        Error(Format(SCharExpected, {")"}));
      Value.Items.push_back(ParseValue(Depth + 1));
    }
    NextToken();
    return std::move(Value);
  }

  // '{' hex digits, blanks and line breaks anywhere between them '}'. The
  // scanner stands just after the brace: the digits are read here, not as
  // tokens.
  TFormValue ParseBinary(TFormValue& Value) {
    Value.Type = vaBinary;
    int High = -1;
    for (;;) {
      SkipBlanks();
      if (Pos >= Text.size()) {
        TokenLine = Line;
        Error(SInvalidBinary);
      }
      const char C = Text[Pos];
      if (C == '}')
        break;
      const int Digit = HexValue(C);
      if (Digit < 0) {
        TokenLine = Line;
        Error(SInvalidBinary);
      }
      ++Pos;
      if (High < 0) {
        High = Digit;
      } else {
        Value.Text += static_cast<char>(High * 16 + Digit);
        High = -1;
      }
    }
    if (High >= 0) {
      TokenLine = Line;
      Error(SInvalidBinary);
    }
    ++Pos;
    NextToken();
    return std::move(Value);
  }

  // '<' { 'item' ['[' n ']'] { Property } 'end' } '>'
  TFormValue ParseCollection(TFormValue& Value, int Depth) {
    Enter(Depth + 1);
    Value.Type = vaCollection;
    NextToken();
    while (!IsChar('>')) {
      if (!IsSymbol("item"))
        Error(Format(SCharExpected, {"item"}));
      NextToken();
      if (IsChar('[')) {
        NextToken();
        if (Token != toInteger)
          Error(SNumberExpected);
        NextToken();
        ExpectChar(']');
      }
      std::vector<TFormProperty> Item;
      while (!IsSymbol("end")) {
        if (Token == toEOF)
          Error(Format(SCharExpected, {"end"}));
        Item.push_back(ParseProperty(Depth + 1));
      }
      NextToken();
      Value.CollectionItems.push_back(std::move(Item));
    }
    NextToken();
    return std::move(Value);
  }

  std::string_view Text;     // the whole form text
  std::size_t Pos = 0;       // scanner position in Text
  int Line = 1;              // line at Pos
  TToken Token = toEOF;      // current token
  int TokenLine = 1;         // line the current token starts on
  std::string TokenText;     // identifier, string content, number text or the character
  std::int64_t IntValue = 0; // toInteger
  double FloatValue = 0;     // toFloat
};

} // namespace

TFormObject ParseFormText(std::string_view Text) {
  return TFormParser(Text).ParseForm();
}

} // namespace ztl
