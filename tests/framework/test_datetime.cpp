// Tests of date-times and time stamps: calendar encoding, rounding to
// milliseconds, the sign rule before 1899-12-30, and the text format.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/variant/DateUtils.h"

using namespace ztl;

namespace {

std::string ConvertErrorOf(const std::function<void()>& F) {
  try {
    F();
  } catch (const EConvertError& E) {
    return E.what();
  }
  return "<none>";
}

TEST(DateEncode, DayNumbersOfKnownDates) {
  struct Case {
    int Y, M, D;
    double DateTime;
    std::int32_t Day;
  } Cases[] = {
      {1899, 12, 30, 0.0, 693594},       {1, 1, 1, -693593.0, 1},
      {1899, 12, 29, -1.0, 693593},      {1900, 3, 1, 61.0, 693655},
      {2000, 1, 1, 36526.0, 730120},     {2000, 2, 29, 36585.0, 730179},
      {2000, 3, 1, 36586.0, 730180},     {9999, 12, 31, 2958465.0, 3652059},
      {1600, 12, 31, -109206.0, 584388},
  };
  for (const Case& C : Cases) {
    const TDateTime DT = EncodeDate(C.Y, C.M, C.D);
    EXPECT_EQ(DT, C.DateTime) << C.Y << '-' << C.M << '-' << C.D;
    EXPECT_EQ(DateTimeToTimeStamp(DT).Date, C.Day);
    int Y, M, D;
    DecodeDate(DT, Y, M, D);
    EXPECT_EQ(Y * 10000 + M * 100 + D, C.Y * 10000 + C.M * 100 + C.D);
  }
}

TEST(DateEncode, EveryDayDecodesToItself) {
  for (std::int32_t Day = 1; Day <= 3652059; Day += 13) {
    const TDateTime DT = TimeStampToDateTime({0, Day});
    int Y, M, D;
    DecodeDate(DT, Y, M, D);
    ASSERT_EQ(EncodeDate(Y, M, D), DT) << Day;
  }
}

TEST(DateEncode, InvalidArgumentsRaise) {
  struct Case {
    int A, B, C, D;
    bool IsDate;
  } Cases[] = {
      {2001, 2, 29, 0, true}, {1900, 2, 29, 0, true}, {2000, 13, 1, 0, true},
      {2000, 0, 1, 0, true},  {2000, 1, 0, 0, true},  {0, 1, 1, 0, true},
      {10000, 1, 1, 0, true}, {2000, 4, 31, 0, true}, {24, 0, 0, 0, false},
      {0, 60, 0, 0, false},   {0, 0, 60, 0, false},   {0, 0, 0, 1000, false},
      {-1, 0, 0, 0, false},
  };
  for (const Case& C : Cases) {
    TDateTime R = 123.0;
    if (C.IsDate) {
      EXPECT_FALSE(TryEncodeDate(C.A, C.B, C.C, R));
      EXPECT_EQ(ConvertErrorOf([&] { (void)EncodeDate(C.A, C.B, C.C); }),
                "Invalid argument to date encode");
    } else {
      EXPECT_FALSE(TryEncodeTime(C.A, C.B, C.C, C.D, R));
      EXPECT_EQ(ConvertErrorOf([&] { (void)EncodeTime(C.A, C.B, C.C, C.D); }),
                "Invalid argument to time encode");
    }
    EXPECT_EQ(R, 123.0);
  }
}

TEST(TimeStamp, RoundsToWholeMillisecondsWithCarryIntoTheNextDay) {
  struct Case {
    TDateTime DT;
    std::int32_t Time, Date;
  } Cases[] = {
      {0.0, 0, 693594},
      {0.5, 43200000, 693594},
      {0.9999999999, 0, 693595},
      {0.9999999, 86399991, 693594},
      {36526.5, 43200000, 730120},
      {-1.25, 21600000, 693593},
      {-0.25, 21600000, 693594},
      {-1.9999999999, 0, 693594},
      {-693593.0, 0, 1},
  };
  for (const Case& C : Cases) {
    const TTimeStamp TS = DateTimeToTimeStamp(C.DT);
    EXPECT_EQ(TS.Time, C.Time) << C.DT;
    EXPECT_EQ(TS.Date, C.Date) << C.DT;
  }
  EXPECT_EQ(TimeStampToDateTime({21600000, 693593}), -1.25);
  EXPECT_EQ(TimeStampToDateTime({43200000, 730120}), 36526.5);

  int H, M, S, MS;
  DecodeTime(0.9999999999, H, M, S, MS);
  EXPECT_EQ(H * 10000000 + M * 100000 + S * 1000 + MS, 0);
  DecodeTime(EncodeTime(23, 59, 59, 999), H, M, S, MS);
  EXPECT_EQ(H * 10000000 + M * 100000 + S * 1000 + MS, 235959999);
}

TEST(TimeStamp, MillisecondsBothWays) {
  // 2000-01-01 12:00 and 0001-01-01 00:00:00.001 as whole milliseconds.
  EXPECT_EQ(TimeStampToMSecs(DateTimeToTimeStamp(36526.5)), 63082411200000.0);
  EXPECT_EQ(TimeStampToMSecs({1, 1}), 86400001.0);
  const TTimeStamp TS = MSecsToTimeStamp(63082411200000.0);
  EXPECT_EQ(TS.Date, 730120);
  EXPECT_EQ(TS.Time, 43200000);
  const TTimeStamp Rounded = MSecsToTimeStamp(86400000.6);
  EXPECT_EQ(Rounded.Date, 1);
  EXPECT_EQ(Rounded.Time, 1);
  const TTimeStamp Before = MSecsToTimeStamp(-1.0);
  EXPECT_EQ(Before.Date, -1);
  EXPECT_EQ(Before.Time, 86399999);
  EXPECT_EQ(ConvertErrorOf([] { (void)MSecsToTimeStamp(std::nan("")); }),
            "'NAN' is not a valid timestamp");
  EXPECT_NE(ConvertErrorOf([] { (void)MSecsToTimeStamp(1e30); }), "<none>");
}

// The two conversions as first written, with the C library's rounding: the
// integer shortcuts must give the same stamps bit for bit.
TTimeStamp RoundingCallsFromDateTime(TDateTime DT) {
  const double Whole = std::trunc(DT);
  auto MSecs = static_cast<std::int32_t>(std::llround(std::fabs(DT - Whole) * MSecsPerDay));
  std::int64_t Day = std::int64_t{DateDelta} + static_cast<std::int64_t>(Whole);
  if (MSecs >= MSecsPerDay) {
    MSecs -= MSecsPerDay;
    ++Day;
  }
  return {MSecs, static_cast<std::int32_t>(Day)};
}

TTimeStamp RoundingCallsFromMSecs(double MSecs) {
  const double Whole = std::round(MSecs);
  const double Days = std::floor(Whole / MSecsPerDay);
  const double Rest = std::clamp(Whole - Days * MSecsPerDay, 0.0, MSecsPerDay - 1.0);
  return {static_cast<std::int32_t>(Rest), static_cast<std::int32_t>(Days)};
}

void ExpectStamp(const TTimeStamp& Got, const TTimeStamp& Want, double From) {
  EXPECT_EQ(Got.Date, Want.Date) << std::hexfloat << From;
  EXPECT_EQ(Got.Time, Want.Time) << std::hexfloat << From;
}

// A date-time field's value travels as milliseconds: date-time to stamp to
// milliseconds in the row decode, back to a stamp and a date-time in the
// field. Across the calendar and at its edges, that trip gives exactly the
// stamp and date-time the rounding calls give.
TEST(TimeStamp, FieldDataTripMatchesTheRoundingCallsExactly) {
  std::vector<TDateTime> Moments = {
      0.0, -0.0, MinDateTime, MaxDateTime, -1.25, -0.5, 36526.5, 1.0 / MSecsPerDay,
      0.5 / MSecsPerDay, std::nextafter(0.5 / MSecsPerDay, 0.0), 0.9999999999, -0.9999999999,
      1.0 - 0.5 / MSecsPerDay, std::nextafter(1.0 - 0.5 / MSecsPerDay, 0.0),
      -693593.9999999999, 2958465.9999999999, -2.0 + 1e-9};
  // Every 997th day of the calendar, each at times that round down, round
  // up, sit on a half millisecond and carry into the next day.
  const double Times[] = {0.0, 0.25, 0.5 - 1e-12, 0.4 / MSecsPerDay, 0.5 / MSecsPerDay,
                          (MSecsPerDay - 0.5) / MSecsPerDay, (MSecsPerDay - 0.4) / MSecsPerDay,
                          (MSecsPerDay - 1.0) / MSecsPerDay, 0.123456789};
  for (double Day = MinDateTime; Day <= MaxDateTime; Day += 997)
    for (double T : Times)
      Moments.push_back(Day < 0 ? Day - T : Day + T);
  for (TDateTime DT : Moments) {
    const TTimeStamp Stamp = DateTimeToTimeStamp(DT);
    ExpectStamp(Stamp, RoundingCallsFromDateTime(DT), DT);
    const double MSecs = TimeStampToMSecs(Stamp);
    const TTimeStamp Back = MSecsToTimeStamp(MSecs);
    ExpectStamp(Back, RoundingCallsFromMSecs(MSecs), MSecs);
    ExpectStamp(Back, Stamp, DT);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(TimeStampToDateTime(Back)),
              std::bit_cast<std::uint64_t>(TimeStampToDateTime(Stamp)))
        << std::hexfloat << DT;
  }
  // Milliseconds that are not whole, negative, or at the edge of the exact
  // integers take the rounding path and give what it gives.
  for (double MSecs : {0.5, 1.5, 86399999.5, 86399999.4, -1.0, -0.5, -86400000.5, 0x1p53 - 1,
                       0x1p53, 0x1p53 + 2, 86400000.0 * 2147483647.0})
    ExpectStamp(MSecsToTimeStamp(MSecs), RoundingCallsFromMSecs(MSecs), MSecs);
}

