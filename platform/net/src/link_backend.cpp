// The link engine: a small IPv4 stack for instances whose link driver
// carries their datagrams (the PPP and PMPP links). IPv4 with header
// checksums, fragmentation of what is sent and bounded reassembly of what is
// received, ICMP echo, UDP, and the passive TCP that a server port needs:
// connections are accepted, data flows both ways with retransmission, and
// either side may close.
//
// Datagrams from the driver and datagrams to send wait in queues; the
// instance's thread does the work (service), so no call of the stack blocks
// in the driver, and the driver is only called from that thread.
#include <algorithm>
#include <cstring>
#include <deque>
#include <map>

#include "nx_internal.h"

namespace nx_impl {

namespace {

constexpr uint32_t kIpHeader = 20;
constexpr uint32_t kTcpHeader = 20;
constexpr uint32_t kUdpHeader = 8;
constexpr uint8_t kIcmp = 1, kTcp = 6, kUdp = 17;
constexpr ULONG kBroadcast = 0xFFFFFFFFu;

// Reassembly: datagrams in progress and their size.
constexpr size_t kReassemblies = 4;
constexpr uint32_t kReassemblyMax = 8192;
constexpr size_t kFragmentsMax = 64;

// TCP.
constexpr uint32_t kReceiveWindow = 4096;
constexpr uint32_t kSendBuffer = 16384;
constexpr uint32_t kDefaultMss = 536;
constexpr ULONG kInitialRto = 100;  // ticks
constexpr ULONG kMaximumRto = 800;
constexpr uint32_t kRetries = 8;
constexpr size_t kPendingConnections = 4;
constexpr size_t kInputQueue = 16;

enum : uint8_t { FIN = 0x01, SYN = 0x02, RST = 0x04, PSH = 0x08, ACK = 0x10 };

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t get32(const uint8_t* p) { return (uint32_t(get16(p)) << 16) | get16(p + 2); }
void put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
void put32(uint8_t* p, uint32_t v) {
  put16(p, v >> 16);
  put16(p + 2, v & 0xFFFF);
}

// Ones' complement sum, folded.
uint32_t sum16(uint32_t sum, const uint8_t* p, size_t n) {
  for (size_t i = 0; i + 1 < n; i += 2) sum += get16(p + i);
  if (n & 1) sum += uint32_t(p[n - 1]) << 8;
  return sum;
}
uint16_t fold(uint32_t sum) {
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum & 0xFFFF);
}
uint32_t pseudo_sum(ULONG src, ULONG dst, uint8_t proto, size_t length) {
  uint32_t s = 0;
  s += (src >> 16) + (src & 0xFFFF) + (dst >> 16) + (dst & 0xFFFF);
  s += proto;
  s += static_cast<uint32_t>(length);
  return s;
}

bool seq_lt(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) < 0; }
bool seq_le(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) <= 0; }
bool due(ULONG at, ULONG now) { return static_cast<int32_t>(now - at) >= 0; }

struct fragment_set {
  ULONG source = 0;
  uint16_t id = 0;
  uint8_t proto = 0;
  uint32_t total = 0;  // known once the last fragment came; 0 before
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> pieces;
  uint64_t age = 0;
};

enum class tcp_state { syn_received, established, close_wait, fin_wait, last_ack, closing };

struct tcp_conn {
  uint64_t listener = 0;
  UINT local_port = 0;
  ULONG peer = 0;
  UINT peer_port = 0;
  tcp_state state = tcp_state::syn_received;
  uint32_t snd_una = 0, snd_nxt = 0, rcv_nxt = 0;
  uint32_t peer_window = 0;
  uint32_t mss = kDefaultMss;
  std::vector<uint8_t> send;  // bytes from snd_una on: sent and unacknowledged, then unsent
  bool fin_queued = false;    // the stack closed: a FIN follows the data
  bool fin_sent = false;
  bool fin_received = false;
  std::vector<uint8_t> received;  // not yet handed to the stack
  bool reported = false;          // the stack knows the connection
  bool orphan = false;            // the stack has closed it
  bool credit = false;            // the stack takes one more chunk
  bool closed_reported = false;
  bool want_tx_ready = false;
  ULONG rto = kInitialRto;
  ULONG retransmit_at = 0;
  bool timer = false;
  uint32_t retries = 0;
};

struct listener {
  UINT port = 0;
  bool credit = false;
  std::deque<uint64_t> ready;  // established, not yet reported
};

