// Field values with a fixed clock and fixed readings, the field status
// table they are reported in, and render_strftime.
#include <cstring>
#include <string>

#include "display/render/render_internal.h"
#include "display/render/render_time.h"
#include "display/tests/render_fixture.h"
#include "frame/trace/trace.h"

namespace {

// Wednesday 3 January 2024, local time.
constexpr uint32_t kAt0905 = 1704272700;
constexpr uint32_t kAt1307 = 1704287220;
constexpr uint32_t kAt2130 = 1704317400;

}  // namespace

class RenderFieldTest : public RenderTest {
 protected:
  // The text of the first field of a page, as reported in the table.
  std::string FieldText(const std::string& multi) {
    EXPECT_TRUE(Show(multi)) << multi;
    return VolString(vol::statMultiCurrentFieldValue(0));
  }
};

TEST_F(RenderFieldTest, TimeFields) {
  struct {
    uint32_t at;
    const char* multi;
    const char* text;
  } cases[] = {
      {kAt0905, "[f1]", " 9:05"},  {kAt1307, "[f1]", " 1:07"},      {kAt0905, "[f2]", "09:05"},
      {kAt2130, "[f12]", " 9:30 PM"}, {kAt2130, "[f13]", " 9:30 pm"}, {kAt0905, "[f7]", "WED"},
      {kAt0905, "[f7,5]", "WEDNESDAY"}, {kAt0905, "[f8]", "03"},       {kAt0905, "[f9]", "01"},
      {kAt0905, "[f10]", "24"},    {kAt0905, "[f11]", "2024"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.multi);
    SetVol(vol::controllerLocalTime, c.at);
    EXPECT_EQ(FieldText(c.multi), c.text);
  }
}

TEST_F(RenderFieldTest, TemperatureAndSpeedFields) {
  SetVol(vol::tempMaxAmbient, static_cast<uint8_t>(-10));
  SetVol(vol::dmsCurrentSpeed, 100);
  EXPECT_EQ(FieldText("[f3]"), "-10");
  EXPECT_EQ(FieldText("[f4]"), " 14");
  EXPECT_EQ(FieldText("[f5]"), "100");
  EXPECT_EQ(FieldText("[f6]"), " 62");
  EXPECT_EQ(FieldText("[f6,2]"), "62");
}

TEST_F(RenderFieldTest, EveryRedrawReportsTheFieldsAgain) {
  SetVol(vol::controllerLocalTime, kAt0905);
  SetVol(vol::dmsCurrentSpeed, 55);
  Sign(40, 13);
  ASSERT_TRUE(Show("[f2] [f5][nl][f7]"));
  EXPECT_EQ(Vol(vol::statMultiFieldRows), 3u);
  EXPECT_EQ(Vol(vol::statMultiFieldCode(0)), 2u);
  EXPECT_EQ(Vol(vol::statMultiFieldCode(1)), 5u);
  EXPECT_EQ(Vol(vol::statMultiFieldCode(2)), 7u);
  EXPECT_EQ(VolString(vol::statMultiCurrentFieldValue(1)), " 55");

  // A minute later the same rows show the new time.
  SetVol(vol::controllerLocalTime, kAt0905 + 60);
  ASSERT_TRUE(Redraw());
  EXPECT_EQ(VolString(vol::statMultiCurrentFieldValue(0)), "09:06");
  EXPECT_EQ(Vol(vol::statMultiFieldRows), 3u);
}

TEST_F(RenderFieldTest, AFieldThatDoesNotFitIsCutNotRefused) {
  trace_capture trace;
  SetVol(vol::dmsCurrentSpeed, 55);
  ASSERT_TRUE(Show("AB[f5]"));  // 7 + 1 + 2 + 1 + 0 + 1 + 0 > 11 with zero-width digits
  EXPECT_FALSE(trace.contains("too long"));
  EXPECT_EQ(VolString(vol::statMultiCurrentFieldValue(0)), " 55");
}

TEST_F(RenderFieldTest, MoreFieldsThanRowsAreDrawnButNotReported) {
  Sign(200, 7);
  SetVol(vol::controllerLocalTime, kAt0905);
  std::string multi;
  for (int i = 0; i < 13; ++i) multi += "[f8]";
  ASSERT_TRUE(Show(multi));
  EXPECT_EQ(Vol(vol::statMultiFieldRows), 11u);
  EXPECT_EQ(msg_->m_wFieldCounter, 11u);
}

