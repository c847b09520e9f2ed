#include "display/render/render.h"

#include "display/multi/multi_hooks.h"
#include "display/render/render_hooks.h"

render_hooks_s g_render_hooks = {};

CRender::CRender() : m_dwPatternMode(0), m_byAttribute1(0), m_byAttribute2(0), m_byFrameRate(2) {}

CRender::~CRender() { m_surface.Free(); }

bool CRender::SizeSurface(uint32_t height, uint32_t width, uint8_t depth) {
  return m_surface.Allocate(height, width, depth) != nullptr;
}

uint32_t CRender::Load(CParser* parser, CMessage* message, const uint8_t* text, uint32_t length) {
  return parser ? parser->Load(this, &CRender::Callback, message, text, length) : 0;
}

bool CRender::ParsePage(CParser* parser, CMessage* message, uint32_t page) {
  return parser && parser->ParsePage(this, &CRender::Callback, message, page);
}

bool CRender::NextPage(CParser* parser, CMessage* message) { return parser && parser->NextPage(message); }

bool CRender::CurrentPage(CParser* parser, CMessage* message) { return parser && parser->CurrentPage(message); }

bool CRender::Restart(CParser* parser, CMessage* message) { return parser && parser->Restart(message); }

uint8_t CRender::CountPages(CParser* parser, const uint8_t* text, uint32_t length) {
  return parser ? parser->CountPages(text, length) : 0;
}

uint32_t CRender::Validate(CParser* parser, CMessage* message, const uint8_t* text, uint32_t length) {
  return parser ? parser->Validate(this, &CRender::Callback, message, text, length) : 0;
}

uint32_t CRender::Callback(void* renderer, CMessage* message) {
  return OnFieldFound(static_cast<CRender*>(renderer), message);
}

namespace {

uint8_t global_frame_rate() { return g_render.m_byFrameRate; }

}  // namespace

void render_install_hooks() { g_multi_hooks.frame_rate = &global_frame_rate; }
