// The renderer: owns the pixel surface of the sign face, the frame rate and
// the frame attribute bytes, and drives the MULTI parser with its own
// render callback (OnFieldFound), which lays pages out in the measuring
// pass and draws them into the message's target surface in the drawing
// pass. Every redraw of a page advances its flashing and moving text by one
// frame.
#pragma once

#include <cstdint>

#include "display/message/message.h"
#include "display/multi/parser.h"
#include "display/surface/surface.h"

// Bytes of a field's text (time, temperature, speed, character).
constexpr uint32_t RENDER_FIELD_SIZE = 50;

class CRender {
 public:
  CRender();
  virtual ~CRender();
  CRender(const CRender&) = delete;
  CRender& operator=(const CRender&) = delete;

  // Sizes the surface (depth 1 or 15 for the sign); false when the store
  // can't be had.
  bool SizeSurface(uint32_t height, uint32_t width, uint8_t depth);

  // The parser operations with this renderer as context and Callback as
  // render callback.
  uint32_t Load(CParser* parser, CMessage* message, const uint8_t* text, uint32_t length);
  bool ParsePage(CParser* parser, CMessage* message, uint32_t page);
  bool NextPage(CParser* parser, CMessage* message);
  bool CurrentPage(CParser* parser, CMessage* message);
  bool Restart(CParser* parser, CMessage* message);
  uint8_t CountPages(CParser* parser, const uint8_t* text, uint32_t length);
  uint32_t Validate(CParser* parser, CMessage* message, const uint8_t* text, uint32_t length);

  // The render callback: context is the CRender.
  static uint32_t Callback(void* renderer, CMessage* message);
  // Handles the message's pending render event; 2 when fine, else a MULTI
  // error code with the message's error position set where it is known.
  static uint32_t OnFieldFound(CRender* renderer, CMessage* message);

  CSurface& Surface() { return m_surface; }

  uint32_t m_dwPatternMode;  // low byte travels as frame attribute a0
  uint8_t m_byAttribute1;    // a1: the shown page's on time
  uint8_t m_byAttribute2;    // a2: its off time
  uint8_t m_byFrameRate;     // frames per second
  CSurface m_surface;
};

// The renderer that draws the sign.
extern CRender g_render;

// Points the MULTI parser's frame-rate hook at the global renderer, so that
// flash and moving-text times count in its frames.
void render_install_hooks();
