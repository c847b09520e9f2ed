// The display task's face registration, its configuration reload, its
// timing check and the letters and request bits it serves itself.
#include "display/tests/display_fixture.h"

#include <algorithm>

#include "display/core/module_link.h"
#include "display/task/display_peripherals.h"

namespace {

TEST_F(DisplayTest, RegisterFacesRaisesTheSignToWholeModules) {
  struct Case {
    uint32_t module;
    uint16_t height, width;
    uint16_t face_height, face_width;
    uint8_t rows;
    uint8_t per_row;
    uint8_t module_class, flag, depth;
  } cases[] = {
      // 7 x 5 modules: 20 rows need three module rows.
      {21, 20, 100, 21, 100, 3, 20, 4, 2, 1},
      // 9 x 5; a zero height is one module.
      {22, 0, 101, 9, 105, 1, 21, 4, 2, 1},
      // 16 x 16 full colour, no pixel-test flag.
      {97, 40, 30, 48, 32, 3, 2, 4, 1, 3},
      // No row: the 7 x 5 default record.
      {0, 14, 5, 14, 5, 2, 1, 3, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.module);
    SetNv(nv::quorModuleID, c.module);
    trace_capture cap;
    Register(c.height, c.width);
    const disp::face_description& d = display_->FaceDescription(0);
    EXPECT_STREQ(d.face_name, "primary");
    EXPECT_STREQ(d.bus_name, "ksr-7100");
    EXPECT_EQ(d.height, c.face_height);
    EXPECT_EQ(d.width, c.face_width);
    EXPECT_EQ(d.module_rows, c.rows);
    for (uint32_t i = 0; i < 9; ++i) EXPECT_EQ(d.modules_per_row[i], i < c.rows ? c.per_row : 0) << i;
    EXPECT_EQ(d.total_modules, c.rows * c.per_row);
    EXPECT_EQ(d.module_class, c.module_class);
    EXPECT_EQ(d.module_type_flag, c.flag);
    EXPECT_EQ(d.depth, c.depth);
    EXPECT_EQ(d.rate, 10);
    // The raised size is written back and configures driver and surface.
    EXPECT_EQ(Nv(nv::vmsSignHeightPixels), c.face_height);
    EXPECT_EQ(Nv(nv::vmsSignWidthPixels), c.face_width);
    ASSERT_FALSE(driver_.configures.empty());
    EXPECT_EQ(driver_.configures.back().height, c.face_height);
    EXPECT_EQ(driver_.configures.back().width, c.face_width);
    EXPECT_EQ(driver_.configures.back().module_type, static_cast<int32_t>(c.module));
    EXPECT_EQ(g_render.Surface().Height(), c.face_height);
    EXPECT_EQ(g_render.Surface().Width(), c.face_width);
    EXPECT_TRUE(cap.contains("\tsuccessfully registered primary display face\n"));
    EXPECT_EQ(display_->Face(0).m_byState, disp::face::BOUND);
    EXPECT_EQ(g_display_core.FaceCount(), 1u);
  }
}

TEST_F(DisplayTest, ModuleType106OutputIsLargerThanTheFace) {
  // 9 x 5 modules under type 106, so that the face is 99 x 100.
  static const module_type_row table[] = {
      {106, 9, 5, 1, 1, "TEST", 0, nullptr, "NONE", 0, 0, {0, 0, 0}, 1, 0}};
  g_module_type_table = table;
  g_module_type_count = 1;
  SetNv(nv::quorModuleID, 106);
  Register(99, 100);
  ASSERT_EQ(driver_.configures.size(), 1u);
  EXPECT_EQ(driver_.configures[0].height, 111);
  EXPECT_EQ(driver_.configures[0].width, 120);
  EXPECT_EQ(display_->m_LcdDriver.GetHeight(), 99);
  EXPECT_EQ(display_->m_LcdDriver.GetWidth(), 100);
  EXPECT_EQ(display_->m_LcdDriver.BitmapRowBytes(), 13u);
  EXPECT_EQ(g_render.Surface().Height(), 99u);
  EXPECT_EQ(g_render.Surface().Width(), 100u);
}

TEST_F(DisplayTest, LineLengthsAreClippedToTheFaceAndUnusedOnesCleared) {
  SetNv(nv::quorLineLength(0), 2);
  SetNv(nv::quorLineLength(1), 50);
  SetNv(nv::quorLineLength(4), 3);
  Register(14, 100);  // two rows of twenty 7 x 5 modules
  const disp::face_description& d = display_->FaceDescription(0);
  EXPECT_EQ(d.modules_per_row[0], 2);
  EXPECT_EQ(d.modules_per_row[1], 20);
  EXPECT_EQ(d.modules_per_row[4], 0);
  EXPECT_EQ(d.total_modules, 22);
  EXPECT_EQ(Nv(nv::quorLineLength(1)), 20u);
  InThread([&] { display_->ClearUnusedLineLengths(); });
  EXPECT_EQ(Nv(nv::quorLineLength(0)), 2u);
  EXPECT_EQ(Nv(nv::quorLineLength(4)), 0u);
}

TEST_F(DisplayTest, FailedConfigureLeavesNoDriverUntilALaterOneSucceeds) {
  driver_.configure_result = 0;
  SetVol(vol::controllerErrorStatus, 0x01);
  EXPECT_EQ(Register(7, 15), 0);
  EXPECT_EQ(display_->m_pActiveDriver, nullptr);
  EXPECT_EQ(Vol(vol::controllerErrorStatus), 0x11u);
  EXPECT_EQ(Vol(vol::shortErrorStatus) & 0x100, 0x100u);
  RunToStep(3);
  EXPECT_TRUE(driver_.frames.empty());

  // Bit 8 of the short status stays while another controller error does.
  driver_.configure_result = 1;
  EXPECT_EQ(Register(7, 15), 10);
  EXPECT_EQ(display_->m_pActiveDriver, &driver_);
  EXPECT_EQ(Vol(vol::controllerErrorStatus), 0x01u);
  EXPECT_EQ(Vol(vol::shortErrorStatus) & 0x100, 0x100u);
  SetVol(vol::controllerErrorStatus, 0x10);
  Register(7, 15);
  EXPECT_EQ(Vol(vol::controllerErrorStatus), 0u);
  EXPECT_EQ(Vol(vol::shortErrorStatus) & 0x100, 0u);
}

TEST_F(DisplayTest, SlowerDriverLowersTheFrameRate) {
  driver_.max_frame_rate = 5;
  SetNv(nv::quorEnableRealTimePixelDiagnostics, 1);
  EXPECT_EQ(Register(7, 15), 5);
  EXPECT_EQ(g_render.m_byFrameRate, 5);
  EXPECT_EQ(Nv(nv::quorFrameRate), 5u);
  EXPECT_EQ(display_->FaceDescription(0).rate, 5);
  EXPECT_EQ(driver_.diagnostics_calls, std::vector<uint8_t>{1});
  // Five steps a second.
  RunToStep(1);
  const uint32_t before = display_->LoopCount();
  rtos::advance(100);
  EXPECT_EQ(display_->LoopCount() - before, 5u);
}

TEST_F(DisplayTest, DisplayModeSelectsBlankOrTestPattern) {
  Register(7, 15);
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_BLANK);
  SetNv(nv::quorDisplayMode, 5);
  Register(7, 15);
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_TEST_PATTERN);
  InThread([&] { display_->ReloadDisplayConfiguration(); });
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_TEST_PATTERN);
  SetNv(nv::quorDisplayMode, 1);
  InThread([&] { display_->ReloadDisplayConfiguration(); });
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_START_MESSAGE);
}

