// Conversion between the ANSI code page (Windows-1252) and the OEM code page
// (code page 850), standing in for the platform's CharToOemBuff and
// OemToCharBuff.
#pragma once

#include <cstddef>

namespace ztl {

// Convert Len bytes from Src into Dest. Src and Dest may be the same buffer.
// Every character that both pages hold round-trips; a character the target
// page lacks becomes its closest counterpart, as the platform does.
void CharToOemBuff(const char* Src, char* Dest, std::size_t Len);
void OemToCharBuff(const char* Src, char* Dest, std::size_t Len);

} // namespace ztl
