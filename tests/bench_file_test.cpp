// The bench file: what it sets over the default bench, and the lines it
// refuses with their line number.
#include <gtest/gtest.h>

#include <string>

#include "frame/startup/bench.h"

namespace {

TEST(BenchFile, TheDefaultBenchIsAFullMatrixColourSignWithItsPanel) {
  bench_config c;
  ASSERT_TRUE(bench_parse("# nothing but a comment\n\n", &c, nullptr));
  EXPECT_FALSE(c.factory_sign);
  EXPECT_EQ(c.module_type, 97);
  EXPECT_GE(c.height, 27);
  EXPECT_GE(c.width, 105);
  EXPECT_TRUE(c.modules);
  EXPECT_TRUE(c.panel);
  EXPECT_FALSE(c.telnet);
  EXPECT_FALSE(c.ethernet_wire) << "the Ethernet on host sockets";
  EXPECT_EQ(c.ups, bench_config::ups_kind::none);
  const bench_devices::layout l = bench_devices::sign_layout(c.module_type, c.height, c.width);
  EXPECT_EQ(l.rows, 2u);
  EXPECT_EQ(l.across, 7u);
}

TEST(BenchFile, AWholeBenchIsRead) {
  const std::string text =
      "sign 97 48 160   # three rows of ten modules\n"
      "ups q1\n"
      "can 0x42109 temperature 23\n"
      "can 0x43001 io\n"
      "can 0x43101 isolation 243   # 24.3 V in and out\n"
      "can 0x42701 acio\n"
      "can 0x42632 humidity 40 panel   # on the panel unit's CAN port\n"
      "switch 0x43001 0x18 on   # the point as records write it\n"
      "switch 0x42701 41 off\n"
      "telnet on\n"
      "traps 127.0.0.1:1162\n"
      "serial ccp pty:/tmp/ccp-link\n"
      "serial laptop tcp:24001\n"
      "serial modem none\n"
      "ethernet wire\n";
  bench_config c;
  std::string error;
  ASSERT_TRUE(bench_parse(text, &c, &error)) << error;
  EXPECT_EQ(c.height, 48);
  EXPECT_EQ(c.width, 160);
  EXPECT_EQ(c.ups, bench_config::ups_kind::q1);
  ASSERT_EQ(c.can_boards.size(), 5u);
  EXPECT_EQ(c.can_boards[0].address, 0x42109u);
  EXPECT_EQ(c.can_boards[0].kind, "temperature");
  EXPECT_EQ(c.can_boards[0].reading, 23);
  EXPECT_EQ(c.can_boards[1].kind, "io");
  EXPECT_EQ(c.can_boards[2].kind, "isolation");
  EXPECT_EQ(c.can_boards[2].reading, 243);
  EXPECT_EQ(c.can_boards[3].kind, "acio");
  EXPECT_FALSE(c.can_boards[3].panel);
  EXPECT_EQ(c.can_boards[4].reading, 40);
  EXPECT_TRUE(c.can_boards[4].panel);
  ASSERT_EQ(c.switches.size(), 2u);
  EXPECT_EQ(c.switches[0].address, 0x43001u);
  EXPECT_EQ(c.switches[0].point, 24u);
  EXPECT_TRUE(c.switches[0].on);
  EXPECT_EQ(c.switches[1].point, 41u);
  EXPECT_FALSE(c.switches[1].on);
  EXPECT_FALSE(c.radar);
  EXPECT_TRUE(c.telnet);
  EXPECT_EQ(c.trap_address, 0x7F000001u);
  EXPECT_EQ(c.trap_port, 1162);
  EXPECT_EQ(c.serial[BENCH_CCP].kind, board::serial_kind::pty);
  EXPECT_EQ(c.serial[BENCH_CCP].pty_link, "/tmp/ccp-link");
  EXPECT_EQ(c.serial[BENCH_LAPTOP].kind, board::serial_kind::tcp);
  EXPECT_EQ(c.serial[BENCH_LAPTOP].tcp_port, 24001);
  EXPECT_EQ(c.serial[BENCH_MODEM].kind, board::serial_kind::none);
  EXPECT_EQ(c.serial[BENCH_AUX].kind, board::serial_kind::pipe);
  EXPECT_TRUE(c.ethernet_wire);
  ASSERT_TRUE(bench_parse("ethernet sockets\n", &c, &error)) << error;
  EXPECT_FALSE(c.ethernet_wire);

  bench_config modem;
  ASSERT_TRUE(bench_parse("modem dialup tcp:24010\n", &modem, &error)) << error;
  EXPECT_EQ(modem.modem, bench_config::modem_kind::dialup);
  EXPECT_EQ(modem.modem_tcp_port, 24010);
  ASSERT_TRUE(bench_parse("modem cellular\n", &modem, &error)) << error;
  EXPECT_EQ(modem.modem, bench_config::modem_kind::cellular);

  bench_config factory;
  ASSERT_TRUE(bench_parse("sign factory\npanel off\nserial panel pty\n", &factory, &error)) << error;
  EXPECT_TRUE(factory.factory_sign);
  EXPECT_FALSE(factory.panel);

  bench_config radar;
  ASSERT_TRUE(bench_parse("radar 55\n", &radar, &error)) << error;
  EXPECT_TRUE(radar.radar);
  EXPECT_EQ(radar.radar_speed, 55);
}

TEST(BenchFile, BadLinesAreRefusedWithTheirNumberAndChangeNothing) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"sign 97 30 112\n", "line 1: a sign of 16x16 FULL COLOR GEN4 modules is a whole number of 16 x 16 modules"},
      {"\nsign 4711 32 112\n", "line 2: module type 4711 is not in the table"},
      {"sign 97 0 112\n", "line 1: sign <module type> <height> <width>, or sign factory"},
      {"sign 97 32\n", "line 1: sign <module type> <height> <width>, or sign factory"},
      {"panel maybe\n", "line 1: panel on|off"},
      {"ups battery\n", "line 1: ups off|status|colon|q1"},
      {"can 12 toaster\n", "line 1: can <address> temperature|humidity|light|fan|io|isolation|acio [reading] [panel]"},
      {"can 12 io 3 panel now\n", "line 1: can <address> temperature|humidity|light|fan|io|isolation|acio [reading] [panel]"},
      {"panel off\ncan 0x42632 humidity 40 panel\n", "a board on the panel's CAN port needs the panel unit: \"panel on\""},
      {"radar fast\n", "line 1: radar off|<speed 0..999>"},
      {"can 0x43001 io\nswitch 0x43001 23 on\n", "line 2: switch <address> <point 24..63> on|off"},
      {"can 0x43001 io\nswitch 0x43001 64 on\n", "line 2: switch <address> <point 24..63> on|off"},
      {"can 0x43001 io\nswitch 0x43001 30 pressed\n", "line 2: switch <address> <point 24..63> on|off"},
      {"switch 0x43001 30 on\n", "switch at 0x43001: no io or acio board there"},
      {"can 0x43001 humidity 40\nswitch 0x43001 30 on\n", "switch at 0x43001: no io or acio board there"},
      {"radar 1000\n", "line 1: radar off|<speed 0..999>"},
      {"radar 50\nups q1\n", "the UPS and the radar both sit on AUX: keep one"},
      {"radar 50\nserial aux pty\n", "the radar sits on AUX: give AUX another end with \"radar off\""},
      {"can 12 temperature 70000\n", "line 1: reading 70000 out of range"},
      {"serial console pty\n", "line 1: serial ccp|aux|modem|panel|laptop <end>"},
      {"serial ccp stdio\n", "line 1: host end stdio: memory, pty, pty:<link>, tcp, tcp:<port> or none"},
      {"serial ccp tcp:23\n", "line 1: tcp port 23 needs privileges: take one from 1024 up"},
      {"traps 127.0.0.1\n", "line 1: traps <address>:<port>"},
      {"traps localhost:162\n", "line 1: traps <address>:<port>"},
      {"traps 127.0.0.1:0\n", "line 1: traps <address>:<port>"},
      {"ethernet\n", "line 1: ethernet wire|sockets"},
      {"ethernet wire 10161\n", "line 1: ethernet wire|sockets"},
      {"frobnicate\n", "line 1: unknown setting \"frobnicate\""},
      {"serial panel pty\n", "the panel unit sits on the panel line: give the line another end with \"panel off\""},
      {"ups q1\nserial aux tcp\n", "the UPS sits on AUX: give AUX another end with \"ups off\""},
      {"modem fax\n", "line 1: modem off|dialup [tcp:<port>]|cellular"},
      {"modem cellular tcp:24010\n", "line 1: modem off|dialup [tcp:<port>]|cellular"},
      {"modem dialup tcp:80\n", "line 1: modem off|dialup [tcp:<port>]|cellular"},
      {"modem dialup\nserial modem pty\n",
       "the dial-up modem sits on the MODEM line: give the line another end with \"modem off\""},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.text);
    bench_config c;
    c.width = 160;
    std::string error;
    EXPECT_FALSE(bench_parse(t.text, &c, &error));
    EXPECT_EQ(error, t.error);
    EXPECT_EQ(c.width, 160) << "a refused file leaves the bench as it was";
  }
}

}  // namespace