TEST_F(DisplayTest, GeometryChangeReloadsTheConfigurationInTheStep) {
  Register(7, 15);
  RunToStep(2);
  trace_capture cap;
  InThread([&] { db_->SetValue(nv::vmsSignWidthPixels.offset, 2, 22, db_->mib_nv, DB_NOTIFY); });
  RunToStep(3);
  EXPECT_TRUE(cap.contains("load new display configuration\n"));
  EXPECT_EQ(display_->FaceDescription(0).width, 25);
  EXPECT_EQ(Nv(nv::vmsSignWidthPixels), 25u);
  EXPECT_EQ(driver_.configures.back().width, 25);
}

TEST_F(DisplayTest, ActivateMutexIsMadeOnceAndSurvivesReloads) {
  Register(7, 15);
  TX_MUTEX* lock = display_->ActivateLock();
  ASSERT_NE(lock, nullptr);
  EXPECT_STREQ(lock->name, "Activate Msg");
  // Held by an activation while the configuration is reloaded: the holder
  // keeps it and nobody else gets it.
  TX_THREAD* holder = nullptr;
  InThread([&] {
    ASSERT_EQ(os_mutex_get(lock, OS_NO_WAIT), OS_SUCCESS);
    holder = tx_thread_identify();
    display_->ReloadDisplayConfiguration();
    display_->ReloadDisplayConfiguration();
    EXPECT_EQ(display_->ActivateLock(), lock);
    EXPECT_EQ(lock->owner, holder);
    EXPECT_EQ(lock->ownership_count, 1u);
    EXPECT_EQ(os_mutex_put(lock), OS_SUCCESS);
  });
  InThread([&] {
    EXPECT_EQ(os_mutex_get(lock, OS_NO_WAIT), OS_SUCCESS);
    EXPECT_EQ(os_mutex_put(lock), OS_SUCCESS);
  });
}

