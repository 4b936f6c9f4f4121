// Calendar arithmetic, time stamps, the clock and the date-time text format.
#include "framework/variant/DateUtils.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

#include "framework/rtl/SysUtils.h"
#include "framework/variant/Variants_p.h"
#include "framework/variant/Variants.h"

namespace ztl {

using detail::TrimView;

namespace {

constexpr int DaysBeforeMonth[2][13] = {{0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
                                        {0, 0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335}};

[[noreturn]] void InvalidDateTime(TDateTime DateTime) {
  throw EConvertError(Format(SInvalidDateTime, {FloatToStr(DateTime)}));
}

// Day number (0001-01-01 = 1) of a date already checked to be valid.
std::int32_t DayNumber(int Year, int Month, int Day) {
  const int Y = Year - 1;
  return Y * 365 + Y / 4 - Y / 100 + Y / 400 + DaysBeforeMonth[IsLeapYear(Year) ? 1 : 0][Month] +
         Day;
}

// Calendar date of a day number; days before 0001-01-01 give 0/0/0.
void DayToDate(std::int32_t DayNo, int& Year, int& Month, int& Day) {
  if (DayNo <= 0) {
    Year = Month = Day = 0;
    return;
  }
  constexpr int D1 = 365, D4 = D1 * 4 + 1, D100 = D4 * 25 - 1, D400 = D100 * 4 + 1;
  int T = DayNo - 1; // days since 0001-01-01
  int Y = 1;
  Y += (T / D400) * 400;
  T %= D400;
  int I = T / D100;
  // The last day of a 400-year cycle belongs to its fourth century.
  if (I == 4)
    I = 3;
  Y += I * 100;
  T -= I * D100;
  Y += (T / D4) * 4;
  T %= D4;
  I = T / D1;
  if (I == 4) // the leap day closing a four-year group
    I = 3;
  Y += I;
  T -= I * D1;
  const int Leap = IsLeapYear(Y) ? 1 : 0;
  int M = 12;
  while (DaysBeforeMonth[Leap][M] > T)
    --M;
  Year = Y;
  Month = M;
  Day = T - DaysBeforeMonth[Leap][M] + 1;
}

// Whole part and time of day combined by the framework's sign rule: before
// the epoch the time of day counts away from zero.
TDateTime Compose(double Days, double TimeFraction) {
  return Days < 0 ? Days - TimeFraction : Days + TimeFraction;
}

void SplitTime(std::int32_t MSecs, int& Hour, int& Min, int& Sec, int& MSec) {
  Hour = MSecs / 3600000;
  Min = MSecs / 60000 % 60;
  Sec = MSecs / 1000 % 60;
  MSec = MSecs % 1000;
}

std::string FormatDate(const TTimeStamp& TS) {
  int Y, M, D;
  DayToDate(TS.Date, Y, M, D);
  char Buf[32];
  std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02d", Y, M, D);
  return Buf;
}

std::string FormatTime(const TTimeStamp& TS) {
  int H, M, S, MS;
  SplitTime(TS.Time, H, M, S, MS);
  char Buf[32];
  if (MS != 0)
    std::snprintf(Buf, sizeof Buf, "%02d:%02d:%02d.%03d", H, M, S, MS);
  else
    std::snprintf(Buf, sizeof Buf, "%02d:%02d:%02d", H, M, S);
  return Buf;
}

// A reader over trimmed text; each Read step leaves Pos after what it took.
struct TTextReader {
  std::string_view Text; // the text being read
  std::size_t Pos = 0;   // next character to read

  bool AtEnd() const { return Pos >= Text.size(); }
  bool Take(char C) {
    if (!AtEnd() && Text[Pos] == C) {
      ++Pos;
      return true;
    }
    return false;
  }
  // 1 to MaxDigits decimal digits.
  bool Number(int MaxDigits, int& Value) {
    int Count = 0;
    Value = 0;
    while (!AtEnd() && Text[Pos] >= '0' && Text[Pos] <= '9' && Count < MaxDigits) {
      Value = Value * 10 + (Text[Pos] - '0');
      ++Pos;
      ++Count;
    }
    return Count > 0 && (AtEnd() || Text[Pos] < '0' || Text[Pos] > '9');
  }
};

bool ReadDate(TTextReader& R, TDateTime& Result) {
  int Y, M, D;
  return R.Number(4, Y) && R.Take('-') && R.Number(2, M) && R.Take('-') && R.Number(2, D) &&
         TryEncodeDate(Y, M, D, Result);
}

bool ReadTime(TTextReader& R, TDateTime& Result) {
  int H, M, S = 0, MS = 0;
  if (!R.Number(2, H) || !R.Take(':') || !R.Number(2, M))
    return false;
  if (R.Take(':')) {
    if (!R.Number(2, S))
      return false;
    if (R.Take('.')) {
      // Digits after the third only refine below a millisecond: cut off.
      int Count = 0;
      while (!R.AtEnd() && R.Text[R.Pos] >= '0' && R.Text[R.Pos] <= '9') {
        if (Count < 3)
          MS = MS * 10 + (R.Text[R.Pos] - '0');
        ++Count;
        ++R.Pos;
      }
      if (Count == 0)
        return false;
      for (int I = Count; I < 3; ++I)
        MS *= 10;
    }
  }
  return TryEncodeTime(H, M, S, MS, Result);
}

bool IsBlank(char C) {
  return static_cast<unsigned char>(C) <= ' ';
}

// Reads S, blanks around it allowed, with Read, which must take all of it;
// Result is left alone on failure.
bool ReadWhole(std::string_view S, bool (*Read)(TTextReader&, TDateTime&), TDateTime& Result) {
  TTextReader R{TrimView(S)};
  TDateTime Value;
  if (!Read(R, Value) || !R.AtEnd())
    return false;
  Result = Value;
  return true;
}

bool ParseDateTime(std::string_view S, TDateTime& Result) {
  TTextReader R{TrimView(S)};
  TDateTime D;
  if (ReadDate(R, D)) {
    if (R.AtEnd()) {
      Result = D;
      return true;
    }
    if (!R.Take('T') && !R.Take('t')) {
      if (!IsBlank(R.Text[R.Pos]))
        return false;
      while (!R.AtEnd() && IsBlank(R.Text[R.Pos]))
        ++R.Pos;
    }
    TDateTime T;
    if (!ReadTime(R, T) || !R.AtEnd())
      return false;
    Result = Compose(D, T);
    return true;
  }
  R.Pos = 0;
  TDateTime T;
  if (ReadTime(R, T) && R.AtEnd()) {
    Result = T;
    return true;
  }
  return false;
}

} // namespace

bool IsLeapYear(int Year) {
  return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0);
}

int DaysInAMonth(int Year, int Month) {
  if (Month < 1 || Month > 12)
    return 0;
  static constexpr int Days[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return Month == 2 && IsLeapYear(Year) ? 29 : Days[Month];
}

bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Result) {
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 ||
      Day > DaysInAMonth(Year, Month))
    return false;
  Result = static_cast<double>(DayNumber(Year, Month, Day) - DateDelta);
  return true;
}

