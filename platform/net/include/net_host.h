// Host side of the IP stack stand-in: how the controller's ports and peers
// map onto host sockets, where the stack's traces go, and shutdown.
//
// Listening: a UDP socket bound to controller port P, or a TCP port listened
// on, opens a host socket on <listen address>:<host port>. The host port is
// the port's entry in `ports` when there is one (0 = an ephemeral port, which
// net_host_port reports), else P + port_offset (ephemeral when that is above
// 65535, or when `ephemeral` is set). Ports the stack picks for a client
// (49152 and up) take ephemeral host ports unless listed, so clients of two
// controllers never meet on one host port.
//
// Sending and connecting: a destination in 127.0.0.0/8 is used as it is; the
// instance's own address reaches its own ports; any other address must match
// a `peers` entry, which names a loopback address and port for it. Anything
// else is refused with a trace. No traffic leaves 127.0.0.0/8. A datagram or
// connection from a mapped host address and port is shown to the system with
// the controller-side address and port it maps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nx_api.h"

struct net_port_map {
  UINT port = 0;           // controller port
  uint16_t host_port = 0;  // 0: ephemeral
};

struct net_peer_map {
  ULONG address = 0;                        // controller-side peer address
  UINT port = 0;                            // controller-side peer port; 0: any port
  ULONG host_address = IP_ADDRESS(127, 0, 0, 1);  // must lie in 127.0.0.0/8
  uint16_t host_port = 0;                   // 0: the same port as the controller's
};

struct net_host_config {
  ULONG listen_address = IP_ADDRESS(127, 0, 0, 1);  // must lie in 127.0.0.0/8
  UINT port_offset = 10000;
  bool ephemeral = false;  // every unlisted port takes an ephemeral host port
  std::vector<net_port_map> ports;
  std::vector<net_peer_map> peers;
};

enum class net_proto { udp, tcp };

// Replaces the configuration for sockets opened from now on. Refuses (false,
// with the reason) a configuration that names an address outside loopback.
bool net_host_configure(const net_host_config& config, std::string* error = nullptr);
net_host_config net_host_current_config();

// Reads a configuration text, one setting a line ('#' starts a comment):
//   listen 127.0.0.1          address of the listening host sockets
//   offset 10000              default host port = controller port + offset
//   ephemeral                 unlisted ports take ephemeral host ports
//   port 161 10161            controller port 161 on host port 10161 (0: ephemeral)
//   peer 10.1.2.3:162 127.0.0.1:20162   one peer address and port
//   peer 10.1.2.3 127.0.0.2   every port of a peer, same port numbers
// Returns false with "line N: reason" on the first bad line.
bool net_host_parse_config(const std::string& text, net_host_config* config, std::string* error);

// The host port that carries a controller port of an instance: the bound UDP
// socket's, or the TCP listening socket's. 0 when none is open.
uint16_t net_host_port(NX_IP* ip, net_proto proto, UINT port);

// The host port a listening socket of controller port P takes under the
// configuration; 0 when that is an ephemeral port.
uint16_t net_host_listen_port(UINT port);
// Of these controller ports, the first whose host port another program
// holds (UDP ports are never shared): false with "host port H (UDP, the
// controller's port P) is in use" in *busy. Ephemeral ones are never busy.
struct net_listen_port {
  net_proto proto;
  UINT port;
};
bool net_host_ports_free(const std::vector<net_listen_port>& ports, std::string* busy);
// The same check, keeping the host sockets bound until the stack opens
// those ports (it takes them then), so no other program takes a port in
// between. False (nothing held) when one is busy.
bool net_host_hold_ports(const std::vector<net_listen_port>& ports, std::string* busy);

// Where the stack's traces go (one line per call, with its newline). A null
// printer writes to standard error.
typedef void (*net_trace_printer)(const char* text);
void net_host_set_trace(net_trace_printer printer);

// Stops every instance's host I/O, closes every host socket (held ones too) and forgets all
// instances, pools and sockets. Call it before rtos::kernel_stop, and before
// a new kernel starts; it leaves the instances' threads to the kernel's stop.
void net_host_shutdown();