class link_backend : public backend {
 public:
  explicit link_backend(ip* owner) : m_owner(owner) {}
  ~link_backend() override { stop(); }

  // ---- sockets

  UINT udp_open(UINT port, uint64_t* id) override {
    *id = m_next_id++;
    m_udp[*id] = port;
    return NX_SUCCESS;
  }

  UINT udp_send(uint64_t id, ULONG address, UINT port, const std::vector<uint8_t>& data) override {
    auto it = m_udp.find(id);
    if (it == m_udp.end()) return NX_NOT_BOUND;
    if (data.size() + kUdpHeader > 65535 - kIpHeader) return NX_SIZE_ERROR;
    std::vector<uint8_t> udp(kUdpHeader + data.size());
    put16(&udp[0], it->second);
    put16(&udp[2], port);
    put16(&udp[4], static_cast<uint32_t>(udp.size()));
    std::memcpy(udp.data() + kUdpHeader, data.data(), data.size());
    uint16_t c = fold(sum16(pseudo_sum(own(), address, kUdp, udp.size()), udp.data(), udp.size()));
    put16(&udp[6], c ? c : 0xFFFF);
    send_ip(kUdp, address, udp);
    return NX_SUCCESS;
  }

  UINT tcp_listen(UINT port, uint64_t* id) override {
    *id = m_next_id++;
    listener& l = m_listeners[*id];
    l.port = port;
    return NX_SUCCESS;
  }

  // Only passive opens: a connect is never answered.
  UINT tcp_connect(UINT, ULONG, UINT, uint64_t*) override { return NX_NOT_SUCCESSFUL; }

  UINT tcp_send(uint64_t id, const std::vector<uint8_t>& data) override {
    auto it = m_conns.find(id);
    if (it == m_conns.end()) return NX_NOT_CONNECTED;
    tcp_conn& c = it->second;
    if (c.orphan || c.fin_queued || (c.state != tcp_state::established && c.state != tcp_state::close_wait))
      return NX_NOT_CONNECTED;
    if (c.send.size() + data.size() > kSendBuffer) {
      c.want_tx_ready = true;
      return NX_TX_QUEUE_FULL;
    }
    c.send.insert(c.send.end(), data.begin(), data.end());
    ip_wake(m_owner);
    return NX_SUCCESS;
  }

  void resume(uint64_t id) override {
    if (auto l = m_listeners.find(id); l != m_listeners.end()) {
      l->second.credit = true;
    } else if (auto c = m_conns.find(id); c != m_conns.end()) {
      c->second.credit = true;
    }
    ip_wake(m_owner);
  }

  void close(uint64_t id) override {
    m_udp.erase(id);
    if (auto l = m_listeners.find(id); l != m_listeners.end()) {
      for (uint64_t c : l->second.ready) abort_conn(c);
      m_listeners.erase(l);
      return;
    }
    auto it = m_conns.find(id);
    if (it == m_conns.end()) return;
    tcp_conn& c = it->second;
    c.orphan = true;
    c.received.clear();
    if (c.state == tcp_state::syn_received) {
      abort_conn(id);
      return;
    }
    c.fin_queued = true;
    ip_wake(m_owner);
  }

  uint16_t host_port(net_proto, UINT) override { return 0; }
  void map_source(net_proto, ULONG*, UINT*) override {}

  void stop() override {
    if (!m_stopped) arp_forget(m_owner);
    m_stopped = true;
    for (NX_PACKET* p : m_in) nx_packet_release(p);
    m_in.clear();
    m_out.clear();
    m_conns.clear();
    m_listeners.clear();
    m_udp.clear();
    m_fragments.clear();
  }
  void join() override {}

  bool input(NX_PACKET* packet) override {
    // Datagrams wait for the instance's thread, which a link driver holds
    // until its link is up: the queue is bounded so that they cannot take
    // the whole pool meanwhile.
    if (m_stopped || m_in.size() >= kInputQueue) return false;
    m_in.push_back(packet);
    ip_wake(m_owner);
    return true;
  }

  ULONG next_wait() override {
    ULONG best = TX_WAIT_FOREVER;
    if (!m_out.empty()) return 0;
    const ULONG now = tx_time_get();
    for (auto& [id, c] : m_conns) {
      if (!c.timer) continue;
      int32_t until = static_cast<int32_t>(c.retransmit_at - now);
      best = std::min<ULONG>(best, until <= 0 ? 0 : static_cast<ULONG>(until));
    }
    return best;
  }

