// The "vms" command: each operation's output and the letters it sends, with
// the targets that exist and with those that are not there.
#include <sstream>

#include "console_fixture.h"
#include "frame/can/can_bus.h"
#include "frame/can/can_core.h"
#include "frame/can/can_db_driver.h"
#include "frame/board/interrupt.h"
#include "frame/console/vms_command.h"
#include "frame/peripheral/peripheral.h"
#include "frame/trace/trace.h"

namespace {

const uint32_t kWatched[] = {38, 40, 45, 47, 56, 61, 63, 69, 71, 73, 75, 98, 100,
                             MSG_RESET_SPI, MSG_MODULE_INFO, MSG_DHCP_RENEW, 0};

// A task whose loop count the status shows.
class CountedTask : public CTaskBase {
 public:
  CountedTask(const char* name, uint32_t loops) : CTaskBase(name, 1024, 5, 0, 1, 1) { m_uLoopCount = loops; }
};

class FakeCan : public can_driver {
 public:
  uint32_t Send(uint32_t, uint32_t, uint32_t, const uint8_t*, uint32_t) override { return 1; }
  uint32_t ReadFrame(uint32_t*, uint8_t*, uint8_t*, uint8_t*) override { return 0; }
  uint32_t Initialize(uint32_t, uint32_t, uint32_t) override {
    ++initialized;
    return 1;
  }
  int initialized = 0;
};

class VmsTest : public ConsoleTest {
 protected:
  void SetUp() override {
    ConsoleTest::SetUp();
    rtos::cpu_scope s;
    ASSERT_EQ(os_event_create(&flags_, "vms test"), OS_SUCCESS);
    inbox_ = std::make_unique<subscriber>(&g_post_office, &flags_, 1, nullptr);
    inbox_->Subscribe(kWatched);
  }
  void TearDown() override {
    vms_set_links(vms_links{});
    inbox_.reset();
    ConsoleTest::TearDown();
  }
  // Runs one command line in a kernel thread; its output.
  std::string Run(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;) words.push_back(w);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    trace_capture cap;
    rtos::run_in_thread([&] { EXPECT_EQ(vms_command(static_cast<int>(argv.size()), argv.data()), 0); });
    return cap.text();
  }
  // Letters sent since the last call: id and first payload word.
  std::vector<std::pair<uint32_t, uint32_t>> Letters() {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    letter_s* l = nullptr;
    rtos::cpu_scope s;
    while (inbox_->Receive(&l)) {
      out.emplace_back(l->Id(), l->kind == LETTER_KIND_BYTE ? l->payload[0] : 0);
      inbox_->Release(l);
    }
    return out;
  }
  static std::string Help() {
    std::string h;
    for (const char* const* l = g_vms_help; *l; ++l) h += std::string(*l) + "\n";
    return h;
  }
  TX_EVENT_FLAGS_GROUP flags_{};
  std::unique_ptr<subscriber> inbox_;
};

const std::string kDebugHelp =
    "commands\nvms -d spi\nvms -d module X\t\t(X=face number)\nvms -d modem X\t\t(X=id)\nvms -d thread\n"
    "vms -d peripheral\nvms -d defrag\nvms -d ethernet\n";
const std::string kPeripheralHelp =
    "commands\n"
    "vms -d peripheral enable X   (X=id)\n"
    "vms -d peripheral disable X  (X=id)\n"
    "vms -d peripheral freq X Y   (X=id,Y=new freq)\n"
    "vms -d peripheral stat X     (X=id)\n";

