// The locale-aware text comparison: a three-level collation of the
// Windows-1252 characters.
#include "framework/text/LocaleCompare.h"

#include <array>
#include <cstring>

namespace ztl {

namespace {

enum class TCharKind : std::uint8_t { Ignorable, Symbol, Digit, Letter };

// How one character sorts. A ligature sorts as two units: Primary, then
// Primary2 with the same case.
struct TCollation {
  TCharKind Kind = TCharKind::Ignorable; // class of the character
  std::uint16_t Primary = 0;             // letter, digit or symbol weight
  std::uint16_t Primary2 = 0;            // second letter of a ligature, 0 for none
  std::uint8_t Secondary = 0;            // accent (0 for none)
  std::uint8_t Tertiary = 0;             // 0 lower case or caseless, 1 upper case
};

// Primary weights: symbols from 1 in code order, then digits, then letters.
constexpr std::uint16_t DigitBase = 400;
constexpr std::uint16_t LetterBase = 500;
constexpr std::uint16_t Thorn = LetterBase + 26; // sorts after z

// Accent ranks (secondary weights).
enum : std::uint8_t {
  acGrave = 1,
  acAcute,
  acCircumflex,
  acTilde,
  acDiaeresis,
  acRing,
  acCedilla,
  acStroke,
  acCaron,
  acLigature,
  acSuperscript,
  acHook,
  acOrdinal
};

constexpr std::uint16_t Letter(char C) {
  return static_cast<std::uint16_t>(LetterBase + (C - 'a'));
}

constexpr TCollation MakeLetter(char Base, std::uint8_t Accent, bool Upper) {
  return {TCharKind::Letter, Letter(Base), 0, Accent, static_cast<std::uint8_t>(Upper ? 1 : 0)};
}

constexpr TCollation MakeLigature(char First, char Second, bool Upper) {
  return {TCharKind::Letter, Letter(First), Letter(Second), acLigature,
          static_cast<std::uint8_t>(Upper ? 1 : 0)};
}

constexpr std::array<TCollation, 256> MakeTable() {
  std::array<TCollation, 256> T{};
  // Control characters, the soft hyphen and the five codes the code page
  // leaves undefined stay ignorable; everything else printable starts as a
  // symbol and is refined below.
  for (int C = 0x20; C < 0x100; ++C)
    if (C != 0x7F && C != 0x81 && C != 0x8D && C != 0x8F && C != 0x90 && C != 0x9D && C != 0xAD)
      T[C].Kind = TCharKind::Symbol;

  for (int C = '0'; C <= '9'; ++C)
    T[C] = {TCharKind::Digit, static_cast<std::uint16_t>(DigitBase + (C - '0')), 0, 0, 0};
  T[0xB9] = {TCharKind::Digit, DigitBase + 1, 0, acSuperscript, 0};
  T[0xB2] = {TCharKind::Digit, DigitBase + 2, 0, acSuperscript, 0};
  T[0xB3] = {TCharKind::Digit, DigitBase + 3, 0, acSuperscript, 0};

  for (int C = 'a'; C <= 'z'; ++C) {
    T[C] = MakeLetter(static_cast<char>(C), 0, false);
    T[C - 0x20] = MakeLetter(static_cast<char>(C), 0, true);
  }
  T[0x83] = MakeLetter('f', acHook, false);
  T[0x8A] = MakeLetter('s', acCaron, true);
  T[0x9A] = MakeLetter('s', acCaron, false);
  T[0x8E] = MakeLetter('z', acCaron, true);
  T[0x9E] = MakeLetter('z', acCaron, false);
  T[0x8C] = MakeLigature('o', 'e', true);
  T[0x9C] = MakeLigature('o', 'e', false);
  T[0x9F] = MakeLetter('y', acDiaeresis, true);
  T[0xFF] = MakeLetter('y', acDiaeresis, false);
  T[0xAA] = MakeLetter('a', acOrdinal, false);
  T[0xBA] = MakeLetter('o', acOrdinal, false);

  // The Latin-1 letters: upper case at 0xC0..0xDE, lower case 0x20 above.
  struct TLatin {
    char Base;
    std::uint8_t Accent;
  };
  constexpr TLatin Latin[] = {{'a', acGrave},
                              {'a', acAcute},
                              {'a', acCircumflex},
                              {'a', acTilde},
                              {'a', acDiaeresis},
                              {'a', acRing},
                              {'\0', 0} /* AE */,
                              {'c', acCedilla},
                              {'e', acGrave},
                              {'e', acAcute},
                              {'e', acCircumflex},
                              {'e', acDiaeresis},
                              {'i', acGrave},
                              {'i', acAcute},
                              {'i', acCircumflex},
                              {'i', acDiaeresis},
                              {'d', acStroke},
                              {'n', acTilde},
                              {'o', acGrave},
                              {'o', acAcute},
                              {'o', acCircumflex},
                              {'o', acTilde},
                              {'o', acDiaeresis},
                              {'\0', 0} /* times */,
                              {'o', acStroke},
                              {'u', acGrave},
                              {'u', acAcute},
                              {'u', acCircumflex},
                              {'u', acDiaeresis},
                              {'y', acAcute},
                              {'\0', 0} /* thorn */};
  for (int I = 0; I < static_cast<int>(sizeof(Latin) / sizeof(Latin[0])); ++I) {
    if (Latin[I].Base == '\0')
      continue;
    T[0xC0 + I] = MakeLetter(Latin[I].Base, Latin[I].Accent, true);
    T[0xE0 + I] = MakeLetter(Latin[I].Base, Latin[I].Accent, false);
  }
  T[0xC6] = MakeLigature('a', 'e', true);
  T[0xE6] = MakeLigature('a', 'e', false);
  T[0xDE] = {TCharKind::Letter, Thorn, 0, 0, 1};
  T[0xFE] = {TCharKind::Letter, Thorn, 0, 0, 0};
  T[0xDF] = MakeLigature('s', 's', false);

  // Symbols take their weights in code order.
  std::uint16_t Next = 1;
  for (int C = 0x20; C < 0x100; ++C)
    if (T[C].Kind == TCharKind::Symbol)
      T[C].Primary = Next++;
  return T;
}

constexpr std::array<TCollation, 256> Table = MakeTable();

// One sorting unit: a character, or one half of a ligature.
struct TUnit {
  std::uint16_t Weight[3]; // primary, secondary, tertiary
};

// Walks the sorting units of one text, skipping what the flags ignore.
class TUnitReader {
public:
  TUnitReader(const unsigned char* Text, std::size_t Length, std::uint32_t Flags)
      : P(Text), End(Text + Length), Flags(Flags) {}

