// The command bytes the LCD device sends, against bytes written out by hand,
// and what the simulated unit makes of them.
#include <string>
#include <vector>

#include "panel/lcd_indicators.h"
#include "peripherals/peripheral_task.h"
#include "panel/tests/panel_fixture.h"

namespace {

std::string B(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

std::string Hex(const std::string& s) {
  std::string out;
  char buf[4];
  for (unsigned char c : s) {
    std::snprintf(buf, sizeof buf, "%02X ", c);
    out += buf;
  }
  return out;
}

class LcdBytesTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    MakeManager();
    port_->take_sent();
  }
  CLCD& Lcd() { return mgr_->m_Lcd; }
  // What one call sent.
  std::string Sent(const std::function<void(CLCD&)>& fn) {
    port_->take_sent();
    InThread([&] { fn(Lcd()); });
    return port_->take_sent();
  }
};

struct bytes_case {
  const char* name;
  std::function<void(CLCD&)> call;
  std::string expected;
};

TEST_F(LcdBytesTest, CommandsAgainstHandWrittenBytes) {
  const uint8_t rows[] = {0xFE, 0xC0, 0xFF, 0x40};
  const std::vector<bytes_case> cases = {
      {"position", [](CLCD& l) { l.SetPosition(5, 3, 1); }, B({0xFE, 'G', 5, 3})},
      {"position kept only", [](CLCD& l) { l.SetPosition(5, 3, 0); }, ""},
      {"text at", [](CLCD& l) { l.PrintfAt(3, 5, "AB"); }, B({0xFE, 'G', 5, 3, 'A', 'B'})},
      {"clear", [](CLCD& l) { l.Clear(); }, B({0xFE, 'X'})},
      {"box with 0xFF", [](CLCD& l) { l.DrawRect(0xFF, 232, 56, 240, 64); },
       B({0xFE, 'x', 0xFF, 0xDF, 232, 56, 240, 64})},
      {"outline with 0xFE", [](CLCD& l) { l.FillRect(0xFE, 1, 2, 3, 4); }, B({0xFE, 'r', 0xFF, 0xDE, 1, 2, 3, 4})},
      {"contrast", [](CLCD& l) { l.SetContrast(1); }, B({0xFE, 'P', 1})},
      {"backlight on", [](CLCD& l) { l.BacklightOn(10); }, B({0xFE, 'B', 10})},
      {"backlight off", [](CLCD& l) { l.BacklightOff(); }, B({0xFE, 'F'})},
      {"local lamp", [](CLCD& l) { l.LocalIndicatorOn(); }, B({0xFE, 'V'})},
      {"local lamp off", [](CLCD& l) { l.LocalIndicatorOff(); }, B({0xFE, 'W'})},
      {"activity", [](CLCD& l) { l.CommActivity(); }, B({0xFE, 'Y'})},
      {"probe", [](CLCD& l) { l.Probe(); }, B({0xFE, '6'})},
      {"firmware", [](CLCD& l) { l.Command7(); }, B({0xFE, '7'})},
      {"refresh", [](CLCD& l) { l.Refresh(); }, B({0xFE, '9'})},
      {"flush", [](CLCD& l) { l.Flush(); }, B({0xFE, 0x40})},
      {"setting c", [](CLCD& l) { l.CommandC(0xFE); }, B({0xFE, 'c', 0xFF, 0xDE})},
      {"setting p", [](CLCD& l) { l.CommandP(1, 2); }, B({0xFE, 'p', 1, 2})},
      {"text drops FE FF, maps Latin-1", [](CLCD& l) { l.SendString("A\xFE" "B\xFF\xE9\xC7"); },
       B({'A', 'B', 0x82, 0x80})},
      {"new line on line 8 wraps", [](CLCD& l) {
         l.SetPosition(7, 8, 0);
         l.SendString("a\nb");
       },
       B({'a', 0xFE, 'G', 7, 1, 'b'})},
      {"carriage return", [](CLCD& l) {
         l.SetPosition(7, 2, 0);
         l.SendString("\r");
       },
       B({0xFE, 'G', 1, 2})},
      {"backspace", [](CLCD& l) {
         l.SetPosition(9, 2, 0);
         l.SendString("\b");
       },
       B({' ', ' ', 0xFE, 'G', 9, 2})},
      {"indicator bitmap",
       [](CLCD& l) { EXPECT_EQ(l.Bitmap(8, 0, 8, 8, g_lcd_picture_modem), 0u); },
       B({0xFE, 'd', 8, 0, 15, 7, 0x7E, 0xC3, 0xC3, 0x3C, 0x7E, 0x66, 0x7E, 0x00})},
      {"bitmap of 10 x 2, escaped rows",
       [&rows](CLCD& l) { EXPECT_EQ(l.Bitmap(0, 0, 10, 2, rows), 0u); },
       B({0xFE, 'd', 0, 0, 9, 1, 0xFF, 0xDE, 0xC0, 0xFF, 0xDF, 0x40})},
      {"empty bitmap", [&rows](CLCD& l) { EXPECT_EQ(l.Bitmap(0, 0, 0, 2, rows), 2u); }, ""},
  };
  for (const bytes_case& c : cases) EXPECT_EQ(Hex(Sent(c.call)), Hex(c.expected)) << c.name;
}

