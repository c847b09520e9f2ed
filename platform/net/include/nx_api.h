// IP stack services as the system's code calls them: IP instances with their
// link drivers, packet pools and packets, UDP and TCP sockets. On this host
// they are provided by the stand-in in platform/net. The main instance carries
// its UDP and TCP traffic on host sockets (see net_host.h for the port and
// peer mapping); its driver is still called with its requests.
//
// Every call may be made from a kernel thread; calls that do not wait may also
// be made from interrupt context, timers and host code (which enters the
// system as an interrupt does). Blocking calls wait in kernel waits: their
// time-outs are kernel ticks, and tx_thread_wait_abort ends them with
// NX_WAIT_ABORTED.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tx_api.h"

// Status values. The link-level ones (0x14, 0x15, 0x20, 0x43, 0x44) are also
// what drivers write into their requests; 0x1A, 0x38 and 0x48 are tested by
// callers. The others are the stand-in's own.
#define NX_SUCCESS 0x00u
#define NX_NOT_ENABLED 0x14u         // service or link not enabled
#define NX_ALREADY_ENABLED 0x15u
#define NX_WAIT_ABORTED 0x1Au        // tx_thread_wait_abort ended the wait
#define NX_NO_LINK 0x20u             // a driver found no link for its instance
#define NX_NOT_CONNECTED 0x38u       // no connection (also: connect or accept timed out)
#define NX_NOT_SUCCESSFUL 0x43u
#define NX_UNHANDLED_COMMAND 0x44u
#define NX_CONNECTION_PENDING 0x48u  // relisten found a queued connection
#define NX_NO_PACKET 0x60u           // pool empty, or nothing received in time
#define NX_PTR_ERROR 0x61u
#define NX_SIZE_ERROR 0x62u
#define NX_OPTION_ERROR 0x63u
#define NX_WAIT_ERROR 0x64u          // a wait asked for outside a kernel thread
#define NX_NOT_CREATED 0x65u
#define NX_ALREADY_CREATED 0x66u
#define NX_INVALID_PACKET 0x67u
#define NX_ALREADY_RELEASED 0x68u
#define NX_UNDERFLOW 0x69u           // not enough header room in front of the data
#define NX_ALREADY_BOUND 0x6Au
#define NX_PORT_UNAVAILABLE 0x6Bu
#define NX_NOT_BOUND 0x6Cu
#define NX_INVALID_PORT 0x6Du
#define NX_DUPLICATE_LISTEN 0x6Eu
#define NX_NOT_LISTENING 0x6Fu
#define NX_NOT_CLOSED 0x70u          // the socket is in use (listening, connecting or connected)
#define NX_ADDRESS_REFUSED 0x71u     // no host mapping for the destination
#define NX_TX_QUEUE_FULL 0x72u
#define NX_IN_PROGRESS 0x73u         // connect without waiting: the connection goes on
#define NX_DELETED 0x74u             // the object was deleted during the wait
#define NX_CALLER_ERROR 0x75u        // not allowed from this context

// Wait options (kernel ticks).
#define NX_NO_WAIT TX_NO_WAIT
#define NX_WAIT_FOREVER TX_WAIT_FOREVER

#define NX_ANY_PORT 0u

// IPv4 address from its four bytes, most significant first.
#define IP_ADDRESS(a, b, c, d) \
  ((((ULONG)(a)) << 24) | (((ULONG)(b)) << 16) | (((ULONG)(c)) << 8) | ((ULONG)(d)))

// Type of service, fragmentation and time to live of sockets.
#define NX_IP_NORMAL 0x00u
#define NX_IP_MIN_DELAY 0x10u
#define NX_FRAGMENT_OKAY 0x0000u
#define NX_DONT_FRAGMENT 0x4000u
#define NX_IP_TIME_TO_LIVE 128u

// Header room in front of a packet's data (nx_packet_allocate's packet type):
// physical header rounded to 16 bytes, IPv4 20, UDP 8, TCP 20.
#define NX_RECEIVE_PACKET 0u
#define NX_PHYSICAL_HEADER 16u
#define NX_IP_PACKET 36u
#define NX_UDP_PACKET 44u
#define NX_TCP_PACKET 56u

