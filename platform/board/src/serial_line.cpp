// Host ends of the serial ports: in-memory pipes for tests, pseudo-terminals
// and TCP listeners for people and programs.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board_host.h"

namespace board {

namespace {
constexpr size_t k_backlog_limit = 4096;  // bytes read ahead from the host before the UART takes them
// The console's text leaves a line at a time; text without a newline (a
// prompt) leaves once the output has paused this long, or has gone on for
// k_text_wait_rounds pauses.
constexpr int k_text_pause_ms = 2;
constexpr int k_text_wait_rounds = 10;

}  // namespace

bool parse_serial_end(const std::string& text, serial_end* out) {
  serial_end e;
  if (text == "none") {
    e.kind = serial_kind::none;
  } else if (text == "pipe") {
    e.kind = serial_kind::pipe;
  } else if (text == "stdio") {
    e.kind = serial_kind::stdio;
  } else if (text == "pty") {
    e.kind = serial_kind::pty;
  } else if (text.rfind("pty:", 0) == 0 && text.size() > 4) {
    e.kind = serial_kind::pty;
    e.pty_link = text.substr(4);
  } else if (text == "tcp") {
    e.kind = serial_kind::tcp;
  } else if (text.rfind("tcp:", 0) == 0) {
    char* end = nullptr;
    unsigned long port = std::strtoul(text.c_str() + 4, &end, 10);
    if (text.size() == 4 || *end || port > 65535) return false;
    e.kind = serial_kind::tcp;
    e.tcp_port = static_cast<uint16_t>(port);
  } else {
    return false;
  }
  *out = e;
  return true;
}

serial_line::serial_line(uart16550& uart, const serial_end& end) : m_uart(uart), m_end(end) {
  bool ok = true;
  if (end.kind == serial_kind::pty) ok = open_pty();
  if (end.kind == serial_kind::tcp) ok = open_tcp();
  if (end.kind == serial_kind::stdio) {
    m_fd = STDIN_FILENO;
    m_out = STDOUT_FILENO;
  }
  if (end.kind == serial_kind::pty || end.kind == serial_kind::tcp || end.kind == serial_kind::stdio) {
    if (!ok) {
      std::fprintf(stderr, "board: serial host end could not be opened, port left unattached\n");
      m_end.kind = serial_kind::none;
    } else if (pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) == 0) {
      // The console's characters are taken as they are written, without a
      // thread switch each; the others are taken by the pump.
      if (m_end.kind == serial_kind::stdio)
        m_uart.on_tx = [this] { drain_in_writer(); };
      else
        m_uart.on_tx = [this] { wake(); };
      m_thread = std::thread([this] { pump(); });
    }
  }
  if (m_end.kind == serial_kind::none) {
    // Nothing at the far end: the transmitter sends into the void.
    m_uart.on_tx = [this] {
      uint8_t b[uart16550::FIFO_DEPTH];
      for (int i = 0; i < 1024 && m_uart.tx_take(b, sizeof b); ++i) {
      }
    };
  }
  // A line with nothing at the far end shows no carrier; the others start
  // with every modem input on (a TCP end raises them when a client connects).
  bool lines = m_end.kind == serial_kind::pipe || m_end.kind == serial_kind::pty || m_end.kind == serial_kind::stdio;
  m_uart.set_cts(lines);
  m_uart.set_dsr(lines);
  m_uart.set_dcd(lines);
}

serial_line::~serial_line() {
  m_stop.store(true);
  wake();
  if (m_thread.joinable()) m_thread.join();
  m_uart.on_tx = nullptr;
  if (m_end.kind == serial_kind::stdio) {
    m_fd = -1;  // not ours to close
    // The console's last words, line ended or not.
    std::string text;
    if (take_console_text(true, &text) && m_out >= 0)
      for (size_t at = 0; at < text.size();) {
        const ssize_t w = ::write(m_out, text.data() + at, text.size() - at);
        if (w <= 0) break;
        at += static_cast<size_t>(w);
      }
  }
  for (int fd : {m_fd, m_slave, m_listen, m_wake[0], m_wake[1]})
    if (fd >= 0) close(fd);
  if (!m_end.pty_link.empty() && !m_pty_path.empty()) unlink(m_end.pty_link.c_str());
}

