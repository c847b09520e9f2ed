// Message preview: the front panel shows a message on its own display
// before it is activated. The display task's parser and renderer draw the
// page into the panel's message and surface; the running message and the
// sign's surface are not touched.
#include "display/driver/lcd_display_driver.h"
#include "display/multi/colour.h"
#include "display/render/render.h"
#include "display/task/display.h"
#include "display/task/display_lock.h"

uint8_t CDisplay::CountPages(const uint8_t* text, uint32_t length) {
  if (!m_pParserRef) return 0;
  CRender* render = m_pRenderRef ? m_pRenderRef : &g_render;
  return render->CountPages(m_pParserRef, text, length);
}

bool CDisplay::LoadMessage(CSurface* surface, CLCDDisplayDriver* driver, const uint8_t* text, uint32_t length,
                           uint32_t page, CMessage* message) {
  // The running message is never a preview's.
  if (!message || message == &m_Message) return false;
  // The parser and the renderer are the display step's.
  display_lock lock(this);
  if (!lock.ok() || !m_pParserRef || !m_pRenderRef) return false;
  const CSurface& system = m_pRenderRef->Surface();

  message->m_pSurface = surface;
  if (surface) {
    if (!surface->Allocate(system.Height(), system.Width(), system.Depth())) return false;
    surface->Fill(0);
    if (driver)
      driver->Configure(static_cast<int32_t>(surface->Height()), static_cast<int32_t>(surface->Width()), 0);
  }

  if (page <= 1) {
    // A new preview starts from the MULTI defaults; a later page keeps what
    // the earlier pages left in the message.
    message->Reset(0);
    message->m_defaults.Load();
    message->ApplyDefaults();
    message->m_dwTextBackground = COLOUR_NONE;
    message->m_rects[message->Rect()] = {0, 0, static_cast<int32_t>(system.Width()),
                                         static_cast<int32_t>(system.Height())};
    message->m_byFlashMode = 0;
  }

  // A text longer than the message holds is cut to what it holds.
  message->SetText(text, length);
  if (!m_pRenderRef->ParsePage(m_pParserRef, message, page)) return false;

  if (driver && surface) CLCDDisplayDriver::RenderFrame(driver, surface);
  return true;
}
