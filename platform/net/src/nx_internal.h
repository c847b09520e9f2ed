// Internal state of the IP stack stand-in.
//
// The stack's state (pools, instances, sockets, their queues) is touched only
// by whoever holds the processor: kernel threads, interrupts and host code in
// a cpu_scope. So it needs no lock of its own, but it may change across any
// kernel call. Host I/O threads never touch it: they hand what they read to
// the instance's thread through an interrupt (deliver), and the stack talks
// to them through the back-end, whose own lock is never held across a kernel
// call.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "net_host.h"
#include "nx_api.h"
#include "rtos_host.h"

namespace nx_impl {

void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Enters the stack from the caller's context: a kernel thread already holds
// the processor; any other context takes it for the call.
class enter {
 public:
  enter() {
    if (!rtos::in_thread()) m_scope.emplace();
  }

 private:
  std::optional<rtos::cpu_scope> m_scope;
};

inline bool can_wait() { return rtos::in_thread(); }

// Ticks left of a wait that began at construction.
class deadline {
 public:
  explicit deadline(ULONG wait_option) : m_wait(wait_option), m_start(tx_time_get()) {}
  ULONG left() const {
    if (m_wait == TX_WAIT_FOREVER) return TX_WAIT_FOREVER;
    ULONG used = tx_time_get() - m_start;
    return used >= m_wait ? 0 : m_wait - used;
  }

 private:
  ULONG m_wait;
  ULONG m_start;
};

// A kernel thread's own semaphore for the stack's waits, created on its
// first wait and kept. A put that comes late only makes a later wait look
// again, so every wait re-checks its condition in a loop.
struct wait_slot {
  TX_SEMAPHORE sem{};
};
// The calling thread's slot (creating it enters the kernel). Null outside a
// kernel thread.
wait_slot* thread_slot();

// Threads waiting for something to change. wake_all wakes every waiter; each
// re-checks its own condition.
//
// A wait loop makes its kernel calls (time left, slot) before it checks its
// condition, and none between the check and wait(): a kernel call is a point
// where an interrupt or a more urgent thread may change the condition, and
// a change between the check and the registration would be missed.
class waitq {
 public:
  // TX_SUCCESS when woken, TX_NO_INSTANCE on time-out, TX_WAIT_ABORTED, or
  // TX_DELETED when the stack was shut down meanwhile (the queue may be gone).
  UINT wait(wait_slot& slot, ULONG ticks);
  void wake_all();

