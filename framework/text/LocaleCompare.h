// The locale-aware text comparison of the operating system (CompareStringA)
// for 8-bit Windows-1252 text.
#pragma once

#include <cstdint>

namespace ztl {

using LCID = std::uint32_t;

inline constexpr LCID LOCALE_USER_DEFAULT = 0x400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x800;

inline constexpr std::uint32_t NORM_IGNORECASE = 0x1;     // upper and lower case compare equal
inline constexpr std::uint32_t NORM_IGNORENONSPACE = 0x2; // accents compare equal
inline constexpr std::uint32_t NORM_IGNORESYMBOLS = 0x4;  // blanks and punctuation are skipped
inline constexpr std::uint32_t SORT_STRINGSORT = 0x1000;  // '-' and '\'' sort as symbols

inline constexpr int CSTR_LESS_THAN = 1;
inline constexpr int CSTR_EQUAL = 2;
inline constexpr int CSTR_GREATER_THAN = 3;

// Compares two texts in dictionary order and returns CSTR_LESS_THAN,
// CSTR_EQUAL or CSTR_GREATER_THAN, or 0 when the call is invalid (a missing
// text with a nonzero count, or a flag outside the four above).
//
// A text ends at its first NUL character or after Count characters,
// whichever comes first; a negative Count reads up to the NUL. The texts
// are compared level by level: first by letters (accents and case set
// aside), digits and symbols, symbols sorting before digits and digits
// before letters, control characters ignored; then by accents; then by case,
// lower before upper. A text that is a leading part of the other sorts
// first. The ligatures AE, OE and the sharp s sort as their two letters.
//
// Every locale gets the same Western European collation. The comparison
// reads each text at most three times and allocates nothing.
int CompareStringA(LCID Locale, std::uint32_t Flags, const char* String1, int Count1,
                   const char* String2, int Count2);

} // namespace ztl