TEST_F(VmsTest, OutputOfEachOperation) {
  struct Row {
    const char* line;
    std::string output;
  } rows[] = {
      {"vms", "\n"},
      {"vms bogus", Help()},
      {"vms -x 1", Help()},
      {"vms -t", Help()},
      {"vms -d", kDebugHelp},
      {"vms -d nonsense", kDebugHelp},
      {"vms -d module", kDebugHelp},
      {"vms -d thread", "vms -d thread stack X    (X=name)\nvms -d thread suspend X  (X=name)\n"},
      // Resume is not offered by the console.
      {"vms -d thread resume display", "vms -d thread stack X    (X=name)\nvms -d thread suspend X  (X=name)\n"},
      {"vms -d thread suspend nobody", "vms -d thread stack X    (X=name)\nvms -d thread suspend X  (X=name)\n"},
      // No modem: the help of the operation.
      {"vms -d modem", "vms -d modem X AT    (X=id)\nvms -d modem X +++   (X=id)\n"},
      {"vms -d modem 20 AT", "vms -d modem X AT    (X=id)\nvms -d modem X +++   (X=id)\n"},
      {"vms -d peripheral", "peripherals not available\n" + kPeripheralHelp},
      {"vms -d peripheral enable 5", "peripherals not available\n" + kPeripheralHelp},
      {"vms -d ethernet",
       "vms -d ethernet tcp\nvms -d ethernet udp\nvms -d ethernet icmp\nvms -d ethernet pool\n"
       "vms -d ethernet reset\nvms -d ethernet dhcp\nvms -d ethernet arp\n"},
      {"vms -d ethernet dhcp", "vms -d dhcp renew\n"},
      {"vms -d ethernet arp", "vms -d ethernet arp list\nvms -d ethernet arp stat\n"},
      {"vms -d ethernet arp list", "arp list not available\n"},
      {"vms -d ethernet tcp", "tcp statistics not available\n"},
      {"vms -d ethernet reset", "reset ethernet\nethernet controller not available\n"},
      {"vms -d ethernet pool", "Main: not available\nDriver: not available\n"},
      {"vms -d spi", "reset spi\nCAN Q5 Driver not available\n"},
      {"vms gamma 3", "gamma not available\n"},
      {"vms gamma", ""},
  };
  for (const Row& r : rows) EXPECT_EQ(Run(r.line), r.output) << r.line;
  EXPECT_TRUE(Letters().empty());
}

TEST_F(VmsTest, TraceLevel) {
  EXPECT_EQ(Run("vms -t 1"), "new level:1\n");
  EXPECT_EQ(monitor_->PrintLevel(), 1u);
  EXPECT_EQ(Run("vms -t 2"), "");
  EXPECT_EQ(monitor_->PrintLevel(), 1u);
  EXPECT_EQ(Run("vms trace 0"), "new level:0\n");
  EXPECT_EQ(monitor_->PrintLevel(), 0u);
}

TEST_F(VmsTest, LettersOfTheDebugOperations) {
  struct Row {
    const char* line;
    std::vector<std::pair<uint32_t, uint32_t>> letters;
  } rows[] = {
      {"vms -d prog", {{MSG_RESET_SPI, 0}}},
      {"vms -d module 1A", {{MSG_MODULE_INFO, 0x1A}}},
      {"vms -d thread suspend display", {{45, 0}}},
      {"vms -d thread suspend DISPLAY", {{45, 0}}},
      {"vms -d thread stack Monitor", {{40, 0}}},
      {"vms -d thread stack watchdog", {{75, 0}}},
      {"vms -d thread suspend comm", {{98, 0}}},
      {"vms -d thread stack database", {{71, 0}}},
      {"vms -d ethernet dhcp renew", {{MSG_DHCP_RENEW, 0}}},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(Run(r.line), "") << r.line;
    EXPECT_EQ(Letters(), r.letters) << r.line;
  }
}

TEST_F(VmsTest, StatusLines) {
  // The interrupt counters run from the program's start.
  char interrupts[80];
  snprintf(interrupts, sizeof interrupts, "-Interrupts RX:%u, Ether:%u\n", static_cast<unsigned>(g_interrupt_count),
           static_cast<unsigned>(g_ethernet_interrupt_count));
  const std::string missing = std::string(
                                  "-Uptime(y/d/h/m/s) = 0/0/00/00/00\n"
                                  "-Display:0, Peripheral:0, Schedule:0, Comm:0\n"
                                  "\t Display Timer Reschedule Events: not available\n") +
                              interrupts + "-byte_pool_0 not available\n";
  std::string out = Run("vms -s");
  EXPECT_EQ(out.substr(0, missing.size()), missing);
  EXPECT_NE(out.find("-dyn db usage:0x"), std::string::npos);
  EXPECT_NE(out.find(" of 0x100000\n-Q5 CAN\tnot available\n-DB CAN\tnot available\n-LTP CAN\tnot available\n"),
            std::string::npos)
      << out;

  CountedTask display("Display", 7), peripheral("Peripheral", 8), schedule("Schedule", 9), comm("Comm", 10);
  can_db_driver db;
  db.m_packetsReceived = 1;
  db.m_packetsSent = 2;
  db.m_streamErrors = 3;
  db.m_bytesLost = 4;
  db.m_configurationRequests = 5;
  FakeCan ltp;
  ltp.m_packetsReceived = 6;
  ltp.m_packetsSent = 7;
  vms_links l;
  l.display = &display;
  l.peripheral = &peripheral;
  l.schedule = &schedule;
  l.comm = &comm;
  l.display_late_steps = [] { return 12u; };
  l.thread_stacks = &stacks_;
  l.db_can = &db;
  l.ltp_can = &ltp;
  vms_set_links(l);
  uint32_t stacks_used = 0, strings_used = 0;
  {
    rtos::cpu_scope s;
    const char* name;
    uint32_t total, available, fragments;
    os_byte_pool_info(&stacks_, &name, &total, &available, &fragments);
    stacks_used = total - available;
    os_byte_pool_info(&strings_, &name, &total, &available, &fragments);
    strings_used = total - available;
  }
  char pools[200];
  snprintf(pools, sizeof pools, "-byte_pool_0 usage:0x%X of 0x100000\n-dyn db usage:0x%X of 0x100000\n", stacks_used,
           strings_used);
  EXPECT_EQ(Run("vms -s"), "-Uptime(y/d/h/m/s) = 0/0/00/00/00\n"
                           "-Display:7, Peripheral:8, Schedule:9, Comm:10\n"
                           "\t Display Timer Reschedule Events:12\n" +
                               std::string(interrupts) + pools +
                               "-Q5 CAN\tnot available\n"
                               "-DB CAN\tRX:1\tTX:2\tErr:3\tDropped:4\n"
                               "\treprogram attempts:5\n"
                               "-LTP CAN\tRX:6\tTX:7\tErr:0\n");
}

