// The renderer seen by the display-module framework: surface_adapter
// presents the renderer's surface as a disp::frame, and render_adapter is
// the frame engine of the primary face, whose commit runs the display
// task's frame step and whose frame is that surface.
#pragma once

#include <cstdint>

#include "display/frame/frame.h"
#include "display/frame/frame_engine.h"
#include "display/render/render.h"

class surface_adapter : public disp::frame {
 public:
  explicit surface_adapter(CSurface* surface) : m_pSurface(surface) {}
  ~surface_adapter() override = default;

  // Records the size; the surface itself is sized by the renderer.
  bool Open(uint16_t height, uint16_t width, uint32_t fill, uint32_t depth) override;
  bool Close() override;
  // Depth 1: 0 / 1; depth 2: bit 0 red, bit 1 green; depth 15: the colour
  // in the upper 16 bits. False for other depths and outside the frame.
  bool GetPixel(disp::pixel& p) override;
  bool SetPixel(disp::pixel& p) override;
  // Depth 15: the surface's bytes with each pixel's two bytes exchanged,
  // cursor in bytes. Depths 1 and 2: the pixels packed as in a disp::frame
  // of that depth, cursor in pixels; true with got 0 at the end.
  bool ReadPacked(uint32_t& cursor, uint8_t* out, uint32_t length, uint32_t& got) override;
  uint32_t LitCount() override;
  uint32_t ColourType() override;
  uint16_t Height() override { return m_wHeight; }
  uint16_t Width() override { return m_wWidth; }

  // Takes the packed pointer and byte count from the surface.
  void Refresh();

  uint16_t m_wHeight = 0;
  uint16_t m_wWidth = 0;
  const uint8_t* m_pPacked = nullptr;
  uint32_t m_dwPackedBytes = 0;
  CSurface* m_pSurface;
};

class render_adapter : public disp::frame_engine {
 public:
  explicit render_adapter(CRender* renderer);
  ~render_adapter() override;

  // Opens the surface adapter with the height and width of the face's
  // description; refused without a description.
  bool Attach(disp::face* f) override;
  bool Detach() override;
  // For the face named "primary": the display task's frame step, then its
  // message-time count.
  void Commit() override;
  // The surface adapter, with the renderer's pattern mode and page times as
  // attributes a0, a1, a2.
  bool GetFrame(disp::frame** out) override;

  surface_adapter m_adapter;
  CRender* m_pRender;
  disp::face* m_pFace = nullptr;
};

// The frame engine of the primary face, over g_render.
extern render_adapter g_render_adapter;