TEST_F(DisplayTest, LateStepsAreReportedAndTheTimerRealigned) {
  Register(7, 15);
  trace_capture cap;
  RunToStep(1);
  // The first step counts from the timer's creation.
  EXPECT_TRUE(cap.contains("warning Display ticks:160, desired 10\n"));
  EXPECT_EQ(display_->LateSteps(), 1u);
  RunToStep(5);
  EXPECT_EQ(display_->LateSteps(), 1u);

  // One frame output takes 25 ticks: the next step comes 25 ticks after
  // this one, and the steps after it keep the new pace.
  cap.clear();
  std::vector<uint32_t> ticks;
  bool slow = true;
  driver_.on_write = [&] {
    ticks.push_back(tx_time_get());
    if (slow) {
      slow = false;
      tx_thread_sleep(25);
    }
  };
  rtos::advance(60);
  EXPECT_EQ(cap.text(), "warning Display ticks:25, desired 10\n");
  EXPECT_EQ(display_->LateSteps(), 2u);
  ASSERT_GE(ticks.size(), 4u);
  EXPECT_EQ(ticks[1] - ticks[0], 25u);
  for (size_t i = 2; i < ticks.size(); ++i) EXPECT_EQ(ticks[i] - ticks[i - 1], 10u) << i;
}

TEST_F(DisplayTest, TaskAnswersItsControlLettersAndChecksIn) {
  subscriber watchdog(&g_post_office, nullptr, 1, nullptr);
  static const uint32_t kIds[] = {MSG_WDT_DISPLAY_START, MSG_WDT_DISPLAY_ALIVE, MSG_WDT_DISPLAY_STOP, 0};
  watchdog.Subscribe(kIds);
  Register(7, 15);
  trace_capture cap;
  trace_set_level(1);
  RunToStep(2);
  trace_set_level(0);
  EXPECT_TRUE(cap.contains("Display Task Start...\n"));
  std::vector<uint32_t> ids;
  letter_s* l = nullptr;
  auto take = [&] {
    ids.clear();
    while (watchdog.Receive(&l)) {
      ids.push_back(l->Id());
      watchdog.Release(l);
    }
    return ids;
  };
  EXPECT_EQ(take(), (std::vector<uint32_t>{48, 49, 49, 49}));

  InThread([&] { g_post_office.Publish(MSG_DISPLAY_SUSPEND); });
  rtos::advance(30);
  EXPECT_TRUE(cap.contains("Suspending display task\n"));
  // Alive at the step's start, then the stop of the suspension.
  EXPECT_EQ(take(), (std::vector<uint32_t>{49, 50}));
  const uint32_t loops = display_->LoopCount();
  rtos::advance(50);
  EXPECT_EQ(display_->LoopCount(), loops);

  // Only another thread resumes it; then it steps and checks in again.
  InThread([&] { display_->Resume(); });
  rtos::advance(11);
  EXPECT_GT(display_->LoopCount(), loops);
  EXPECT_EQ(take(), (std::vector<uint32_t>{49}));
}

TEST_F(DisplayTest, LinesAreResetOnceAtTheStart) {
  Register(7, 15);
  EXPECT_TRUE(driver_.line_resets.empty());
  RunToStep(3);
  EXPECT_EQ(driver_.line_resets, std::vector<int32_t>{-1});
}

TEST_F(DisplayTest, FieldDevicesFollowTheLivePeripherals) {
  const display_peripheral_links saved = g_display_peripherals;
  // No peripheral task: every device counts as present.
  g_display_peripherals = {};
  for (uint32_t f : {3u, 5u, 92u, 99u}) EXPECT_TRUE(display_field_device(f)) << f;
  static std::vector<uint32_t> live;
  g_display_peripherals.is_live = [](uint32_t type) {
    return std::find(live.begin(), live.end(), type) != live.end();
  };
  struct Case {
    std::vector<uint32_t> live;
    bool radar;
    std::vector<uint32_t> present, absent;
  } cases[] = {
      {{}, false, {1, 2, 7, 13}, {3, 4, 5, 6, 92, 95, 96, 99}},
      {{12}, false, {3, 4}, {5, 92, 96}},
      {{10}, true, {5, 6, 92, 93, 94, 95}, {3, 96}},
      {{11, 165}, false, {92, 96, 97, 98, 99}, {3, 5}},
  };
  for (const Case& c : cases) {
    live = c.live;
    g_display_peripherals.radar_live = c.radar ? +[] { return true; } : nullptr;
    for (uint32_t f : c.present) EXPECT_TRUE(display_field_device(f)) << f;
    for (uint32_t f : c.absent) EXPECT_FALSE(display_field_device(f)) << f;
  }
  g_display_peripherals = saved;
}