  void service() override {
    if (m_stopped) return;
    if (m_owner->cb->nx_ip_mapping_needed) arp_service(m_owner);
    while (!m_in.empty()) {
      NX_PACKET* p = m_in.front();
      m_in.pop_front();
      std::vector<uint8_t> bytes = chain_bytes(p);
      nx_packet_release(p);
      datagram_in(bytes);
    }
    tcp_service();
    flush();
  }

 private:
  ULONG own() const { return m_owner->cb->nx_ip_address; }
  ULONG mtu() const {
    ULONG m = m_owner->cb->nx_ip_driver_mtu;
    return m >= 68 ? m : 576;
  }

  // ---- IPv4 out

  void send_ip(uint8_t proto, ULONG dst, const std::vector<uint8_t>& payload) {
    const uint16_t id = m_ip_id++;
    const uint32_t chunk = ((mtu() - kIpHeader) / 8) * 8;
    uint32_t offset = 0;
    do {
      const uint32_t n = std::min<uint32_t>(chunk, static_cast<uint32_t>(payload.size()) - offset);
      const bool more = offset + n < payload.size();
      std::vector<uint8_t> d(kIpHeader + n);
      d[0] = 0x45;
      put16(&d[2], static_cast<uint32_t>(d.size()));
      put16(&d[4], id);
      put16(&d[6], (more ? 0x2000u : 0u) | (offset / 8));
      d[8] = 128;
      d[9] = proto;
      put32(&d[12], own());
      put32(&d[16], dst);
      put16(&d[10], fold(sum16(0, d.data(), kIpHeader)));
      if (n) std::memcpy(d.data() + kIpHeader, payload.data() + offset, n);
      m_out.push_back(std::move(d));
      offset += n;
    } while (offset < payload.size());
    ip_wake(m_owner);
  }

  // The queued datagrams to the driver, from the instance's thread. Each is
  // taken off the queue before the driver is called: the driver may wait,
  // and others may queue meanwhile.
  void flush() {
    while (!m_out.empty() && !m_stopped) {
      pool* p = find<pool>(m_owner->cb->nx_ip_default_pool);
      if (!p) {
        m_out.clear();
        return;
      }
      const std::vector<uint8_t>& d = m_out.front();
      NX_PACKET* head = nullptr;
      NX_PACKET* last = nullptr;
      size_t off = 0;
      bool starved = false;
      while (off < d.size() || !head) {
        NX_PACKET* packet = pool_take(p, NX_PHYSICAL_HEADER);
        if (!packet) {
          starved = true;
          break;
        }
        size_t n = std::min<size_t>(d.size() - off, packet->nx_packet_data_end - packet->nx_packet_append_ptr);
        std::memcpy(packet->nx_packet_append_ptr, d.data() + off, n);
        packet->nx_packet_append_ptr += n;
        off += n;
        if (last)
          last->nx_packet_next = packet;
        else
          head = packet;
        last = packet;
      }
      if (starved) {
        // The datagram waits for a released packet.
        if (head) nx_packet_release(head);
        if (std::find(p->starved.begin(), p->starved.end(), m_owner) == p->starved.end()) p->starved.push_back(m_owner);
        return;
      }
      head->nx_packet_length = static_cast<ULONG>(d.size());
      const ULONG destination = get32(&d[16]);
      m_out.pop_front();
      if (m_owner->cb->nx_ip_mapping_needed) {
        arp_send_datagram(m_owner, head, destination);
        if (m_owner->dead) return;
        continue;
      }
      NX_IP_DRIVER request{};
      request.nx_driver_command = NX_DRIVER_SEND;
      request.nx_driver_ip = m_owner->cb;
      request.nx_driver_packet = head;
      m_owner->cb->nx_ip_driver_entry(&request);
      if (m_owner->dead) return;
    }
  }

  // ---- IPv4 in

