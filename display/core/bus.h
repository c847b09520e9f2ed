// A link to display modules, named so that faces can name the bus that
// serves them. The core keeps its buses in a list; the concrete bus turns
// received bytes into packets through its stream.
#pragma once

#include <cstdint>

#include "frame/util/impl_list.h"

namespace disp {

class core;
class stream;

class bus : public impl::node {
 public:
  enum : uint8_t { CONSTRUCTED = 0, CLOSED = 1, OPEN = 2 };

  explicit bus(bool owned = false) : impl::node(0, owned) {}
  ~bus() override { bus::Close(); }

  // False when open already or without a name or stream (neither is owned).
  virtual bool Open(const char* name, stream* s);
  virtual bool Close();
  // The base sends nothing: true while open.
  virtual bool Write(const uint8_t* bytes, uint32_t length) { return IsOpen(); }
  virtual bool Control(uint32_t a, uint32_t b, uint32_t c) { return IsOpen(); }
  // One received byte (interrupt context on the board).
  virtual void ReceiveByte() = 0;

  bool IsOpen() const { return m_byState == OPEN; }
  const char* Name() const { return m_pszName; }
  stream* Stream() const { return m_pStream; }
  core* Core() const { return m_pCore; }

  uint8_t m_byState = CONSTRUCTED;
  core* m_pCore = nullptr;
  const char* m_pszName = nullptr;
  stream* m_pStream = nullptr;
  uint32_t m_dwReserved = 0;
};

}  // namespace disp