// nx_ip_status_check bits.
#define NX_IP_INITIALIZED 0x01u  // the driver's initialise request has run
#define NX_IP_LINK_ENABLED 0x02u  // the driver reports its link up
#define NX_IP_ADDRESS_RESOLVED 0x04u  // the instance has a non-zero address
#define NX_IP_ARP_ENABLED 0x08u
#define NX_IP_ICMP_ENABLED 0x10u
#define NX_IP_UDP_ENABLED 0x20u
#define NX_IP_TCP_ENABLED 0x40u

// Driver request commands.
#define NX_DRIVER_SEND 0u
#define NX_DRIVER_INITIALIZE 1u
#define NX_DRIVER_ENABLE 2u
#define NX_DRIVER_DISABLE 3u
#define NX_DRIVER_BROADCAST 4u
#define NX_DRIVER_ARP_SEND 5u
#define NX_DRIVER_ARP_RESPONSE_SEND 6u
#define NX_DRIVER_RARP_SEND 7u
#define NX_DRIVER_MULTICAST_JOIN 8u
#define NX_DRIVER_MULTICAST_LEAVE 9u
#define NX_DRIVER_GET_STATUS 10u
#define NX_DRIVER_GET_SPEED 11u
#define NX_DRIVER_GET_DUPLEX 12u
#define NX_DRIVER_GET_ERRORS 13u
#define NX_DRIVER_GET_TX_COUNT 14u
#define NX_DRIVER_GET_RX_COUNT 15u
#define NX_DRIVER_GET_ALLOC_ERRORS 16u
#define NX_DRIVER_USER 50u

// TCP socket states (nx_tcp_socket_state).
#define NX_TCP_CLOSED 0u
#define NX_TCP_LISTEN 1u        // waiting for a connection on its port
#define NX_TCP_SYN_SENT 2u      // connecting
#define NX_TCP_SYN_RECEIVED 3u  // a connection waits to be accepted
#define NX_TCP_ESTABLISHED 4u
#define NX_TCP_CLOSE_WAIT 5u    // the peer closed; queued data can still be received

namespace nx_impl {
struct pool;
struct ip;
struct udp_socket;
struct tcp_socket;
}  // namespace nx_impl

struct NX_PACKET_POOL;

// A packet lives in its pool's memory: this header, then the payload area
// (nx_packet_data_start .. nx_packet_data_end). The data runs from the prepend
// pointer to the append pointer; nx_packet_length of the first packet is the
// length of the whole chain. A received UDP datagram carries its IPv4 and UDP
// headers in front of the prepend pointer.
struct NX_PACKET {
  NX_PACKET_POOL* nx_packet_pool_owner;
  NX_PACKET* nx_packet_queue_next;  // free for drivers' queues; NX_PACKET_NOT_QUEUED when allocated
  NX_PACKET* nx_packet_next;        // next packet of the chain
  UCHAR* nx_packet_data_start;
  UCHAR* nx_packet_data_end;
  UCHAR* nx_packet_prepend_ptr;
  UCHAR* nx_packet_append_ptr;
  ULONG nx_packet_length;
  ULONG nx_packet_reserved;
};

#define NX_PACKET_NOT_QUEUED ((NX_PACKET*)~(uintptr_t)0)
// Bytes between a packet and its payload area: a driver that knows a buffer
// address finds the packet this far in front of the payload start.
#define NX_PACKET_HEADER_SIZE (sizeof(NX_PACKET))

struct NX_PACKET_POOL {
  const CHAR* nx_packet_pool_name;
  VOID* nx_packet_pool_start;
  ULONG nx_packet_pool_size;
  ULONG nx_packet_pool_payload_size;
  ULONG nx_packet_pool_total;          // packets carved from the memory
  ULONG nx_packet_pool_available;      // packets free now
  ULONG nx_packet_pool_empty_requests; // allocations that found the pool empty
  nx_impl::pool* impl;
};

struct NX_IP;

// Tells the stack that a driver changed a link's state.
void nx_ip_link_changed();