TDateTime EncodeDate(int Year, int Month, int Day) {
  TDateTime Result;
  if (!TryEncodeDate(Year, Month, Day, Result))
    throw EConvertError(SDateEncodeError);
  return Result;
}

bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime& Result) {
  if (Hour < 0 || Hour > 23 || Min < 0 || Min > 59 || Sec < 0 || Sec > 59 || MSec < 0 || MSec > 999)
    return false;
  const std::int32_t MSecs = ((Hour * 60 + Min) * 60 + Sec) * 1000 + MSec;
  Result = static_cast<double>(MSecs) / MSecsPerDay;
  return true;
}

TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec) {
  TDateTime Result;
  if (!TryEncodeTime(Hour, Min, Sec, MSec, Result))
    throw EConvertError(STimeEncodeError);
  return Result;
}

TTimeStamp DateTimeToTimeStamp(TDateTime DateTime) {
  // Work in 64 bits and check the day number only once it is known, so no
  // cast below ever sees a value outside its type.
  constexpr double Limit = 4.0e12; // far beyond any 32-bit day number, well inside int64
  if (!std::isfinite(DateTime) || std::fabs(DateTime) >= Limit)
    InvalidDateTime(DateTime);
  const double Whole = std::trunc(DateTime);
  const double Fraction = std::fabs(DateTime - Whole);
  // Rounded half away from zero without a call to llround: the scaled
  // fraction lies in [0, MSecsPerDay], where both the truncation and the
  // difference below are exact, so the half-way test decides as llround.
  const double Scaled = Fraction * MSecsPerDay;
  auto MSecs = static_cast<std::int32_t>(Scaled);
  if (Scaled - MSecs >= 0.5)
    ++MSecs;
  std::int64_t Day = std::int64_t{DateDelta} + static_cast<std::int64_t>(Whole);
  // A time that rounds up to midnight belongs to the following calendar day,
  // whichever side of the epoch the value lies on.
  if (MSecs >= MSecsPerDay) {
    MSecs -= MSecsPerDay;
    ++Day;
  }
  if (Day < std::numeric_limits<std::int32_t>::min() ||
      Day > std::numeric_limits<std::int32_t>::max())
    InvalidDateTime(DateTime);
  return TTimeStamp{MSecs, static_cast<std::int32_t>(Day)};
}

TDateTime TimeStampToDateTime(const TTimeStamp& TimeStamp) {
  const double Days = static_cast<double>(std::int64_t{TimeStamp.Date} - DateDelta);
  return Compose(Days, static_cast<double>(TimeStamp.Time) / MSecsPerDay);
}

double TimeStampToMSecs(const TTimeStamp& TimeStamp) {
  return static_cast<double>(std::int64_t{TimeStamp.Date} * MSecsPerDay + TimeStamp.Time);
}

