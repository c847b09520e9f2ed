// Reprogramming and the data key from the front panel of the whole
// controller: a module image chosen at the panel goes out through the
// display task, the EPLD and its CAN channel to simulated boot-loader
// micros whose replies come back through the module bus; a file that fails
// its check is refused. The data key in the board's socket takes the
// firmware and CONFIG.XML from flash and gives the firmware back, with
// CONFIG.XML kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "board_host.h"
#include "can_models.h"
#include "frame/datakey/datakey_jobs.h"
#include "mon_api.h"
#include "panel/controller_tests/panel_controller_fixture.h"
#include "sim/can/boot_loader_micro.h"
#include "tests/controller_fixture.h"

namespace {

// A display module's micro on an EPLD CAN channel: request frames in,
// replies (identifier 0x32) out on the same wire.
class MicroOnWire : public board::can_wire::node {
 public:
  MicroOnWire(board::can_wire& wire, uint8_t node, uint16_t type)
      : wire_(wire), micro(node, type, [this](const uint8_t d[8]) {
          board::can_frame f;
          f.id = 0x32;
          f.dlc = 8;
          std::memcpy(f.data, d, 8);
          wire_.transmit(this, f, 0);
        }) {
    wire_.attach(this);
  }
  ~MicroOnWire() override { wire_.detach(this); }
  bool acknowledges(uint32_t) override { return true; }
  void on_frame(const board::can_frame& f, uint32_t) override {
    if (f.id == 0x31 && !f.extended && !f.remote) micro.receive(f.data, std::min<uint8_t>(f.dlc, 8));
  }

  board::can_wire& wire_;
  sim::boot_loader_micro micro;
};

// An Intel HEX data record with CR LF.
std::string Record(uint16_t address, const std::vector<uint8_t>& data) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), ":%02X%04X00", unsigned(data.size()), address);
  std::string s = buf;
  uint8_t sum = static_cast<uint8_t>(data.size() + (address >> 8) + address);
  for (uint8_t b : data) {
    std::snprintf(buf, sizeof(buf), "%02X", b);
    s += buf;
    sum = static_cast<uint8_t>(sum + b);
  }
  std::snprintf(buf, sizeof(buf), "%02X\r\n", static_cast<uint8_t>(-sum));
  return s + buf;
}

class PanelReprogramTest : public panel_controller<controller_test> {
 protected:
  void SetUp() override {
    // The product board whose CONFIGURATION menu lists the data key.
    Boot([] {
      board::board_config c;
      c.serial[1].kind = board::serial_kind::pipe;
      c.board_id = 2;
      board::reset(c);
    });
    AttachUnit();
    // No sign is configured: the display task runs the request all the same.
    FirstDisplayStep();
  }
  void TearDown() override {
    // Off the wires before the board goes.
    micros_.clear();
    controller_test::TearDown();
  }

  static void AddFile(const std::string& name, const std::string& flags, const std::vector<uint8_t>& data) {
    int r = -1;
    InThread([&] { r = mon_tfsadd(name.c_str(), nullptr, flags.c_str(), data.data(), uint32_t(data.size())); });
    ASSERT_EQ(r, TFS_OKAY) << name;
  }
  static std::vector<uint8_t> FileData(const std::string& name) {
    std::vector<uint8_t> out;
    InThread([&] {
      if (const tfs_header* h = mon_tfsstat(name.c_str())) {
        const uint8_t* at = reinterpret_cast<const uint8_t*>(h) + h->hdr_size;
        out.assign(at, at + h->data_size);
      }
    });
    return out;
  }
  static uint32_t FileFlags(const std::string& name) {
    uint32_t flags = 0xFFFFFFFF;
    InThread([&] {
      if (const tfs_header* h = mon_tfsstat(name.c_str())) flags = h->flags;
    });
    return flags;
  }

  MicroOnWire& AddMicro(uint8_t node, uint16_t type) {
    micros_.push_back(std::make_unique<MicroOnWire>(board::epld_wire(15), node, type));
    return *micros_.back();
  }

  std::vector<std::unique_ptr<MicroOnWire>> micros_;
};

