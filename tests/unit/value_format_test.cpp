// Sizes with units, automation dates, and the date and time pictures.
#include "snapshot/value_format.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <tuple>

namespace korvane {
namespace {

TEST(SizeText, ChangesUnitAtOneThousandAndRoundsHalvesAway) {
  struct Case {
    int64_t bytes;
    const char* text;
  };
  const Case cases[] = {
      {0, "0B"},
      {512, "512B"},
      {1023, "1023B"},
      {-1023, "-1023B"},
      {1024, "1KB"},
      {-1024, "-1KB"},
      {1536, "1.5KB"},
      {1023999, "1000KB"},  // 999.999 KB rounds up but stays in KB
      {1024000, "0.98MB"},  // exactly 1000 KB
      {1048575, "1MB"},
      {1048576, "1MB"},
      {24122384384, "22.47GB"},
      {int64_t{1000} << 30, "0.98TB"},
      {int64_t{1} << 40, "1TB"},
      {int64_t{1} << 50, "1024TB"},
      {-(int64_t{5} << 30), "-5GB"},
      {std::numeric_limits<int64_t>::max(), "8388608TB"},
      {std::numeric_limits<int64_t>::min(), "-8388608TB"},
  };
  for (const Case& c : cases) EXPECT_EQ(SizeText(c.bytes), c.text) << c.bytes;
}

TEST(TwoDecimalText, WritesTheShortestFormOfTheRoundedNumber) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {{0, "0"},       {0.004, "0"},    {0.005, "0.01"}, {0.05, "0.05"}, {0.1, "0.1"},
                        {2.5, "2.5"},   {45.665, "45.67"}, {100, "100"},  {-2.5, "-2.5"}, {33.333333, "33.33"},
                        {8388607.999, "8388608"}};
  for (const Case& c : cases) EXPECT_EQ(TwoDecimalText(c.value), c.text) << c.value;
}

TEST(AutomationDate, CountsDaysFromTheEndOf1899) {
  EXPECT_EQ(AutomationDate({1899, 12, 30, 0, 0, 0}), 0.0);
  EXPECT_EQ(AutomationDate({1900, 1, 1, 6, 0, 0}), 2.25);
  EXPECT_EQ(AutomationDate({1899, 12, 29, 6, 0, 0}), -1.25);
  EXPECT_EQ(AutomationDate({2000, 1, 1, 0, 0, 0}), 36526.0);

  const auto before = CalendarFromAutomationDate(-1.25);
  ASSERT_TRUE(before);
  EXPECT_EQ(before->day, 29);
  EXPECT_EQ(before->hour, 6);

  std::mt19937 random(5);
  for (int i = 0; i < 2000; ++i) {
    const CalendarTime time{static_cast<int>(100 + random() % 9900), static_cast<int>(1 + random() % 12),
                            static_cast<int>(1 + random() % 28), static_cast<int>(random() % 24),
                            static_cast<int>(random() % 60), static_cast<int>(random() % 60)};
    const auto back = CalendarFromAutomationDate(AutomationDate(time));
    ASSERT_TRUE(back);
    EXPECT_EQ(std::tie(back->year, back->month, back->day, back->hour, back->minute, back->second),
              std::tie(time.year, time.month, time.day, time.hour, time.minute, time.second));
  }
}

TEST(AutomationDate, HasNoCalendarOutsideTheYears100To9999) {
  EXPECT_FALSE(CalendarFromAutomationDate(-657435.0));
  EXPECT_TRUE(CalendarFromAutomationDate(-657434.0));
  EXPECT_TRUE(CalendarFromAutomationDate(2958465.5));
  EXPECT_FALSE(CalendarFromAutomationDate(2958466.0));
  EXPECT_FALSE(CalendarFromAutomationDate(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(CalendarFromAutomationDate(std::numeric_limits<double>::infinity()));
  EXPECT_EQ(DateTimeText(1e9, true, 3, 0), "");
}

TEST(DateTimeText, FillsThePicturesOfEachStyleAndContent) {
  const double moment = AutomationDate({2021, 11, 25, 15, 30, 12});
  struct Case {
    bool twentyFourHour;
    int style, content;
    const char* text;
  };
  const Case cases[] = {
      {true, 3, 0, "20211125153012"},
      {false, 3, 0, "20211125033012"},
      {true, 0, 0, "2021年11月25日 15时30分12秒"},
      {false, 0, 0, "2021年11月25日 03时30分12秒"},
      {true, 0, 1, "2021年11月25日"},
      {true, 1, 0, "2021-11-25 15:30:12"},
      {true, 1, 1, "2021-11-25"},
      {true, 2, 0, "2021/11/25 15/30/12"},
      {true, 0, 2, "11月25日"},
      {true, 1, 2, "11-25"},
      {true, 3, 2, "1125"},
      {true, 0, 3, "15时30分12秒"},
      {false, 1, 3, "03:30:12"},
      {true, 0, 4, "15时30分"},
      {true, 2, 4, "15/30"},
      {true, 0, 5, "30分12秒"},
      {true, 3, 5, "3012"},
      {true, 7, 0, "2021年11月25日 15时30分12秒"},   // style outside 0 to 3 is style 0
      {true, -1, 1, "2021年11月25日"},
      {true, 1, 9, "2021-11-25 15:30:12"},        // content outside 1 to 5 is content 0
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DateTimeText(moment, c.twentyFourHour, c.style, c.content), c.text)
        << c.style << "/" << c.content << (c.twentyFourHour ? " 24h" : " 12h");
  }
}

TEST(DateTimeText, ShowsMidnightAndNoonOnBothClocks) {
  const double midnight = AutomationDate({2024, 2, 29, 0, 5, 9});
  EXPECT_EQ(DateTimeText(midnight, true, 3, 0), "20240229000509");
  EXPECT_EQ(DateTimeText(midnight, false, 3, 0), "20240229120509");
  const double noon = AutomationDate({2024, 2, 29, 12, 0, 0});
  EXPECT_EQ(DateTimeText(noon, true, 1, 0), "2024-02-29 12:00:00");
  EXPECT_EQ(DateTimeText(noon, false, 1, 0), "2024-02-29 12:00:00");
  EXPECT_EQ(DateTimeText(AutomationDate({100, 1, 1, 0, 0, 0}), true, 3, 1), "01000101");
}

}  // namespace
}  // namespace korvane
