// The real-time data input on the AUX port (records, their limits, the
// silence time-out, the port it takes and gives back) and the CAN product
// board's mirror of what the display reports.
#include <deque>
#include <string>

#include "frame/serial/serial_driver.h"
#include "peripherals/devices/can_product_board.h"
#include "peripherals/devices/rtd_protocol.h"
#include "peripherals/tests/task_fixture.h"

namespace {

// The AUX port: bytes the data source sent, read one at a time.
class FakePort : public CSerialDriver {
 public:
  uint32_t PutTxByte(uint8_t) override { return 1; }
  uint32_t ReadByte(uint32_t* out) override {
    if (rx.empty()) {
      *out = 0xFFFFFFFF;
      return 0;
    }
    *out = rx.front();
    rx.pop_front();
    return 1;
  }
  uint32_t Open(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return 1; }
  uint32_t SetBaudRate(uint32_t) override { return 1; }
  void Send(const std::string& bytes) { rx.insert(rx.end(), bytes.begin(), bytes.end()); }

  std::deque<uint8_t> rx;
};

FakePort g_port;
bool g_port_present = true;
bool g_port_lent = false;
uint32_t g_releases = 0;

const peripheral_port_ops kPorts = {
    [](uint32_t id) -> CSerialDriver* {
      if (id != CRTD_Protocol::AUX_PORT || !g_port_present || g_port_lent) return nullptr;
      g_port_lent = true;
      return &g_port;
    },
    [](uint32_t id) -> uint32_t {
      if (id == CRTD_Protocol::AUX_PORT) {
        g_port_lent = false;
        ++g_releases;
      }
      return 1;
    },
};

class RtdTest : public PeripheralTest {
 protected:
  void SetUp() override {
    PeripheralTest::SetUp();
    g_port.rx.clear();
    g_port_present = true;
    g_port_lent = true;  // the communication task holds it
    g_releases = 0;
    peripheral_set_port_ops(&kPorts);
    SetNv(nv::quorCommConfigProtocol(1), 2);
    SetNv(nv::rs232PortInSpeed(1), 19200);
    SetNv(nv::quorCommConfigFlowControl(1), 1);
  }
  void TearDown() override {
    rtd_.reset();
    peripheral_set_port_ops(nullptr);
    PeripheralTest::TearDown();
  }
  void Create() {
    pl_record record;
    record.slot = 4;
    record.type_id = CRTD_Protocol::TYPE_ID;
    record.class_code = CRTD_Protocol::CLASS_CODE;
    rtd_.reset(static_cast<CRTD_Protocol*>(CRTD_Protocol::Create(record)));
  }
  std::string Data() {
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(vol::quorRealTimeData.offset, 4, Db().mib_v, &n);
    return std::string(reinterpret_cast<const char*>(p), n);
  }
  void Feed(const std::string& bytes) {
    g_port.Send(bytes);
    rtd_->Poll();
  }

