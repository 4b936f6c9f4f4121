// The ";"-list helpers, character replacement, trailing-blank trimming, file-name prefixes and
// the binding of entry points.
#include <gtest/gtest.h>

#include <cstring>
#include <dlfcn.h>
#include <string>

#include "sqltext/ZtlUtil.h"

using namespace ztl;

TEST(FieldLists, ConcateKeepsOrDropsEmptyItems) {
  struct Case {
    std::string List, Separator, Item, Concate, ConcateEmpty;
  };
  const Case Cases[] = {
      {"a", ";", "", "a;", "a"},
      {"", ";", "x", "x", "x"},
      {"", ";", "", "", ""},
      {"a", ", ", "b", "a, b", "a, b"},
  };
  for (const Case& C : Cases) {
    std::string List = C.List;
    ZtlConcateField(List, C.Separator, C.Item);
    EXPECT_EQ(List, C.Concate) << C.List << '+' << C.Item;
    List = C.List;
    ZtlConcateEmptyField(List, C.Separator, C.Item);
    EXPECT_EQ(List, C.ConcateEmpty) << C.List << '+' << C.Item;
  }
}

TEST(FieldLists, ExtractFieldByIndex) {
  struct Case {
    std::string List, Separator;
    int Index;
    std::string Expected;
  };
  const Case Cases[] = {
      {"a;b", ";", 1, "a"},
      {"a;b", ";", 2, "b"},
      {"a;b", ";", 3, ""},
      {"a;;c", ";", 2, ""},
      {"a;;c", ";", 3, "c"},
      {";b", ";", 1, ""},
      {"abc", ";", 1, "abc"},
      {"a;", ";", 2, ""},
      {"a;b", ";", 0, ""},
      {"a;b", ";", -1, ""},
      {"", ";", 1, ""},
      {"a;b", ";", 2147483647, ""},
      // Each step drops one character after the item: the rest of a longer separator stays.
      {"a, b, c", ", ", 2, " b"},
      {"abc", "", 1, "abc"},
      {"abc", "", 2, ""},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(ZtlExtractField(C.List, C.Separator, C.Index), C.Expected)
        << C.List << " #" << C.Index;
}

TEST(ReplaceChar, ReplacesEveryCharacterOfTheSetOnce) {
  struct Case {
    std::string Chars, Replacement, Text, Expected;
  };
  const Case Cases[] = {
      {".,", "_", "1.2,3", "1_2_3"},
      {"", "_", "1.2,3", "1.2,3"},
      {".,", "_", "123", "123"},
      {".,", "", "1.2,3", "123"},
      // The inserted text is not searched again, so this ends.
      {".", "..", "a.b", "a..b"},
      {"ab", "ba", "ab", "baba"},
      {std::string("\xE9", 1), "e", "caf\xE9", "cafe"},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(ZtlReplaceChar(C.Chars, C.Replacement, C.Text), C.Expected) << C.Text;
}

TEST(TrimTrailBlanks, CutsControlCharactersAndSpacesInPlace) {
  struct Case {
    std::string Input, Expected;
  };
  const Case Cases[] = {
      {"abc \t\r", "abc"}, {" \t\n", ""},      {"", ""},
      {" a b ", " a b"},   {"x\x01\x1F", "x"}, {"\xA0\xFF", "\xA0\xFF"},
  };
  for (const Case& C : Cases) {
    std::string Buffer = C.Input;
    char* Result = ZtlTrimTrailBlanks(Buffer.data());
    EXPECT_EQ(Result, Buffer.data());
    EXPECT_STREQ(Result, C.Expected.c_str()) << C.Input;
  }
  EXPECT_EQ(ZtlTrimTrailBlanks(nullptr), nullptr);
}

TEST(ExtractFilePrefix, DropsOnlyAnExtensionOfTheFileName) {
  struct Case {
    std::string Name, Expected;
  };
  const Case Cases[] = {
      {"c:\\data\\sales.db", "c:\\data\\sales"},
      {"c:\\dir.x\\file", "c:\\dir.x\\file"},
      {"name.", "name"},
      {"plain", "plain"},
      {"a.b.c", "a.b"},
      {"/var/dir.x/file", "/var/dir.x/file"},
      {"/var/db/sales.sqlite", "/var/db/sales"},
      {"c:x", "c:x"},
      {"", ""},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(ZtlExtractFilePrefix(C.Name), C.Expected) << C.Name;
}

namespace {
void Placeholder() {}
} // namespace

TEST(ProcAddress, BindsTheEntryPointOrTheFallback) {
  int Proc = 0, Fallback = 0;
  void* Target = nullptr;
  ZtlAssignProcAddress(Target, &Proc, &Fallback);
  EXPECT_EQ(Target, &Proc);
  ZtlAssignProcAddress(Target, nullptr, &Fallback);
  EXPECT_EQ(Target, &Fallback);

  void* Library = dlopen(nullptr, RTLD_NOW);
  ASSERT_NE(Library, nullptr);
  using TStrLen = std::size_t(const char*);
  TStrLen* StrLen = nullptr;
  ZtlAssignProcAddress(StrLen, ZtlGetProcAddress(Library, "strlen"), &Placeholder);
  ASSERT_NE(reinterpret_cast<void*>(StrLen), reinterpret_cast<void*>(&Placeholder));
  EXPECT_EQ(StrLen("abc"), 3u);
  ZtlAssignProcAddress(StrLen, ZtlGetProcAddress(Library, "ztl_no_such_entry_point"), &Placeholder);
  EXPECT_EQ(reinterpret_cast<void*>(StrLen), reinterpret_cast<void*>(&Placeholder));
  // A null handle must not fall back to a search of the whole process.
  EXPECT_EQ(ZtlGetProcAddress(nullptr, "strlen"), nullptr);
  EXPECT_EQ(ZtlGetProcAddress(Library, nullptr), nullptr);
  dlclose(Library);
}
