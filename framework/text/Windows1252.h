// Windows-1252, the ANSI code page that all 8-bit text of the library is in,
// against Unicode: the one table of the page's 0x80..0x9F row, for the form
// files' #nnnn codes and the wide-string fields.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ztl {

// Unicode of the bytes 0x80..0x9F. The five bytes the page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for themselves, so every byte has a
// character and the round trip is exact.
inline constexpr char16_t Windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The Unicode character of a Windows-1252 byte.
inline char16_t Windows1252ToUnicode(unsigned char Byte) {
  return Byte >= 0x80 && Byte <= 0x9F ? Windows1252High[Byte - 0x80] : static_cast<char16_t>(Byte);
}

// The Windows-1252 byte of a Unicode character. Returns false, leaving Byte
// alone, when the page has no such character.
inline bool UnicodeToWindows1252(std::uint32_t Code, char& Byte) {
  if (Code < 0x80 || (Code >= 0xA0 && Code <= 0xFF)) {
    Byte = static_cast<char>(Code);
    return true;
  }
  for (unsigned I = 0; I < 32; ++I)
    if (Windows1252High[I] == Code) {
      Byte = static_cast<char>(0x80 + I);
      return true;
    }
  return false;
}

// Text of the library as UTF-16, for toolkits that hold Unicode text.
inline std::u16string Windows1252ToUtf16(std::string_view Text) {
  std::u16string Result;
  Result.reserve(Text.size());
  for (char C : Text)
    Result.push_back(Windows1252ToUnicode(static_cast<unsigned char>(C)));
  return Result;
}

// Unicode text in the library's page; a character the page lacks becomes
// Replacement, so what is stored is what a user can see was stored.
inline std::string Utf32ToWindows1252(std::u32string_view Text, char Replacement = '?') {
  std::string Result;
  Result.reserve(Text.size());
  for (char32_t Code : Text) {
    char Byte = Replacement;
    UnicodeToWindows1252(Code, Byte);
    Result.push_back(Byte);
  }
  return Result;
}

} // namespace ztl
