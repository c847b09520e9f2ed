// The whole controller started in-process on the manual clock, for tests
// that follow a road through several subsystems.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <new>
#include <string>

#include "board_host.h"
#include "database/database.h"
#include "database/objects.h"
#include "display/task/display.h"
#include "display/tests/sign_picture_rows.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/startup/host.h"
#include "frame/startup/startup.h"
#include "frame/timer/timer_scheduler.h"
#include "frame/trace/trace.h"
#include "monitor_host.h"
#include "net_host.h"
#include "rtos_host.h"

class controller_test : public ::testing::Test {
 protected:
  // Powers the board up and starts the controller; `before` runs in the
  // kernel's start ahead of the controller's own.
  void Boot(const std::function<void()>& before_kernel = nullptr,
            const std::function<void(void*)>& before = nullptr) {
    board::board_config config;
    config.serial[1].kind = board::serial_kind::pipe;
    board::reset(config);
    monitor::reset();
    // The network comes up at the communication task's first step: its
    // ports on ephemeral host ports, so that runs never collide.
    net_host_config net;
    net.ephemeral = true;
    ASSERT_TRUE(net_host_configure(net));
    // The pool of large buffers is a global: a controller started before in
    // this process left it pointing into its kernel's memory.
    g_gpbuffer.~CGPBuffer();
    new (&g_gpbuffer) CGPBuffer();
    if (before_kernel) before_kernel();
    startup_subscribe();
    rtos::kernel_config k;
    k.memory_size = 32u << 20;
    k.clock = clock_;
    rtos::kernel_start(k, [&](void* mem) {
      if (before) before(mem);
      tx_application_define(mem);
    });
  }
  void TearDown() override {
    rtos::settle();
    net_host_shutdown();
    board::shutdown();
    rtos::kernel_stop();
    monitor::shutdown();
    timer_scheduler_tx_rtos::DestroyInstance();
  }

  // The manual clock, unless a measure of real time asks for the host's.
  rtos::clock_source clock_ = rtos::clock_source::manual;

  static CDataBase& Db() { return *g_pDataBase; }
  static void Set(uint8_t* area, db_object o, uint32_t v, uint32_t flags = DB_NO_VALIDATE) {
    Db().SetValue(o.offset, o.width, v, area, flags);
  }
  static uint32_t Nv(db_object o) { return Db().GetValue(o.offset, o.width, Db().mib_nv, 0); }
  static std::string NvText(db_object o) {
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(o.offset, 4, Db().mib_nv, &n);
    return std::string(reinterpret_cast<const char*>(p), n);
  }
  static void InThread(const std::function<void()>& fn) { ASSERT_TRUE(rtos::run_in_thread(fn)); }

  // Up to the display task's first step (its start resets the sign's lines
  // first).
  static void FirstDisplayStep() {
    for (uint32_t t = 0; t < 3000 && g_pDisplay->LoopCount() == 0; t += 10) rtos::advance(10);
    ASSERT_NE(g_pDisplay->LoopCount(), 0u);
  }
  // Lets the display task take at least `n` more whole steps (a step may
  // sleep, so one under way at the start does not count).
  static void DisplaySteps(uint32_t n) {
    const uint32_t target = g_pDisplay->LoopCount() + n + 1;
    for (uint32_t t = 0; t < 5000 && g_pDisplay->LoopCount() < target; ++t) rtos::advance(1);
    ASSERT_GE(g_pDisplay->LoopCount(), target);
  }

  // Every object the road needs: a sign of 7 x 30 pixels of 7 x 5 modules,
  // the built-in 7 x 5 font as font 1, and the MULTI defaults. Call in a
  // kernel thread; `driver`, when given, becomes the sign's driver before
  // the new width makes the next step configure it.
  static void ConfigureSmallSign(display_driver* driver = nullptr) {
    uint8_t* nv = Db().mib_nv;
    Set(nv, nv::dmsSignType, 6);
    Set(nv, nv::quorModuleID, 21);
    Set(nv, nv::vmsSignHeightPixels, 7);
    Set(nv, nv::quorDisplayMode, 1);
    Set(nv, nv::quorMessageTableMode, 1);
    Set(nv, nv::defaultFont, 1);
    Set(nv, nv::defaultJustificationLine, 2);
    Set(nv, nv::defaultJustificationPage, 2);
    Set(nv, nv::defaultPageOnTime, 30);
    Set(nv, nv::defaultPageOffTime, 0);
    Set(nv, nv::defaultFlashOn, 5);
    Set(nv, nv::defaultFlashOff, 5);
    Set(nv, nv::dmsColorScheme, 3);
    Set(nv, nv::dmsMessageTimeRemaining, 0xFFFF);
    Db().SetString(nv::defaultForegroundRGB.offset, 4, "\x09", 1, nv, DB_NO_VALIDATE);
    Db().SetString(nv::defaultBackgroundRGB.offset, 4, "\x00", 1, nv, DB_NO_VALIDATE);
    ASSERT_EQ(Db().LoadFont("07X05_1_KM.FNT", 0), 1);
    Set(nv, nv::fontStatus(0), 4);
    if (driver) g_pDisplay->SetSignDriver(driver);
    // A changed width is a new geometry: the next step reloads it and
    // configures the driver.
    Set(nv, nv::vmsSignWidthPixels, 30, DB_NOTIFY | DB_NO_VALIDATE);
  }

  // Stores "text" as changeable message 1 and asks for its validation.
  static void StoreChangeable1(const std::string& text) {
    uint8_t* nv = Db().mib_nv;
    Set(nv, nv::dmsMessageStatus(0), 2);
    Db().SetString(nv::dmsMessageMultiString(0).offset, 4, text.data(), static_cast<uint32_t>(text.size()), nv,
                   DB_NOTIFY);
    Db().SetString(nv::dmsMessageOwner(0).offset, 4, "tmc", 3, nv, DB_NOTIFY);
    Set(nv, nv::dmsMessageBeacon(0), 0, DB_NOTIFY);
    Set(nv, nv::dmsMessagePixelService(0), 0, DB_NOTIFY);
    Set(nv, nv::dmsMessageRunTimePriority(0), 10, DB_NOTIFY);
    EXPECT_EQ(Db().SetValue(nv::dmsMessageStatus(0).offset, 1, 7, nv, DB_NOTIFY), DB_OK);
  }
};

// The controller with its sign picture written into a folder of the test's
// own, which the test reads back.
class picture_controller_test : public controller_test {
 protected:
  void BootWithPicture(const std::string& name) {
    folder_ = std::filesystem::temp_directory_path() / (name + "_" + std::to_string(getpid()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    Boot([&] { host_show_sign((folder_ / HOST_SIGN_PICTURE).string()); });
  }
  void TearDown() override {
    controller_test::TearDown();
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }
  // What the picture shows; {"no picture"} when there is none.
  std::vector<std::string> Picture() const {
    host_sign_picture().Flush();
    std::vector<std::string> rows = sign_picture_rows((folder_ / HOST_SIGN_PICTURE).string());
    return rows.empty() ? std::vector<std::string>{"no picture"} : rows;
  }

  std::filesystem::path folder_;
};
