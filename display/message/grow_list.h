// A growable array of plain values on the heap. Allocation failure is
// reported (Append returns false) rather than thrown; Free gives the memory
// back, Clear only forgets the entries.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

template <typename T>
class grow_list {
  static_assert(std::is_trivially_copyable_v<T>, "grow_list holds plain values");

 public:
  grow_list() = default;
  ~grow_list() { Free(); }
  grow_list(const grow_list&) = delete;
  grow_list& operator=(const grow_list&) = delete;

  bool Append(const T& value) {
    if (m_count == m_capacity && !Reserve(m_capacity ? m_capacity * 2 : 16)) return false;
    m_items[m_count++] = value;
    return true;
  }
  // Replaces the contents with count values; false (contents emptied) when
  // memory runs out.
  bool Assign(const T* values, uint32_t count) {
    Clear();
    if (count == 0) return true;
    if (!Reserve(count)) return false;
    std::memcpy(m_items, values, count * sizeof(T));
    m_count = count;
    return true;
  }
  bool Reserve(uint32_t capacity) {
    if (capacity <= m_capacity) return true;
    void* p = std::realloc(m_items, static_cast<size_t>(capacity) * sizeof(T));
    if (!p) return false;
    m_items = static_cast<T*>(p);
    m_capacity = capacity;
    return true;
  }
  void Clear() { m_count = 0; }
  void Free() {
    std::free(m_items);
    m_items = nullptr;
    m_count = 0;
    m_capacity = 0;
  }
  uint32_t Count() const { return m_count; }
  T* Data() { return m_items; }
  const T* Data() const { return m_items; }
  // Callers index below Count().
  T& operator[](uint32_t i) { return m_items[i]; }
  const T& operator[](uint32_t i) const { return m_items[i]; }

 private:
  T* m_items = nullptr;
  uint32_t m_count = 0;
  uint32_t m_capacity = 0;
};
