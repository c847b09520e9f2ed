// The display driver of the LED sign itself. The sign's pixels sit on
// display modules chained on up to nine display lines, driven through two
// pieces of programmable logic on the controller board: the EPLD (module
// bus, CAN channels, line select) and the display FPGA (frame size,
// brightness, frame layout). The driver programs the EPLD with the image of
// the sign's module type, sets the FPGA up, rewrites each rendered frame
// into the FPGA's layout and hands it to DMA channel 0, and sends the
// display lines their commands as CAN frames through the module-data
// driver.
//
// The display task owns the driver and calls it from its thread; start-up
// programs the EPLD once before the tasks run (JustProgramEPLD); the module
// diagnostics and the front panel's module pages send the line commands.
#pragma once

#include <cstdint>

#include "display/driver/display_driver.h"
#include "display/driver/module_type.h"

class can_db_driver;

class CQ5DisplayDriver : public display_driver {
 public:
  // The memory reserved for frame transfers (the board keeps it out of the
  // program's way) and its size.
  static constexpr uint32_t FRAME_BUFFER_ADDRESS = 0x00FE0000;
  static constexpr uint32_t FRAME_BUFFER_SIZE = 131072;
  // Display lines the hardware has (EPLD CAN channels 1-9).
  static constexpr uint8_t MAX_LINES = 9;
  // Programming attempts after the first that a Configure call may make.
  static constexpr uint32_t PROGRAM_RETRIES = 5;
  // DMA status reads spent waiting for the previous frame.
  static constexpr uint32_t DMA_WAIT_READS = 100000;
  // The flash file a loader may leave behind; removed before programming.
  static constexpr const char* STALE_IMAGE_FILE = "KBXXXXX.RBF";

  // Line command identifiers.
  enum : uint32_t { LINE_RESET = 16, LINE_COMMAND = 33, LINE_PIXEL_TEST = 34 };

  CQ5DisplayDriver();
  ~CQ5DisplayDriver() override = default;

  // ---- display_driver
  void SetDiagnosticsEnabled(uint8_t on) override;
  uint32_t GetMaxFrameRate() override { return 10; }
  // 0 becomes 1 (the sign never goes dark through brightness); a level above
  // the display task's maximum dimming level becomes that maximum.
  void SetBrightness(int32_t level) override;
  uint8_t GetBrightness() override { return m_byBrightness; }
  const char* GetName() override { return "DEFAULT"; }
  // Programs the EPLD when the module type changed, then sets the line
  // count and the FPGA's frame size. Always 1: the display runs with
  // whatever the EPLD holds.
  int32_t Configure(int32_t height, int32_t width, int32_t moduleType) override;
  // Converts the surface into the FPGA's layout and starts its transfer.
  // Always 0.
  int32_t WriteFrame(CSurface* surface) override;
  // The pixel test command to every line, delayTicks apart.
  void PixelTest(uint32_t delayTicks) override;

  // ---- start-up
  // Programs the EPLD with the image of the table's first row.
  static void JustProgramEPLD();

  // ---- line select and lines
  void SelectLine(uint32_t line);
  int32_t NextLine();
  static uint8_t ReadLayoutCode();
  // A line, or every line (-1) 50 ticks apart: the lines answer with their
  // module revisions.
  void ResetLines(int32_t line) override;
  void RequestModuleInfo(uint32_t line);
  void RequestModuleSubtype(uint32_t line);
  void RequestVoltTemp(uint32_t line);
  void RequestNextInfo(uint32_t line);
  void SendModuleSetting(uint8_t a, uint8_t b, uint8_t c);
  // The last send's result.
  uint32_t SendToAllLines(const uint8_t* data, uint32_t length);
  void RestoreModuleDefaults();
  void SetModuleTestMode(uint32_t mode, uint32_t moduleType);
  // Called on every display-task cycle while a module-driven test pattern
  // runs: sent every fifth call, and at once when switched off.
  void SendModuleMode6(uint32_t on);
  void SendModuleMode20(uint32_t on);
  void SendModuleMode14(uint32_t on);
  void SendModuleModes14And15(uint32_t on);

  // ---- driver-wide values (one sign driver exists)
  static uint8_t LineCount() { return s_byLineCount; }
  // 1 once Configure finished a programming pass; 0 while the EPLD is being
  // programmed and at power-up.
  static uint8_t EpldReady() { return s_byEpldReady; }
  static uint8_t GammaSelect() { return s_byGammaSelect; }
  static void SetGammaSelect(uint8_t select) { s_byGammaSelect = select; }
  // The module-data driver the line commands go through (null: they are
  // dropped, as before the driver is initialised).
  static void SetLineDriver(can_db_driver* driver) { s_pLineDriver = driver; }
  static can_db_driver* LineDriver() { return s_pLineDriver; }
  // What the CAN drivers ask: whether the EPLD is programmed, and the frame
  // rate of the display's first output.
  static uint32_t EpldReadyQuery() { return s_byEpldReady; }
  static uint32_t FrameRateQuery();
  // Back to the state after power-up: the object as constructed and the
  // driver-wide values (a controller started again in the same process,
  // tests).
  void PowerOn();

  uint32_t m_dwSelectedLine = 0;
  uint8_t m_byBrightness = 0;
  uint8_t m_byReady = 1;

 private:
  // One programming pass for a row. *retries counts the failed attempts of
  // this Configure call. False when no buffer block could be had.
  bool ProgramPass(const module_type_row* row, uint32_t* retries, bool* programmed);
  void ClearLineSelect();
  uint32_t SendLine(uint32_t line, uint32_t id, const uint8_t* data, uint32_t length);
  void SendAll(uint32_t id, const uint8_t* data, uint32_t length);
  // The repeat rule of the module-driven test patterns: true when this call
  // sends.
  static bool RepeatDue(uint8_t* counter, uint32_t on, bool atLeast);

  // The last frame that did not fit the buffer was reported (until one fits).
  bool m_bOversizeReported = false;
  bool m_bNoBufferReported = false;

  static uint8_t s_byLineCount;
  static uint8_t s_byEpldReady;
  static uint8_t s_byGammaSelect;
  static uint8_t s_byMode6Count, s_byMode20Count, s_byMode14Count, s_byMode14And15Count;
  static can_db_driver* s_pLineDriver;
};

// The sign's driver of the running controller.
extern CQ5DisplayDriver g_q5_display_driver;