  std::unique_ptr<CRTD_Protocol> rtd_;
};

TEST_F(RtdTest, TakesTheAuxPortAndGivesItBack) {
  Create();
  ASSERT_NE(rtd_, nullptr);
  EXPECT_EQ(rtd_->m_byState, PERIPHERAL_READING);
  EXPECT_EQ(rtd_->m_wPollInterval, 1);
  EXPECT_EQ(rtd_->m_byEnabled, 1);
  EXPECT_EQ(Nv(nv::quorCommConfigProtocol(1)), 16u);
  EXPECT_EQ(Nv(nv::quorCommConfigFlowControl(1)), 0u);
  EXPECT_EQ(Nv(nv::rs232PortInSpeed(1)), 9600u);
  EXPECT_EQ(Nv(nv::quorCommPortReinit), 4u);
  EXPECT_EQ(V(vol::rtdBufferSize), 1000u);
  EXPECT_EQ(Data(), "");
  EXPECT_EQ(g_releases, 1u) << "taken from the communication task";
  EXPECT_TRUE(g_port_lent);

  SetNv(nv::quorCommPortReinit, 1);
  rtd_.reset();
  EXPECT_EQ(Nv(nv::quorCommConfigProtocol(1)), 2u);
  EXPECT_EQ(Nv(nv::rs232PortInSpeed(1)), 9600u);
  EXPECT_EQ(Nv(nv::quorCommPortReinit), 4u);
  EXPECT_FALSE(g_port_lent) << "free for the communication task to take again";
}

TEST_F(RtdTest, WithoutThePortsDriverItDoesNotLoad) {
  g_port_present = false;
  trace_capture trace;
  Create();
  EXPECT_EQ(rtd_, nullptr);
  EXPECT_TRUE(trace.contains("CRTD_Protocol::Init: no driver for the AUX port\n"));
  EXPECT_EQ(Nv(nv::quorCommConfigProtocol(1)), 2u) << "the port's protocol restored";
}

struct RecordCase {
  const char* name;
  std::vector<std::string> polls;  // bytes arriving before each poll
  std::string published;
  uint8_t state;
};

TEST_F(RtdTest, Records) {
  const RecordCase cases[] = {
      {"header and data", {"\rHDR1234ABC\r"}, "ABC", PERIPHERAL_VALID},
      {"a CR in the header starts it again", {"\rHDR\r1234567XY\r"}, "XY", PERIPHERAL_VALID},
      {"bytes before the first CR", {"noise\rHDR1234DATA\r"}, "DATA", PERIPHERAL_VALID},
      {"the CR that ends one starts the next", {"\rHDR1234ONE\rHDR1234TWO\r"}, "TWO", PERIPHERAL_VALID},
      {"spread over polls", {"\rHDR12", "34AB", "", "C\r"}, "ABC", PERIPHERAL_VALID},
      {"no data", {"\rHDR1234\r"}, "", PERIPHERAL_VALID},
      {"a record without its end", {"\rHDR1234ABC"}, "", PERIPHERAL_READING},
      {"a short header", {"\rHDR\r"}, "", PERIPHERAL_READING},
      {"bytes of every value", {std::string("\rHDR1234\0\x01\xFF", 11) + "\r"}, std::string("\0\x01\xFF", 3),
       PERIPHERAL_VALID},
  };
  for (const RecordCase& c : cases) {
    Create();
    ASSERT_NE(rtd_, nullptr) << c.name;
    for (const std::string& bytes : c.polls) Feed(bytes);
    EXPECT_EQ(Data(), c.published) << c.name;
    EXPECT_EQ(rtd_->m_byState, c.state) << c.name;
    rtd_.reset();
  }
}

TEST_F(RtdTest, ALongRecordIsCutToTheBuffer) {
  Create();
  const std::string data(1500, 'x');
  trace_capture trace;
  Feed("\rHDR1234" + data + "\r");
  EXPECT_EQ(Data(), std::string(1000, 'x'));
  EXPECT_TRUE(trace.contains("CRTD_Protocol::Poll: record of 1500 bytes cut to 1000\n"));
  // The next record starts afresh.
  Feed("HDR1234short\r");
  EXPECT_EQ(Data(), "short");
}

TEST_F(RtdTest, ASilentPortTimesOutOnce) {
  Create();
  trace_set_level(1);
  trace_capture trace;
  for (int i = 0; i < 120; ++i) rtd_->Poll();
  EXPECT_EQ(rtd_->m_byState, PERIPHERAL_READING);
  EXPECT_FALSE(trace.contains("RTD Comm Timeout"));
  rtd_->Poll();
  EXPECT_EQ(rtd_->m_byState, PERIPHERAL_COMM_ERROR);
  EXPECT_TRUE(trace.contains("Warning: RTD Comm Timeout 760\n"));
  trace.clear();
  for (int i = 0; i < 300; ++i) rtd_->Poll();
  EXPECT_FALSE(trace.contains("RTD Comm Timeout"));
  // A byte restarts the count; a whole record makes it valid again.
  Feed("\r");
  EXPECT_EQ(rtd_->SilenceCount(), 1);
  EXPECT_EQ(rtd_->m_byState, PERIPHERAL_COMM_ERROR);
  Feed("HDR1234OK\r");
  EXPECT_EQ(rtd_->m_byState, PERIPHERAL_VALID);
  trace_set_level(0);
}

TEST_F(RtdTest, NamesOfTheType) {
  EXPECT_STREQ(CRTD_Protocol::NameOfType(1), "REAL TIME DATA INPUT");
  EXPECT_EQ(CRTD_Protocol::TypeOfName("REAL TIME DATA INPUT"), 760);
  EXPECT_EQ(CRTD_Protocol::TypeOfName("real time data input"), 0);
}

// ---------------------------------------------------------------- product board

class ProductBoardTest : public TaskFixture {
 protected:
  void SetUp() override { SetUpTask(false); }
};

TEST_F(ProductBoardTest, MirrorsTheDisplaysReport) {
  Start(3, false);
  CPeripheral* board = Live(CCANDBPeripheral::TYPE_ID);
  ASSERT_NE(dynamic_cast<CCANDBPeripheral*>(board), nullptr);
  EXPECT_EQ(board->m_byState, PERIPHERAL_SETTING_UP);
  EXPECT_EQ(board->m_wPollInterval, 20);
  EXPECT_EQ(board->m_wConfigSlot, 65535);
  EXPECT_EQ(board->m_byFromDatabase, 0);
  Deliver(MSG_DISPLAY_TO_PERIPHERAL, 0, 3);
  Steps(2);
  EXPECT_EQ(board->m_byState, PERIPHERAL_COMM_ERROR);
  EXPECT_EQ(V(vol::shortErrorStatus) & 0x8, 0x8u) << "an attached device fails";
  Deliver(MSG_DISPLAY_TO_PERIPHERAL, 0, 0);
  Steps(2);
  EXPECT_EQ(board->m_byState, PERIPHERAL_VALID);
  EXPECT_EQ(V(vol::shortErrorStatus) & 0x8, 0u);
  Deliver(MSG_DISPLAY_TO_PERIPHERAL, 3, 7);
  Steps(1);
  EXPECT_EQ(board->m_byState, PERIPHERAL_VALID) << "only b says it";
}

TEST(ProductBoardNames, Names) {
  EXPECT_STREQ(CCANDBPeripheral::NameOfType(610), "CAN PRODUCT BOARD");
  EXPECT_EQ(CCANDBPeripheral::NameOfType(611), nullptr);
  EXPECT_EQ(CCANDBPeripheral::TypeOfName("DISTRIBUTION BOARD"), 610);
  EXPECT_EQ(CCANDBPeripheral::TypeOfName("CAN PRODUCT BOARD"), 0);
}

}  // namespace