TEST_F(VmsTest, OperationsOnLinkedTargets) {
  static int gamma;
  static int emac;
  gamma = -1;
  emac = 0;
  can_core hub;
  sensor_bus bus;
  FakeCan q5;
  vms_links l;
  l.gamma_select = [](uint32_t g) { gamma = static_cast<int>(g); };
  l.emac_initialize = [] { ++emac; };
  l.main_pool = &packets_;
  l.can_hub = &hub;
  vms_set_links(l);
  rtos::run_in_thread([&] {
    ASSERT_EQ(bus.open("CAN Q5 Driver", &q5), 1u);
    hub.register_bus(&bus);
  });
  q5.initialized = 0;
  EXPECT_EQ(Run("vms gamma 12"), "");
  EXPECT_EQ(gamma, 12);
  EXPECT_EQ(Run("vms -d ethernet reset"), "reset ethernet\n");
  EXPECT_EQ(emac, 1);
  EXPECT_EQ(Run("vms -d spi"), "reset spi\n");
  EXPECT_EQ(q5.initialized, 1);
  char main_line[100];
  snprintf(main_line, sizeof main_line, "Main: %u of %u Free, Req:0, Susp:0, Invalid:0\n",
           static_cast<unsigned>(packets_.nx_packet_pool_available), static_cast<unsigned>(packets_.nx_packet_pool_total));
  EXPECT_EQ(Run("vms -d ethernet pool"), std::string(main_line) + "Driver: not available\n");
  rtos::run_in_thread([&] {
    hub.unregister_bus(&bus);
    bus.close();
  });
}

// The main IP instance's counts, as the stack keeps them.
TEST_F(VmsTest, NetworkStatisticsOfTheMainInstance) {
  NX_IP ip{};
  ip.nx_ip_tcp_packets_sent = 11;
  ip.nx_ip_tcp_packets_received = 12;
  ip.nx_ip_udp_packets_sent = 21;
  ip.nx_ip_udp_packets_received = 22;
  ip.nx_ip_udp_invalid_packets = 23;
  ip.nx_ip_udp_packets_dropped = 24;
  ip.nx_ip_icmp_packets_sent = 31;
  ip.nx_ip_icmp_packets_received = 32;
  ip.nx_ip_arp_frames_dropped = 41;
  vms_links l;
  l.main_ip = &ip;
  vms_set_links(l);
  const struct {
    const char* line;
    const char* output;
  } rows[] = {
      {"vms -d ethernet tcp", "tcp TX:11, RX:12, Invalid:0, Dropped:0\n"},
      {"vms -d ethernet udp", "udp TX:21, RX:22, Invalid:23, Dropped:24\n"},
      {"vms -d ethernet icmp", "icmp TX:31, RX:32, Timeout:0, Replies:0\n"},
      {"vms -d ethernet arp list", "Dynamic ARP Table:\n"},
      {"vms -d ethernet arp stat",
       " requests sent:0\n requests received:0\n responses sent:0\n responses received:0\n"
       " dynamic entries:0\n static entries:0\n aged entries:0\n dropped msg:41\n"},
      {"vms -d ethernet arp", "vms -d ethernet arp list\nvms -d ethernet arp stat\n"},
  };
  for (const auto& r : rows) EXPECT_EQ(Run(r.line), r.output) << r.line;
}

