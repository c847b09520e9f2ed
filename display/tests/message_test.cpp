#include <gtest/gtest.h>

#include <string>

#include "display/message/message.h"
#include "display/multi/colour.h"
#include "display/surface/surface.h"
#include "multi_fixture.h"

namespace {

using MessageTest = MultiTest;

TEST_F(MessageTest, KeepsATextAsLongAsTheLongestMultiString) {
  std::string text(3000, 'A');
  text[2999] = 'Z';
  Load(text);
  EXPECT_EQ(msg_->m_dwTextLength, 3000u);
  EXPECT_EQ(msg_->m_text[2999], 'Z');

  std::string longer(3100, 'B');
  Load(longer);
  EXPECT_EQ(msg_->m_dwTextLength, MULTI_TEXT_MAX);
}

TEST_F(MessageTest, ResetKeepsFlashPhasesOnlyWithFlagOne) {
  msg_->m_byFlashMode = 1;
  msg_->m_byFlashOn = 5;
  FlashStep(msg_.get());
  FlashStep(msg_.get());
  ASSERT_EQ(msg_->m_flash[0].phase, 2u);
  ASSERT_EQ(msg_->m_flash[1].phase, 2u);
  ASSERT_EQ(msg_->m_nFlash, 2);

  msg_->Reset(1);
  EXPECT_EQ(msg_->m_flash[0].phase, 2u);
  EXPECT_EQ(msg_->m_flash[1].phase, 2u);
  EXPECT_EQ(msg_->m_nFlash, 2);

  msg_->Reset(0);
  EXPECT_EQ(msg_->m_flash[0].phase, 0u);
  EXPECT_EQ(msg_->m_flash[1].phase, 0u);
  EXPECT_EQ(msg_->m_nFlash, 0);
}

TEST_F(MessageTest, ResetRestoresTheStartingAttributes) {
  msg_->m_dwForeground = 1;
  msg_->m_dwTextBackground = 2;
  msg_->m_nCharSpacing = 3;
  msg_->m_nRect = 4;
  msg_->m_nLine = 5;
  msg_->m_nErrorPosition = 6;
  msg_->m_byLineJustification[7] = 2;
  msg_->m_lines[1][2].SetSpacingAfter(9);
  msg_->m_lines[1][2].SetFontLineSpacing(4);
  msg_->m_lines[1][2].chars.Append('x');
  msg_->m_moving[3].offset = 12;
  msg_->m_event.kind = RE_TEXT;

  msg_->Reset(0);
  EXPECT_EQ(msg_->m_dwForeground, 0x7FE0u);
  EXPECT_EQ(msg_->m_dwTextBackground, COLOUR_NONE);
  EXPECT_EQ(msg_->m_nCharSpacing, -1);
  EXPECT_EQ(msg_->m_nRect, 0);
  EXPECT_EQ(msg_->m_nLine, 0);
  EXPECT_EQ(msg_->m_nErrorPosition, 0);
  EXPECT_EQ(msg_->m_byLineJustification[7], 3);  // the database default
  EXPECT_EQ(msg_->m_lines[1][2].SpacingAfter(), 0);
  EXPECT_EQ(msg_->m_lines[1][2].SpacingOverride(), 255);
  EXPECT_EQ(msg_->m_lines[1][2].FontLineSpacing(), 4);  // only flag 1 clears it
  EXPECT_EQ(msg_->m_lines[1][2].chars.Count(), 0u);
  EXPECT_EQ(msg_->m_moving[3].offset, MOVING_NOT_STARTED);
  EXPECT_EQ(msg_->m_event.kind, RE_NONE);

  msg_->Reset(1);
  EXPECT_EQ(msg_->m_lines[1][2].FontLineSpacing(), 0);
}

TEST_F(MessageTest, ResetClearsTheTargetSurface) {
  CSurface surface;
  ASSERT_NE(surface.Allocate(4, 4, 8), nullptr);
  surface.SetPixel(1, 1, 7);
  CMessage m(&surface);
  surface.SetPixel(1, 1, 7);
  m.Reset(0);
  EXPECT_EQ(surface.GetPixel(1, 1), 0u);
}

TEST_F(MessageTest, DefaultColoursFollowTheColourScheme) {
  struct {
    uint32_t scheme;
    uint32_t module;
    std::vector<uint8_t> foreground, background;
    uint32_t expect_foreground, expect_background;
  } cases[] = {
      {4, 97, {255, 128, 0}, {0, 0, 255}, 0x021F, 0x7C00},
      {3, 21, {9}, {0}, 0x02DF, 0},
      {3, 11, {9}, {1}, 0x03E0, 0x001F},  // two-colour module type
      {4, 97, {255}, {}, 0x001F, 0},      // short strings: the missing bytes are 0
      {3, 21, {}, {12}, 0, 0},            // no such classic colour
  };
  for (const auto& c : cases) {
    SetNv(nv::dmsColorScheme, c.scheme);
    SetNv(nv::quorModuleID, c.module);
    SetNvBytes(nv::defaultForegroundRGB, c.foreground);
    SetNvBytes(nv::defaultBackgroundRGB, c.background);
    message_defaults d;
    d.Load();
    EXPECT_EQ(d.m_dwForeground, c.expect_foreground) << c.scheme << "/" << c.module;
    EXPECT_EQ(d.m_dwBackground, c.expect_background) << c.scheme << "/" << c.module;
    EXPECT_EQ(d.m_byForegroundLength, c.foreground.size());
    EXPECT_EQ(d.m_dwReserved, COLOUR_NONE);
    EXPECT_EQ(default_foreground_colour_value(), c.expect_foreground);
    EXPECT_EQ(default_background_colour_value(), c.expect_background);
  }
}

TEST_F(MessageTest, DefaultsApplyWithoutTextBackground) {
  SetNv(nv::defaultFont, 2);
  SetNv(nv::defaultFlashOn, 7);
  SetNv(nv::defaultPageOnTime, 30);
  SetNv(nv::defaultJustificationLine, 4);
  msg_->m_defaults.Load();
  msg_->m_dwTextBackground = 5;
  msg_->ApplyDefaults();
  EXPECT_EQ(msg_->m_dwTextBackground, COLOUR_NONE);
  EXPECT_EQ(msg_->m_dwForeground, 0x02DFu);
  EXPECT_EQ(msg_->m_byFont, 2);
  EXPECT_EQ(msg_->m_byFlashOn, 7);
  EXPECT_EQ(msg_->m_byPageOn, 30);
  EXPECT_EQ(msg_->m_byLineJustification[0], 4);
}

TEST(MessageActivation, StartsWithNoErrorAndPriorityOne) {
  CMessageActivation a;
  EXPECT_EQ(a.m_dwMultiSyntaxError, 2u);
  EXPECT_EQ(a.m_dwMultiErrorPosition, 0u);
  EXPECT_EQ(a.m_dwRunTimePriority, 1u);
  EXPECT_EQ(a.m_dwStatus, 1u);
  EXPECT_EQ(a.m_pStoredText, nullptr);
  EXPECT_EQ(a.m_multi.Count(), 0u);
}

TEST(ColourTables, ClassicColoursByModuleKind) {
  // Without a database every module type reads 0: the full-colour column.
  EXPECT_EQ(colour_value(9), 0x02DFu);
  EXPECT_EQ(colour_value(10), 0u);
  EXPECT_EQ(colour_value(0xFFFFFFFF), 0u);
  EXPECT_EQ(colour_value_for_module_type(8), 0x0060F8u);
  EXPECT_EQ(rgb_colour_value(255, 128, 0), 0x021Fu);
  for (uint32_t type : {11u, 12u, 98u, 101u}) EXPECT_TRUE(is_two_colour_module_type(type));
  for (uint32_t type : {10u, 13u, 97u, 102u}) EXPECT_FALSE(is_two_colour_module_type(type));
}

}  // namespace
