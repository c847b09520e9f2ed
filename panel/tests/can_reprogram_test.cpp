// Programming runs against simulated boot-loader micros: runs that finish
// with the image rebuilt in the micro, broadcasts with a refusing module,
// raw images, silent micros and images the loader cannot take.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "panel/pages/can_reprogram.h"
#include "panel/pages/reprogram_loaders.h"
#include "panel/tests/reprogram_fixture.h"

namespace {

std::vector<uint8_t> Bytes(size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i * seed + 1) % 255);  // never 0xFF
  return v;
}

// Intel HEX text of `data` from `address`, `per` bytes a record.
std::string Hex(const std::vector<uint8_t>& data, uint16_t address, size_t per = 32) {
  std::string out;
  char buf[8];
  for (size_t at = 0; at < data.size(); at += per) {
    size_t n = std::min(per, data.size() - at);
    uint16_t a = static_cast<uint16_t>(address + at);
    uint8_t sum = static_cast<uint8_t>(n + (a >> 8) + a);
    std::snprintf(buf, sizeof(buf), ":%02X%04X", unsigned(n), a);
    out += std::string(buf) + "00";
    for (size_t i = 0; i < n; ++i) {
      std::snprintf(buf, sizeof(buf), "%02X", data[at + i]);
      out += buf;
      sum = static_cast<uint8_t>(sum + data[at + i]);
    }
    std::snprintf(buf, sizeof(buf), "%02X\r\n", static_cast<uint8_t>(-sum));
    out += buf;
  }
  return out + ":00000001FF\r\n";
}

std::map<uint32_t, uint8_t> Image(const std::vector<uint8_t>& data, uint32_t at) {
  std::map<uint32_t, uint8_t> m;
  for (size_t i = 0; i < data.size(); ++i) m[at + i] = data[i];
  return m;
}

class CanReprogramTest : public ReprogramFixture {
 protected:
  bool InThread(const std::function<bool()>& run) {
    bool ok = false;
    ReprogramFixture::InThread([&] { ok = run(); });
    return ok;
  }

  const std::vector<uint8_t> loader = Bytes(300, 7);
  const std::string loader_hex = Hex(loader, 0x0100);
};

TEST_F(CanReprogramTest, BoardMicroRunFinishesWithTheImageRebuilt) {
  auto& micro = AddMicro(2, 36);
  AddMicro(1, 36);  // the other micro hears nothing addressed to it
  std::vector<uint8_t> app = Bytes(1000, 13);
  std::string app_hex = Hex(app, 0x0020);
  EXPECT_TRUE(InThread([&] {
    return prog.ProgramDistributionBoard(loader_hex.data(), loader_hex.size(), app_hex.data(), app_hex.size(), 2, 36, 2);
  }));
  EXPECT_EQ(prog.CurrentStep(), can_reprogram::COMPLETE);
  EXPECT_EQ(prog.Percent(), 100);
  EXPECT_EQ(micro.loader(), Image(loader, 0x0100));
  // Board applications go to flash pages 48..63.
  EXPECT_EQ(micro.application(), Image(app, 48u << 16 | 0x0020));
  EXPECT_TRUE(micro.application_running());
  EXPECT_TRUE(micros[1]->loader().empty());
  for (uint32_t c : channels) EXPECT_EQ(c, 13u);
}

TEST_F(CanReprogramTest, ModuleBroadcast) {
  for (uint8_t n = 1; n <= 3; ++n) AddMicro(n, 91);
  std::vector<uint8_t> app = Bytes(700, 5);
  std::string app_hex = Hex(app, 0x1000);
  auto run = [&] {
    return InThread([&] {
      return prog.ProgramPFC(loader_hex.data(), loader_hex.size(), reinterpret_cast<const uint8_t*>(app_hex.data()),
                             app_hex.size(), 0, 91);
    });
  };
  EXPECT_TRUE(run());
  for (auto& m : micros) {
    EXPECT_EQ(m->application(), Image(app, 0x1000));
    EXPECT_TRUE(m->application_running());
  }
  // One module refusing the erase fails the broadcast although the others
  // acknowledged it.
  for (auto& m : micros) m->set_refuse_erase(false);
  micros[1]->set_refuse_erase(true);
  EXPECT_FALSE(run());
  EXPECT_EQ(prog.CurrentStep(), can_reprogram::FAILURE);
  EXPECT_GT(micros[0]->erases(), 1);
}

