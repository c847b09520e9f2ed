// The far end of the Ethernet wire, on libslirp. Every call into slirp is
// made from the wire's own host thread: frames from the EMAC are queued for
// it, and its timers and sockets are served there.
#include "ethernet_wire.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

#ifdef SIGN_HAVE_SLIRP
#include <slirp/libslirp.h>
#endif

namespace board {

struct ethernet_wire::impl {
  explicit impl(emac_model& m) : mac(m) {}
  emac_model& mac;
  uint32_t far = 0;
  std::mutex lock;
  std::deque<std::vector<uint8_t>> to_far;  // frames the EMAC sent
  int wake[2] = {-1, -1};
  std::atomic<bool> stopping{false};
  std::thread thread;
#ifdef SIGN_HAVE_SLIRP
  struct timer {
    SlirpTimerId id;
    void* cb_opaque;
    int64_t expire_ms = -1;
  };
  Slirp* slirp = nullptr;
  std::vector<std::unique_ptr<timer>> timers;
  std::vector<pollfd> fds;

  void kick() {
    const char c = 1;
    if (wake[1] >= 0 && write(wake[1], &c, 1) < 0) {
    }
  }
  static int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void run();
#endif
};

namespace {
uint32_t get32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }
}  // namespace

bool wire_crosses(const uint8_t* f, size_t length, uint32_t far, const std::vector<uint16_t>& answering) {
  if (length < 14) return false;
  const uint16_t type = static_cast<uint16_t>((f[12] << 8) | f[13]);
  if (type == 0x0806) return true;
  if (type != 0x0800 || length < 38) return false;
  const size_t header = (f[14] & 0x0F) * 4u;
  if (header < 20 || length < 14 + header + 4) return false;
  const uint8_t proto = f[23];
  const uint32_t to = get32(f + 30);
  const uint16_t from_port = static_cast<uint16_t>((f[14 + header] << 8) | f[15 + header]);
  const uint16_t to_port = static_cast<uint16_t>((f[16 + header] << 8) | f[17 + header]);
  if (proto == 17 && from_port == 68 && to_port == 67) return true;
  if ((proto != 6 && proto != 17) || to != far) return false;
  // A later fragment carries no ports; without its first it is never whole.
  if (((f[20] << 8) | f[21]) & 0x1FFF) return true;
  return std::find(answering.begin(), answering.end(), from_port) != answering.end();
}

#ifdef SIGN_HAVE_SLIRP

namespace {

ethernet_wire::impl* self(void* opaque) { return static_cast<ethernet_wire::impl*>(opaque); }

ssize_t send_packet(const void* buf, size_t len, void* opaque) {
  std::vector<uint8_t> frame(static_cast<const uint8_t*>(buf), static_cast<const uint8_t*>(buf) + len);
  if (frame.size() < emac_model::MIN_FRAME) frame.resize(emac_model::MIN_FRAME, 0);
  self(opaque)->mac.receive(frame.data(), frame.size());
  return static_cast<ssize_t>(len);
}

void guest_error(const char*, void*) {}
int64_t clock_get_ns(void*) { return ethernet_wire::impl::now_ns(); }

void* timer_new_opaque(SlirpTimerId id, void* cb_opaque, void* opaque) {
  auto t = std::make_unique<ethernet_wire::impl::timer>();
  t->id = id;
  t->cb_opaque = cb_opaque;
  void* handle = t.get();
  self(opaque)->timers.push_back(std::move(t));
  return handle;
}

void timer_free(void* timer, void* opaque) {
  auto& v = self(opaque)->timers;
  v.erase(std::remove_if(v.begin(), v.end(), [timer](const auto& t) { return t.get() == timer; }), v.end());
}

void timer_mod(void* timer, int64_t expire_ms, void*) {
  static_cast<ethernet_wire::impl::timer*>(timer)->expire_ms = expire_ms;
}

void no_fd(int, void*) {}
void notify(void* opaque) { self(opaque)->kick(); }

int add_poll(int fd, int events, void* opaque) {
  short e = 0;
  if (events & SLIRP_POLL_IN) e |= POLLIN;
  if (events & SLIRP_POLL_OUT) e |= POLLOUT;
  if (events & SLIRP_POLL_PRI) e |= POLLPRI;
  auto& fds = self(opaque)->fds;
  fds.push_back({fd, e, 0});
  return static_cast<int>(fds.size() - 1);
}

int get_revents(int idx, void* opaque) {
  auto& fds = self(opaque)->fds;
  if (idx < 0 || static_cast<size_t>(idx) >= fds.size()) return 0;
  const short r = fds[idx].revents;
  int e = 0;
  if (r & POLLIN) e |= SLIRP_POLL_IN;
  if (r & POLLOUT) e |= SLIRP_POLL_OUT;
  if (r & POLLPRI) e |= SLIRP_POLL_PRI;
  if (r & POLLERR) e |= SLIRP_POLL_ERR;
  if (r & POLLHUP) e |= SLIRP_POLL_HUP;
  return e;
}

const SlirpCb kCallbacks = {
    send_packet, guest_error, clock_get_ns, nullptr, timer_free, timer_mod, no_fd, no_fd, notify, nullptr,
    timer_new_opaque,
};

in_addr in(uint32_t a) {
  in_addr x{};
  x.s_addr = htonl(a);
  return x;
}

}  // namespace