  void datagram_in(std::vector<uint8_t>& d) {
    if (d.size() < kIpHeader || (d[0] >> 4) != 4) return;
    const uint32_t header = (d[0] & 0x0F) * 4u;
    if (header < kIpHeader || header > d.size()) return;
    const uint32_t total = get16(&d[2]);
    if (total < header || total > d.size()) return;
    d.resize(total);
    if (fold(sum16(0, d.data(), header)) != 0) return;
    const ULONG src = get32(&d[12]);
    const ULONG dst = get32(&d[16]);
    if (dst != own() && dst != kBroadcast) return;
    const uint8_t proto = d[9];
    const uint16_t flags = get16(&d[6]);
    std::vector<uint8_t> payload(d.begin() + header, d.end());
    if (flags & 0x3FFF) {  // more fragments, or an offset
      if (!reassemble(src, get16(&d[4]), proto, (flags & 0x1FFF) * 8u, (flags & 0x2000) != 0, payload)) return;
    }
    switch (proto) {
      case kIcmp:
        icmp_in(src, payload);
        break;
      case kUdp:
        udp_in(src, dst, payload);
        break;
      case kTcp:
        tcp_in(src, dst, payload);
        break;
      default:
        break;
    }
  }

  // Collects a fragment; true with the whole payload once every piece came.
  bool reassemble(ULONG src, uint16_t id, uint8_t proto, uint32_t offset, bool more, std::vector<uint8_t>& payload) {
    if (offset + payload.size() > kReassemblyMax) return false;
    fragment_set* set = nullptr;
    for (fragment_set& f : m_fragments)
      if (f.source == src && f.id == id && f.proto == proto) set = &f;
    if (!set) {
      if (m_fragments.size() >= kReassemblies) {
        auto oldest = std::min_element(m_fragments.begin(), m_fragments.end(),
                                       [](const fragment_set& a, const fragment_set& b) { return a.age < b.age; });
        m_fragments.erase(oldest);
      }
      m_fragments.emplace_back();
      set = &m_fragments.back();
      set->source = src;
      set->id = id;
      set->proto = proto;
    }
    set->age = ++m_age;
    if (set->pieces.size() >= kFragmentsMax) return false;
    if (!more) set->total = offset + static_cast<uint32_t>(payload.size());
    set->pieces.emplace_back(offset, payload);
    if (!set->total) return false;
    // Whole when the pieces cover 0 .. total without a gap.
    std::vector<uint8_t> whole(set->total);
    std::vector<bool> have(set->total, false);
    for (auto& [at, bytes] : set->pieces) {
      for (size_t k = 0; k < bytes.size() && at + k < set->total; ++k) {
        whole[at + k] = bytes[k];
        have[at + k] = true;
      }
    }
    if (std::find(have.begin(), have.end(), false) != have.end()) return false;
    payload.swap(whole);
    m_fragments.erase(m_fragments.begin() + (set - m_fragments.data()));
    return true;
  }

  void icmp_in(ULONG src, const std::vector<uint8_t>& p) {
    if (!m_owner->icmp || p.size() < 8 || fold(sum16(0, p.data(), p.size())) != 0) return;
    if (p[0] != 8) return;  // echo requests only
    ++m_owner->cb->nx_ip_icmp_packets_received;
    std::vector<uint8_t> reply(p);
    reply[0] = 0;
    reply[2] = reply[3] = 0;
    put16(&reply[2], fold(sum16(0, reply.data(), reply.size())));
    send_ip(kIcmp, src, reply);
    ++m_owner->cb->nx_ip_icmp_packets_sent;
  }

  void udp_in(ULONG src, ULONG dst, const std::vector<uint8_t>& p) {
    const uint32_t length = p.size() < kUdpHeader ? 0 : get16(&p[4]);
    if (length < kUdpHeader || length > p.size() ||
        (get16(&p[6]) != 0 && fold(sum16(pseudo_sum(src, dst, kUdp, length), p.data(), length)) != 0)) {
      ++m_owner->cb->nx_ip_udp_invalid_packets;
      return;
    }
    const UINT port = get16(&p[2]);
    for (auto& [id, bound] : m_udp) {
      if (bound != port) continue;
      event e(ev_kind::udp_datagram);
      e.id = id;
      e.address = src;
      e.port = get16(&p[0]);
      e.data.assign(p.begin() + kUdpHeader, p.begin() + length);
      std::vector<event> v;
      v.push_back(std::move(e));
      deliver(m_owner, std::move(v));
      return;
    }
  }

  // ---- TCP

  uint64_t find_conn(ULONG peer, UINT peer_port, UINT local_port) {
    for (auto& [id, c] : m_conns)
      if (c.peer == peer && c.peer_port == peer_port && c.local_port == local_port) return id;
    return 0;
  }

