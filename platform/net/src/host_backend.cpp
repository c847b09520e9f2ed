// The host-socket back-end: every UDP endpoint, TCP listener and TCP
// connection of an instance is a non-blocking host socket. One host thread
// per instance polls them and hands what it reads to the instance through an
// interrupt; a UDP endpoint that a kernel thread waits on is read by that
// thread's own host thread instead (udp_watch), and left out of the polling
// until the thread has been away from it for a tick (a thread that answers
// a request is mostly back before the next one comes). Flow control is one outstanding chunk per connection and one
// outstanding connection per listener: the stack asks for the next (resume)
// when it has room, so host buffers hold the rest.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "nx_internal.h"

namespace nx_impl {

namespace {

constexpr size_t kChunk = 1460;            // bytes read from a connection at a time
constexpr size_t kTxLimit = 64 * 1024;     // queued output before senders wait
constexpr int kDatagramsPerWake = 64;
// How long an endpoint that was watched stays out of the polling.
constexpr long kRearmNanoseconds = 10'000'000;

sockaddr_in to_sockaddr(ULONG address, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  a.sin_port = htons(port);
  return a;
}

class host_backend : public backend {
 public:
  explicit host_backend(ip* owner) : m_owner(owner) {
    m_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_rearm = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    m_thread = std::thread([this] {
      pthread_setname_np(pthread_self(), "net io");
      run();
    });
    backend_born(this);
  }

  ~host_backend() override {
    backend_gone(this);
    stop();
    join();
    if (m_epoll >= 0) ::close(m_epoll);
    if (m_rearm >= 0) ::close(m_rearm);
  }

  UINT udp_open(UINT port, uint64_t* id) override {
    ULONG address = config_listen_address();
    uint16_t want = config_host_port(port);
    int fd = want ? config_take_held(net_proto::udp, want) : -1;
    uint16_t got = fd >= 0 ? want : 0;
    if (fd < 0) fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (!got && !bind_to(fd, address, want, &got)) {
      trace("nx_udp_socket_bind: host socket %s:%u for port %u: %s\n", address_text(address).c_str(),
            (unsigned)want, port, strerror(errno));
      if (fd >= 0) ::close(fd);
      return NX_PORT_UNAVAILABLE;
    }
    auto e = std::make_unique<entry>();
    e->kind = kind_t::udp;
    e->fd = fd;
    e->credit = true;
    e->proto = net_proto::udp;
    e->port = port;
    e->host_port = got;
    *id = add(std::move(e));
    return NX_SUCCESS;
  }

  UINT udp_send(uint64_t id, ULONG address, UINT port, const std::vector<uint8_t>& data) override {
    host_target to;
    switch (resolve(net_proto::udp, address, port, &to)) {
      case route::refused:
        trace("nx_udp_socket_send: no host mapping for %s:%u, datagram refused\n", address_text(address).c_str(),
              port);
        return NX_ADDRESS_REFUSED;
      case route::closed:
        return NX_SUCCESS;  // nobody listens there: the datagram is lost, as on the wire
      case route::mapped:
        break;
    }
    std::lock_guard<std::mutex> lk(m_mutex);
    entry* e = find(id);
    if (!e || e->kind != kind_t::udp) return NX_NOT_BOUND;
    sockaddr_in a = to_sockaddr(to.address, to.port);
    ssize_t n = sendto(e->fd, data.data(), data.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                       reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (n < 0 && errno == EMSGSIZE) return NX_SIZE_ERROR;
    // A full host queue loses the datagram, as a busy link would.
    return NX_SUCCESS;
  }

  UINT tcp_listen(UINT port, uint64_t* id) override {
    ULONG address = config_listen_address();
    uint16_t want = config_host_port(port);
    int fd = want ? config_take_held(net_proto::tcp, want) : -1;
    uint16_t got = fd >= 0 ? want : 0;
    if (fd < 0) fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int on = 1;
    if (!got && fd >= 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (!got && (!bind_to(fd, address, want, &got) || listen(fd, 16) != 0)) {
      trace("nx_tcp_server_socket_listen: host socket %s:%u for port %u: %s\n", address_text(address).c_str(),
            (unsigned)want, port, strerror(errno));
      if (fd >= 0) ::close(fd);
      return NX_PORT_UNAVAILABLE;
    }
    auto e = std::make_unique<entry>();
    e->kind = kind_t::listener;
    e->fd = fd;
    e->proto = net_proto::tcp;
    e->port = port;
    e->host_port = got;
    *id = add(std::move(e));
    return NX_SUCCESS;
  }

  UINT tcp_connect(UINT local_port, ULONG address, UINT port, uint64_t* id) override {
    host_target to;
    switch (resolve(net_proto::tcp, address, port, &to)) {
      case route::refused:
        trace("nx_tcp_client_socket_connect: no host mapping for %s:%u, connection refused\n",
              address_text(address).c_str(), port);
        return NX_ADDRESS_REFUSED;
      case route::closed:
        return NX_NOT_CONNECTED;
      case route::mapped:
        break;
    }
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return NX_NOT_CONNECTED;
    sockaddr_in a = to_sockaddr(to.address, to.port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
      ::close(fd);
      return NX_NOT_CONNECTED;
    }
    auto e = std::make_unique<entry>();
    e->kind = kind_t::conn;
    e->fd = fd;
    e->connecting = true;
    e->proto = net_proto::tcp;
    e->port = local_port;
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) == 0) e->host_port = ntohs(local.sin_port);
    *id = add(std::move(e));
    return NX_SUCCESS;
  }

