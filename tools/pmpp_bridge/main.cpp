// signctl-pmpp-bridge: SNMP managers on 127.0.0.1 reach a controller's PMPP
// serial port (a pty or a TCP serial end) through this bridge.
//   signctl-pmpp-bridge (--pty PATH | --tcp PORT) [--station N] [--udp PORT] [--broadcast] [--ip ADDRESS]
// With --ip the messages travel as UDP datagrams to port 161 of the
// controller's address, in frames of IPI 0x21.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <pthread.h>

#include "sim/pmpp/pmpp_bridge.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: signctl-pmpp-bridge (--pty PATH | --tcp PORT) [--station N] [--udp PORT] [--broadcast] [--ip ADDRESS]\n");
  return 2;
}

bool number(const char* text, unsigned long most, unsigned long* out) {
  char* end = nullptr;
  const unsigned long v = std::strtoul(text, &end, 10);
  if (!*text || *end || v > most) return false;
  *out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  sim::pmpp_bridge::options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    unsigned long v = 0;
    if (a == "--broadcast") {
      o.broadcast = true;
    } else if (i + 1 >= argc) {
      return usage();
    } else if (a == "--pty") {
      o.pty_path = argv[++i];
    } else if (a == "--tcp" && number(argv[i + 1], 65535, &v) && v) {
      o.tcp_port = static_cast<uint16_t>(v);
      ++i;
    } else if (a == "--udp" && number(argv[i + 1], 65535, &v)) {
      o.udp_port = static_cast<uint16_t>(v);
      ++i;
    } else if (a == "--ip") {
      in_addr address{};
      if (inet_pton(AF_INET, argv[++i], &address) != 1 || address.s_addr == 0) return usage();
      o.station_ip = ntohl(address.s_addr);
    } else if (a == "--station" && number(argv[i + 1], 255, &v)) {
      o.station = static_cast<unsigned>(v);
      ++i;
    } else {
      return usage();
    }
  }
  if (o.pty_path.empty() == (o.tcp_port == 0)) return usage();
  // The bridge's thread inherits the mask: the signals wait for main.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  sim::pmpp_bridge bridge;
  if (!bridge.start(o)) {
    std::fprintf(stderr, "signctl-pmpp-bridge: cannot open %s or the UDP port\n",
                 o.pty_path.empty() ? ("127.0.0.1:" + std::to_string(o.tcp_port)).c_str() : o.pty_path.c_str());
    return 1;
  }
  std::printf("PMPP station %u: SNMP managers send to 127.0.0.1:%u\n", o.station, bridge.udp_port());
  std::fflush(stdout);
  int signal = 0;
  sigwait(&stop, &signal);
  std::printf("%u requests, %u answers\n", bridge.requests(), bridge.answers());
  return 0;
}