TTimeStamp MSecsToTimeStamp(double MSecs) {
  // Every date-time field read lands here with a whole number of
  // milliseconds of a day after 0001-01-01. Below 2^53 such a number and its
  // split are exact in integers, and the double division below cannot round
  // across a day boundary there, so integer division gives the same stamp
  // without the rounding calls.
  if (MSecs >= 0 && MSecs < 0x1p53) {
    const auto Exact = static_cast<std::int64_t>(MSecs);
    if (static_cast<double>(Exact) == MSecs)
      return TTimeStamp{static_cast<std::int32_t>(Exact % MSecsPerDay),
                        static_cast<std::int32_t>(Exact / MSecsPerDay)};
  }
  const double Whole = std::round(MSecs);
  const double Days = std::floor(Whole / MSecsPerDay);
  if (!std::isfinite(Whole) || Days < std::numeric_limits<std::int32_t>::min() ||
      Days > std::numeric_limits<std::int32_t>::max())
    throw EConvertError(Format(SInvalidTimeStamp, {FloatToStr(MSecs)}));
  // Far beyond year 9999 the products are no longer exact in a double; the
  // clamp keeps the remainder a time of day there instead of a wild number.
  double Rest = Whole - Days * MSecsPerDay;
  if (Rest < 0)
    Rest = 0;
  else if (Rest > MSecsPerDay - 1)
    Rest = MSecsPerDay - 1;
  return TTimeStamp{static_cast<std::int32_t>(Rest), static_cast<std::int32_t>(Days)};
}

void DecodeDate(TDateTime DateTime, int& Year, int& Month, int& Day) {
  DayToDate(DateTimeToTimeStamp(DateTime).Date, Year, Month, Day);
}

void DecodeTime(TDateTime DateTime, int& Hour, int& Min, int& Sec, int& MSec) {
  SplitTime(DateTimeToTimeStamp(DateTime).Time, Hour, Min, Sec, MSec);
}

void DecodeDateTime(TDateTime DateTime, int& Year, int& Month, int& Day, int& Hour, int& Min,
                    int& Sec, int& MSec) {
  const TTimeStamp TS = DateTimeToTimeStamp(DateTime);
  DayToDate(TS.Date, Year, Month, Day);
  SplitTime(TS.Time, Hour, Min, Sec, MSec);
}

TDateTime Now() {
  using namespace std::chrono;
  const auto Stamp = system_clock::now();
  const std::time_t Secs = system_clock::to_time_t(Stamp);
  const auto MSec =
      static_cast<int>(duration_cast<milliseconds>(Stamp.time_since_epoch()).count() % 1000 +
                       1000) %
      1000;
  std::tm Local{};
  localtime_r(&Secs, &Local);
  TDateTime D, T;
  if (!TryEncodeDate(Local.tm_year + 1900, Local.tm_mon + 1, Local.tm_mday, D) ||
      !TryEncodeTime(Local.tm_hour, Local.tm_min, Local.tm_sec > 59 ? 59 : Local.tm_sec, MSec, T))
    return 0.0; // only a clock outside 0001..9999 gets here
  return Compose(D, T);
}

TDateTime Date() {
  return std::trunc(Now());
}

TDateTime Time() {
  const TDateTime N = Now();
  return N - std::trunc(N);
}

std::string DateToStr(TDateTime DateTime) {
  return FormatDate(DateTimeToTimeStamp(DateTime));
}

std::string TimeToStr(TDateTime DateTime) {
  return FormatTime(DateTimeToTimeStamp(DateTime));
}

std::string DateTimeToStr(TDateTime DateTime) {
  const TTimeStamp TS = DateTimeToTimeStamp(DateTime);
  if (TS.Time == 0)
    return FormatDate(TS);
  if (TS.Date == DateDelta)
    return FormatTime(TS);
  return FormatDate(TS) + ' ' + FormatTime(TS);
}

bool TryStrToDate(std::string_view S, TDateTime& Result) {
  return ReadWhole(S, ReadDate, Result);
}

bool TryStrToTime(std::string_view S, TDateTime& Result) {
  return ReadWhole(S, ReadTime, Result);
}

bool TryStrToDateTime(std::string_view S, TDateTime& Result) {
  return ParseDateTime(S, Result);
}

TDateTime StrToDate(std::string_view S) {
  TDateTime Result;
  if (!TryStrToDate(S, Result))
    throw EConvertError(Format(SInvalidDate, {S}));
  return Result;
}

TDateTime StrToTime(std::string_view S) {
  TDateTime Result;
  if (!TryStrToTime(S, Result))
    throw EConvertError(Format(SInvalidTime, {S}));
  return Result;
}

TDateTime StrToDateTime(std::string_view S) {
  TDateTime Result;
  if (!TryStrToDateTime(S, Result))
    throw EConvertError(Format(SInvalidDateTime, {S}));
  return Result;
}

} // namespace ztl
