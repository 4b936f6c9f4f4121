// Separated-list helpers, character replacement, trailing-blank trimming of client-library
// buffers and the file-name prefix.
#include "sqltext/ZtlUtil.h"

#include <array>
#include <cstring>
#include <string_view>

namespace ztl {

void ZtlConcateField(std::string& List, const std::string& Separator, const std::string& Item) {
  if (!List.empty())
    List += Separator;
  List += Item;
}

void ZtlConcateEmptyField(std::string& List, const std::string& Separator,
                          const std::string& Item) {
  if (Item.empty())
    return;
  if (!List.empty())
    List += Separator;
  List += Item;
}

std::string ZtlExtractField(const std::string& List, const std::string& Separator, int Index) {
  // The work string is List from Offset on; "deleting" its first characters moves Offset.
  // Found is the 1-based position of the separator in the work string (its length plus one
  // when there is none), so dropping Found characters drops the item and one character more.
  const std::string_view Whole(List);
  std::size_t Offset = 0;
  std::size_t Found = 0;
  int Count = 0;
  const auto WorkLength = [&] { return Whole.size() - Offset; };
  while (Count != Index && Found < WorkLength()) {
    Offset += Found; // Found < WorkLength(), so Offset stays inside List
    const std::string_view Work = Whole.substr(Offset);
    // An empty separator is found nowhere, as with the platform's position search.
    const std::size_t At = Separator.empty() ? std::string_view::npos : Work.find(Separator);
    Found = At == std::string_view::npos ? Work.size() + 1 : At + 1;
    ++Count;
  }
  if (Found > 0 && Count == Index)
    return std::string(Whole.substr(Offset, Found - 1));
  return std::string();
}

std::string ZtlReplaceChar(const std::string& Chars, const std::string& Replacement,
                           const std::string& Text) {
  std::array<bool, 256> InChars{};
  for (const char C : Chars)
    InChars[static_cast<unsigned char>(C)] = true;
  std::string Result;
  Result.reserve(Text.size());
  for (const char C : Text) {
    if (InChars[static_cast<unsigned char>(C)])
      Result += Replacement;
    else
      Result += C;
  }
  return Result;
}

char* ZtlTrimTrailBlanks(char* Buffer) {
  if (Buffer == nullptr)
    return Buffer;
  std::size_t Length = std::strlen(Buffer);
  while (Length > 0 && static_cast<unsigned char>(Buffer[Length - 1]) <= 32)
    --Length;
  Buffer[Length] = '\0';
  return Buffer;
}

std::string ZtlExtractFilePrefix(const std::string& FileName) {
  // "/" counts beside "\" and ":" so that a full stop in a directory name is not taken for an
  // extension on either kind of path.
  const std::size_t Last = FileName.find_last_of(".\\:/");
  if (Last != std::string::npos && FileName[Last] == '.')
    return FileName.substr(0, Last);
  return FileName;
}

} // namespace ztl