// Peripherals of the peripheral task, as the command reaches them.
class FakePeripheral : public CPeripheral {
 public:
  FakePeripheral(uint8_t cls, uint16_t type) : CPeripheral(cls, type) {}
  void Poll() override {}
};

struct PeripheralWorld {
  static FakePeripheral* modem;
  static FakePeripheral* sensor;
  static FakePeripheral* panel;
  static std::vector<std::string> calls;
  static CPeripheral* Find(uint32_t id) {
    for (FakePeripheral* p : {modem, sensor, panel})
      if (p && p->m_wTypeId == id) return p;
    return nullptr;
  }
};
FakePeripheral* PeripheralWorld::modem = nullptr;
FakePeripheral* PeripheralWorld::sensor = nullptr;
FakePeripheral* PeripheralWorld::panel = nullptr;
std::vector<std::string> PeripheralWorld::calls;

TEST_F(VmsTest, PeripheralAndModemOperations) {
  using W = PeripheralWorld;
  FakePeripheral modem(0x20, 0x200), sensor(0x05, 0x51), panel(0x07, 70);
  W::modem = &modem;
  W::sensor = &sensor;
  W::panel = &panel;
  W::calls.clear();
  static const vms_peripheral_ops ops = {
      W::Find,
      [](uint32_t id) { return W::Find(id) ? (W::calls.push_back("enable " + std::to_string(id)), 1) : 0; },
      [](uint32_t id) { return W::Find(id) ? (W::calls.push_back("disable " + std::to_string(id)), 1) : 0; },
      [](uint32_t id, uint16_t v, uint16_t* old) {
        if (!W::Find(id)) return 0;
        *old = 5;
        W::calls.push_back("freq " + std::to_string(v));
        return 1;
      },
      [](uint32_t id) { W::calls.push_back("stat " + std::to_string(id)); },
      [] { W::calls.push_back("lcd off"); },
      [] { W::calls.push_back("lcd on"); },
      [](CPeripheral* p) { return p == W::modem ? 1 : 0; },
      [](CPeripheral*, const char* text) { W::calls.push_back(std::string("modem ") + text); },
      [](CPeripheral*) { W::calls.push_back("escape"); },
  };
  vms_links l;
  l.peripherals = &ops;
  vms_set_links(l);
  std::string modem_name = modem.TypeName();

  EXPECT_EQ(Run("vms -d modem 200 AT+CSQ"), "send AT+CSQ to " + modem_name + "\n");
  EXPECT_EQ(Run("vms -d modem 200 +++"), "try enter cmd mode\n");
  // A peripheral that is no modem, and one that does not exist.
  EXPECT_EQ(Run("vms -d modem 51 AT"), "vms -d modem X AT    (X=id)\nvms -d modem X +++   (X=id)\n");
  EXPECT_EQ(Run("vms -d modem 7 AT"), "vms -d modem X AT    (X=id)\nvms -d modem X +++   (X=id)\n");
  EXPECT_EQ(Run("vms -d peripheral enable 51"), "Enabled:" + std::string(sensor.TypeName()) + "\n");
  EXPECT_EQ(Run("vms -d peripheral disable 51"), "Disabled:" + std::string(sensor.TypeName()) + "\n");
  EXPECT_EQ(Run("vms -d peripheral enable 52"), "");
  EXPECT_EQ(Run("vms -d peripheral freq 51 A"), std::string(sensor.TypeName()) + " old:5, new:10\n");
  EXPECT_EQ(Run("vms -d peripheral stat 51"), "");
  EXPECT_EQ(W::calls, (std::vector<std::string>{"modem AT+CSQ", "escape", "enable 81", "disable 81", "freq 10",
                                                "stat 81"}));
  W::calls.clear();
  const char* state = "";
  sensor.GetStateText(&state);
  std::string list = Run("vms -d peripheral");
  char line[100];
  snprintf(line, sizeof line, "-%s(0x0046) state=%s \n", panel.TypeName(), state);
  std::string expected = "peripherals:\n";
  char first[100];
  snprintf(first, sizeof first, "-%s(0x0051) state=%s \n", sensor.TypeName(), state);
  expected += line;
  expected += first;
  char third[100];
  snprintf(third, sizeof third, "-%s(0x0200) state=%s \n", modem.TypeName(), state);
  expected += third;
  EXPECT_EQ(list, expected + kPeripheralHelp);
  EXPECT_EQ(W::calls, (std::vector<std::string>{"lcd off", "lcd on"}));
  W::modem = W::sensor = W::panel = nullptr;
}

}  // namespace