void ethernet_wire::impl::run() {
  while (!stopping.load()) {
    std::deque<std::vector<uint8_t>> frames;
    {
      std::lock_guard<std::mutex> lk(lock);
      frames.swap(to_far);
    }
    for (const auto& f : frames) slirp_input(slirp, f.data(), static_cast<int>(f.size()));
    const int64_t now_ms = now_ns() / 1000000;
    // Timers due now; one may free or re-arm others, so look again each time.
    for (bool fired = true; fired;) {
      fired = false;
      for (auto& t : timers) {
        if (t->expire_ms >= 0 && t->expire_ms <= now_ms) {
          t->expire_ms = -1;
          slirp_handle_timer(slirp, t->id, t->cb_opaque);
          fired = true;
          break;
        }
      }
    }
    uint32_t timeout = 100;
    for (auto& t : timers)
      if (t->expire_ms >= 0) timeout = std::min<uint32_t>(timeout, static_cast<uint32_t>(std::max<int64_t>(0, t->expire_ms - now_ms)));
    fds.clear();
    fds.push_back({wake[0], POLLIN, 0});
    slirp_pollfds_fill(slirp, &timeout, add_poll, this);
    const int n = poll(fds.data(), fds.size(), static_cast<int>(timeout));
    if (fds[0].revents & POLLIN) {
      char buf[64];
      while (read(wake[0], buf, sizeof buf) > 0) {
      }
    }
    slirp_pollfds_poll(slirp, n < 0, get_revents, this);
  }
}

#endif

ethernet_wire::ethernet_wire(emac_model& mac) : m(std::make_unique<impl>(mac)) {}
ethernet_wire::~ethernet_wire() { stop(); }

uint32_t ethernet_wire::far_address() const { return m->far; }

bool ethernet_wire::start(const wire_config& config, std::string* error) {
#ifndef SIGN_HAVE_SLIRP
  (void)config;
  if (error) *error = "wire mode needs libslirp (Debian package libslirp-dev) at build time";
  return false;
#else
  stop();
  m->stopping = false;
  const uint32_t network = config.address & config.mask;
  m->far = (config.gateway & config.mask) == network && config.gateway != config.address ? config.gateway
                                                                                          : network | 1;
  if (m->far == config.address) m->far = network | 2;
  SlirpConfig c{};
  c.version = 4;
  // A restricted far end drops the answers to forwarded UDP, and one that
  // keeps its own address from the host's loopback cannot send them back:
  // instead only answers from the forwarded ports (and DHCP) cross to it
  // (see set_wire below), so nothing the controller starts leaves the wire.
  c.restricted = 0;
  c.in_enabled = true;
  c.vnetwork = in(network);
  c.vnetmask = in(config.mask);
  c.vhost = in(m->far);
  c.in6_enabled = false;
  c.vdhcp_start = in(config.address);
  c.vnameserver = in(network | 3);
  c.disable_dns = true;
  m->slirp = slirp_new(&c, &kCallbacks, m.get());
  if (!m->slirp) {
    if (error) *error = "the wire's far end did not start";
    return false;
  }
  for (const wire_forward& f : config.forwards) {
    if (slirp_add_hostfwd(m->slirp, f.udp ? 1 : 0, in(0x7F000001), f.host_port, in(config.address), f.guest_port) !=
        0) {
      if (error)
        *error = "the wire cannot forward 127.0.0.1:" + std::to_string(f.host_port) + (f.udp ? " (UDP)" : " (TCP)") +
                 ": the port is in use";
      slirp_cleanup(m->slirp);
      m->slirp = nullptr;
      return false;
    }
  }
  if (pipe2(m->wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    slirp_cleanup(m->slirp);
    m->slirp = nullptr;
    return false;
  }
  impl* p = m.get();
  const uint32_t far = m->far;
  std::vector<uint16_t> answering;
  for (const wire_forward& f : config.forwards) answering.push_back(f.guest_port);
  m->mac.set_wire([p, far, answering](const uint8_t* frame, size_t length) {
    if (!wire_crosses(frame, length, far, answering)) return;
    {
      std::lock_guard<std::mutex> lk(p->lock);
      if (p->to_far.size() < 256) p->to_far.emplace_back(frame, frame + length);
    }
    p->kick();
  });
  m->thread = std::thread([p] { p->run(); });
  return true;
#endif
}

void ethernet_wire::stop() {
#ifdef SIGN_HAVE_SLIRP
  if (!m->slirp) return;
  m->mac.set_wire(nullptr);
  m->stopping = true;
  m->kick();
  if (m->thread.joinable()) m->thread.join();
  slirp_cleanup(m->slirp);
  m->slirp = nullptr;
  m->timers.clear();
  for (int& fd : m->wake) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
#endif
}

}  // namespace board
