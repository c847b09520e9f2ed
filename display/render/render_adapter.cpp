#include "display/render/render_adapter.h"

#include <cstring>

#include "display/frame/face_description.h"
#include "display/render/render_hooks.h"

// ---------------------------------------------------------- surface_adapter

bool surface_adapter::Open(uint16_t height, uint16_t width, uint32_t, uint32_t) {
  m_wHeight = height;
  m_wWidth = width;
  return true;
}

bool surface_adapter::Close() { return true; }

uint32_t surface_adapter::ColourType() { return m_pSurface ? m_pSurface->Depth() : 0; }

bool surface_adapter::GetPixel(disp::pixel& p) {
  if (!m_pSurface || p.x >= m_wWidth || p.y >= m_wHeight) return false;
  const uint32_t colour = m_pSurface->GetPixel(p.x, p.y);
  switch (m_pSurface->Depth()) {
    case 1:
      p.value = colour ? 1 : 0;
      return true;
    case 2:
      // An unlit pixel reads 0, whatever the pixel object held before.
      p.value = ((colour & 0x7C00) ? 1u : 0u) | ((colour & 0x0370) ? 2u : 0u);
      return true;
    case 15:
      p.value = colour << 16 | colour >> 16;
      return true;
  }
  return false;
}

bool surface_adapter::SetPixel(disp::pixel& p) {
  if (!m_pSurface) return false;
  uint32_t colour;
  switch (m_pSurface->Depth()) {
    case 1:
    case 15:
      colour = p.value;
      break;
    case 2:
      // The colours the surface stores as bit 0 (red) and bit 1 (green),
      // so that a value reads back as it was written.
      colour = ((p.value & 1) ? 0x001Fu : 0u) | ((p.value & 2) ? 0x03E0u : 0u);
      break;
    default:
      return false;
  }
  m_pSurface->SetPixel(p.x, p.y, colour);
  return true;
}

void surface_adapter::Refresh() {
  m_pPacked = m_pSurface ? m_pSurface->Pixels() : nullptr;
  m_dwPackedBytes = m_pSurface && m_pSurface->IsAllocated() ? m_pSurface->Size() : 0;
}

bool surface_adapter::ReadPacked(uint32_t& cursor, uint8_t* out, uint32_t length, uint32_t& got) {
  got = 0;
  if (!m_pSurface) return false;
  const uint8_t depth = m_pSurface->Depth();
  if (depth == 15) {
    Refresh();
    if (!out || !m_pPacked || cursor >= m_dwPackedBytes) return false;
    std::memset(out, 0, length);
    const uint32_t left = m_dwPackedBytes - cursor;
    const uint32_t n = length < left ? length : left;
    // Big-endian 16-bit pixels out as little-endian ones; the byte count
    // is even, so the partner of every byte lies inside the store.
    for (uint32_t k = 0; k < n; ++k) out[k] = m_pPacked[(cursor + k) ^ 1u];
    cursor += n;
    got = n;
    return true;
  }
  if (depth != 1 && depth != 2) return false;
  if (!out || length == 0 || m_wWidth == 0) return false;
  std::memset(out, 0, length);
  const uint32_t bits = depth;
  const uint64_t capacity = static_cast<uint64_t>(length) * 8;
  uint32_t x = cursor % m_wWidth;
  uint32_t y = cursor / m_wWidth;
  uint64_t bit = 0;
  while (y < m_wHeight) {
    disp::pixel p(static_cast<uint16_t>(x), static_cast<uint16_t>(y));
    if (!GetPixel(p)) p.value = 0;
    for (uint32_t b = 0; b < bits && bit + b < capacity; ++b)
      if ((p.value >> b) & 1) out[(bit + b) / 8] |= static_cast<uint8_t>(1u << ((bit + b) % 8));
    const bool complete = bit + bits <= capacity;
    bit += bits;
    if (bit >= capacity) {
      if (complete && ++x >= m_wWidth) {
        x = 0;
        ++y;
      }
      cursor = x + y * m_wWidth;
      got = length;
      return true;
    }
    if (++x >= m_wWidth) {
      x = 0;
      ++y;
    }
  }
  cursor = x + y * m_wWidth;
  got = static_cast<uint32_t>((bit + 7) / 8);
  return true;
}

uint32_t surface_adapter::LitCount() {
  if (!m_pSurface || !m_pSurface->IsAllocated()) return 0;
  uint32_t lit = 0;
  for (uint32_t y = 0; y < m_wHeight; ++y)
    for (uint32_t x = 0; x < m_wWidth; ++x) {
      disp::pixel p(static_cast<uint16_t>(x), static_cast<uint16_t>(y));
      if (GetPixel(p) && p.value) ++lit;
    }
  return lit;
}

// ----------------------------------------------------------- render_adapter

render_adapter::render_adapter(CRender* renderer)
    : m_adapter(renderer ? &renderer->Surface() : nullptr), m_pRender(renderer) {}

render_adapter::~render_adapter() {
  if (IsAttached()) render_adapter::Detach();
}

bool render_adapter::Attach(disp::face* f) {
  if (IsAttached() || !f) return false;
  const disp::face_description* d = g_render_hooks.face_description ? g_render_hooks.face_description(f) : nullptr;
  if (!d) return false;
  if (!disp::frame_engine::Attach(f)) return false;
  m_pFace = f;
  m_adapter.Open(d->height, d->width, 0, d->depth);
  return true;
}

bool render_adapter::Detach() {
  if (!disp::frame_engine::Detach()) return false;
  m_pFace = nullptr;
  m_adapter.Close();
  return true;
}

void render_adapter::Commit() {
  if (!IsAttached() || !m_pFace || !g_render_hooks.face_description) return;
  const disp::face_description* d = g_render_hooks.face_description(m_pFace);
  if (!d || std::strncmp(d->face_name, "primary", sizeof d->face_name) != 0) return;
  if (g_render_hooks.frame_step) g_render_hooks.frame_step();
  if (g_render_hooks.count_message_time) g_render_hooks.count_message_time();
}

bool render_adapter::GetFrame(disp::frame** out) {
  if (!out) return false;
  if (m_pRender) {
    m_adapter.m_attributes.a0 = static_cast<uint8_t>(m_pRender->m_dwPatternMode);
    m_adapter.m_attributes.a1 = m_pRender->m_byAttribute1;
    m_adapter.m_attributes.a2 = m_pRender->m_byAttribute2;
  }
  m_adapter.Refresh();
  *out = &m_adapter;
  return true;
}