TEST_F(LcdBytesTest, PanelsOfRevisionOneToSixTakeParametersRaw) {
  const uint8_t rows[] = {0xFE};
  for (uint8_t revision : {1, 6}) {
    Lcd().m_byHardwareRevision = revision;
    EXPECT_EQ(Hex(Sent([](CLCD& l) { l.DrawRect(0xFF, 0xFE, 0, 1, 1); })),
              Hex(B({0xFE, 'x', 0xFF, 0xFE, 0, 1, 1})));
    EXPECT_EQ(Hex(Sent([&](CLCD& l) { l.Bitmap(0, 0, 8, 1, rows); })), Hex(B({0xFE, 'd', 0, 0, 7, 0, 0xFE})));
  }
  // Revision 7 and above escape again, whichever revision tells.
  Lcd().m_byHardwareRevision = 7;
  Lcd().m_byFirmwareRevision = 3;
  EXPECT_EQ(Hex(Sent([](CLCD& l) { l.CommandC(0xFF); })), Hex(B({0xFE, 'c', 0xFF})));
  Lcd().m_byFirmwareRevision = 9;
  EXPECT_EQ(Hex(Sent([](CLCD& l) { l.CommandC(0xFF); })), Hex(B({0xFE, 'c', 0xFF, 0xDF})));
}

TEST_F(LcdBytesTest, AlignmentsAndWidths) {
  const std::string ten = "0123456789";
  EXPECT_EQ(Sent([&](CLCD& l) { l.Printf(2, LCD_ALIGN_RIGHT, "%s", ten.c_str()); }), B({0xFE, 'G', 30, 2}) + ten);
  EXPECT_EQ(Sent([&](CLCD& l) { l.Printf(2, LCD_ALIGN_CENTRE, "%s", ten.c_str()); }), B({0xFE, 'G', 16, 2}) + ten);
  EXPECT_EQ(Sent([&](CLCD& l) { l.Printf(2, LCD_ALIGN_LEFT, "%s", ten.c_str()); }), B({0xFE, 'G', 1, 2}) + ten);
  // Another alignment, or a line off the screen: at the current position.
  EXPECT_EQ(Sent([&](CLCD& l) { l.Printf(2, 7, "%s", ten.c_str()); }), ten);
  EXPECT_EQ(Sent([&](CLCD& l) { l.Printf(9, LCD_ALIGN_LEFT, "%s", ten.c_str()); }), ten);
  // A text of 199 characters or more is not written.
  EXPECT_EQ(Sent([](CLCD& l) { l.Printf(2, LCD_ALIGN_LEFT, "%s", std::string(199, 'x').c_str()); }), "");

  const std::string long_text(45, 'L');
  EXPECT_EQ(Sent([&](CLCD& l) { l.PrintfLine(3, LCD_ALIGN_LEFT, "%s", long_text.c_str()); }),
            B({0xFE, 'G', 1, 3}) + std::string(40, 'L'));
  EXPECT_EQ(Sent([&](CLCD& l) { l.PrintfLine(3, LCD_ALIGN_CENTRE, "%s", "ABCD"); }),
            B({0xFE, 'G', 1, 3}) + std::string(18, ' ') + "ABCD" + std::string(18, ' '));
  EXPECT_EQ(Sent([](CLCD& l) { l.PrintfLine(0, LCD_ALIGN_CENTRE, "x"); }), "");

  EXPECT_EQ(Sent([](CLCD& l) { l.PrintfField(5, 31, LCD_ALIGN_LEFT, "ABCDEFGHIJKL"); }),
            B({0xFE, 'G', 31, 5}) + "ABCDEFGHI");
  EXPECT_EQ(Sent([](CLCD& l) { l.PrintfField(5, 31, LCD_ALIGN_RIGHT, "AB"); }), B({0xFE, 'G', 31, 5}) + "       AB");
  EXPECT_EQ(Sent([](CLCD& l) { l.PrintfField(5, 30, LCD_ALIGN_CENTRE, "AB"); }),
            B({0xFE, 'G', 30, 5}) + "    AB    ");
  EXPECT_EQ(Sent([](CLCD& l) { l.PrintfField(5, 30, 1, "AB"); }), "");

  EXPECT_EQ(Sent([](CLCD& l) { l.ClearLineFrom(6, 38); }), B({0xFE, 'G', 38, 6}) + "   ");
  EXPECT_EQ(Sent([](CLCD& l) { l.ClearLine(9); }), "");
}

