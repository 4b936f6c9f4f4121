// Exceptions, Format, comparisons, case mapping, trimming and file names.
#include "framework/rtl/SysUtils.h"

#include <charconv>
#include <cstring>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

#include "framework/rtl/System.h"

namespace ztl {

std::string TObject::ClassName() const {
  const char* Mangled = typeid(*this).name();
  int Status = 0;
  std::unique_ptr<char, void (*)(void*)> Demangled(
      abi::__cxa_demangle(Mangled, nullptr, nullptr, &Status), std::free);
  std::string Name = (Status == 0 && Demangled) ? Demangled.get() : Mangled;
  // Only the last name counts: "ztl::TComponent" is known as "TComponent".
  std::size_t Colon = Name.rfind("::");
  return Colon == std::string::npos ? Name : Name.substr(Colon + 2);
}

void Abort() {
  throw EAbort();
}

namespace {

// Windows-1252 case mapping: ASCII letters, and the Latin-1 letters of the
// upper half (0xC0..0xDE except 0xD7 pair with 0xE0..0xFE except 0xF7), plus
// the three pairs the code page places at 0x8A/0x9A, 0x8C/0x9C, 0x8E/0x9E and
// 0x9F/0xFF.
unsigned char AnsiUpper(unsigned char C) {
  if (C >= 'a' && C <= 'z')
    return C - 32;
  if (C >= 0xE0 && C <= 0xFE && C != 0xF7)
    return C - 32;
  switch (C) {
  case 0x9A:
    return 0x8A;
  case 0x9C:
    return 0x8C;
  case 0x9E:
    return 0x8E;
  case 0xFF:
    return 0x9F;
  default:
    return C;
  }
}

unsigned char AnsiLower(unsigned char C) {
  if (C >= 'A' && C <= 'Z')
    return C + 32;
  if (C >= 0xC0 && C <= 0xDE && C != 0xD7)
    return C + 32;
  switch (C) {
  case 0x8A:
    return 0x9A;
  case 0x8C:
    return 0x9C;
  case 0x8E:
    return 0x9E;
  case 0x9F:
    return 0xFF;
  default:
    return C;
  }
}

unsigned char AsciiUpper(unsigned char C) {
  return (C >= 'a' && C <= 'z') ? C - 32 : C;
}
unsigned char AsciiLower(unsigned char C) {
  return (C >= 'A' && C <= 'Z') ? C + 32 : C;
}

template <class Fold>
int CompareFolded(std::string_view S1, std::string_view S2, Fold F) {
  std::size_t N = std::min(S1.size(), S2.size());
  for (std::size_t I = 0; I < N; ++I) {
    int A = F(static_cast<unsigned char>(S1[I]));
    int B = F(static_cast<unsigned char>(S2[I]));
    if (A != B)
      return A - B;
  }
  if (S1.size() == S2.size())
    return 0;
  return S1.size() < S2.size() ? -1 : 1;
}

bool IsPathDelimiter(char C) {
  return C == '/' || C == '\\' || C == ':';
}

} // namespace

std::string Format(std::string_view Fmt, std::initializer_list<TFormatArg> Args) {
  std::string Out;
  Out.reserve(Fmt.size() + 16);
  auto Next = Args.begin();
  for (std::size_t I = 0; I < Fmt.size(); ++I) {
    char C = Fmt[I];
    if (C != '%') {
      Out += C;
      continue;
    }
    if (I + 1 < Fmt.size() && Fmt[I + 1] == '%') {
      Out += '%';
      ++I;
      continue;
    }
    // %[-][width][.precision](s|d)
    std::size_t J = I + 1;
    bool LeftAlign = false;
    if (J < Fmt.size() && Fmt[J] == '-') {
      LeftAlign = true;
      ++J;
    }
    std::size_t Width = 0;
    while (J < Fmt.size() && Fmt[J] >= '0' && Fmt[J] <= '9')
      Width = Width * 10 + static_cast<std::size_t>(Fmt[J++] - '0');
    std::size_t Precision = std::string::npos;
    if (J < Fmt.size() && Fmt[J] == '.') {
      ++J;
      Precision = 0;
      while (J < Fmt.size() && Fmt[J] >= '0' && Fmt[J] <= '9')
        Precision = Precision * 10 + static_cast<std::size_t>(Fmt[J++] - '0');
    }
    if (J >= Fmt.size() || (Fmt[J] != 's' && Fmt[J] != 'd')) {
      throw EConvertError(std::string("Format '") + std::string(Fmt) +
                          "' invalid or incompatible with argument");
    }
    if (Next == Args.end())
      throw EConvertError(std::string("No argument for format '") + std::string(Fmt) + "'");
    std::string Piece;
    if (const auto* Text = std::get_if<std::string_view>(&*Next))
      Piece = std::string(*Text);
    else
      Piece = std::to_string(std::get<std::int64_t>(*Next));
    ++Next;
    if (Fmt[J] == 's' && Precision < Piece.size())
      Piece.resize(Precision);
    if (Piece.size() < Width) {
      std::string Pad(Width - Piece.size(), ' ');
      Piece = LeftAlign ? Piece + Pad : Pad + Piece;
    }
    Out += Piece;
    I = J;
  }
  return Out;
}

int CompareText(std::string_view S1, std::string_view S2) {
  return CompareFolded(S1, S2, AsciiUpper);
}

int AnsiCompareText(std::string_view S1, std::string_view S2) {
  return CompareFolded(S1, S2, AnsiUpper);
}

bool SameText(std::string_view S1, std::string_view S2) {
  return CompareText(S1, S2) == 0;
}

int CompareStr(std::string_view S1, std::string_view S2) {
  return CompareFolded(S1, S2, [](unsigned char C) { return C; });
}

std::string UpperCase(std::string_view S) {
  std::string R(S);
  for (char& C : R)
    C = static_cast<char>(AsciiUpper(static_cast<unsigned char>(C)));
  return R;
}

std::string LowerCase(std::string_view S) {
  std::string R(S);
  for (char& C : R)
    C = static_cast<char>(AsciiLower(static_cast<unsigned char>(C)));
  return R;
}

char AnsiUpperChar(char C) {
  return static_cast<char>(AnsiUpper(static_cast<unsigned char>(C)));
}
char AnsiLowerChar(char C) {
  return static_cast<char>(AnsiLower(static_cast<unsigned char>(C)));
}

std::string AnsiUpperCase(std::string_view S) {
  std::string R(S);
  for (char& C : R)
    C = AnsiUpperChar(C);
  return R;
}

std::string AnsiLowerCase(std::string_view S) {
  std::string R(S);
  for (char& C : R)
    C = AnsiLowerChar(C);
  return R;
}

std::string TrimLeft(std::string_view S) {
  std::size_t I = 0;
  while (I < S.size() && static_cast<unsigned char>(S[I]) <= ' ')
    ++I;
  return std::string(S.substr(I));
}

std::string TrimRight(std::string_view S) {
  std::size_t N = S.size();
  while (N > 0 && static_cast<unsigned char>(S[N - 1]) <= ' ')
    --N;
  return std::string(S.substr(0, N));
}

std::string Trim(std::string_view S) {
  return TrimRight(TrimLeft(S));
}

std::string ExtractFileName(std::string_view FileName) {
  std::size_t I = FileName.size();
  while (I > 0 && !IsPathDelimiter(FileName[I - 1]))
    --I;
  return std::string(FileName.substr(I));
}

std::string ExtractFilePath(std::string_view FileName) {
  std::size_t I = FileName.size();
  while (I > 0 && !IsPathDelimiter(FileName[I - 1]))
    --I;
  return std::string(FileName.substr(0, I));
}

std::string ExtractFileDir(std::string_view FileName) {
  std::size_t I = FileName.size();
  while (I > 0 && !IsPathDelimiter(FileName[I - 1]))
    --I;
  // Drop the separator itself unless it is the root ("/", "C:\") or a drive.
  if (I > 0 && (FileName[I - 1] == '/' || FileName[I - 1] == '\\')) {
    bool IsRoot = I == 1 || FileName[I - 2] == ':';
    if (!IsRoot)
      --I;
  }
  return std::string(FileName.substr(0, I));
}

std::string ExtractFileExt(std::string_view FileName) {
  std::size_t I = FileName.size();
  while (I > 0 && !IsPathDelimiter(FileName[I - 1])) {
    if (FileName[I - 1] == '.')
      return std::string(FileName.substr(I - 1));
    --I;
  }
  return std::string();
}

std::string IntToStr(std::int64_t Value) {
  return std::to_string(Value);
}

std::int64_t StrToInt(std::string_view S) {
  std::string T = Trim(S);
  std::string_view V = T;
  bool Negative = false;
  if (!V.empty() && (V[0] == '+' || V[0] == '-')) {
    Negative = V[0] == '-';
    V.remove_prefix(1);
  }
  std::uint64_t Magnitude = 0;
  int Base = 10;
  if (!V.empty() && V[0] == '$') {
    Base = 16;
    V.remove_prefix(1);
  } else if (V.size() > 2 && V[0] == '0' && (V[1] == 'x' || V[1] == 'X')) {
    Base = 16;
    V.remove_prefix(2);
  }
  auto [Ptr, Ec] = std::from_chars(V.data(), V.data() + V.size(), Magnitude, Base);
  constexpr std::uint64_t Limit = std::uint64_t{1} << 63;
  if (V.empty() || Ec != std::errc() || Ptr != V.data() + V.size() ||
      Magnitude > (Negative ? Limit : Limit - 1))
    throw EConvertError(Format(SInvalidInteger, {S}));
  if (Negative)
    return Magnitude == Limit ? INT64_MIN : -static_cast<std::int64_t>(Magnitude);
  return static_cast<std::int64_t>(Magnitude);
}

std::int64_t StrToIntDef(std::string_view S, std::int64_t Default) {
  try {
    return StrToInt(S);
  } catch (const EConvertError&) {
    return Default;
  }
}

} // namespace ztl