  UINT tcp_send(uint64_t id, const std::vector<uint8_t>& data) override {
    bool poke_io = false;
    {
      std::lock_guard<std::mutex> lk(m_mutex);
      entry* e = find(id);
      if (!e || e->kind != kind_t::conn || e->broken || e->closing) return NX_NOT_CONNECTED;
      if (e->tx.size() >= kTxLimit) {
        e->tx_blocked = true;
        return NX_TX_QUEUE_FULL;
      }
      size_t sent = 0;
      if (e->tx.empty() && !e->connecting && !data.empty()) {
        ssize_t n = send(e->fd, data.data(), data.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
          e->broken = true;
          return NX_NOT_CONNECTED;
        }
        sent = n < 0 ? 0 : static_cast<size_t>(n);
      }
      if (sent < data.size()) {
        e->tx.insert(e->tx.end(), data.begin() + sent, data.end());
        poke_io = true;
      }
    }
    if (poke_io) poke();
    return NX_SUCCESS;
  }

  void resume(uint64_t id) override {
    {
      std::lock_guard<std::mutex> lk(m_mutex);
      entry* e = find(id);
      if (!e || e->credit) return;
      e->credit = true;
    }
    poke();
  }

  void close(uint64_t id) override {
    {
      std::unique_lock<std::mutex> lk(m_mutex);
      auto it = m_entries.find(id);
      if (it == m_entries.end()) return;
      entry* e = it->second.get();
      if (e->kind == kind_t::conn && !e->tx.empty() && !e->broken) {
        // Output still queued: the I/O thread sends it, then closes.
        e->closing = true;
        e->credit = false;
      } else {
        // UDP endpoints are polled through the epoll set, which does not
        // keep their port.
        const bool bound = e->kind == kind_t::listener;
        unwatch(lk, e);
        it = m_entries.find(id);
        if (it == m_entries.end()) return;
        close_now(it);
        if (!bound || !m_in_poll) return;
        // A poll under way holds the socket, and with it the host port,
        // until it returns: a bind of the same port right after this close
        // would find the port taken.
        const uint64_t polls = m_polls;
        poke();
        m_polled.wait_for(lk, std::chrono::seconds(2), [&] { return m_polls != polls || m_stop; });
        return;
      }
    }
    poke();
  }

  uint16_t host_port(net_proto proto, UINT port) override {
    std::lock_guard<std::mutex> lk(m_mutex);
    for (auto& [id, e] : m_entries)
      if (e->kind != kind_t::conn && e->proto == proto && e->port == port) return e->host_port;
    return 0;
  }

  void map_source(net_proto proto, ULONG* address, UINT* port) override {
    if (*address == config_listen_address()) {
      // One of this instance's own sockets.
      std::lock_guard<std::mutex> lk(m_mutex);
      for (auto& [id, e] : m_entries) {
        if (e->proto != proto || e->host_port != *port) continue;
        if (proto == net_proto::udp ? e->kind == kind_t::udp : e->kind == kind_t::conn && e->port) {
          *address = m_owner->cb->nx_ip_address;
          *port = e->port;
          return;
        }
      }
    }
    config_reverse(*address, static_cast<uint16_t>(*port), address, port);
  }

  void stop() override {
    {
      std::unique_lock<std::mutex> lk(m_mutex);
      if (m_stop) return;
      m_stop = true;
      std::vector<uint64_t> udp;
      for (auto& [id, e] : m_entries)
        if (e->kind == kind_t::udp) udp.push_back(id);
      for (uint64_t id : udp)
        if (entry* e = find(id)) unwatch(lk, e);
      for (auto& [id, e] : m_entries)
        if (e->fd >= 0) ::close(e->fd);
      m_entries.clear();
    }
    poke();
  }