// A link's state as its driver writes it (1 up, 0 down). Drivers assign it
// directly; the assignment wakes what waits for the link.
class nx_link_state {
 public:
  nx_link_state& operator=(UINT up) {
    if (up != m_up) {
      m_up = up;
      nx_ip_link_changed();
    }
    return *this;
  }
  operator UINT() const { return m_up; }

 private:
  UINT m_up = 0;
};

// One request to a link driver. The driver reads the command and its
// arguments and writes the status (and, for queries, *nx_driver_return_ptr).
struct NX_IP_DRIVER {
  UINT nx_driver_command;
  UINT nx_driver_status;
  NX_IP* nx_driver_ip;
  NX_PACKET* nx_driver_packet;   // send requests
  ULONG nx_driver_dest_msw;      // destination MAC, upper 16 bits
  ULONG nx_driver_dest_lsw;      // destination MAC, lower 32 bits
  ULONG* nx_driver_return_ptr;   // queries
};

struct NX_IP {
  const CHAR* nx_ip_name;
  ULONG nx_ip_address;
  ULONG nx_ip_network_mask;
  ULONG nx_ip_gateway_address;
  NX_PACKET_POOL* nx_ip_default_pool;
  VOID (*nx_ip_driver_entry)(NX_IP_DRIVER*);
  // Written by the driver.
  ULONG nx_ip_driver_mtu;
  ULONG nx_ip_physical_msw;  // the link's physical address, upper 16 bits
  ULONG nx_ip_physical_lsw;  // lower 32 bits
  UINT nx_ip_mapping_needed;  // 1 when the link needs address resolution (ARP)
  // 1 when the link itself carries the instance's IP datagrams (a point-to-
  // point link such as PPP): the stack's own IPv4 engine serves the instance,
  // sends each datagram through the driver's send request and takes the
  // driver's received datagrams. 0: the traffic travels on host sockets.
  UINT nx_ip_driver_datagrams;
  nx_link_state nx_ip_link_up;
  VOID* nx_ip_driver_context;  // the driver's own pointer (its link object)
  // Counts kept by the instance.
  ULONG nx_ip_driver_status_initialize;  // status of the driver's initialise request
  ULONG nx_ip_driver_status_enable;      // status of its enable request
  ULONG nx_ip_frames_received;  // frames handed in by the driver
  ULONG nx_ip_tcp_connections_queued;  // connections waiting in listen queues for a socket
  // Protocol counts for the service console. The stand-in resolves no
  // addresses itself (the host or the point-to-point link does), so ARP
  // frames from a driver are only counted as dropped.
  ULONG nx_ip_udp_packets_sent;
  ULONG nx_ip_udp_packets_received;
  ULONG nx_ip_udp_invalid_packets;   // bad length or checksum
  ULONG nx_ip_udp_packets_dropped;   // socket queue full or pool empty
  ULONG nx_ip_tcp_packets_sent;
  ULONG nx_ip_tcp_packets_received;
  ULONG nx_ip_icmp_packets_received;
  ULONG nx_ip_icmp_packets_sent;     // echo replies
  ULONG nx_ip_arp_frames_dropped;
  TX_THREAD nx_ip_thread;       // the instance's own thread
  nx_impl::ip* impl;
};

struct NX_UDP_SOCKET {
  const CHAR* nx_udp_socket_name;
  NX_IP* nx_udp_socket_ip;
  UINT nx_udp_socket_port;  // 0 while not bound
  ULONG nx_udp_socket_type_of_service;
  ULONG nx_udp_socket_fragment;
  UINT nx_udp_socket_time_to_live;
  ULONG nx_udp_socket_queue_maximum;
  ULONG nx_udp_socket_queued;
  ULONG nx_udp_socket_packets_received;
  ULONG nx_udp_socket_packets_sent;
  ULONG nx_udp_socket_packets_dropped;  // queue full or pool empty
  nx_impl::udp_socket* impl;
};

