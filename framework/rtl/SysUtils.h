// Exceptions of the framework runtime and the string and file-name helpers.
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace ztl {

// Root of every exception the library raises. what() is the message.
class Exception : public std::exception {
public:
  explicit Exception(std::string Msg) : Message(std::move(Msg)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  const std::string& GetMessage() const { return Message; }
  void SetMessage(std::string Msg) { Message = std::move(Msg); }

private:
  std::string Message;
};

// The silent exception: handlers that report errors ignore it.
class EAbort : public Exception {
public:
  EAbort() : Exception("Operation aborted") {}
  using Exception::Exception;
};
[[noreturn]] void Abort();

class EVariantError : public Exception {
public:
  using Exception::Exception;
};
class EListError : public Exception {
public:
  using Exception::Exception;
};
class EConvertError : public Exception {
public:
  using Exception::Exception;
};
class EStreamError : public Exception {
public:
  using Exception::Exception;
};
class EReadError : public EStreamError {
public:
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
  using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
public:
  using EStreamError::EStreamError;
};
class EInvalidCast : public Exception {
public:
  using Exception::Exception;
};
class EInvalidGraphic : public Exception {
public:
  using Exception::Exception;
};

// The framework's own message texts.
inline constexpr const char* SListIndexError = "List index out of bounds (%d)";
inline constexpr const char* SAssignError = "Cannot assign a %s to a %s";
inline constexpr const char* SReadError = "Stream read error";
inline constexpr const char* SWriteError = "Stream write error";
inline constexpr const char* SFOpenError = "Cannot open file %s";
inline constexpr const char* SFCreateError = "Cannot create file %s";
inline constexpr const char* SInvalidCast = "Invalid class typecast";
inline constexpr const char* SInvalidInteger = "'%s' is not a valid integer value";
inline constexpr const char* SInvalidFloat = "'%s' is not a valid floating point value";

// One argument of Format: text or a whole number.
using TFormatArg = std::variant<std::string_view, std::int64_t>;

// Format(Fmt, {args}): %s takes the next argument as text, %d as a decimal
// number (a text argument given to %d is printed as it is), %% is a percent
// sign. Width, precision and '-' are honoured ("%5d", "%-10s", "%.3s").
// A directive without an argument left raises EConvertError rather than
// reading past the list.
std::string Format(std::string_view Fmt, std::initializer_list<TFormatArg> Args);

// Case-insensitive comparisons; negative, zero or positive like strcmp.
// CompareText folds only ASCII letters; AnsiCompareText folds the letters of
// Windows-1252 as well and orders by the folded bytes.
int CompareText(std::string_view S1, std::string_view S2);
int AnsiCompareText(std::string_view S1, std::string_view S2);
bool SameText(std::string_view S1, std::string_view S2);
// AnsiCompareText(S1, S2) == 0. Folding keeps every character one byte, so
// texts of different lengths differ without a look at their characters: a
// name searched among others mostly costs one length test per candidate.
inline bool AnsiSameText(std::string_view S1, std::string_view S2) {
  return S1.size() == S2.size() && AnsiCompareText(S1, S2) == 0;
}
int CompareStr(std::string_view S1, std::string_view S2);

// Upper and lower case: ASCII letters only (UpperCase, LowerCase) or the
// letters of Windows-1252 too (AnsiUpperCase, AnsiLowerCase).
std::string UpperCase(std::string_view S);
std::string LowerCase(std::string_view S);
std::string AnsiUpperCase(std::string_view S);
std::string AnsiLowerCase(std::string_view S);
char AnsiUpperChar(char C);
char AnsiLowerChar(char C);

// Trim removes leading and trailing characters <= ' ' (control characters and
// the space), as the framework does; TrimLeft and TrimRight one side only.
std::string Trim(std::string_view S);
std::string TrimLeft(std::string_view S);
std::string TrimRight(std::string_view S);

// File-name parts. Both '/' and '\' separate folders, ':' ends a drive.
// ExtractFileDir keeps no trailing separator (except a root: "/" or "C:\").
std::string ExtractFileName(std::string_view FileName);
std::string ExtractFilePath(std::string_view FileName);
std::string ExtractFileDir(std::string_view FileName);
std::string ExtractFileExt(std::string_view FileName);

std::string IntToStr(std::int64_t Value);
// StrToInt raises EConvertError with SInvalidInteger; StrToIntDef returns Default.
std::int64_t StrToInt(std::string_view S);
std::int64_t StrToIntDef(std::string_view S, std::int64_t Default);

} // namespace ztl