 private:
  std::vector<wait_slot*> m_list;
};

// Kernel wait status to the stack's status for a wait that had no result.
inline UINT wait_failure(UINT tx_status, UINT timeout_status) {
  if (tx_status == TX_WAIT_ABORTED) return NX_WAIT_ABORTED;
  if (tx_status == TX_NO_INSTANCE) return timeout_status;
  if (tx_status == TX_DELETED) return NX_DELETED;
  return NX_WAIT_ERROR;
}

// One blocking call's wait: `check` gives a status, or NX_IN_PROGRESS to
// wait on `queue` (found again through `queue_of` after every wake, null
// when its object is gone) until the time is up (timeout_status).
template <class QueueOf, class Check>
UINT wait_loop(ULONG wait_option, UINT timeout_status, QueueOf queue_of, Check check) {
  deadline d(wait_option);
  for (;;) {
    ULONG left = d.left();
    wait_slot* slot = left != 0 && can_wait() ? thread_slot() : nullptr;
    // No kernel call from here to the wait.
    UINT status = check();
    if (status != NX_IN_PROGRESS) return status;
    if (left == 0) return timeout_status;
    if (!slot) return NX_WAIT_ERROR;
    waitq* q = queue_of();
    if (!q) return NX_DELETED;
    UINT w = q->wait(*slot, left);
    if (w != TX_SUCCESS && w != TX_NO_INSTANCE) return wait_failure(w, timeout_status);
  }
}

// ---------------------------------------------------------------- registry

enum class okind { pool, ip, udp_socket, tcp_socket, telnet };

struct object {
  explicit object(okind k) : kind(k) {}
  virtual ~object() = default;
  const okind kind;
  bool dead = false;
};

// Live objects by control block. Deleted objects are kept (dead) until
// shutdown, since a woken waiter may still look at them.
void registry_add(const void* cb, std::unique_ptr<object> o);
object* registry_find(const void* cb);
void registry_retire(const void* cb);
// The object as a T, or null when it is of another kind.
template <class T>
T* as(object* o) {
  return o && o->kind == T::kKind ? static_cast<T*>(o) : nullptr;
}
// The object of kind T behind a control block, or null.
template <class T>
T* find(const void* cb) {
  return as<T>(registry_find(cb));
}

// ---------------------------------------------------------------- packets

struct ip;

struct pool : object {
  static constexpr okind kKind = okind::pool;
  pool() : object(kKind) {}
  NX_PACKET_POOL* cb = nullptr;
  uint8_t* base = nullptr;
  ULONG stride = 0;
  ULONG count = 0;
  std::vector<uint8_t> allocated;
  std::vector<NX_PACKET*> free_list;
  waitq waiters;
  std::vector<ip*> starved;  // instances waiting for a packet to be released
};

pool* pool_of(NX_PACKET* packet);
// Takes a free packet with `header_room` bytes before its data, or null.
NX_PACKET* pool_take(pool* p, ULONG header_room);
// Bytes of the chain, in order.
std::vector<uint8_t> chain_bytes(NX_PACKET* packet);
// Checks a chain given to a send: allocated packets, pointers inside their
// payload areas, length equal to the data, and `room` bytes before the data.
UINT chain_check(NX_PACKET* packet, ULONG room);

// ---------------------------------------------------------------- back-end

// What a back-end reports to its instance.
enum class ev_kind {
  udp_datagram,        // id: UDP endpoint; address, port: sender
  tcp_accepted,        // id: listener; conn: the new connection; address, port: peer
  tcp_data,            // id: connection
  tcp_closed,          // id: connection; the peer closed or reset it
  tcp_connected,       // id: connection
  tcp_connect_failed,  // id: connection
  tcp_tx_ready,        // id: connection; queued output drained
};

struct event {
  explicit event(ev_kind k) : kind(k) {}
  ev_kind kind;
  uint64_t id = 0;
  uint64_t conn = 0;
  ULONG address = 0;
  UINT port = 0;
  std::vector<uint8_t> data;
};

// Carries an instance's UDP and TCP traffic. The stack calls it with the
// processor held; no call blocks. Endpoints are named by ids; events come
// back through deliver() in interrupt context.
class backend {
 public:
  virtual ~backend() = default;
  virtual UINT udp_open(UINT port, uint64_t* id) = 0;
  virtual UINT udp_send(uint64_t id, ULONG address, UINT port, const std::vector<uint8_t>& data) = 0;
  virtual UINT tcp_listen(UINT port, uint64_t* id) = 0;
  // local_port: the client socket's port, shown to the instance's own
  // listeners as the connection's source.
  virtual UINT tcp_connect(UINT local_port, ULONG address, UINT port, uint64_t* id) = 0;
  // NX_TX_QUEUE_FULL: nothing taken; a tcp_tx_ready event follows.
  virtual UINT tcp_send(uint64_t id, const std::vector<uint8_t>& data) = 0;
  // Lets one more chunk of data (connection) or connection (listener) come.
  virtual void resume(uint64_t id) = 0;
  virtual void close(uint64_t id) = 0;
  virtual uint16_t host_port(net_proto proto, UINT port) = 0;
  // Turns an event's host source address and port into the controller's view.
  virtual void map_source(net_proto proto, ULONG* address, UINT* port) = 0;
  // Closes every endpoint and stops reporting. join() then waits for the
  // back-end's host threads; it must be called without the processor.
  virtual void stop() = 0;
  virtual void join() = 0;
  // A datagram from the link driver (deferred receive). False: not taken,
  // the caller releases it.
  virtual bool input(NX_PACKET* packet) { return false; }
  // Work of the instance's thread on each of its wakes, and the ticks until
  // it wants to be woken at the latest.
  virtual void service() {}
  virtual ULONG next_wait() { return TX_WAIT_FOREVER; }
  // A kernel thread waits for a datagram of UDP endpoint `id`: the host
  // descriptor its host thread watches meanwhile, or -1. watch_end follows
  // once it woke, with the datagrams it read when `readable`.
  virtual int watch_begin(uint64_t id) { return -1; }
  virtual void watch_end(uint64_t id, bool readable, std::vector<event>& out) {}
};

// Back-ends that a waiting thread's host thread may still call once the
// stack is shut down ask here whether they still exist.
void backend_born(backend* b);
void backend_gone(backend* b);

// A receive's wait on UDP endpoint `id`: its own host thread reads the
// datagram, as the board's receive interrupt puts it in the socket and wakes
// the thread, without a host thread of the back-end in between.
class udp_watch : public rtos::wait_watch {
 public:
  udp_watch(ip* owner, uint64_t id);
  int begin() override;
  bool end(bool readable) override;
  void interrupt() override;