TEST(TimeStamp, ValuesBeyondTheDayRangeRaise) {
  EXPECT_EQ(ConvertErrorOf([] { (void)DateTimeToTimeStamp(std::nan("")); }),
            "'NAN' is not a valid date and time");
  EXPECT_EQ(ConvertErrorOf([] { (void)DateTimeToTimeStamp(1e300); }),
            "'1E300' is not a valid date and time");
  // Near either end of the 32-bit day number, where the whole days alone no
  // longer fit 32 bits: the ends still convert, one day past them raises.
  for (double DT : {-2147483648.0 - 693594.0 - 1.5, 2147483647.0 - 693594.0 + 1.0})
    EXPECT_NE(ConvertErrorOf([DT] { (void)DateTimeToTimeStamp(DT); }), "<none>") << DT;
  EXPECT_EQ(DateTimeToTimeStamp(-2147483648.0 - 693594.0 + 1.5).Date, -2147483646);
  EXPECT_EQ(DateTimeToTimeStamp(2147483647.0 - 693594.0).Date, 2147483647);
  EXPECT_NE(ConvertErrorOf([] { (void)DateTimeToStr(-1e10); }), "<none>");
  int Y, M, D;
  DecodeDate(-700000.0, Y, M, D);
  EXPECT_EQ(Y + M + D, 0);
}

