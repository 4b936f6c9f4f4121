// Tests of the ANSI (Windows-1252) and OEM (code page 850) conversions.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "framework/text/OemCodePage.h"

using namespace ztl;

namespace {

unsigned char ToOem(unsigned char C) {
  const char In = static_cast<char>(C);
  char Out = 0;
  CharToOemBuff(&In, &Out, 1);
  return static_cast<unsigned char>(Out);
}

unsigned char ToAnsi(unsigned char C) {
  const char In = static_cast<char>(C);
  char Out = 0;
  OemToCharBuff(&In, &Out, 1);
  return static_cast<unsigned char>(Out);
}

// Windows-1252 bytes whose character code page 850 lacks: the typographic
// row 0x80..0x9F, except the florin sign 0x83, which both pages have.
bool AnsiOnly(unsigned B) {
  return B >= 0x80 && B <= 0x9F && B != 0x83;
}

// Code page 850 bytes whose character Windows-1252 lacks: box drawing,
// shades and blocks, dotless i, double low line, black square.
bool OemOnly(unsigned B) {
  static const unsigned char List[] = {0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB9, 0xBA, 0xBB,
                                       0xBC, 0xBF, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5,
                                       0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xD5,
                                       0xD9, 0xDA, 0xDB, 0xDC, 0xDF, 0xF2, 0xFE};
  return std::memchr(List, static_cast<int>(B), sizeof List) != nullptr;
}

TEST(OemCodePage, EveryCharacterBothPagesHoldRoundTrips) {
  int Shared = 0;
  for (unsigned B = 0; B < 256; ++B) {
    if (!AnsiOnly(B)) {
      EXPECT_EQ(ToAnsi(ToOem(static_cast<unsigned char>(B))), B) << "ANSI " << B;
      ++Shared;
    }
    if (!OemOnly(B)) {
      EXPECT_EQ(ToOem(ToAnsi(static_cast<unsigned char>(B))), B) << "OEM " << B;
    }
  }
  EXPECT_EQ(Shared, 225);
}

TEST(OemCodePage, KnownCharactersAndSubstitutes) {
  struct Case {
    unsigned char From, To;
    bool ToOemDirection;
  } Cases[] = {
      {'A', 'A', true},    {0xC4, 0x8E, true}, // A with diaeresis
      {0xE9, 0x82, true},                      // e with acute
      {0xDF, 0xE1, true},                      // sharp s
      {0xA0, 0xFF, true},                      // no-break space
      {0x83, 0x9F, true},                      // florin
      {0x80, 'E', true},                       // euro
      {0x93, '"', true},   {0x96, '-', true},  {0x8A, 'S', true},  {0x81, '?', true},
      {0x95, 0xFA, true}, // bullet -> middle dot
      {0x8E, 0xC4, false}, {0xC4, '-', false}, {0xB3, '|', false}, {0xC5, '+', false},
      {0xDB, '#', false},  {0xD5, 'i', false}, {0xF2, '_', false},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(C.ToOemDirection ? ToOem(C.From) : ToAnsi(C.From), C.To) << int(C.From);
}

TEST(OemCodePage, BuffersMayBeTheSameOrOverlap) {
  std::string S = "M\xFC"
                  "nchen \xC4rger";
  CharToOemBuff(S.data(), S.data(), S.size());
  EXPECT_EQ(S, "M\x81nchen \x8Erger");
  OemToCharBuff(S.data(), S.data(), S.size());
  EXPECT_EQ(S, "M\xFCnchen \xC4rger");

  // Destination one byte after the source: every byte is converted once.
  char Buf[] = "\xE9\xE9\xE9x";
  CharToOemBuff(Buf, Buf + 1, 3);
  EXPECT_EQ(std::string(Buf, 4), "\xE9\x82\x82\x82");
  char Buf2[] = "x\xE9\xE9\xE9";
  CharToOemBuff(Buf2 + 1, Buf2, 3);
  EXPECT_EQ(std::string(Buf2, 4), "\x82\x82\x82\xE9");

  CharToOemBuff(nullptr, nullptr, 0);
  CharToOemBuff(nullptr, Buf, 5); // nothing to read: nothing written
  EXPECT_EQ(std::string(Buf, 4), "\xE9\x82\x82\x82");
}

} // namespace