 private:
  ip* m_owner;
  backend* m_be;
  uint64_t m_id;
  std::vector<event> m_got;
};

std::unique_ptr<backend> make_host_backend(ip* owner);
// The IPv4 engine of instances whose driver carries their datagrams (point-
// to-point links: the driver's initialise sets nx_ip_driver_datagrams).
std::unique_ptr<backend> make_link_backend(ip* owner);

// Interrupt context or the instance's thread: queues a back-end's events for
// the instance's thread; a datagram goes to its socket at once.
void deliver(ip* owner, std::vector<event>&& events);

// ---------------------------------------------------------------- sockets

struct tcp_socket;

struct listen_entry {
  UINT port = 0;
  uint64_t id = 0;               // the back-end's listener
  tcp_socket* socket = nullptr;  // socket waiting for the next connection
  UINT queue_maximum = 1;
  std::deque<uint64_t> pending;  // connections without a socket yet
  std::deque<std::pair<ULONG, UINT>> pending_peers;
  VOID (*callback)(NX_TCP_SOCKET*, UINT) = nullptr;
  bool credit = false;  // the back-end may report one more connection
};

struct udp_socket : object {
  static constexpr okind kKind = okind::udp_socket;
  udp_socket() : object(kKind) {}
  NX_UDP_SOCKET* cb = nullptr;
  ip* owner = nullptr;
  uint64_t id = 0;  // back-end endpoint while bound
  std::deque<NX_PACKET*> queue;
  waitq receivers;
};

struct tcp_socket : object {
  static constexpr okind kKind = okind::tcp_socket;
  tcp_socket() : object(kKind) {}
  NX_TCP_SOCKET* cb = nullptr;
  ip* owner = nullptr;
  uint64_t conn = 0;              // back-end connection, 0 when none
  listen_entry* listening = nullptr;  // waiting for a connection there
  bool server = false;            // given its port by listen or relisten
  bool client_bound = false;      // given its port by client bind
  bool accepted = false;          // the current connection was accepted
  bool connect_failed = false;
  bool reading = false;           // a chunk of data may be on its way
  std::deque<NX_PACKET*> queue;
  std::vector<uint8_t> held;      // received while the pool was empty
  waitq receivers;  // data, state changes
  waitq senders;    // output drained
};

struct delayed_callback {
  NX_TCP_SOCKET* socket;
  UINT port;
  VOID (*callback)(NX_TCP_SOCKET*, UINT);
  ULONG due;
};

// Address resolution of a link that needs it (an Ethernet in wire mode):
// the cache, ARP messages from the driver waiting for the instance's thread,
// and datagrams waiting for an answer. See arp_link.cpp.
struct arp_entry {
  ULONG address = 0;
  ULONG msw = 0, lsw = 0;
  ULONG used = 0;  // tick of the last use or update
};
struct arp_link_state {
  std::vector<arp_entry> cache;
  std::deque<NX_PACKET*> in;
  std::deque<std::pair<ULONG, NX_PACKET*>> held;  // next hop, datagram
  std::map<ULONG, ULONG> asked;                    // next hop, tick of the last request
};

struct ip : object {
  static constexpr okind kKind = okind::ip;
  ip() : object(kKind) {}
  NX_IP* cb = nullptr;
  arp_link_state arp_link;  // outlives the back-end, which may release into it
  ULONG index = 0;
  std::unique_ptr<backend> be;
  bool arp = false, icmp = false, udp = false, tcp = false;
  bool initialized = false;
  TX_SEMAPHORE wake{};  // put when there is work for the instance's thread
  std::deque<event> deferred;
  bool retry = false;  // a starved pool got a packet back
  std::vector<delayed_callback> delayed;
  std::map<UINT, udp_socket*> udp_ports;
  std::map<UINT, tcp_socket*> tcp_ports;  // client-bound ports
  std::map<UINT, std::unique_ptr<listen_entry>> listeners;
  std::unordered_map<uint64_t, object*> by_id;  // connections and UDP endpoints
  std::unordered_map<uint64_t, listen_entry*> listener_ids;
  std::vector<tcp_socket*> tcp_sockets;
  waitq port_waiters;
  waitq status_waiters;  // nx_ip_status_check
  UINT next_port = 0;
};

// The link engine's ARP: a datagram to its next hop (the instance's thread),
// the queued ARP messages (on each wake of that thread), and the end of
// everything held (the engine stops).
void arp_send_datagram(ip* owner, NX_PACKET* packet, ULONG destination);
void arp_service(ip* owner);
void arp_forget(ip* owner);

// The instance's back-end, chosen on first use: the link engine once the
// driver's initialise has set nx_ip_driver_datagrams, else host sockets.
backend* backend_of(ip* owner);
// Wakes the instance's thread.
void ip_wake(ip* owner);
void instances_clear();
// A free port of the instance for NX_ANY_PORT; 0 when none.
UINT ip_free_port(ip* owner, bool tcp);
// The instance's thread: processes deferred events and delayed callbacks.
void udp_event(ip* owner, event& e);
void tcp_event(ip* owner, event& e);
void tcp_retry_held(ip* owner);
void tcp_run_delayed(ip* owner);
// Closes an instance's sockets when it is deleted.
void udp_close_all(ip* owner);
void tcp_close_all(ip* owner);

// ---------------------------------------------------------------- host map

struct host_target {
  ULONG address = 0;
  uint16_t port = 0;
};
ULONG config_listen_address();
// The first of the ports the stack picks for its clients.
constexpr UINT kFirstClientPort = 49152;
// Host port to bind for a controller port (0: ephemeral).
uint16_t config_host_port(UINT port);
bool config_peer(ULONG address, UINT port, host_target* out);
// A listening host socket net_host_hold_ports bound for this port (already
// bound, and listening for TCP), now the caller's; -1 when none is held.
int config_take_held(net_proto proto, uint16_t host_port);
// Closes the held sockets the stack never took (at shutdown).
void config_release_held();
bool config_reverse(ULONG host_address, uint16_t host_port, ULONG* address, UINT* port);

inline bool is_loopback(ULONG address) { return (address >> 24) == 127; }
std::string address_text(ULONG address);

}  // namespace nx_impl
