// The module diagnostics of a face as the face and the display task use
// them: open and close with the face, the bus to send requests through, a
// tick per display step, received packets, pixel tests and their result
// frames. This base keeps the state and answers as a face without modules
// would; the module diagnostics of the module bus derive from it.
#pragma once

#include <cstdint>

namespace disp {

class bus;
class face;
class frame;
class info;
class module;
class packet;
struct face_description;

class diagnostics {
 public:
  enum : uint8_t { CONSTRUCTED = 0, CLOSED = 1, OPEN = 2, TESTED = 3, TESTING = 4 };

  diagnostics() = default;
  virtual ~diagnostics() { diagnostics::Close(); }
  diagnostics(const diagnostics&) = delete;
  diagnostics& operator=(const diagnostics&) = delete;

  // False when open already, or when the face has no valid description.
  virtual bool Open(face* f);
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
  // The module records; none in the base.
  virtual bool FirstModule(uint32_t& index, module** out) { return false; }
  virtual bool NextModule(uint32_t& index, module** out) { return false; }
  virtual bool QuickTestSupported() { return false; }
  virtual uint8_t ResultsReady() { return m_byResultsReady; }
  virtual uint8_t AuxResultsReady() { return m_byAuxResultsReady; }

  bool IsOpen() const { return m_byState >= OPEN; }
  // The face's bus: requests go through it; null while the face is unbound.
  void SetBus(bus* b) { m_pBus = b; }

  bus* m_pBus = nullptr;
  uint8_t m_byState = CONSTRUCTED;
  face* m_pFace = nullptr;
  const face_description* m_pDescription = nullptr;
  uint8_t m_byResultsReady = 1;
  uint8_t m_byAuxResultsReady = 1;
  frame* m_pResults = nullptr;
  frame* m_pAuxResults = nullptr;
};

}  // namespace disp