TEST_F(RenderFieldTest, ManufacturerFieldsAndCharacters) {
  using render_detail::field_text;
  char out[RENDER_FIELD_SIZE];
  render_event_s e{};

  // Radar speeds in km/h, shown in mph for unit 1.
  g_render_hooks.radar_speed = [](uint32_t sensor) { return sensor == 2 ? 100u : 0u; };
  e.kind = RE_SPEED_SENSOR;
  std::strcpy(e.arg.field.format, "%4d");
  e.arg.field.code = 1;
  e.arg.field.width = 2;
  EXPECT_EQ(std::string(out, field_text(e, out)), "  62");
  e.arg.field.code = 2;
  EXPECT_EQ(std::string(out, field_text(e, out)), " 100");

  // Without the hook sensor 0 is the current speed.
  g_render_hooks.radar_speed = nullptr;
  SetVol(vol::dmsCurrentSpeed, 42);
  e.arg.field.width = 0;
  EXPECT_EQ(std::string(out, field_text(e, out)), "  42");

  e = {};
  e.kind = RE_HEX_CHAR;
  e.arg.hex.code = 0x1241;
  EXPECT_EQ(std::string(out, field_text(e, out)), "A");

  // A format that is not one integer conversion prints only up to there.
  e = {};
  e.kind = RE_SPEED_KMH;
  std::strcpy(e.arg.field.format, "v%s%d");
  EXPECT_EQ(std::string(out, field_text(e, out)), "v");
  std::memset(e.arg.field.format, '7', sizeof e.arg.field.format);  // no NUL
  EXPECT_EQ(field_text(e, out), RE_FORMAT_SIZE);
}

TEST_F(RenderFieldTest, RealTimeDataExcerpt) {
  Sign(40, 5);
  SetVolBytes(vol::quorRealTimeData, "xxABCyy");
  ASSERT_TRUE(Show("[ms11,r,2,3]"));
  Picture abc = Shot();
  ASSERT_TRUE(Show("ABC"));
  EXPECT_EQ(Shot(), abc);
  // An excerpt past the end of the text is empty.
  ASSERT_TRUE(Show("[ms11,r,20,3]"));
  EXPECT_EQ(Shot(), Picture(5, std::string(40, '.')));
}

// ---------------------------------------------------------- render_strftime

TEST(RenderStrftimeTest, Conversions) {
  calendar_record c{};
  calendar_from_seconds(1704317400 + 7, &c);  // Wednesday 3 January 2024 21:30:07
  EXPECT_EQ(c.year, 124);
  EXPECT_EQ(c.mon, 0);
  EXPECT_EQ(c.mday, 3);
  EXPECT_EQ(c.wday, 3);
  EXPECT_EQ(c.yday, 2);
  struct {
    const char* format;
    const char* text;
  } cases[] = {
      {"%%", "%"},
      {"%A %a %B %b", "Wednesday Wed January Jan"},
      {"%H %#H %I %#I", "21 21 09  9"},
      {"%M:%S %#M:%#S", "30:07 30:7"},
      {"%P %p", "PM pm"},
      {"%d %#d %m %#m", "03 3 01 1"},
      {"%j %#j", "003 3"},
      {"%U %W %w", "00 01 3"},
      {"%y %#y %Y", "24 24 2024"},
      {"%c", "Wed Jan 03 21:30:07 2024"},
      {"%x|%X", "Wed Jan 03 2024|21:30:07"},
      {"a%Zb", "ab"},
      {"AB%qCD", "AB"},
      {"AB%", "AB"},
  };
  for (const auto& t : cases) {
    char out[64];
    uint32_t n = render_strftime(out, sizeof out, t.format, &c);
    EXPECT_EQ(std::string(out), t.text) << t.format;
    EXPECT_EQ(n, std::strlen(t.text)) << t.format;
  }

  calendar_record noon{};
  calendar_from_seconds(86400 * 31 + 12 * 3600 + 5 * 60, &noon);  // Sunday 1 February 1970 12:05
  char out[16];
  render_strftime(out, sizeof out, "%#I:%M %p %a", &noon);
  EXPECT_STREQ(out, "12:05 pm Sun");
  calendar_from_seconds(951782400, &noon);  // 29 February 2000
  render_strftime(out, sizeof out, "%d/%m/%Y", &noon);
  EXPECT_STREQ(out, "29/02/2000");
}

TEST(RenderStrftimeTest, FullBufferGivesNothing) {
  calendar_record c{};
  calendar_from_seconds(1704317400, &c);
  char out[9];
  std::memset(out, 'z', sizeof out);
  EXPECT_EQ(render_strftime(out, 5, "%H:%M:%S", &c), 0u);
  EXPECT_EQ(std::memchr(out, 0, 5), nullptr);  // no NUL
  EXPECT_EQ(out[5], 'z');
  EXPECT_EQ(render_strftime(out, 8, "%X", &c), 0u);  // 8 characters leave no room for the NUL
  EXPECT_EQ(render_strftime(out, 9, "%X", &c), 8u);
  EXPECT_EQ(render_strftime(out, 9, nullptr, &c), 0u);

  // Out-of-range fields never read past the name tables.
  calendar_record bad{};
  bad.wday = 9;
  bad.mon = -1;
  char text[32];
  EXPECT_GT(render_strftime(text, sizeof text, "%A %b", &bad), 0u);
}
