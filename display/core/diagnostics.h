// The module diagnostics of a face as the face and the display task use
// them: open and close with the face, the bus to send requests through, a
// tick per display step, received packets, pixel tests and their result
// frames, and one record per display module of the face. This base keeps
// the state and the records and answers as a face without module bus
// would; the module diagnostics of the module bus derive from it.
//
// "Diag Mutex" serialises what the display task, the job-queue thread and
// the front panel change; its owner may take it again.
#pragma once

#include <cstdint>

#include "display/core/module.h"
#include "tx_api.h"

namespace disp {

class bus;
class face;
class frame;
class info;
class packet;
struct face_description;

class diagnostics {
 public:
  enum : uint8_t { CONSTRUCTED = 0, CLOSED = 1, OPEN = 2, TESTED = 3, TESTING = 4 };
  // Module records a face can have.
  static constexpr uint32_t MAX_MODULES = 576;

  diagnostics() = default;
  virtual ~diagnostics() { diagnostics::Close(); }
  diagnostics(const diagnostics&) = delete;
  diagnostics& operator=(const diagnostics&) = delete;

  // False when open already, or when the face has no valid description.
  // Makes the mutex and opens one module record per module of the face.
  virtual bool Open(face* f);
  // Closes the records and deletes the mutex.
  virtual bool Close();
  // Only open (2 or 3): the test runs (4).
  virtual bool StartPixelTest();
  // Only while a test runs: 3.
  virtual bool FinishPixelTest();
  virtual void Tick() {}
  virtual bool HandlePacket(packet* p) { return IsOpen(); }
  // Clears the result frame; false when not open or without one.
  virtual bool ClearResults();
  virtual bool ClearAuxResults();
  virtual void ScanModules() {}
  virtual void ReadModuleResponses() {}
  virtual bool TakeChangeFlag() { return false; }
  virtual bool GetBoardInfo(info** out) { return false; }
  virtual bool GetModuleInfo(void* arg) { return false; }
  // The module records in record order (module rows top to bottom, each
  // left to right): the first, then the next after index; false past the
  // last.
  virtual bool FirstModule(uint32_t& index, module** out);
  virtual bool NextModule(uint32_t& index, module** out);
  // The measured temperature of module `index` while it answers and has
  // measured; false otherwise (and always in the base).
  virtual bool GetModuleValue(uint32_t index, int8_t& out) { return false; }
  virtual bool QuickTestSupported() { return false; }
  virtual uint8_t ResultsReady() { return m_byResultsReady; }
  virtual uint8_t AuxResultsReady() { return m_byAuxResultsReady; }

  bool IsOpen() const { return m_byState >= OPEN; }
  // The face's bus: requests go through it; null while the face is unbound.
  void SetBus(bus* b) { m_pBus = b; }
  // The module records in use (the face's total modules, at most 576).
  uint32_t ModuleCount() const;
  module* Module(uint32_t index) { return index < ModuleCount() ? &m_Modules[index] : nullptr; }

  // "Diag Mutex". Lock waits for ever; false when it was not obtained. A
  // diagnostics object without a mutex (no kernel) runs unlocked.
  bool Lock();
  void Unlock();

  bus* m_pBus = nullptr;
  uint8_t m_byState = CONSTRUCTED;
  face* m_pFace = nullptr;
  const face_description* m_pDescription = nullptr;
  TX_MUTEX m_Mutex{};
  bool m_bMutexCreated = false;
  uint8_t m_byResultsReady = 1;
  uint8_t m_byAuxResultsReady = 1;
  frame* m_pResults = nullptr;
  frame* m_pAuxResults = nullptr;
  module m_Modules[MAX_MODULES];
};

// Holds "Diag Mutex" for a scope.
class diag_lock {
 public:
  explicit diag_lock(diagnostics& d) : m_d(d), m_bOk(d.Lock()) {}
  ~diag_lock() {
    if (m_bOk) m_d.Unlock();
  }
  diag_lock(const diag_lock&) = delete;
  diag_lock& operator=(const diag_lock&) = delete;
  bool ok() const { return m_bOk; }

 private:
  diagnostics& m_d;
  bool m_bOk;
};

}  // namespace disp