bool serial_line::open_pty() {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return false;
  char* name = nullptr;
  if (grantpt(master) != 0 || unlockpt(master) != 0 || !(name = ptsname(master))) {
    close(master);
    return false;
  }
  m_pty_path = name;
  // Holding the slave open keeps the master readable while no terminal is
  // attached; raw mode so that bytes pass unchanged.
  m_slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_slave >= 0) {
    termios t{};
    if (tcgetattr(m_slave, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(m_slave, TCSANOW, &t);
    }
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  m_fd = master;
  if (!m_end.pty_link.empty()) {
    unlink(m_end.pty_link.c_str());
    if (symlink(name, m_end.pty_link.c_str()) != 0)
      std::fprintf(stderr, "board: cannot link %s to %s\n", m_end.pty_link.c_str(), name);
  }
  return true;
}

bool serial_line::open_tcp() {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (s < 0) return false;
  int one = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(m_end.tcp_port);
  socklen_t len = sizeof a;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 1) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(s);
    return false;
  }
  m_tcp_port = ntohs(a.sin_port);
  m_listen = s;
  return true;
}

void serial_line::wake() {
  if (m_wake[1] >= 0) {
    char c = 1;
    ssize_t r = ::write(m_wake[1], &c, 1);
    (void)r;
  }
}

// Moves the transmitter's bytes on in the writer's thread: into the
// console's text, or to a kept-up pipe's far end. One thread drains at a
// time, so the bytes keep their order; a write made meanwhile (even from an
// interrupt this raises) is taken by that thread before it lets go, instead
// of a drain nested in that interrupt. The console's pump is woken when a
// line ends, and when text starts so that it can time the pause.
void serial_line::drain_in_writer() {
  m_tx_more.store(true);
  if (m_draining.exchange(true)) return;
  const bool console = m_end.kind == serial_kind::stdio;
  for (;;) {
    m_tx_more.store(false);
    bool signal = false;
    for (;;) {
      if (console) {
        std::lock_guard<std::mutex> lk(m_text_lock);
        if (m_text.size() >= k_backlog_limit) break;  // a slow terminal holds the transmitter back
      }
      uint8_t b[uart16550::FIFO_DEPTH];
      const size_t n = m_uart.tx_take(b, sizeof b);
      if (!n) break;
      if (!console) {
        deliver(b, n);
        continue;
      }
      std::lock_guard<std::mutex> lk(m_text_lock);
      if (m_text.empty() || std::memchr(b, '\n', n)) signal = true;
      m_text.append(reinterpret_cast<const char*>(b), n);
      m_text_bytes += n;
      if (m_text.size() >= k_backlog_limit) signal = true;
    }
    if (signal) wake();
    m_draining.store(false);
    if (!m_tx_more.load() || m_draining.exchange(true)) return;
  }
}

void serial_line::keep_up() {
  if (m_end.kind != serial_kind::pipe) return;
  m_keep_up = true;
  // Taken once the FIFO is full, as a line that keeps pace does: a burst
  // then costs one interrupt a FIFO, not one a byte, and what is left goes
  // when the device is next served (transmit()).
  m_uart.on_tx = [this] {
    if (m_uart.tx_full()) drain_in_writer();
  };
}

// The console's text that is due to leave: all of it once a line has
// ended, it has grown large, or (`idle`) it has paused.
bool serial_line::take_console_text(bool idle, std::string* text) {
  std::lock_guard<std::mutex> lk(m_text_lock);
  if (m_text.empty()) return false;
  if (!idle && m_text.size() < k_backlog_limit && m_text.find('\n') == std::string::npos) return false;
  text->swap(m_text);
  m_text.clear();
  return true;
}

void serial_line::set_connected(bool on) {
  m_connected.store(on);
  m_uart.set_cts(on);
  m_uart.set_dsr(on);
  m_uart.set_dcd(on);
}