struct NX_TCP_SOCKET {
  const CHAR* nx_tcp_socket_name;
  NX_IP* nx_tcp_socket_ip;
  UINT nx_tcp_socket_state;  // NX_TCP_*
  UINT nx_tcp_socket_port;   // local port: bound (client) or listened (server); 0 when neither
  ULONG nx_tcp_socket_peer_address;
  UINT nx_tcp_socket_peer_port;
  ULONG nx_tcp_socket_type_of_service;
  ULONG nx_tcp_socket_fragment;
  UINT nx_tcp_socket_time_to_live;
  ULONG nx_tcp_socket_window;          // receive window: bytes queued before reading pauses
  ULONG nx_tcp_socket_receive_queued;  // bytes waiting to be received
  VOID (*nx_tcp_urgent_callback)(NX_TCP_SOCKET*);
  VOID (*nx_tcp_disconnect_callback)(NX_TCP_SOCKET*);
  VOID (*nx_tcp_listen_callback)(NX_TCP_SOCKET*, UINT port);
  VOID (*nx_tcp_receive_callback)(NX_TCP_SOCKET*);  // set by nx_tcp_socket_receive_notify
  nx_impl::tcp_socket* impl;
};

VOID nx_system_initialize(VOID);

// Packet pools and packets.
UINT nx_packet_pool_create(NX_PACKET_POOL* pool, const CHAR* name, ULONG payload_size, VOID* memory,
                           ULONG memory_size);
UINT nx_packet_pool_delete(NX_PACKET_POOL* pool);
UINT nx_packet_allocate(NX_PACKET_POOL* pool, NX_PACKET** packet, ULONG packet_type, ULONG wait_option);
UINT _nx_packet_allocate(NX_PACKET_POOL* pool, NX_PACKET** packet, ULONG packet_type, ULONG wait_option);
UINT nx_packet_release(NX_PACKET* packet);  // the whole chain
UINT _nx_packet_release(NX_PACKET* packet);
UINT nx_packet_transmit_release(NX_PACKET* packet);  // after a driver has sent it
UINT _nx_packet_transmit_release(NX_PACKET* packet);
// Appends to the chain, taking further packets from `pool` (waiting as asked).
UINT nx_packet_data_append(NX_PACKET* packet, const VOID* data, ULONG size, NX_PACKET_POOL* pool,
                           ULONG wait_option);
// Copies the whole chain's data; the buffer must hold nx_packet_length bytes.
UINT nx_packet_data_retrieve(NX_PACKET* packet, VOID* buffer, ULONG* bytes_copied);
// Copies at most `size` bytes of the chain's data from `offset` on.
UINT nx_packet_data_copy(NX_PACKET* packet, ULONG offset, VOID* buffer, ULONG size, ULONG* bytes_copied);
UINT nx_packet_length_get(NX_PACKET* packet, ULONG* length);

// IP instances. The instance's thread calls the driver with its initialise
// and then its enable request, so a driver may block in enable until its
// link is up.
UINT nx_ip_create(NX_IP* ip, const CHAR* name, ULONG address, ULONG network_mask, NX_PACKET_POOL* pool,
                  VOID (*driver)(NX_IP_DRIVER*), VOID* stack, ULONG stack_size, UINT priority);
UINT nx_ip_delete(NX_IP* ip);
UINT nx_ip_address_set(NX_IP* ip, ULONG address, ULONG network_mask);
UINT _nx_ip_address_set(NX_IP* ip, ULONG address, ULONG network_mask);
UINT nx_ip_address_get(NX_IP* ip, ULONG* address, ULONG* network_mask);
UINT nx_ip_gateway_address_set(NX_IP* ip, ULONG address);
UINT nx_ip_gateway_address_get(NX_IP* ip, ULONG* address);
// Waits until every bit of `needed` is set (NX_IP_*); *actual gets the bits
// that are set. NX_NOT_SUCCESSFUL when they were not all set in time.
UINT nx_ip_status_check(NX_IP* ip, ULONG needed, ULONG* actual, ULONG wait_option);
// Calls the driver with one request in the caller's context.
UINT nx_ip_driver_direct_command(NX_IP* ip, UINT command, ULONG* return_value);
UINT nx_arp_enable(NX_IP* ip, VOID* cache_memory, ULONG cache_size);
UINT nx_icmp_enable(NX_IP* ip);
UINT nx_udp_enable(NX_IP* ip);
UINT nx_tcp_enable(NX_IP* ip);