  // The next unit; false at the end of the text.
  bool Next(TUnit& U) {
    if (Pending != 0) {
      U = {{Pending, 0, PendingCase}};
      Pending = 0;
      return true;
    }
    while (P < End) {
      const unsigned char C = *P++;
      const TCollation& E = Table[C];
      if (Skipped(C, E))
        continue;
      U = {{E.Primary, E.Secondary, E.Tertiary}};
      if (E.Primary2 != 0) {
        Pending = E.Primary2;
        PendingCase = E.Tertiary;
      }
      return true;
    }
    return false;
  }

private:
  bool Skipped(unsigned char C, const TCollation& E) const {
    if (E.Kind == TCharKind::Ignorable)
      return true;
    if (E.Kind == TCharKind::Symbol) {
      if ((Flags & NORM_IGNORESYMBOLS) != 0)
        return true;
      // A word sort looks through hyphens and apostrophes.
      if ((Flags & SORT_STRINGSORT) == 0 && (C == '-' || C == '\''))
        return true;
    }
    return false;
  }

  const unsigned char* P;        // next character
  const unsigned char* End;      // end of the text
  std::uint32_t Flags;           // comparison flags
  std::uint16_t Pending = 0;     // second half of a ligature still to deliver
  std::uint16_t PendingCase = 0; // its case
};

std::size_t TextLength(const char* S, int Count) {
  return Count < 0 ? std::strlen(S) : strnlen(S, static_cast<std::size_t>(Count));
}

} // namespace

int CompareStringA(LCID /*Locale*/, std::uint32_t Flags, const char* String1, int Count1,
                   const char* String2, int Count2) {
  constexpr std::uint32_t Known =
      NORM_IGNORECASE | NORM_IGNORENONSPACE | NORM_IGNORESYMBOLS | SORT_STRINGSORT;
  if ((Flags & ~Known) != 0)
    return 0;
  if ((!String1 && Count1 != 0) || (!String2 && Count2 != 0))
    return 0;
  const auto* S1 = reinterpret_cast<const unsigned char*>(String1);
  const auto* S2 = reinterpret_cast<const unsigned char*>(String2);
  const std::size_t Len1 = S1 ? TextLength(String1, Count1) : 0;
  const std::size_t Len2 = S2 ? TextLength(String2, Count2) : 0;

  for (int Level = 0; Level < 3; ++Level) {
    if ((Level == 1 && (Flags & NORM_IGNORENONSPACE) != 0) ||
        (Level == 2 && (Flags & NORM_IGNORECASE) != 0))
      continue;
    TUnitReader R1(S1, Len1, Flags);
    TUnitReader R2(S2, Len2, Flags);
    for (;;) {
      TUnit U1{};
      TUnit U2{};
      const bool Has1 = R1.Next(U1);
      const bool Has2 = R2.Next(U2);
      if (!Has1 || !Has2) {
        if (Has1 != Has2)
          return Has1 ? CSTR_GREATER_THAN : CSTR_LESS_THAN;
        break;
      }
      if (U1.Weight[Level] != U2.Weight[Level])
        return U1.Weight[Level] < U2.Weight[Level] ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
    }
  }
  return CSTR_EQUAL;
}

} // namespace ztl