  void segment_out(ULONG peer, UINT peer_port, UINT local_port, uint32_t seq, uint32_t ack, uint8_t flags,
                   uint32_t window, const uint8_t* data, size_t n, bool mss_option = false) {
    const uint32_t header = kTcpHeader + (mss_option ? 4 : 0);
    std::vector<uint8_t> s(header + n);
    put16(&s[0], local_port);
    put16(&s[2], peer_port);
    put32(&s[4], seq);
    put32(&s[8], ack);
    s[12] = static_cast<uint8_t>((header / 4) << 4);
    s[13] = flags;
    put16(&s[14], std::min<uint32_t>(window, 65535));
    if (mss_option) {
      s[20] = 2;
      s[21] = 4;
      put16(&s[22], static_cast<uint32_t>(mtu() - kIpHeader - kTcpHeader));
    }
    if (n) std::memcpy(s.data() + header, data, n);
    put16(&s[16], fold(sum16(pseudo_sum(own(), peer, kTcp, s.size()), s.data(), s.size())));
    send_ip(kTcp, peer, s);
  }

  uint32_t window_of(const tcp_conn& c) const {
    return c.received.size() >= kReceiveWindow ? 0 : kReceiveWindow - static_cast<uint32_t>(c.received.size());
  }

  void ack_now(tcp_conn& c) {
    segment_out(c.peer, c.peer_port, c.local_port, c.snd_nxt, c.rcv_nxt, ACK, window_of(c), nullptr, 0);
  }

  void reset_reply(ULONG src, UINT src_port, UINT dst_port, const std::vector<uint8_t>& p, size_t data) {
    const uint8_t flags = p[13];
    if (flags & RST) return;
    if (flags & ACK)
      segment_out(src, src_port, dst_port, get32(&p[8]), 0, RST, 0, nullptr, 0);
    else
      segment_out(src, src_port, dst_port, 0,
                  get32(&p[4]) + static_cast<uint32_t>(data) + ((flags & SYN) ? 1 : 0) + ((flags & FIN) ? 1 : 0),
                  RST | ACK, 0, nullptr, 0);
  }

  void tell(ev_kind kind, uint64_t id, std::vector<uint8_t> data = {}, uint64_t conn = 0, ULONG address = 0,
            UINT port = 0) {
    event e(kind);
    e.id = id;
    e.conn = conn;
    e.address = address;
    e.port = port;
    e.data = std::move(data);
    std::vector<event> v;
    v.push_back(std::move(e));
    deliver(m_owner, std::move(v));
  }

  // Ends a connection at once: the peer gets a reset, the stack a close.
  void abort_conn(uint64_t id) {
    auto it = m_conns.find(id);
    if (it == m_conns.end()) return;
    tcp_conn& c = it->second;
    segment_out(c.peer, c.peer_port, c.local_port, c.snd_nxt, c.rcv_nxt, RST | ACK, 0, nullptr, 0);
    if (c.reported && !c.orphan && !c.closed_reported) tell(ev_kind::tcp_closed, id);
    for (auto& [lid, l] : m_listeners) {
      auto r = std::find(l.ready.begin(), l.ready.end(), id);
      if (r != l.ready.end()) l.ready.erase(r);
    }
    m_conns.erase(it);
  }