TEST_F(PanelReprogramTest, ModulesAreReprogrammedAndABadFileIsRefused) {
  std::string image;
  std::vector<uint8_t> expected;
  for (uint16_t a = 0x0100; a < 0x0180; a += 16) {
    std::vector<uint8_t> data;
    for (int i = 0; i < 16; ++i) data.push_back(static_cast<uint8_t>(a + 3 * i));
    image += Record(a, data);
    expected.insert(expected.end(), data.begin(), data.end());
  }
  image += ":00000001FF\r\n";
  AddFile("modules.hex", "", std::vector<uint8_t>(image.begin(), image.end()));
  // LF line ends: the record check refuses it.
  const std::string lf = ":04010000A5A5A5A5C1\n:00000001FF\n";
  AddFile("lf.hex", "", std::vector<uint8_t>(lf.begin(), lf.end()));
  MicroOnWire& a = AddMicro(5, 21);
  MicroOnWire& b = AddMicro(6, 21);
  Login();

  Choose("CONFIGURATION");
  Choose("SYSTEM CONFIGURATION");
  Choose("REPROGRAM DEVICES");
  Choose("REPROGRAM MODULES");
  Choose("modules.hex");
  Choose("SPECIFY");
  Digits("21");
  Key(8);
  ASSERT_TRUE(RunUntil("PROGRAMMING, PLEASE WAIT", 500)) << unit_.screen();
  ASSERT_TRUE(RunUntil("SUCCESS", 400000)) << unit_.screen();
  EXPECT_NE(unit_.screen().find("(PRESS ANY KEY TO CONTINUE)"), std::string::npos);
  for (MicroOnWire* m : {&a, &b}) {
    EXPECT_TRUE(m->micro.application_running());
    std::vector<uint8_t> written;
    for (const auto& [address, byte] : m->micro.application()) written.push_back(byte);
    EXPECT_EQ(written, expected);
    EXPECT_EQ(m->micro.application().begin()->first, 0x0100u);
  }
  EXPECT_NE(g_pDisplay->m_dwDisplayState, uint32_t(CDisplay::STATE_REPROGRAM)) << "the display task went on";

  // A key leaves the page; the refused file ends at once.
  Key(8);
  ASSERT_TRUE(RunUntil(") REPROGRAM MODULES", 500)) << unit_.screen();
  Choose("REPROGRAM MODULES");
  Choose("lf.hex");
  Choose("SPECIFY");
  Digits("21");
  Key(8);
  ASSERT_TRUE(RunUntil("BAD FILE", 2000)) << unit_.screen();
  Key(8);
  EXPECT_TRUE(RunUntil(") REPROGRAM MODULES", 500)) << unit_.screen();
}

class PanelDataKeyTest : public PanelReprogramTest {
 protected:
  void SetUp() override {
    PanelReprogramTest::SetUp();
    for (size_t i = 0; i < firmware_.size(); ++i) firmware_[i] = static_cast<uint8_t>(i * 7 + i / 300);
    // Ahead of it in flash, an image that is not the running firmware.
    AddFile("OLD.EXE", "bE", std::vector<uint8_t>(100, 1));
    AddFile("SIGN.EXE", "bEp", firmware_);
    AddFile("CONFIG.XML", "p", config_);
    Login();
    Choose("CONFIGURATION");
    Choose("DATAKEY");
    ASSERT_TRUE(RunUntil("INSERT DATAKEY")) << unit_.screen();
  }
  static void Insert() { board::datakey().insert(&board::datakey_key()); }

  std::vector<uint8_t> firmware_ = std::vector<uint8_t>(40000);
  std::vector<uint8_t> config_ = std::vector<uint8_t>(700, 'c');
};