TEST_F(DisplayTest, LettersOfTheTaskItself) {
  Register(7, 15);
  RunToStep(1);
  auto publish = [&](uint32_t id) {
    InThread([&] { g_post_office.Publish(id); });
    rtos::advance(10);
  };
  // Power: the sign driver's active byte.
  publish(MSG_POWER_LOST);
  EXPECT_EQ(driver_.m_byActive, 0);
  publish(MSG_POWER_RESTORED);
  EXPECT_EQ(driver_.m_byActive, 1);

  // Permanent messages: two built in, and the valid rows 500..549.
  SetNv(nv::dmsMessageStatus(500), 4);
  SetNv(nv::dmsMessageStatus(549), 4);
  SetNv(nv::dmsMessageStatus(510), 3);
  SetNv(nv::dmsMessageStatus(499), 4);
  publish(MSG_CONFIG_LOADED);
  EXPECT_EQ(Vol(vol::dmsNumPermanentMsg), 4u);

  // Font status requests become states.
  SetNv(nv::fontStatus(1), 7);
  SetNv(nv::fontStatus(2), 9);
  SetNv(nv::fontStatus(3), 10);
  SetNv(nv::fontStatus(4), 6);
  publish(MSG_FONT_STATUS_CHANGED);
  EXPECT_EQ(Nv(nv::fontStatus(1)), 2u);
  EXPECT_EQ(Nv(nv::fontStatus(2)), 1u);
  EXPECT_EQ(Nv(nv::fontStatus(3)), 11u);
  EXPECT_EQ(Nv(nv::fontStatus(4)), 6u);

  // The lit-ratio cap is switched on by the power-mode status, for good.
  SetVol(vol::quorPowerModeStatus, 1);
  publish(MSG_CHG_VOL17317);
  EXPECT_EQ(display_->m_dwCapFlags & CDisplay::CAP_ENABLED, 0u);
  SetVol(vol::quorPowerModeStatus, 2);
  publish(MSG_CHG_VOL17317);
  EXPECT_NE(display_->m_dwCapFlags & CDisplay::CAP_ENABLED, 0u);

  trace_capture cap;
  letter_s report(MSG_MODULE_INFO);
  report.payload[0] = 1;
  InThread([&] { g_post_office.Deliver(&report); });
  rtos::advance(10);
  EXPECT_TRUE(cap.contains("face does not exist\n"));
}

TEST_F(DisplayTest, MessageTableModeFallsBackOutsideLocalControl) {
  Register(7, 15);
  RunToStep(1);
  SetVol(vol::dmsControlMode, 2);
  InThread([&] { db_->SetValue(nv::quorMessageTableMode.offset, 1, 2, db_->mib_nv, DB_NOTIFY); });
  rtos::advance(10);
  EXPECT_EQ(Vol(vol::dmsMaxChangeableMsg), 550u);
  rtos::advance(50);
  EXPECT_EQ(Nv(nv::quorMessageTableMode), 2u);
  trace_capture cap;
  SetVol(vol::dmsControlMode, 4);
  rtos::advance(10);
  EXPECT_EQ(Nv(nv::quorMessageTableMode), 1u);
  EXPECT_EQ(Vol(vol::dmsMaxChangeableMsg), 500u);
  EXPECT_TRUE(cap.contains("CDisplay::StateMachine_MessageHandler::auto locking config objects\n"));
}

TEST_F(DisplayTest, SignDimensionsInMillimetres) {
  struct Case {
    uint32_t type, height, width, char_height, char_width, h_pitch, v_pitch;
    uint32_t sign_height, sign_width;
  } cases[] = {
      // Character matrix: 3 rows of characters plus one, 34 gap columns.
      {4, 14, 90, 7, 5, 66, 66, 66 * 14 + 305 * 3, 66 * 124 + 1220},
      {5, 14, 90, 7, 0, 66, 44, 44 * 14 + 229 * 3, 66 * 90 + 1220},
      {6, 27, 105, 7, 5, 66, 66, 66 * 27 + 305 * 2, 66 * 105 + 610},
      // No whole character across: no gap columns.
      {4, 7, 3, 7, 5, 66, 66, 66 * 7 + 305 * 2, 66 * 3 + 1220},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    SetNv(nv::dmsSignType, c.type);
    SetNv(nv::vmsSignHeightPixels, c.height);
    SetNv(nv::vmsSignWidthPixels, c.width);
    SetNv(nv::vmsCharacterHeightPixels, c.char_height);
    SetNv(nv::vmsCharacterWidthPixels, c.char_width);
    SetNv(nv::vmsHorizontalPitch, c.h_pitch);
    SetNv(nv::vmsVerticalPitch, c.v_pitch);
    InThread([&] { display_->UpdateSignDimensions(); });
    EXPECT_EQ(Nv(nv::dmsSignHeight), c.sign_height);
    EXPECT_EQ(Nv(nv::dmsSignWidth), c.sign_width);
  }
}

}  // namespace
