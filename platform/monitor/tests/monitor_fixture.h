// A boot monitor with a state folder of its own per test; Restart() boots it
// again on the same folder, as the board does after a restart.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "mon_api.h"
#include "mon_service.h"
#include "monitor_host.h"
#include "rtos_host.h"

class MonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "montest.XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    ASSERT_NE(mkdtemp(buf.data()), nullptr);
    folder_ = buf.data();
    config_.state_folder = folder_;
  }
  void TearDown() override {
    monitor::shutdown();
    std::filesystem::remove_all(folder_);
  }
  void Boot() { monitor::reset(config_); }
  void Restart() {
    monitor::shutdown();
    monitor::reset(config_);
  }
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }

  // The data of a file, or "<none>".
  static std::string Data(const char* name) {
    tfs_header* h = mon_tfsstat(name);
    if (!h) return "<none>";
    return std::string(reinterpret_cast<const char*>(h) + h->hdr_size, h->data_size);
  }
  static int Add(const char* name, const std::string& data, const char* flags = "") {
    return mon_tfsadd(name, nullptr, flags, data.data(), static_cast<uint32_t>(data.size()));
  }
  static std::vector<std::string> Names() {
    std::vector<std::string> out;
    for (tfs_header* h = mon_tfsnext(nullptr); h; h = mon_tfsnext(h)) out.push_back(h->name);
    return out;
  }

  std::string folder_;
  monitor::monitor_config config_;
};

// The monitor with a kernel on the manual clock under it.
class KernelMonitorTest : public MonitorTest {
 protected:
  void SetUp() override {
    MonitorTest::SetUp();
    rtos::kernel_config k;
    k.memory_size = 1u << 20;
    rtos::kernel_start(k, [](void*) {});
  }
  void TearDown() override {
    rtos::kernel_stop();
    MonitorTest::TearDown();
  }
};
