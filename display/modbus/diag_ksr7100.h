// The module diagnostics of the controller's module bus. They know the
// display modules behind the face through the distribution board and the
// CAN lines of the module bus: which board feeds the modules (its
// identification reply to the configuration requests sent every 100
// display steps), what each module reports of itself, which modules
// answer, and which pixels failed the last pixel test. Results are kept in
// frames and published as result tables of the database.
//
// Threads: the display task (Tick, pixel tests, clearing, polling), the
// job-queue thread (HandlePacket and what it calls) and the front panel
// (the queries). "Diag Mutex" serialises the parts that change shared
// state.
//
// CAN lines: the modules of a face hang on up to 9 lines (0-8 here, CAN
// channels 1-9). Line n serves module row n; when a row has more modules
// than one line serves (modules per CAN line, counted in thirds for
// modules 15 pixels wide), every row takes two lines: 2n the first modules
// of the row, 2n + 1 the rest.
#pragma once

#include <cstdint>

#include "display/core/diagnostics.h"
#include "display/frame/frame.h"
#include "display/modbus/info.h"

class display_driver;
class can_db_driver;
struct can_packet;

// What the diagnostics hand to other subsystems: the bootloader replies of
// a board being reprogrammed (front panel) and the serial stream bytes for
// communication port 5. Null: dropped.
struct module_link_services {
  void (*reprogram_response)(uint32_t channelIndex, uint32_t id, uint32_t length, const uint8_t* data) = nullptr;
  void (*laptop_put_byte)(uint8_t byte) = nullptr;
};
extern module_link_services g_module_link_services;

class diag_ksr7100 : public disp::diagnostics {
 public:
  // EPLD module-response registers: one word per line (0x80 + 4 line) or
  // two (0x80 + 8 line, + 4). Writing 0 to the first resets them all.
  static constexpr uint32_t EPLD_MODULE_RESPONSES = 0xF0500080;
  static constexpr uint32_t LINES = 9;
  static constexpr uint32_t LINE_POSITIONS = 64;
  // Status word: bit 31, the board status changed.
  static constexpr uint32_t STATUS_CHANGED = 0x80000000;
  // Refresh steps between configuration requests, and the unanswered
  // requests after which the board counts as not responding.
  static constexpr uint16_t CONFIGURATION_PERIOD = 100;
  static constexpr uint16_t CONFIGURATION_UNANSWERED = 10;
  // The link rate used when a board of code 27 identifies itself before any
  // rate was set.
  static constexpr uint32_t DEFAULT_LINK_RATE = 115200;
  // Scans without an answer after which a module is missing.
  static constexpr uint8_t PRESENCE_MISSING = 50;
  // The poll counter's cycle; one request goes out at each of its marks.
  static constexpr uint16_t POLL_CYCLE = 100;
  // The least module time-out sent to the modules.
  static constexpr uint16_t MIN_MODULE_TIMEOUT = 10;
  // Result frames, in table-slot order.
  enum : uint32_t { FRAME_RESULTS, FRAME_AUX, FRAME_VOLTAGE1, FRAME_VOLTAGE2, FRAME_TEMPERATURE, FRAMES };

  diag_ksr7100();
  ~diag_ksr7100() override;

  // ---- disp::diagnostics
  bool Open(disp::face* f) override;
  bool Close() override;
  bool StartPixelTest() override;
  bool FinishPixelTest() override;
  void Tick() override;
  // Always false: the packet is the stream's and stays with it.
  bool HandlePacket(disp::packet* p) override;
  bool ClearResults() override;
  bool ClearAuxResults() override;
  void ReadModuleResponses() override;
  // The presence scan: from the EPLD's response bits, with a debounce of
  // PRESENCE_MISSING scans, which modules answer; the pixels of a missing
  // module are marked failed, and cleared when it is back.
  void ScanModules() override;
  bool TakeChangeFlag() override;
  bool GetBoardInfo(disp::info** out) override;
  bool GetModuleValue(uint32_t index, int8_t& out) override;
  bool QuickTestSupported() override { return CheckModuleRevisions(); }

  // ---- board
  // A kind-5 packet: the identification reply of a distribution or
  // production board.
  void IdentifyDistributionBoard(const disp::packet& p);
  // Remembers the link rate and, while the second stream is active and a
  // bus is bound, sends the link-rate frame. False for a rate of 0.
  bool SetModuleBaud(uint32_t rate);
  void ResendConfiguration();
  void CountUnansweredConfiguration();
  // A kind-30 packet: the results of a class-2 test are ready.
  void HandleTestDone(const disp::packet& p);

  // ---- pixel tests
  // The pixel-test command to every line, `pause` ticks apart.
  void SendPixelTestCommand(uint32_t pause, uint8_t flag);
  void SendResultRequest();
  // Asks line `line` for its results (quick test).
  void RequestLineResults(uint32_t line);
  // The last line's response word (or either of its two) is not 0.
  bool LastLineResponded();
  // Every identified module supports the quick test (and there is one).
  bool CheckModuleRevisions();