  int watch_begin(uint64_t id) override {
    std::lock_guard<std::mutex> lk(m_mutex);
    entry* e = m_stop ? nullptr : find(id);
    if (!e || e->kind != kind_t::udp || e->unwatched) return -1;
    ++e->watchers;
    e->watched = true;
    if (e->armed) arm(e, false);
    return e->fd;
  }

  void watch_end(uint64_t id, bool readable, std::vector<event>& out) override {
    std::lock_guard<std::mutex> lk(m_mutex);
    entry* e = find(id);
    if (!e || e->kind != kind_t::udp || e->watchers == 0) return;
    if (readable && !e->unwatched && !m_stop) {
      thread_local std::vector<uint8_t> buf(65536);
      read_datagrams(id, e, out, buf);
    }
    if (--e->watchers == 0) {
      m_unwatched.notify_all();
      if (!e->unwatched && !m_rearm_pending) start_rearm();
    }
  }

  // m_mutex held.
  void start_rearm() {
    m_rearm_pending = true;
    itimerspec due{};
    due.it_value.tv_nsec = kRearmNanoseconds;
    timerfd_settime(m_rearm, 0, &due, nullptr);
  }

  void join() override {
    if (m_thread.joinable()) m_thread.join();
    if (m_wake >= 0) {
      ::close(m_wake);
      m_wake = -1;
    }
  }

 private:
  enum class kind_t { udp, listener, conn };
  enum class route { mapped, closed, refused };

  struct entry {
    kind_t kind = kind_t::udp;
    int fd = -1;
    bool credit = false;      // may read one chunk, or accept one connection
    bool connecting = false;
    bool eof = false;         // the read side has ended
    bool broken = false;      // the connection failed on output
    bool closing = false;     // the stack let go; flush, then close
    bool tx_blocked = false;  // a sender waits for tx to drain
    uint64_t id = 0;
    int watchers = 0;         // host threads of waiting kernel threads watching it
    bool unwatched = false;   // about to close: watchers leave, none come
    bool armed = true;        // in the I/O thread's epoll set for input
    bool watched = false;     // watched since the rearm timer last looked
    std::vector<uint8_t> tx;
    net_proto proto = net_proto::udp;
    UINT port = 0;            // controller port (local port of a client connection)
    uint16_t host_port = 0;
  };

  using entry_map = std::map<uint64_t, std::unique_ptr<entry>>;