TEST_F(LcdBytesTest, TheUnitShowsWhatWasWritten) {
  InThread([this] {
    Lcd().Clear();
    Lcd().Printf(1, LCD_ALIGN_CENTRE, "TITLE");
    Lcd().PrintfField(4, 0, LCD_ALIGN_CENTRE, "SWITCH TO LOCAL MODE TO LOGIN");
    Lcd().Bitmap(232, 56, 8, 8, g_lcd_picture_battery);
    Lcd().DrawRect(0xFF, 0, 62, 5, 63);
  });
  EXPECT_EQ(Unit().line(1), std::string(17, ' ') + "TITLE" + std::string(18, ' '));
  EXPECT_EQ(Unit().line(4), std::string(6, ' ') + "SWITCH TO LOCAL MODE TO LOGIN" + std::string(5, ' '));
  EXPECT_EQ(Unit().pixels(232, 56, 8, 8),
            "........\n"
            "...##...\n"
            ".######.\n"
            ".######.\n"
            ".######.\n"
            ".######.\n"
            ".######.\n"
            "........\n");
  EXPECT_EQ(Unit().pixels(0, 61, 7, 3), ".......\n######.\n######.\n");
  EXPECT_EQ(Unit().unknown_commands(), 0u);
}

TEST_F(LcdBytesTest, SuspendsNestAndAStrayResumeChangesNothing) {
  EXPECT_EQ(Sent([](CLCD& l) { l.Suspend(); }), B({0xFE, '<'}));
  EXPECT_EQ(Sent([](CLCD& l) { l.Suspend(); }), B({0xFE, '<'}));
  EXPECT_EQ(Lcd().SuspendCount(), 2u);
  EXPECT_EQ(Sent([](CLCD& l) { l.Resume(); }), "");
  EXPECT_EQ(Sent([](CLCD& l) { l.Resume(); }), B({0xFE, ';'}));
  // One resume too many must not leave the next suspender unresumable.
  EXPECT_EQ(Sent([](CLCD& l) { l.Resume(); }), "");
  EXPECT_EQ(Sent([](CLCD& l) { l.Suspend(); }), B({0xFE, '<'}));
  EXPECT_EQ(Sent([](CLCD& l) { l.Resume(); }), B({0xFE, ';'}));
  EXPECT_FALSE(Unit().suspended());
}