  // ---- module replies and pixel reports
  void ProcessModuleReply(const can_packet& frame);
  // Column and row of the module that sent a reply; false for a channel
  // outside 1-9, a position the line does not serve, or a module the face
  // does not have.
  bool LocateModule(const can_packet& frame, uint32_t& column, uint32_t& row);
  // One pixel report of line `line` (channel - 1): its failed pixels into
  // the result frame during a test, else into the aux frame. The layout
  // follows the face's module type; unknown types mark nothing.
  void DecodePixelErrors(uint32_t line, uint32_t id, uint32_t length, const uint8_t* data);
  // Pixel (row, column), both from 1: failure `code` (0 clears, outside a
  // test only) of colour 1-3, or of all the face's colours for colour 0
  // or above 3. Positions outside the modules of their module row are
  // ignored.
  void MarkPixel(int32_t row, int32_t column, uint8_t code, uint32_t colour);
  // Every pixel of the module at `position` of line `line`.
  void MarkModule(uint32_t line, uint32_t position, uint8_t code, uint32_t colour);
  bool PixelInModules(int32_t row, int32_t column) const;

  // ---- polling
  // One display step of the poll schedule: one request at a time to one
  // line through the sign driver, and the modules of that line lost after
  // LOST_AFTER requests without a reply. `driver` is the display task's
  // active driver (null or another driver: nothing is sent).
  void PollModules(display_driver* driver);

  // ---- queries
  uint8_t GetModuleType();
  uint8_t GetEffectiveModuleType();
  bool HasNonGen4Modules();
  uint8_t MinimumRevision();
  // Status 6 with the figures over the measured modules; 3 when every
  // module is lost, 5 when none has measured; 1 for module types without
  // temperatures.
  uint32_t GetModuleTemperatureStats(int8_t& average, int8_t& minimum, int8_t& maximum);

  // ---- line model
  // Lines of the face (module rows, doubled when rows are split).
  uint32_t LineCount() const;
  // Rows take two lines each.
  bool SplitLines() const;
  // Modules one line serves (thirds for modules 15 pixels wide).
  uint32_t ModulesPerLine() const;
  // The modules a line serves: their module row, the column of the first
  // and how many there are (0 for a line the face does not use).
  uint32_t LineRow(uint32_t line) const;
  uint32_t LineFirstColumn(uint32_t line) const;
  uint32_t LineModules(uint32_t line) const;
  // The record of the module at (column, row); ModuleCount() when there is
  // none.
  uint32_t RecordIndex(uint32_t column, uint32_t row) const;

  // ---- what the diagnostics share with the display task (null: the
  // controller's display task, or the diagnostics' own bytes without one)
  void SetDisplayFlags(uint8_t* secondStreamActive, uint8_t* moduleInfoC) {
    m_pSecondStreamActive = secondStreamActive;
    m_pModuleInfoC = moduleInfoC;
  }
  // The sign display driver's line count (the quick test's last line).
  typedef uint8_t (*line_count_query)();
  void SetLineCountQuery(line_count_query q) { m_pLineCount = q; }
  // The display task's pixelTestRunning flag and displayState.
  void SetTestState(const uint8_t* pixelTestRunning, const uint32_t* displayState) {
    m_pPixelTestRunning = pixelTestRunning;
    m_pDisplayState = displayState;
  }

  disp::frame m_Frames[FRAMES];
  uint32_t m_dwSlots[FRAMES];
  disp::info m_BoardInfo[2];
  uint16_t m_wTestCountdown = 0;
  uint16_t m_wStepCountdown = 0;
  uint16_t m_wConfigCountdown = 0;
  uint16_t m_wUnansweredConfig = 0;
  uint8_t m_byResultLine = 0;
  uint8_t m_byCollecting = 0;
  uint16_t m_wPollCounter = 0;
  uint32_t m_dwPollLine = 0;
  uint8_t m_byRealtimeReading = 1;
  display_driver* m_pDisplayDriver = nullptr;
  uint32_t m_dwResponse[LINES][2] = {};
  uint8_t m_byPresence[LINES][LINE_POSITIONS] = {};
  uint32_t m_dwStatus = 0;
  uint32_t m_dwLinkRate = 0;
  uint8_t m_byEarlyFinish = 0;
  // Bit n of line l: module position n of the line is present.
  uint32_t m_dwPresentMap[LINES] = {};
  // Guard-byte errors found by CheckModuleRevisions, never reset.
  uint32_t m_dwGuardErrors = 0;
  // The last "next info" reply reported a single input voltage.
  uint8_t m_bySingleInput = 0;

 private:
  uint8_t& SecondStreamActive();
  uint8_t& ModuleInfoC();
  uint8_t SignLineCount();
  uint32_t SignSelectedLine();
  uint8_t PixelTestRunning() const;
  uint32_t DisplayState() const;
  // Unanswered requests + 1 for the modules of the poll line.
  void CountUnansweredRequests(uint32_t line);
  // The failure bits of (code, colour) on this face.
  uint8_t FailureBits(uint8_t code, uint32_t colour) const;
  bool TwoResponseWords() const;
  void ClearLineState();
  void SetModuleValues(const disp::module& m, uint16_t v1, uint16_t v2, int8_t temperature);
  void Identify(disp::module& m, const uint8_t* data, uint32_t length, uint32_t index, const can_packet& frame,
                const char* trace);
  void SendToBus(const uint8_t* bytes, uint32_t n);

  uint8_t* m_pSecondStreamActive = nullptr;
  uint8_t* m_pModuleInfoC = nullptr;
  uint8_t m_bySecondStreamOwn = 0;
  uint8_t m_byModuleInfoCOwn = 0;
  line_count_query m_pLineCount = nullptr;
  const uint8_t* m_pPixelTestRunning = nullptr;
  const uint32_t* m_pDisplayState = nullptr;
};

// The controller's module diagnostics (the primary face's).
extern diag_ksr7100 g_diag_ksr7100;
