// Date-time values and time stamps: encoding, decoding, conversion between the
// two forms, and the one text format the library reads and writes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/rtl/SysUtils.h"

namespace ztl {

// Days since 1899-12-30 with the time of day as the fraction. A negative value
// counts days before 1899-12-30, and its fraction is still the time of day
// taken without its sign: -1.25 is 1899-12-29 06:00.
using TDateTime = double;

// A moment as two whole numbers: the day (0001-01-01 is day 1) and the
// milliseconds since that day's midnight.
struct TTimeStamp {
  std::int32_t Time = 0; // milliseconds since midnight, 0 .. 86 399 999
  std::int32_t Date = 0; // day number; 1899-12-30 is DateDelta
};

inline constexpr std::int32_t HoursPerDay = 24;
inline constexpr std::int32_t MinsPerDay = HoursPerDay * 60;
inline constexpr std::int32_t SecsPerDay = MinsPerDay * 60;
inline constexpr std::int32_t MSecsPerDay = SecsPerDay * 1000;
// Day number of 1899-12-30, the date-time epoch.
inline constexpr std::int32_t DateDelta = 693594;
// Range of date-times that name a day between 0001-01-01 and 9999-12-31.
inline constexpr TDateTime MinDateTime = -693593.0;
inline constexpr TDateTime MaxDateTime = 2958465.99999999;

inline constexpr const char* SDateEncodeError = "Invalid argument to date encode";
inline constexpr const char* STimeEncodeError = "Invalid argument to time encode";
inline constexpr const char* SInvalidDate = "'%s' is not a valid date";
inline constexpr const char* SInvalidTime = "'%s' is not a valid time";
inline constexpr const char* SInvalidDateTime = "'%s' is not a valid date and time";
// Formatted with the milliseconds as text.
inline constexpr const char* SInvalidTimeStamp = "'%s' is not a valid timestamp";

bool IsLeapYear(int Year);
// Days of Month in Year; 0 for a month outside 1..12.
int DaysInAMonth(int Year, int Month);

// Year 1..9999, Month 1..12, Day valid for the month. EncodeDate raises
// EConvertError with SDateEncodeError; TryEncodeDate returns false and leaves
// Result alone.
TDateTime EncodeDate(int Year, int Month, int Day);
bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Result);
// Hour 0..23, Min 0..59, Sec 0..59, MSec 0..999; the result is a fraction of
// a day. Raises EConvertError with STimeEncodeError.
TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec);
bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime& Result);

// The calendar day and the time of day of a date-time, after rounding to the
// nearest millisecond (so 0.9999999999 decodes as the next day at 00:00:00.000).
// A day before 0001-01-01 decodes as 0/0/0. A value outside the int32 day range
// or NaN raises EConvertError with SInvalidDateTime.
void DecodeDate(TDateTime DateTime, int& Year, int& Month, int& Day);
void DecodeTime(TDateTime DateTime, int& Hour, int& Min, int& Sec, int& MSec);
void DecodeDateTime(TDateTime DateTime, int& Year, int& Month, int& Day, int& Hour, int& Min,
                    int& Sec, int& MSec);

// Date-time to time stamp, rounded to whole milliseconds with the carry going
// into the next day. NaN, infinities and values whose day does not fit the
// 32-bit day number raise EConvertError with SInvalidDateTime.
TTimeStamp DateTimeToTimeStamp(TDateTime DateTime);
// Time stamp to date-time; the inverse of DateTimeToTimeStamp. Plain
// arithmetic: any pair of numbers gives a number, nothing is checked.
TDateTime TimeStampToDateTime(const TTimeStamp& TimeStamp);
// Milliseconds since 0001-01-01 00:00 minus one day (Date * MSecsPerDay + Time)
// and back. MSecsToTimeStamp rounds to a whole millisecond and splits with a
// floor division, so Time is always 0..86 399 999; NaN or a day beyond the
// 32-bit day number raises EConvertError with SInvalidTimeStamp.
double TimeStampToMSecs(const TTimeStamp& TimeStamp);
TTimeStamp MSecsToTimeStamp(double MSecs);

// Today at 00:00, and the current local date and time (millisecond precision).
TDateTime Date();
TDateTime Time();
TDateTime Now();

// The text format: dates "YYYY-MM-DD", times "HH:MM:SS" with ".zzz" only when
// the milliseconds are not 0, date-times "YYYY-MM-DD HH:MM:SS[.zzz]".
// DateTimeToStr leaves out the time at midnight and the date when the whole
// part is 0 and the time is not midnight (0.0 itself prints as "1899-12-30").
std::string DateToStr(TDateTime DateTime);
std::string TimeToStr(TDateTime DateTime);
std::string DateTimeToStr(TDateTime DateTime);

// Reading: surrounding blanks are ignored; years have 1 to 4 digits, months,
// days, hours, minutes and seconds 1 or 2; the seconds may be left out
// ("HH:MM"); a fraction of a second may have any number of digits, of which
// the first three count (the rest are cut off). Between date and time stands
// one or more blanks or one 'T'. StrToDateTime also takes a date alone or a
// time alone. Failures raise EConvertError with SInvalidDate, SInvalidTime or
// SInvalidDateTime; the Try forms return false and leave Result alone.
TDateTime StrToDate(std::string_view S);
TDateTime StrToTime(std::string_view S);
TDateTime StrToDateTime(std::string_view S);
bool TryStrToDate(std::string_view S, TDateTime& Result);
bool TryStrToTime(std::string_view S, TDateTime& Result);
bool TryStrToDateTime(std::string_view S, TDateTime& Result);

} // namespace ztl