TEST_F(CanReprogramTest, RawImageGoesOutInPaddedBlocksWithoutLoader) {
  auto& micro = AddMicro(4, 91);
  std::vector<uint8_t> app = Bytes(100, 3);
  // A raw image needs no loader text, but the loader is still required.
  EXPECT_TRUE(InThread([&] { return prog.ProgramPFC(loader_hex.data(), 0, app.data(), app.size(), 128, 91); }));
  EXPECT_TRUE(micro.loader().empty());
  EXPECT_EQ(micro.application(), Image(app, 0));
  EXPECT_EQ(prog.Blocks(), 2u);
  EXPECT_FALSE(InThread([&] { return prog.ProgramPFC(nullptr, 0, app.data(), app.size(), 128, 91); }));
}

TEST_F(CanReprogramTest, RunsThatGiveUp) {
  struct Row {
    const char* what;
    std::function<void(sim::boot_loader_micro&)> arrange;
    std::string loader;
  } rows[] = {
      {"silent micro", [](sim::boot_loader_micro& m) { m.set_silent(true); }, ""},
      // A record longer than the loader's record buffer is never sent.
      {"oversized loader record", [](sim::boot_loader_micro&) {}, Hex(Bytes(64, 3), 0, 33)},
      {"wrong device type", [](sim::boot_loader_micro&) {}, ""},
  };
  std::string app_hex = Hex(Bytes(64, 9), 0);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    micros.clear();
    auto& micro = AddMicro(1, std::string(r.what) == "wrong device type" ? 12 : 36);
    r.arrange(micro);
    std::string l = r.loader.empty() ? loader_hex : r.loader;
    EXPECT_FALSE(InThread([&] {
      return prog.ProgramDistributionBoard(l.data(), l.size(), app_hex.data(), app_hex.size(), 1, 36, 1);
    }));
    EXPECT_EQ(prog.CurrentStep(), can_reprogram::FAILURE);
    EXPECT_FALSE(micro.application_running());
  }
}

TEST_F(CanReprogramTest, BuiltInLoadersInflateToHexTheMicroTakes) {
  struct Row {
    const uint8_t* z;
    uint32_t size;
    bool board;
  } rows[] = {
      {g_loader_module_small, g_loader_module_small_size, false},
      {g_loader_module_large, g_loader_module_large_size, false},
      {g_loader_product_board, g_loader_product_board_size, true},
      {g_loader_distribution_hcb, g_loader_distribution_hcb_size, true},
      {g_loader_distribution, g_loader_distribution_size, true},
  };
  std::string app_hex = Hex(Bytes(200, 11), 0x0040);
  for (const Row& r : rows) {
    std::string text(0x80000, '\0');
    uLongf n = text.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(text.data()), &n, r.z, r.size), Z_OK);
    text.resize(n);
    micros.clear();
    auto& micro = AddMicro(1, 36);
    EXPECT_TRUE(InThread([&] {
      return r.board ? prog.ProgramDistributionBoard(text.data(), n, app_hex.data(), app_hex.size(), 1, 36, 1)
                     : prog.ProgramPFC(text.data(), n, reinterpret_cast<const uint8_t*>(app_hex.data()),
                                       app_hex.size(), 1, 36);
    })) << r.size;
    EXPECT_FALSE(micro.loader().empty());
    EXPECT_TRUE(micro.application_running());
  }
}

TEST_F(CanReprogramTest, RepliesOtherThanStatusFramesAreIgnored) {
  uint8_t reply[8] = {0x70, 0x00, 1, 0, 0, 0, 0, 0x30};
  prog.HandleResponse(0x33, 8, reply);
  prog.HandleResponse(can_reprogram::REPLY_ID, 7, reply);
  EXPECT_EQ(prog.ProgrammerError(), 0u);
  prog.HandleResponse(can_reprogram::REPLY_ID, 8, reply);
  EXPECT_EQ(prog.ProgrammerError(), 6u);  // highest error bit 0x20
}

}  // namespace