TEST_F(LcdBytesTest, ABusyLinkDropsTheWriteWithATrace) {
  trace_set_level(1);
  Lcd().m_byBusy = 1;
  EXPECT_EQ(Sent([](CLCD& l) { EXPECT_EQ(l.WriteCommand(reinterpret_cast<const uint8_t*>("\xFEX"), 2), 0u); }), "");
  EXPECT_EQ(Sent([](CLCD& l) { l.SendString("text"); }), "");
  EXPECT_EQ(Sent([](CLCD& l) { EXPECT_EQ(l.Bitmap(0, 0, 8, 8, g_lcd_picture_plug), 2u); }), "");
  Lcd().m_byBusy = 0;
  trace_set_level(0);
  EXPECT_TRUE(trace_.contains("CLCD::WriteCommand: Warning Write Failed\n"));
  EXPECT_TRUE(trace_.contains("CLCD::SendString: Warning Write Failed\n"));
  EXPECT_TRUE(trace_.contains("CLCD::Bitmap: Warning Write Failed\n"));
}

// A writer of another thread stopped inside its bitmap: the relay to the
// distribution board holds it at its first byte until a third thread lets
// it go.
TX_SEMAPHORE g_relay_gate;
TX_THREAD g_bitmap_writer, g_opener;
uint8_t g_bitmap_stack[8192], g_opener_stack[8192];
CLCD* g_lcd = nullptr;
bool g_held = false;

void hold_first_byte(uint8_t) {
  if (g_held) return;
  g_held = true;
  tx_semaphore_get(&g_relay_gate, TX_WAIT_FOREVER);
}

TEST_F(LcdBytesTest, WritersOfOtherThreadsWaitTheirTurn) {
  g_lcd = &Lcd();
  g_held = false;
  g_hcb_distribution_board = 1;
  lcd_set_hcb_relay(hold_first_byte);
  InThread([] {
    g_relay_gate = TX_SEMAPHORE{};
    g_bitmap_writer = TX_THREAD{};
    g_opener = TX_THREAD{};
    ASSERT_EQ(tx_semaphore_create(&g_relay_gate, "relay gate", 0), TX_SUCCESS);
    ASSERT_EQ(tx_thread_create(
                  &g_bitmap_writer, "bitmap writer", [](ULONG) { g_lcd->Bitmap(8, 0, 8, 8, g_lcd_picture_plug); }, 0,
                  g_bitmap_stack, sizeof g_bitmap_stack, 1, 1, 0, TX_AUTO_START),
              TX_SUCCESS);
    ASSERT_TRUE(g_held);
    ASSERT_EQ(tx_thread_create(
                  &g_opener, "opener",
                  [](ULONG) {
                    tx_thread_sleep(20);
                    tx_semaphore_put(&g_relay_gate);
                  },
                  0, g_opener_stack, sizeof g_opener_stack, 1, 1, 0, TX_AUTO_START),
              TX_SUCCESS);
  });
  trace_set_level(1);
  const std::string sent = Sent([](CLCD& l) { l.Flush(); });
  trace_set_level(0);
  EXPECT_FALSE(trace_.contains("Write Failed"));
  std::string bitmap = B({0xFE, 'd', 8, 0, 15, 7});
  bitmap.append(reinterpret_cast<const char*>(g_lcd_picture_plug), 8);
  // The bitmap's first byte left before the relay held it.
  EXPECT_EQ(Hex(sent), Hex(bitmap.substr(1) + B({0xFE, 0x40}))) << "the rest of the bitmap, then the flush";
  lcd_set_hcb_relay(nullptr);
  g_hcb_distribution_board = 0;
  InThread([] {
    tx_thread_terminate(&g_bitmap_writer);
    tx_thread_delete(&g_bitmap_writer);
    tx_thread_terminate(&g_opener);
    tx_thread_delete(&g_opener);
    tx_semaphore_delete(&g_relay_gate);
  });
}

TEST_F(LcdBytesTest, ABitmapStopsWhenThePanelRestarts) {
  mgr_->m_byRestartCountdown = 20;
  EXPECT_EQ(Sent([](CLCD& l) { EXPECT_EQ(l.Bitmap(8, 0, 8, 8, g_lcd_picture_modem), 2u); }),
            B({0xFE, 'd', 8, 0, 15, 7}));
  mgr_->m_byRestartCountdown = 0;
  // The link is free again.
  EXPECT_EQ(Sent([](CLCD& l) { l.Flush(); }), B({0xFE, 0x40}));
}

}  // namespace