TEST(DateText, Printing) {
  struct Case {
    TDateTime DT;
    const char* Date;
    const char* Time;
    const char* DateTime;
  } Cases[] = {
      {0.0, "1899-12-30", "00:00:00", "1899-12-30"},
      {0.5, "1899-12-30", "12:00:00", "12:00:00"},
      {36526.0, "2000-01-01", "00:00:00", "2000-01-01"},
      {36526.5, "2000-01-01", "12:00:00", "2000-01-01 12:00:00"},
      {36526.0 + 0.25 / 86400.0, "2000-01-01", "00:00:00.250", "2000-01-01 00:00:00.250"},
      {-1.25, "1899-12-29", "06:00:00", "1899-12-29 06:00:00"},
      {-693593.0, "0001-01-01", "00:00:00", "0001-01-01"},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(DateToStr(C.DT), C.Date);
    EXPECT_EQ(TimeToStr(C.DT), C.Time);
    EXPECT_EQ(DateTimeToStr(C.DT), C.DateTime);
  }
}

TEST(DateText, ReadingValidTexts) {
  struct Case {
    const char* Text;
    TDateTime Expected;
  } Cases[] = {
      {"2000-01-01", 36526.0},
      {" 2000-1-2 ", 36527.0},
      {"2000-01-01 12:00:00", 36526.5},
      {"2000-01-01T12:00", 36526.5},
      {"2000-01-01   06:00:00.5", 36526.25 + 500.0 / MSecsPerDay},
      {"12:00", 0.5},
      {"06:00:00.123456", 0.25 + 123.0 / MSecsPerDay},
      {"1899-12-29 06:00", -1.25},
      {"0001-01-01", -693593.0},
  };
  for (const Case& C : Cases) {
    TDateTime R = -1;
    EXPECT_TRUE(TryStrToDateTime(C.Text, R)) << C.Text;
    EXPECT_DOUBLE_EQ(R, C.Expected) << C.Text;
  }
  EXPECT_EQ(StrToDate("2000-02-29"), 36585.0);
  EXPECT_EQ(StrToTime("23:59:59.999"), EncodeTime(23, 59, 59, 999));
  // Round trip of the printed forms.
  for (TDateTime DT : {0.0, 0.5, -1.25, 36526.0, 36526.75, 36526.0 + 0.001 / 86400.0 * 1000})
    EXPECT_EQ(StrToDateTime(DateTimeToStr(DT)), TimeStampToDateTime(DateTimeToTimeStamp(DT)));
}

