#include "display/core/face.h"

#include "display/core/bus.h"
#include "display/core/diagnostics.h"
#include "display/frame/frame_engine.h"

namespace disp {

bool ValidateDescription(const face_description* d) {
  if (!d || !d->diag || !d->engine || !d->height || !d->width || !d->module_height || !d->module_width ||
      !d->colour_code)
    return false;
  if (d->height / d->module_height != d->module_rows) return false;
  const uint32_t most = d->width / d->module_width;
  uint32_t modules = 0;
  for (uint8_t n : d->modules_per_row) {
    if (n > most) return false;
    modules += n;
  }
  // The diagnostics keep a record for every module, and have no more.
  return d->total_modules <= diagnostics::MAX_MODULES && modules <= diagnostics::MAX_MODULES;
}

bool face::Open(face_description* d) {
  if (!d || IsOpen() || !ValidateDescription(d)) return false;
  m_pDescription = d;
  d->engine->Attach(this);
  d->diag->Open(this);
  m_byState = OPEN;
  return true;
}

bool face::Close() {
  if (!IsOpen()) return false;
  if (m_byState == BOUND) DetachBus();
  if (m_pDescription) {
    m_pDescription->diag->Close();
    m_pDescription->engine->Detach();
  }
  m_byState = CLOSED;
  return true;
}

bool face::AttachBus(bus* b) {
  if (m_byState != OPEN && m_byState != UNBOUND) return false;
  m_pBus = b;
  if (m_pDescription) m_pDescription->diag->SetBus(b);
  m_byState = BOUND;
  return true;
}

bool face::DetachBus() {
  if (m_byState != BOUND) return false;
  if (m_pDescription) m_pDescription->diag->SetBus(nullptr);
  m_pBus = nullptr;
  m_byState = UNBOUND;
  return true;
}

void face::HandlePacket(packet* p) {
  if (m_pDescription) m_pDescription->diag->HandlePacket(p);
}

void face::Refresh() {
  if (!IsOpen() || !m_pDescription) return;
  m_pDescription->engine->Commit();
  m_pDescription->diag->Tick();
}

void face::StartPixelTest() {
  if (!m_pDescription) return;
  m_pDescription->diag->ClearResults();
  m_pDescription->diag->StartPixelTest();
}

void face::FinishPixelTest() {
  if (m_pDescription) m_pDescription->diag->FinishPixelTest();
}

void face::ScanModules() {
  if (m_pDescription) m_pDescription->diag->ScanModules();
}

void face::ClearResults() {
  if (m_pDescription) m_pDescription->diag->ClearResults();
}

void face::ClearAuxResults() {
  if (m_pDescription) m_pDescription->diag->ClearAuxResults();
}

}  // namespace disp