  void tcp_in(ULONG src, ULONG dst, const std::vector<uint8_t>& p) {
    if (!m_owner->tcp || p.size() < kTcpHeader) return;
    if (fold(sum16(pseudo_sum(src, dst, kTcp, p.size()), p.data(), p.size())) != 0) return;
    const uint32_t header = (p[12] >> 4) * 4u;
    if (header < kTcpHeader || header > p.size()) return;
    const UINT src_port = get16(&p[0]);
    const UINT dst_port = get16(&p[2]);
    const uint32_t seq = get32(&p[4]);
    const uint32_t ack = get32(&p[8]);
    const uint8_t flags = p[13];
    const uint32_t window = get16(&p[14]);
    const size_t data = p.size() - header;

    uint64_t id = find_conn(src, src_port, dst_port);
    if (!id) {
      if ((flags & (SYN | ACK | RST)) == SYN) {
        for (auto& [lid, l] : m_listeners) {
          if (l.port != dst_port) continue;
          if (l.ready.size() >= kPendingConnections) return;  // the peer tries again
          accept_syn(lid, src, src_port, dst_port, seq, window, p, header);
          return;
        }
      }
      reset_reply(src, src_port, dst_port, p, data);
      return;
    }
    tcp_conn& c = m_conns[id];
    if (flags & RST) {
      if (c.reported && !c.orphan && !c.closed_reported) tell(ev_kind::tcp_closed, id);
      for (auto& [lid, l] : m_listeners) {
        auto r = std::find(l.ready.begin(), l.ready.end(), id);
        if (r != l.ready.end()) l.ready.erase(r);
      }
      m_conns.erase(id);
      return;
    }
    if (flags & SYN) {
      // The peer did not see the SYN-ACK: it goes again.
      if (c.state == tcp_state::syn_received)
        segment_out(c.peer, c.peer_port, c.local_port, c.snd_una, c.rcv_nxt, SYN | ACK, window_of(c), nullptr, 0, true);
      return;
    }
    if (!(flags & ACK)) return;
    c.peer_window = window;

    if (c.state == tcp_state::syn_received) {
      if (ack != c.snd_nxt) {
        reset_reply(src, src_port, dst_port, p, data);
        return;
      }
      c.snd_una = ack;
      c.state = tcp_state::established;
      c.timer = false;
      c.retries = 0;
      c.rto = kInitialRto;
      m_listeners[c.listener].ready.push_back(id);
    } else if (seq_lt(c.snd_una, ack) && seq_le(ack, c.snd_nxt)) {
      uint32_t acked = ack - c.snd_una;
      if (c.fin_sent && ack == c.snd_nxt) --acked;  // the FIN's sequence number
      acked = std::min<uint32_t>(acked, static_cast<uint32_t>(c.send.size()));
      c.send.erase(c.send.begin(), c.send.begin() + acked);
      c.snd_una = ack;
      c.retries = 0;
      c.rto = kInitialRto;
      c.timer = c.snd_una != c.snd_nxt;
      if (c.timer) c.retransmit_at = tx_time_get() + c.rto;
      if (c.want_tx_ready && c.send.size() < kSendBuffer / 2 && c.reported && !c.orphan) {
        c.want_tx_ready = false;
        tell(ev_kind::tcp_tx_ready, id);
      }
      // Our FIN is acknowledged: the stack closed the connection long ago,
      // and nothing of it needs keeping.
      if (c.fin_sent && c.snd_una == c.snd_nxt) {
        m_conns.erase(id);
        return;
      }
    }

    // Data and FIN in order only; anything else is answered with the ACK
    // that says what is expected.
    bool answer = false;
    if (data || (flags & FIN)) {
      if (seq != c.rcv_nxt) {
        ack_now(c);
        return;
      }
      size_t take = std::min<size_t>(data, window_of(c));
      if (!c.orphan) c.received.insert(c.received.end(), p.begin() + header, p.begin() + header + take);
      c.rcv_nxt += static_cast<uint32_t>(take);
      answer = true;
      if ((flags & FIN) && take == data && !c.fin_received) {
        c.fin_received = true;
        c.rcv_nxt += 1;
        if (c.state == tcp_state::established)
          c.state = tcp_state::close_wait;
        else if (c.state == tcp_state::fin_wait)
          c.state = tcp_state::closing;
      }
    }
    if (answer) ack_now(c);
  }

  void accept_syn(uint64_t lid, ULONG src, UINT src_port, UINT dst_port, uint32_t seq, uint32_t window,
                  const std::vector<uint8_t>& p, uint32_t header) {
    tcp_conn c;
    c.listener = lid;
    c.local_port = dst_port;
    c.peer = src;
    c.peer_port = src_port;
    c.rcv_nxt = seq + 1;
    m_iss += 64000 + tx_time_get();
    c.snd_una = m_iss;
    c.snd_nxt = m_iss + 1;
    c.peer_window = window;
    c.mss = kDefaultMss;
    for (uint32_t i = kTcpHeader; i + 1 < header;) {
      const uint8_t kind = p[i];
      if (kind == 0) break;
      if (kind == 1) {
        ++i;
        continue;
      }
      const uint8_t len = p[i + 1];
      if (len < 2 || i + len > header) break;
      if (kind == 2 && len == 4) c.mss = get16(&p[i + 2]);
      i += len;
    }
    c.mss = std::max<uint32_t>(64, std::min<uint32_t>(c.mss, mtu() - kIpHeader - kTcpHeader));
    c.timer = true;
    c.retransmit_at = tx_time_get() + c.rto;
    const uint64_t id = m_next_id++;
    segment_out(src, src_port, dst_port, c.snd_una, c.rcv_nxt, SYN | ACK, window_of(c), nullptr, 0, true);
    m_conns[id] = std::move(c);
  }

