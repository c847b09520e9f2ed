// Date and time fields typed digit by digit, and frames turned into the
// panel's bitmap.
#include <gtest/gtest.h>

#include <string>

#include "display/frame/frame.h"
#include "panel/edit_fields.h"

namespace {

struct typed {
  std::string text;
  bool complete;
  std::string refused;  // keys that were not taken, in order
};

struct row {
  uint8_t format;
  const char* keys;
  const char* text;
  bool complete;
  const char* refused;
};

template <class Field, size_t N>
void Check(Field& f, const row (&rows)[N]);

template <class Field>
typed Type(Field& f, uint8_t format, const std::string& keys) {
  f.Reset(format);
  typed t{"", false, ""};
  for (char k : keys) {
    const uint16_t key = k == '<' ? 8 : k == '>' ? 10 : static_cast<uint8_t>(k);
    if (!f.HandleKey(key)) t.refused += k;
  }
  char out[32];
  f.Format(out);
  t.text = out;
  t.complete = f.IsComplete();
  return t;
}

template <class Field, size_t N>
void Check(Field& f, const row (&rows)[N]) {
  for (const row& r : rows) {
    const typed t = Type(f, r.format, r.keys);
    EXPECT_EQ(t.text, r.text) << r.keys;
    EXPECT_EQ(t.complete, r.complete) << r.keys;
    EXPECT_EQ(t.refused, r.refused) << r.keys;
  }
}

TEST(EditFieldsTest, DatesAdvanceByThemselvesAndRefuseImpossibleDays) {
  const row rows[] = {
      {1, "1", "1M/DD/YYYY", false, ""},
      {1, "12312024", "12/31/2024", true, ""},
      {1, "2", "02/DD/YYYY", false, ""},
      {1, "13", "01/3D/YYYY", false, ""},
      // Years run from 2000 to 2099: a 1 or 21.. cannot start one.
      {1, "01011", "01/01/YYYY", false, "1"},
      {1, "010121", "01/01/2YYY", false, "1"},
      // 29 February stands only in a leap year, whichever field comes last.
      {1, "0229202", "02/29/202Y", false, ""},
      {1, "02292023", "02/29/202Y", false, "3"},
      {1, "02292024", "02/29/2024", true, ""},
      {1, "0230", "02/03/YYYY", false, "0"},
      {0, "20230229", "2023/02/02", true, "9"},
      {0, "20230228", "2023/02/28", true, ""},
      {0, "20240229", "2024/02/29", true, ""},
      {0, "20230431", "2023/04/03", true, "1"},
      // Backspace at the start of a field goes back into the one before.
      {1, "12<", "1M/DD/YYYY", false, ""},
      {1, "1<<", "MM/DD/YYYY", false, "<"},
      // ENTER leaves a month or a day that has a value, never the year.
      {1, "1>2>20", "01/02/20YY", false, ""},
      {1, ">", "MM/DD/YYYY", false, ">"},
  };
  CDateField date;
  Check(date, rows);
}

TEST(EditFieldsTest, TimesKeepToTheClockAndMinutesToTheHour) {
  const row rows[] = {
      {0, "00", " 0:MM", false, ""},
      {0, "9", " 9:MM", false, ""},
      {0, "24", " 2:4M", false, ""},
      {0, "2359", "23:59", true, ""},
      // A first minute digit above 5 is the whole minute: 69 cannot be typed.
      {0, "1269", "12:06", true, "9"},
      {0, "1205", "12:05", true, ""},
      {0, "12>", "12:MM", false, ">"},
      {1, "00", "0H:MMA", false, "0"},
      {1, "13", " 1:3MA", false, ""},
      {1, "1030P", "10:30P", true, ""},
      {1, "10307", "10:30P", true, ""},
      {1, "1030x", "10:30A", false, "x"},
      {1, ">", "HH:MMA", false, ">"},
  };
  CTimeField time;
  Check(time, rows);
}

TEST(EditFieldsTest, AFrameBecomesPackedRowsAndConvertingAgainOnlyAddsPixels) {
  disp::frame f;
  ASSERT_TRUE(f.Open(16, 96, 0, 1));
  disp::pixel p(0, 0, 1);
  f.SetPixel(p);
  p = disp::pixel(95, 15, 1);
  f.SetPixel(p);
  frame_to_bitmap bitmap;
  const uint8_t* bits = nullptr;
  ASSERT_TRUE(bitmap.Convert(&f, &bits));
  EXPECT_EQ(bitmap.Stride(), 12);
  EXPECT_EQ(bits[0], 0x80);
  EXPECT_EQ(bits[191], 0x01);
  uint32_t lit = 0;
  for (uint32_t i = 0; i < 192; ++i) lit += __builtin_popcount(bits[i]);
  EXPECT_EQ(lit, 2u);

  // The old pixels stay until Clear.
  p = disp::pixel(0, 0, 0);
  f.SetPixel(p);
  ASSERT_TRUE(bitmap.Convert(&f, &bits));
  EXPECT_EQ(bits[0], 0x80);
  bitmap.Clear();
  ASSERT_TRUE(bitmap.Convert(&f, &bits));
  EXPECT_EQ(bits[0], 0x00);
  EXPECT_FALSE(bitmap.Convert(nullptr, &bits));
}

}  // namespace