TEST_F(PanelDataKeyTest, SavedFirmwareGoesBackWithTheConfigurationKept) {
  Insert();
  ASSERT_TRUE(RunUntil("DATAKEY FIRMWARE: EMPTY")) << unit_.screen();
  Digits("1");
  ASSERT_TRUE(RunUntil("SUCCESS (PRESS ANY KEY)", 20000)) << unit_.screen();
  // Two records: the firmware at 0, CONFIG.XML behind it, marked last.
  std::vector<uint8_t> head = board::datakey_key().peek(0, DataKeyRecord::HEADER);
  DataKeyRecord first = DataKeyRecord::Decode(head.data());
  EXPECT_TRUE(first.Valid());
  EXPECT_STREQ(first.name, "SIGN.EXE");
  EXPECT_EQ(first.size, firmware_.size());
  head = board::datakey_key().peek(first.next, DataKeyRecord::HEADER);
  DataKeyRecord second = DataKeyRecord::Decode(head.data());
  EXPECT_TRUE(second.Valid());
  EXPECT_STREQ(second.name, "CONFIG.XML");
  EXPECT_EQ(second.next, DataKeyRecord::LAST);

  // Back to the menu, which now offers the key's files.
  Key(8);
  ASSERT_TRUE(RunUntil("DATAKEY FIRMWARE: 1.9.4588.42")) << unit_.screen();
  EXPECT_NE(unit_.screen().find("2) UPDATE CONTROLLER FIRMWARE"), std::string::npos);
  EXPECT_NE(unit_.screen().find("3) UPDATE CONTROLLER CONFIG"), std::string::npos);

  // Firmware from the key replaces a changed one; CONFIG.XML, changed since
  // the save, stays as it is now.
  AddFile("SIGN.EXE", "bEp", std::vector<uint8_t>(1000, 0xEE));
  const std::vector<uint8_t> config_now(900, 'n');
  AddFile("CONFIG.XML", "p", config_now);
  Digits("2");
  ASSERT_TRUE(RunUntil("SUCCESS (PRESS ANY KEY)", 20000)) << unit_.screen();
  EXPECT_EQ(FileData("SIGN.EXE"), firmware_);
  EXPECT_EQ(FileFlags("SIGN.EXE") & (TFS_FLAG_BOOT | TFS_FLAG_EXEC_IMAGE), TFS_FLAG_BOOT | TFS_FLAG_EXEC_IMAGE);
  EXPECT_EQ(FileData("CONFIG.XML"), config_now);
  EXPECT_EQ(FileFlags("CONFIG.XML") & TFS_FLAG_P, TFS_FLAG_P);
  EXPECT_TRUE(FileData("CONFIG.BAK").empty()) << "folded back";
  EXPECT_FALSE(unit_.suspended());
}

TEST_F(PanelDataKeyTest, ABrokenBodyAndAPulledKeyEndInTheirErrors) {
  Insert();
  ASSERT_TRUE(RunUntil("DATAKEY FIRMWARE: EMPTY")) << unit_.screen();
  Digits("1");
  ASSERT_TRUE(RunUntil("SUCCESS (PRESS ANY KEY)", 20000)) << unit_.screen();
  Key(8);
  ASSERT_TRUE(RunUntil("3) UPDATE CONTROLLER CONFIG")) << unit_.screen();

  // One body byte of CONFIG.XML changed: its header still reads valid.
  const uint32_t second = DataKeyRecord::Decode(board::datakey_key().peek(0, DataKeyRecord::HEADER).data()).next;
  std::vector<uint8_t> byte = board::datakey_key().peek(second + DataKeyRecord::HEADER + 5, 1);
  byte[0] ^= 0x10;
  board::datakey_key().poke(second + DataKeyRecord::HEADER + 5, byte);
  Digits("3");
  ASSERT_TRUE(RunUntil("CRC ERROR", 20000)) << unit_.screen();
  EXPECT_EQ(FileData("CONFIG.XML"), config_) << "left as it was";
  Key(8);
  ASSERT_TRUE(RunUntil("1) SAVE FIRMWARE/CONFIG TO DATAKEY")) << unit_.screen();

  // Pulled while saving.
  board::datakey().remove_after(300);
  Digits("1");
  ASSERT_TRUE(RunUntil("ERROR DATAKEY WAS REMOVED", 20000)) << unit_.screen();
  Key(8);
  EXPECT_TRUE(RunUntil("INSERT DATAKEY")) << unit_.screen();
  // Back in: the erased key offers only the save.
  Insert();
  ASSERT_TRUE(RunUntil("DATAKEY FIRMWARE: EMPTY")) << unit_.screen();
  EXPECT_EQ(unit_.screen().find("2) UPDATE"), std::string::npos);
}

}  // namespace