  // Reports, sends and retransmits what each connection has due.
  void tcp_service() {
    const ULONG now = tx_time_get();
    // Established connections to their listeners, one per credit.
    for (auto& [lid, l] : m_listeners) {
      while (l.credit && !l.ready.empty()) {
        const uint64_t id = l.ready.front();
        l.ready.pop_front();
        auto it = m_conns.find(id);
        if (it == m_conns.end()) continue;
        l.credit = false;
        it->second.reported = true;
        tell(ev_kind::tcp_accepted, lid, {}, id, it->second.peer, it->second.peer_port);
      }
    }
    std::vector<uint64_t> ended;
    for (auto& [id, c] : m_conns) {
      if (c.reported && !c.orphan) {
        if (c.credit && !c.received.empty()) {
          const size_t n = std::min<size_t>(c.received.size(), 1460);
          std::vector<uint8_t> chunk(c.received.begin(), c.received.begin() + n);
          const bool was_closed = window_of(c) == 0;
          c.received.erase(c.received.begin(), c.received.begin() + n);
          c.credit = false;
          tell(ev_kind::tcp_data, id, std::move(chunk));
          if (was_closed) ack_now(c);  // the window opens again
        }
        if (c.fin_received && c.received.empty() && !c.closed_reported) {
          c.closed_reported = true;
          tell(ev_kind::tcp_closed, id);
        }
      }
      // Retransmission: everything from the oldest unacknowledged byte.
      if (c.timer && due(c.retransmit_at, now)) {
        if (++c.retries > kRetries) {
          ended.push_back(id);
          continue;
        }
        c.rto = std::min(c.rto * 2, kMaximumRto);
        c.retransmit_at = now + c.rto;
        if (c.state == tcp_state::syn_received) {
          segment_out(c.peer, c.peer_port, c.local_port, c.snd_una, c.rcv_nxt, SYN | ACK, window_of(c), nullptr, 0,
                      true);
          continue;
        }
        c.snd_nxt = c.snd_una;
        c.fin_sent = false;
      }
      if (c.state == tcp_state::syn_received) continue;
      send_pending(c, now);
    }
    for (uint64_t id : ended) abort_conn(id);
  }

  void send_pending(tcp_conn& c, ULONG now) {
    uint32_t in_flight = c.snd_nxt - c.snd_una;
    if (c.fin_sent) --in_flight;
    const uint32_t window = std::max<uint32_t>(c.peer_window, 1);
    while (in_flight < c.send.size() && in_flight < window) {
      const uint32_t n =
          std::min<uint32_t>({c.mss, static_cast<uint32_t>(c.send.size()) - in_flight, window - in_flight});
      segment_out(c.peer, c.peer_port, c.local_port, c.snd_nxt, c.rcv_nxt, ACK | PSH, window_of(c),
                  c.send.data() + in_flight, n);
      c.snd_nxt += n;
      in_flight += n;
      if (!c.timer) {
        c.timer = true;
        c.retransmit_at = now + c.rto;
      }
    }
    if (c.fin_queued && !c.fin_sent && in_flight == c.send.size()) {
      segment_out(c.peer, c.peer_port, c.local_port, c.snd_nxt, c.rcv_nxt, FIN | ACK, window_of(c), nullptr, 0);
      c.snd_nxt += 1;
      c.fin_sent = true;
      c.state = c.fin_received ? tcp_state::last_ack : tcp_state::fin_wait;
      if (!c.timer) {
        c.timer = true;
        c.retransmit_at = now + c.rto;
      }
    }
  }

  ip* m_owner;
  bool m_stopped = false;
  uint64_t m_next_id = 1;
  uint16_t m_ip_id = 1;
  uint32_t m_iss = 0x1000;
  uint64_t m_age = 0;
  std::map<uint64_t, UINT> m_udp;
  std::map<uint64_t, listener> m_listeners;
  std::map<uint64_t, tcp_conn> m_conns;
  std::deque<NX_PACKET*> m_in;
  std::deque<std::vector<uint8_t>> m_out;
  std::vector<fragment_set> m_fragments;
};

}  // namespace

std::unique_ptr<backend> make_link_backend(ip* owner) { return std::make_unique<link_backend>(owner); }

}  // namespace nx_impl