  static bool bind_to(int fd, ULONG address, uint16_t port, uint16_t* got) {
    if (fd < 0) return false;
    sockaddr_in a = to_sockaddr(address, port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
    socklen_t len = sizeof a;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return false;
    *got = ntohs(a.sin_port);
    return true;
  }

  uint64_t add(std::unique_ptr<entry> e) {
    uint64_t id;
    {
      std::lock_guard<std::mutex> lk(m_mutex);
      id = m_next++;
      e->id = id;
      if (m_stop) {
        ::close(e->fd);
      } else {
        if (e->kind == kind_t::udp) {
          epoll_event ev{};
          ev.events = EPOLLIN;
          ev.data.u64 = id;
          epoll_ctl(m_epoll, EPOLL_CTL_ADD, e->fd, &ev);
        }
        m_entries[id] = std::move(e);
      }
    }
    poke();
    return id;
  }

  entry* find(uint64_t id) {
    auto it = m_entries.find(id);
    return it == m_entries.end() ? nullptr : it->second.get();
  }

  // m_mutex held. A UDP endpoint's datagrams are polled by the I/O thread,
  // or left to its watchers.
  void arm(entry* e, bool polled) {
    e->armed = polled;
    epoll_event ev{};
    ev.events = polled ? EPOLLIN : 0;
    ev.data.u64 = e->id;
    epoll_ctl(m_epoll, EPOLL_CTL_MOD, e->fd, &ev);
  }

  // m_mutex held (lk): wakes the host threads watching the entry and waits
  // until they have let go of its descriptor, which a close under them would
  // leave bound until they wake. The entry may be gone on return.
  void unwatch(std::unique_lock<std::mutex>& lk, entry* e) {
    if (e->kind != kind_t::udp) return;
    e->unwatched = true;
    if (e->watchers == 0) return;
    shutdown(e->fd, SHUT_RDWR);  // an unconnected socket too: its pollers wake
    m_unwatched.wait_for(lk, std::chrono::seconds(2), [e] { return e->watchers == 0; });
  }

  // m_mutex held.
  void close_now(entry_map::iterator it) {
    entry* e = it->second.get();
    if (e->kind == kind_t::conn) {
      shutdown(e->fd, SHUT_WR);
      // Unread input would turn the close into a reset, which can cost the
      // peer what it has not read yet.
      char scratch[4096];
      for (int i = 0; i < 64 && recv(e->fd, scratch, sizeof scratch, MSG_DONTWAIT) > 0; ++i) {
      }
    }
    ::close(e->fd);
    m_entries.erase(it);
  }

  void poke() {
    uint64_t one = 1;
    if (m_wake >= 0) (void)!write(m_wake, &one, sizeof one);
  }

  route resolve(net_proto proto, ULONG address, UINT port, host_target* to) {
    if (is_loopback(address)) {
      to->address = address;
      to->port = static_cast<uint16_t>(port);
      return route::mapped;
    }
    if (address != 0 && address == m_owner->cb->nx_ip_address) {
      std::lock_guard<std::mutex> lk(m_mutex);
      for (auto& [id, e] : m_entries) {
        if (e->proto == proto && e->port == port &&
            (proto == net_proto::udp ? e->kind == kind_t::udp : e->kind == kind_t::listener)) {
          to->address = config_listen_address();
          to->port = e->host_port;
          return route::mapped;
        }
      }
      return route::closed;
    }
    return config_peer(address, port, to) ? route::mapped : route::refused;
  }

  static void source(const sockaddr_in& from, event* ev) {
    ev->address = ntohl(from.sin_addr.s_addr);
    ev->port = ntohs(from.sin_port);
  }

  // m_mutex held.
  static void read_datagrams(uint64_t id, entry* e, std::vector<event>& out, std::vector<uint8_t>& buf) {
    for (int i = 0; i < kDatagramsPerWake; ++i) {
      sockaddr_in from{};
      socklen_t len = sizeof from;
      ssize_t n = recvfrom(e->fd, buf.data(), buf.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &len);
      if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) break;
        continue;  // an earlier send's error report
      }
      event ev{ev_kind::udp_datagram};
      ev.id = id;
      source(from, &ev);
      ev.data.assign(buf.begin(), buf.begin() + n);
      out.push_back(std::move(ev));
    }
  }

  // m_mutex held. Returns true when the entry is to be removed.
  bool handle(uint64_t id, entry* e, short revents, std::vector<event>& out, std::vector<uint8_t>& buf) {
    switch (e->kind) {
      case kind_t::udp:
        // Watched meanwhile: its watchers read it.
        if (e->watchers == 0 && !e->unwatched) read_datagrams(id, e, out, buf);
        return false;
      case kind_t::listener: {
        if (!e->credit) return false;
        sockaddr_in from{};
        socklen_t len = sizeof from;
        int fd = accept4(e->fd, reinterpret_cast<sockaddr*>(&from), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return false;
        auto c = std::make_unique<entry>();
        c->kind = kind_t::conn;
        c->fd = fd;
        c->proto = net_proto::tcp;
        uint64_t cid = m_next++;
        c->id = cid;
        m_entries[cid] = std::move(c);
        e->credit = false;
        event ev{ev_kind::tcp_accepted};
        ev.id = id;
        ev.conn = cid;
        source(from, &ev);
        out.push_back(std::move(ev));
        return false;
      }
      case kind_t::conn:
        break;
    }
    if (e->connecting) {
      int err = 0;
      socklen_t len = sizeof err;
      getsockopt(e->fd, SOL_SOCKET, SO_ERROR, &err, &len);
      e->connecting = false;
      event ev{err == 0 ? ev_kind::tcp_connected : ev_kind::tcp_connect_failed};
      ev.id = id;
      if (err != 0) e->eof = e->broken = true;
      out.push_back(std::move(ev));
      return false;
    }
    if ((revents & (POLLOUT | POLLERR | POLLHUP)) && !e->tx.empty()) {
      ssize_t n = send(e->fd, e->tx.data(), e->tx.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n > 0) {
        e->tx.erase(e->tx.begin(), e->tx.begin() + n);
      } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        e->tx.clear();
        e->broken = true;
      }
      if (e->tx_blocked && e->tx.size() < kTxLimit) {
        e->tx_blocked = false;
        event ev{ev_kind::tcp_tx_ready};
        ev.id = id;
        out.push_back(std::move(ev));
      }
    }
    if (e->closing) return e->tx.empty();
    if ((revents & (POLLIN | POLLERR | POLLHUP)) && e->credit && !e->eof) {
      ssize_t n = recv(e->fd, buf.data(), kChunk, MSG_DONTWAIT);
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
      event ev{n > 0 ? ev_kind::tcp_data : ev_kind::tcp_closed};
      ev.id = id;
      if (n > 0) {
        ev.data.assign(buf.begin(), buf.begin() + n);
        e->credit = false;
      } else {
        e->eof = true;
      }
      out.push_back(std::move(ev));
    }
    return false;
  }