// One thread per pty or TCP end: moves the host's bytes into the receiver as
// it takes them, and the transmitter's bytes out to the host. Interrupts
// that this raises run on this thread, as from the UART's own line.
void serial_line::pump() {
  std::deque<uint8_t> out;  // taken from the transmitter, not yet written
  uint8_t buf[512];
  const bool console = m_end.kind == serial_kind::stdio;
  bool idle = false;       // the console's text has paused
  int text_waits = 0;      // pauses waited for with text held
  uint64_t text_seen = 0;  // m_text_bytes before the last wait
  while (!m_stop.load()) {
    if (console) {
      // Bytes held back while the text was full, then the text that is due.
      drain_in_writer();
      std::string text;
      if (out.size() < k_backlog_limit && take_console_text(idle || text_waits >= k_text_wait_rounds, &text)) {
        out.insert(out.end(), text.begin(), text.end());
        text_waits = 0;
        drain_in_writer();
      }
    } else {
      // Take what the transmitter holds; emptying it raises its interrupt,
      // whose service may fill it again.
      for (int round = 0; round < 64 && out.size() < k_backlog_limit; ++round) {
        size_t n = m_uart.tx_take(buf, sizeof buf);
        if (!n) break;
        if (m_fd >= 0) out.insert(out.end(), buf, buf + n);  // without a client the bytes are lost
      }
    }
    int out_fd = m_out >= 0 ? m_out : m_fd;
    while (!out.empty() && out_fd >= 0) {
      size_t n = 0;
      for (; n < out.size() && n < sizeof buf; ++n) buf[n] = out[n];
      ssize_t w = ::write(out_fd, buf, n);
      if (w <= 0) break;
      out.erase(out.begin(), out.begin() + w);
    }
    if (m_fd < 0) out.clear();

    pollfd p[4];
    int np = 0;
    p[np++] = {m_wake[0], POLLIN, 0};
    bool can_read = m_uart.rx_backlog() < k_backlog_limit;
    short in_events = static_cast<short>(can_read && m_input_open ? POLLIN : 0);
    if (m_out >= 0) {
      if (m_input_open) p[np++] = {m_fd, in_events, 0};
      if (!out.empty()) p[np++] = {m_out, POLLOUT, 0};
    } else if (m_fd >= 0) {
      p[np++] = {m_fd, static_cast<short>(in_events | (out.empty() ? 0 : POLLOUT)), 0};
    }
    if (m_listen >= 0) p[np++] = {m_listen, POLLIN, 0};
    // A bounded wait: the receiver's backlog drains without waking us.
    int timeout = can_read ? -1 : 20;
    bool text_held = false;
    if (console) {
      std::lock_guard<std::mutex> lk(m_text_lock);
      text_held = !m_text.empty();
      text_seen = m_text_bytes;
    }
    if (text_held && (timeout < 0 || timeout > k_text_pause_ms)) timeout = k_text_pause_ms;
    const int ready = poll(p, np, timeout);
    if (ready < 0 && errno != EINTR) break;
    idle = false;
    if (text_held && ready == 0) {
      std::lock_guard<std::mutex> lk(m_text_lock);
      idle = m_text_bytes == text_seen;
      ++text_waits;
    }
    if (p[0].revents & POLLIN) {
      char drain[64];
      while (::read(m_wake[0], drain, sizeof drain) > 0) {
      }
    }
    if (m_listen >= 0 && (p[np - 1].revents & POLLIN)) {
      int c = accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (c >= 0) {
        // A client that has already gone makes room for the new one, even
        // when its end is not read yet in this round.
        char b;
        if (m_fd >= 0 && ::recv(m_fd, &b, 1, MSG_PEEK | MSG_DONTWAIT) == 0) {
          close(m_fd);
          m_fd = -1;
          set_connected(false);
        }
        if (m_fd >= 0) {
          close(c);  // one client at a time
        } else {
          m_fd = c;
          set_connected(true);
        }
      }
    }
    if (m_fd >= 0 && np > 1 && (p[1].revents & (POLLIN | POLLHUP | POLLERR)) && p[1].fd == m_fd) {
      ssize_t r = ::read(m_fd, buf, sizeof buf);
      if (r > 0) {
        m_uart.rx_offer(buf, static_cast<size_t>(r));
      } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
        if (m_end.kind == serial_kind::tcp) {
          close(m_fd);
          m_fd = -1;
          set_connected(false);
        } else if (m_end.kind == serial_kind::stdio) {
          m_input_open = false;  // end of input: keep sending, stop reading
        }
      }
    }
  }
}

void serial_line::deliver(const uint8_t* data, size_t n) {
  if (m_loopback) {
    m_uart.rx_offer(data, n);
    return;
  }
  std::lock_guard<std::mutex> lk(m_lock);
  m_received.append(reinterpret_cast<const char*>(data), n);
}

void serial_line::send(const std::string& bytes) {
  m_uart.rx_offer(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

size_t serial_line::transmit(size_t max) {
  if (m_keep_up) {
    // The writer drains too; one drain at a time keeps the order.
    drain_in_writer();
    return 0;
  }
  uint8_t buf[uart16550::FIFO_DEPTH];
  size_t total = 0;
  while (total < max) {
    size_t want = max - total < sizeof buf ? max - total : sizeof buf;
    size_t n = m_uart.tx_take(buf, want);
    if (!n) break;
    if (m_end.kind != serial_kind::none) deliver(buf, n);
    total += n;
    if (n < want) break;
  }
  return total;
}

size_t serial_line::transmit_all() {
  size_t total = 0;
  for (int i = 0; i < 100000; ++i) {
    size_t n = transmit(uart16550::FIFO_DEPTH);
    if (!n) break;
    total += n;
  }
  return total;
}

std::string serial_line::received() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_received;
}

std::string serial_line::take_received() {
  std::lock_guard<std::mutex> lk(m_lock);
  std::string s;
  s.swap(m_received);
  return s;
}

}  // namespace board