TEST(DateText, InvalidTextsRaiseTheirOwnMessages) {
  struct Case {
    const char* Text;
    TDateTime (*Read)(std::string_view);
    const char* Expected;
  } Cases[] = {
      {"2000-13-01", StrToDate, "'2000-13-01' is not a valid date"},
      {"2000-02-30", StrToDate, "'2000-02-30' is not a valid date"},
      {"2000-01-01 12:00", StrToDate, "'2000-01-01 12:00' is not a valid date"},
      {"20000-01-01", StrToDate, "'20000-01-01' is not a valid date"},
      {"", StrToDate, "'' is not a valid date"},
      {"24:00:00", StrToTime, "'24:00:00' is not a valid time"},
      {"10:60", StrToTime, "'10:60' is not a valid time"},
      {"12:00:00.", StrToTime, "'12:00:00.' is not a valid time"},
      {"12", StrToTime, "'12' is not a valid time"},
      {"2000-01-01x", StrToDateTime, "'2000-01-01x' is not a valid date and time"},
      {"2000-01-01 25:00", StrToDateTime, "'2000-01-01 25:00' is not a valid date and time"},
      {"2000-01-01T", StrToDateTime, "'2000-01-01T' is not a valid date and time"},
      {"2000-01-01 12:00 x", StrToDateTime, "'2000-01-01 12:00 x' is not a valid date and time"},
      {"x", StrToDateTime, "'x' is not a valid date and time"},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(ConvertErrorOf([&] { (void)C.Read(C.Text); }), C.Expected);
  TDateTime R = 7;
  EXPECT_FALSE(TryStrToDate("2000-02-30", R));
  EXPECT_FALSE(TryStrToTime("24:00", R));
  EXPECT_EQ(R, 7);
}

TEST(DateClock, NowLiesWithinToday) {
  const TDateTime Today = Date();
  const TDateTime N = Now();
  EXPECT_EQ(std::trunc(Today), Today);
  EXPECT_GE(N, Today);
  EXPECT_LT(N, Today + 2); // midnight may pass between the two calls
  EXPECT_GT(Today, EncodeDate(2020, 1, 1));
}

} // namespace