  void run() {
    std::vector<pollfd> fds;
    std::vector<uint64_t> ids;
    std::vector<uint8_t> buf(65536);
    for (;;) {
      fds.clear();
      ids.clear();
      fds.push_back({m_wake, POLLIN, 0});
      ids.push_back(0);
      fds.push_back({m_epoll, POLLIN, 0});  // the UDP endpoints no thread watches
      ids.push_back(0);
      fds.push_back({m_rearm, POLLIN, 0});
      ids.push_back(0);
      {
        std::lock_guard<std::mutex> lk(m_mutex);
        if (m_stop) return;
        for (auto& [id, e] : m_entries) {
          short events = 0;
          switch (e->kind) {
            case kind_t::udp:
              break;
            case kind_t::listener:
              events = e->credit ? POLLIN : 0;
              break;
            case kind_t::conn:
              if (e->connecting) {
                events = POLLOUT;
              } else {
                if (e->credit && !e->eof && !e->closing) events |= POLLIN;
                if (!e->tx.empty()) events |= POLLOUT;
              }
              break;
          }
          if (!events) continue;
          fds.push_back({e->fd, events, 0});
          ids.push_back(id);
        }
        m_in_poll = true;
      }
      const int polled = poll(fds.data(), fds.size(), -1);
      const int poll_error = errno;
      {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_in_poll = false;
        ++m_polls;
      }
      m_polled.notify_all();
      if (polled < 0) {
        if (poll_error == EINTR) continue;
        trace("net host I/O: poll failed: %s\n", strerror(poll_error));
        return;
      }
      if (fds[0].revents) {
        uint64_t v;
        (void)!read(m_wake, &v, sizeof v);
      }
      std::vector<event> out;
      epoll_event ready[16];
      const int readable = fds[1].revents ? epoll_wait(m_epoll, ready, 16, 0) : 0;
      {
        std::lock_guard<std::mutex> lk(m_mutex);
        if (m_stop) return;
        for (int i = 0; i < readable; ++i) {
          entry* e = find(ready[i].data.u64);
          if (e) handle(e->id, e, POLLIN, out, buf);
        }
        if (fds[2].revents) {
          uint64_t expirations;
          (void)!read(m_rearm, &expirations, sizeof expirations);
          m_rearm_pending = false;
          bool again = false;
          for (auto& [id, e] : m_entries) {
            if (e->kind != kind_t::udp || e->watchers != 0 || e->armed || e->unwatched) continue;
            if (e->watched) {
              // Its thread came back to watch it since the last look: it
              // keeps up and reads its datagrams itself.
              e->watched = false;
              again = true;
            } else {
              arm(e.get(), true);
            }
          }
          if (again) start_rearm();
        }
        for (size_t i = 3; i < fds.size(); ++i) {
          if (!fds[i].revents) continue;
          auto it = m_entries.find(ids[i]);
          // Closed (and its descriptor perhaps reused) since the poll began.
          if (it == m_entries.end() || it->second->fd != fds[i].fd) continue;
          if (handle(ids[i], it->second.get(), fds[i].revents, out, buf)) close_now(it);
        }
      }
      if (!out.empty()) {
        rtos::raise_interrupt([this, &out] {
          if (!m_stop) deliver(m_owner, std::move(out));
        });
      }
    }
  }

  ip* m_owner;
  std::mutex m_mutex;
  entry_map m_entries;
  bool m_in_poll = false;  // the I/O thread sleeps in poll
  uint64_t m_polls = 0;    // polls returned
  std::condition_variable m_polled;
  uint64_t m_next = 1;
  int m_wake = -1;
  int m_epoll = -1;                    // the UDP endpoints, polled unless watched
  std::condition_variable m_unwatched;  // an entry's last watcher let go
  int m_rearm = -1;                    // timer: endpoints no longer watched go back to the epoll set
  bool m_rearm_pending = false;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

}  // namespace

std::unique_ptr<backend> make_host_backend(ip* owner) { return std::make_unique<host_backend>(owner); }

}  // namespace nx_impl