// Frames from a driver's receive path (interrupt context allowed). The stack
// owns the packet from here on.
VOID _nx_ip_packet_deferred_receive(NX_IP* ip, NX_PACKET* packet);
VOID _nx_arp_packet_deferred_receive(NX_IP* ip, NX_PACKET* packet);
VOID _nx_rarp_packet_deferred_receive(NX_IP* ip, NX_PACKET* packet);

// UDP.
UINT nx_udp_socket_create(NX_IP* ip, NX_UDP_SOCKET* socket, const CHAR* name, ULONG type_of_service,
                          ULONG fragment, UINT time_to_live, ULONG queue_maximum);
UINT nx_udp_socket_delete(NX_UDP_SOCKET* socket);  // unbinds first when bound
UINT nx_udp_socket_bind(NX_UDP_SOCKET* socket, UINT port, ULONG wait_option);
UINT nx_udp_socket_unbind(NX_UDP_SOCKET* socket);
UINT nx_udp_socket_port_get(NX_UDP_SOCKET* socket, UINT* port);
UINT nx_udp_socket_receive(NX_UDP_SOCKET* socket, NX_PACKET** packet, ULONG wait_option);
// On success the stack owns the packet; on failure the caller still does.
UINT nx_udp_socket_send(NX_UDP_SOCKET* socket, NX_PACKET* packet, ULONG address, UINT port);
UINT nx_udp_source_extract(NX_PACKET* packet, ULONG* address, UINT* port);

// TCP. Callbacks run in the instance's thread, never in the caller's: the
// listen callback when a connection arrives for a listening socket (or, for a
// connection that waited in the listen queue, on the tick after the listen or
// relisten that gave it a socket); the disconnect callback when the peer
// closes or resets the connection. A refused or unmapped destination makes a
// connect wait out its time and fail with NX_NOT_CONNECTED, as an unanswered
// one would. Disconnect never waits.
UINT nx_tcp_socket_create(NX_IP* ip, NX_TCP_SOCKET* socket, const CHAR* name, ULONG type_of_service,
                          ULONG fragment, UINT time_to_live, ULONG window_size,
                          VOID (*urgent_callback)(NX_TCP_SOCKET*), VOID (*disconnect_callback)(NX_TCP_SOCKET*));
UINT nx_tcp_socket_delete(NX_TCP_SOCKET* socket);  // closes and unbinds first
// Listening again on a port whose socket was unaccepted gives it this socket
// (like relisten, but NX_SUCCESS also when a connection was queued).
UINT nx_tcp_server_socket_listen(NX_IP* ip, UINT port, NX_TCP_SOCKET* socket, UINT queue_maximum,
                                 VOID (*listen_callback)(NX_TCP_SOCKET*, UINT));
UINT nx_tcp_server_socket_accept(NX_TCP_SOCKET* socket, ULONG wait_option);
UINT nx_tcp_server_socket_unaccept(NX_TCP_SOCKET* socket);
// NX_CONNECTION_PENDING: a queued connection went to the socket at once.
UINT nx_tcp_server_socket_relisten(NX_IP* ip, UINT port, NX_TCP_SOCKET* socket);
UINT nx_tcp_server_socket_unlisten(NX_IP* ip, UINT port);
UINT nx_tcp_client_socket_bind(NX_TCP_SOCKET* socket, UINT port, ULONG wait_option);
UINT nx_tcp_client_socket_unbind(NX_TCP_SOCKET* socket);
UINT nx_tcp_client_socket_connect(NX_TCP_SOCKET* socket, ULONG address, UINT port, ULONG wait_option);
UINT nx_tcp_socket_disconnect(NX_TCP_SOCKET* socket, ULONG wait_option);
UINT nx_tcp_socket_receive(NX_TCP_SOCKET* socket, NX_PACKET** packet, ULONG wait_option);
// On success the stack owns the packet; on failure the caller still does.
UINT nx_tcp_socket_send(NX_TCP_SOCKET* socket, NX_PACKET* packet, ULONG wait_option);
// Calls `callback` (in the instance's thread) each time received data has
// been queued on the socket; null stops it.
UINT nx_tcp_socket_receive_notify(NX_TCP_SOCKET* socket, VOID (*callback)(NX_TCP_SOCKET*));
