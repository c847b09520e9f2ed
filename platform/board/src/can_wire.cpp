// In-memory CAN buses.
#include <algorithm>
#include <cstring>

#include "can_models.h"

namespace board {

namespace {
constexpr size_t LOG_DEPTH = 4096;
}

bool can_frame::operator==(const can_frame& o) const {
  if (id != o.id || extended != o.extended || remote != o.remote || dlc != o.dlc) return false;
  size_t n = std::min<size_t>(dlc, 8);
  return remote || std::memcmp(data, o.data, n) == 0;
}

can_frame make_frame(uint32_t id, bool extended, std::initializer_list<uint8_t> data) {
  can_frame f;
  f.id = id;
  f.extended = extended;
  size_t n = 0;
  for (uint8_t b : data)
    if (n < 8) f.data[n++] = b;
  f.dlc = static_cast<uint8_t>(n);
  return f;
}

can_wire::can_wire(std::string name) : m_name(std::move(name)) {}

can_wire::~can_wire() = default;

void can_wire::attach(node* n) {
  std::lock_guard<std::mutex> lk(m_lock);
  if (n && std::find(m_nodes.begin(), m_nodes.end(), n) == m_nodes.end()) m_nodes.push_back(n);
}

void can_wire::detach(node* n) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_nodes.erase(std::remove(m_nodes.begin(), m_nodes.end(), n), m_nodes.end());
  for (item& i : m_queue)
    if (i.from == n) i.from = nullptr;
}

bool can_wire::queue(node* from, const can_frame& frame, uint32_t rate) {
  std::lock_guard<std::mutex> lk(m_lock);
  bool ack = false;
  for (node* n : m_nodes)
    if (n != from && n->acknowledges(rate)) ack = true;
  if (ack) m_queue.push_back({from, frame, rate});
  return ack;
}

void can_wire::deliver() {
  std::unique_lock<std::mutex> lk(m_lock);
  if (m_delivering) return;
  m_delivering = true;
  while (!m_queue.empty()) {
    item i = m_queue.front();
    m_queue.pop_front();
    ++m_frames;
    m_log.push_back(i.frame);
    if (m_log.size() > LOG_DEPTH) m_log.pop_front();
    std::vector<node*> nodes = m_nodes;
    lk.unlock();
    for (node* n : nodes)
      if (n != i.from) n->on_frame(i.frame, i.rate);
    lk.lock();
  }
  m_delivering = false;
}

bool can_wire::transmit(node* from, const can_frame& frame, uint32_t rate) {
  bool ack = queue(from, frame, rate);
  deliver();
  return ack;
}

std::vector<can_frame> can_wire::log() {
  std::lock_guard<std::mutex> lk(m_lock);
  return std::vector<can_frame>(m_log.begin(), m_log.end());
}

void can_wire::clear_log() {
  std::lock_guard<std::mutex> lk(m_lock);
  m_log.clear();
}

uint64_t can_wire::frames() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_frames;
}

}  // namespace board
