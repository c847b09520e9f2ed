// The "Display" task: the one thread that owns the picture on the sign. Its
// object holds the sign's display driver and the front panel's mirror, the
// display faces and their descriptions, the running message with its
// parser, and the bookkeeping of brightness and pixel tests. Every period
// (10 ticks at ten frames a second) it runs one step, Process, in a fixed
// order that ends with the refresh of every face; the primary face's
// refresh runs the frame step, which draws the next frame and counts the
// running message's time.
//
// The task is reached three ways: letters in its inbox, bits of the
// database's event flags it takes once per step, and direct calls of its
// operations from other threads (start-up, the SNMP agent, the front
// panel).
#pragma once

#include <cstdint>

#include "display/core/face.h"
#include "display/driver/display_driver.h"
#include "display/driver/lcd_display_driver.h"
#include "display/driver/module_type.h"
#include "display/frame/frame.h"
#include "display/frame/face_description.h"
#include "display/message/message.h"
#include "display/multi/parser.h"
#include "frame/bus/subscriber.h"
#include "frame/task/task_base.h"
#include "tx_api.h"

class CRender;
class CPeripheral;
class CFileSystem_Driver;
struct fs_media;
enum fs_status : uint32_t;

namespace disp {
class bus;
class core;
class diagnostics;
class frame;
class frame_engine;
class info;
class stream;
}  // namespace disp

// Set by changes of the sign's geometry (module type, pixel diagnostics
// option, sign access, pixel size, line lengths).
constexpr uint32_t DB_FLAG_DISPLAY_CONFIG = 0x40000000;

// The module class of a module type: 4 for the module types of the current
// generation, else 2 or 3 by the type's row.
uint8_t module_type_class(uint32_t module_type);

class CDisplay : public CTaskBase {
 public:
  enum : uint32_t {
    STATE_NONE = 0,
    STATE_TEST_PATTERN = 1,
    STATE_HALTED = 2,  // for a pixel test
    STATE_BLANK = 3,
    STATE_START_MESSAGE = 4,
    STATE_PAGE_ON = 5,
    STATE_PAGE_OFF = 6,
    STATE_REPROGRAM = 7,
  };
  // capFlags bits.
  enum : uint32_t { CAP_ENABLED = 0x80000000, CAP_MEASURE = 0x40000000 };
  static constexpr uint32_t FACES = 2;
  static constexpr uint32_t WINDOWS = 12;
  // Levels of a stored brightness table, and of a table once spread (a
  // spread table of 16, 18, 52 or 86 levels reaches 256).
  static constexpr uint32_t BRIGHT_LEVELS = 255;
  static constexpr uint32_t BRIGHT_SPREAD_LEVELS = 256;
  static constexpr uint32_t STACK_SIZE = 20480;

  struct window_s {
    uint32_t x, width, y, height;
  };
  struct bright_level_s {
    uint16_t output, up, down;
  };
  // The running message's per-page settings, kept across a page's drawing.
  struct render_state_s {
    uint8_t flash_mode;
    uint8_t line_justification[MSG_RECTANGLES];
    uint8_t page_justification[MSG_RECTANGLES];
    uint8_t font;
    uint32_t foreground;
    uint32_t text_background;
    int32_t char_spacing;
    uint32_t page_background;
  };

  explicit CDisplay(post_office* router);
  ~CDisplay() override;

  // ---- task
  // Creates thread and timer, then sets the refresh rate to the renderer's.
  // A new life of the task's kernel objects: the "Activate Msg" mutex is
  // made again by the next RegisterFaces (and only by that one).
  int Create(TX_BYTE_POOL* pool);
  int Subscribe();
  int Process() override;
  static void TaskEntry(ULONG);
  static void TimerFunction(ULONG);

  // ---- start-up and configuration
  // The module-type row of mib_nv.quorModuleID.
  const module_type_row* ReadModuleColourDepth();
  // Registers the faces and configures the drivers: the renderer's frame
  // rate, or 0 when the sign driver could not be set up.
  uint8_t RegisterFaces(uint16_t height, uint16_t width, uint8_t colourCode);
  void ReloadDisplayConfiguration();
  void ClearUnusedLineLengths();

  // ---- per step
  void MirrorFrameToPanel(disp::frame* frame);
  uint8_t LitRatioCap(disp::face* f);
  void StateMachine_MessageHandler();
  void ServiceRequests();

  // ---- frame step and message time
  void FrameStep();
  void CountMessageTime();
  void ActivateEndDurationMessage();
  void SaveRenderState(CMessage* message);
  void RestoreRenderState(CMessage* message);
  // What an activation hands the display task: the text becomes the
  // running message (loaded with the current MULTI defaults), its pages
  // are counted, and the next frame step starts it (or blanks the sign).
  void StartMessage(const uint8_t* text, uint32_t length, bool blank);

  // ---- activation slots and arbitration (display/activation/slots.cpp)
  static constexpr uint32_t SLOTS = 7;
  static constexpr uint32_t REQUEST_SLOT = 6;  // every ordinary request
  // The first slot, 0 to 6, holding a 12-byte code that is not all zero.
  bool determine_msg_to_run(uint8_t* slot);
  // Arbitrates the slots and activates the winner (or the fail-safe blank
  // message when no slot holds a code).
  void handle_activate_msg();
  // Takes the central request (mib_v.dmsActivateMessage) into slot 6 and
  // arbitrates, under the display lock.
  void ProcessActivateRequest();
  void StartSlotTimer(uint8_t slot);
  // Rewrites the slot's duration with the minutes left until its end time;
  // false when none are left.
  bool UpdateSlotDuration(uint8_t slot);
  bool IsNewSlotActivation(uint8_t lastSlot, uint8_t slot);

  // ---- validation and activation (display/activation/)
  // The whole path for one code: prepare, validate, activate, record. The
  // result is an NTCIP activation error (2 = activated).
  uint32_t request_activation(const uint8_t* code, uint32_t length, uint8_t slot, bool record, uint8_t sourceMode,
                              uint8_t reason);
  // Decodes the code and fetches the message's row into the record.
  uint32_t PrepareActivation(const uint8_t* code, uint32_t length, CMessageActivation* activation);
  // The checks of a prepared record, the trial parse last.
  uint32_t ValidateActivation(CMessageActivation* activation);
  void ActivateMessage(CMessageActivation* activation, uint8_t slot);
  void RecordActivationResult(uint32_t result);
  void StoreActivateDefaults();

  // ---- message tables (display/tables/)
  // The status pass over the volatile and the main message table.
  void ProcessMessageTable();
  // Parses a stored message for validation and records the outcome in the
  // validation error objects; true when it parses.
  bool ValidateMulti(const uint8_t* text, uint32_t length, uint32_t mode);
  // The validating parse shared by both checks: the MULTI error code
  // (2 when fine) and its position; 0 without a parser or memory.
  uint32_t TrialParse(const uint8_t* text, uint32_t length, uint32_t* position);

  // ---- messages and requests of the task
  void UpdateSignDimensions();
  // Follows bit 5 of the special features (tolerant mode) when it changed.
  void ApplyTolerantModeChange();
  void CountPermanentMessages();
  void ServiceFontStatus();

  // ---- brightness (display_brightness.cpp)
  // One evaluation by the illumination control mode; force starts the
  // photocell search from level 0 again.
  void UpdateBrightness(bool force);
  // Decodes mib_nv.dmsIllumBrightnessValues into the level table (a
  // refused table is replaced by a built-in one) and spreads short tables.
  void LoadBrightnessTable();
  // Writes the built-in table that bit 3 of the special features selects,
  // when that bit changed.
  void ApplyBrightnessDefaults();
  // The built-in tables: the short one of 8 levels and the long one of 248,
  // as stored in mib_nv.dmsIllumBrightnessValues.
  static const uint8_t* BuiltinBrightnessTable(bool shortTable, uint32_t* length);

  // ---- sign identification, colour and refresh rate (display_info.cpp)
  // Default colours for the module's colour type.
  void ReconfigureColours();
  // Every setting that depends on the module type and the hardware.
  void UpdateDriverInfo();
  // Limits the size to what the module type allows and stores it.
  void SetSignGeometry(uint16_t moduleType, uint16_t height, uint16_t width, uint8_t moduleHeight,
                       uint8_t moduleWidth);
  void SetRefreshRate(uint8_t framesPerSecond);
  void SetBitsPerColour(uint8_t bits);
  uint8_t BitsPerColour() const { return m_byBitsPerColour; }
  bool SetFaceFrameRate(disp::face_description* d);
  void FillFaceDescription(disp::face_description* d);
  void ComputeLineLengths(disp::face_description* d);
  // The sign model text and the serial numbers of the module table.
  void BuildModelString();
  // Keeps the module-temperature peripheral for module class 4 and removes
  // it for the others; 1 when it is as it should be.
  int UpdateTemperatureSensor();
  // Whether enough modules of the primary face are hotter than limit (module
  // class 4 only).
  bool ModulesOverTemperature(int8_t limit);

  // ---- graphic table (display/tables/graphic_table.cpp)
  // The status pass: modify, ready-for-use (with the graphic ID) and
  // not-used requests of the 50 rows.
  void ProcessGraphicTable();

  // ---- bitmap files and memory management (display_memory.cpp)
  // Removes the files of "Bitmaps/" that no valid permanent, changeable or
  // volatile message names; the driver's status of the directory walk.
  fs_status PurgeUnusedBitmaps(CFileSystem_Driver* driver, fs_media* media);
  // Whether a valid message of the memory type (2, 3 or 4) names the
  // bitmap file of that base name.
  bool IsBitmapReferenced(uint8_t memoryType, const char* name);
  // The position of the file name in the next "ms11,g," tag at or after
  // `from`, all within the text's length; false when there is none.
  static bool FindNextBitmapName(const uint8_t* text, uint32_t length, uint32_t from, uint32_t* position);
  // Removes every bitmap file that no stored permanent message names.
  void PurgeBitmapFiles();
  // dmsMemoryMgmt and the private reset option.
  void HandleMemoryManagement();

  // ---- display options and pixel-test requests (display_options.cpp)
  void ProcessPixelTestActivation();
  // Starts the pixel test on every registered face.
  void StartPixelTest();
  void OnDisplayModeChanged();
  void OnSpecialFeaturesChanged();
  void ApplyHdlcAddress();

  // ---- message preview (display/render/preview.cpp)
  // Pages of a MULTI text; 0 without a parser.
  uint8_t CountPages(const uint8_t* text, uint32_t length);
  // Draws page `page` (1 starts a new preview from the MULTI defaults) of
  // a text into the caller's message and surface with the display's parser
  // and renderer, and hands the surface to the driver when one is given.
  // The running message is not touched. False when the page could not be
  // drawn.
  bool LoadMessage(CSurface* surface, CLCDDisplayDriver* driver, const uint8_t* text, uint32_t length,
                   uint32_t page, CMessage* message);

  // ---- pixel failures, legibility and blanking (display_pixels.cpp)
  // Detection types of the failure table: 2 pixel test, 3 message display.
  enum : uint32_t { DETECT_PIXEL_TEST = 2, DETECT_MESSAGE = 3 };
  static constexpr uint32_t FAILURE_ROWS = 500;
  // Bit 5 of mib_v.shortErrorStatus.
  static constexpr uint32_t SHORT_ERROR_PIXEL = 0x20;
  // The pixel-test countdown of a display step (frames pause meanwhile).
  void PixelTestCountdown();
  // This step completed the real-time counter: the scan stores its rows.
  void StoreRealtimeResults() { m_bStoreRealtime = true; }
  void ClearPixelTestFailures();
  void ClearRealtimeFailures();
  void StorePixelFailure(uint32_t detectionType, int32_t index, uint8_t colourCount, const disp::pixel& p);
  uint32_t SignPixelCount();
  void StorePixelStatusBitmap();
  // The scan of the rendered frames: failed pixels switched off, failure
  // rows, test completion and the failed-module map.
  void ScanRenderedFrames();
  // The rendered frame as a result table, the legibility ratio and its rule.
  void UpdateFaceResults(uint32_t face);
  void CheckLegibility();
  void CheckFailedPixels();
  bool FailedPixelLimitExceeded();
  void SendBlankingTrap();
  // The module index of a pixel of the primary face, or -1 outside the
  // modules.
  int32_t ModuleOfPixel(uint32_t x, uint32_t y) const;

  // ---- test patterns (display_patterns.cpp)
  void DrawTestPattern(uint32_t mode);
  uint32_t PatternColour(uint8_t index);
  void DrawColumnsEvery8(uint32_t colour, uint32_t first);
  void DrawRowsEvery8(uint32_t colour, uint32_t first);
  void DrawOddRows(uint32_t colour);
  void DrawEvenRows(uint32_t colour);
  void DrawOddColumns(uint32_t colour);
  void DrawEvenColumns(uint32_t colour);
  void DrawCheckerEven(uint32_t colour);
  void DrawCheckerOdd(uint32_t colour);
  void DrawLogoTiles(uint32_t colour);
  void DrawAlphabet(uint32_t colour);
  void DrawLineNumbers(uint32_t colour);
  // What the patterns keep between display steps (all 0 at power-up but
  // the previous mode, 1, and the auto test's period, 1).
  struct pattern_state_s {
    uint8_t initialised = 0;
    uint8_t stepFrames = 0;
    uint32_t frameCounter = 0;
    uint32_t stepCounter = 0;
    uint32_t autoStep = 0;
    uint32_t previousMode = 1;
    uint32_t lastErrorCount = 0;
    uint32_t autoPeriod = 1;
    uint8_t colourIndex = 0;
    uint8_t beaconsSet = 0;
    uint8_t moduleTestSent = 0;
    uint8_t savedGamma = 0;
    uint8_t savedIllumControl = 0;
    uint8_t savedManLevel = 0;
    uint8_t fullBrightnessSet = 0;
  };
  pattern_state_s m_Pattern;

  // ---- operations of later sections (see display_pending.cpp)
  void RequestBlankMessage(uint8_t sourceMode, uint8_t reason);
  void ModuleStatusReport(uint32_t face);
  void PollModules();
  void ReprogramModules();
  // Mode 7: the reprogramming run, then the sign blank (mode 3).
  void RunReprogram();
  void WriteModuleBusOutput();
  void ReportBoardInfo(uint32_t face, disp::info* info);
  // Resets every display line of the sign; the lines answer with their
  // module revisions.
  void ResetSignLines();
  // The front panel: its manager peripheral, the frame-view mode byte
  // (0 when the panel does not show the sign) and the redraw of its page.
  CPeripheral* FindFrontPanel();
  uint8_t FrontPanelFrameViewMode();
  void RedrawFrontPanelPage();
  // The sign power-mode peripheral runs the sign on reduced power.
  bool LowPowerModeActive();
  // A central activation withdraws the power-loss message of the sign
  // power-mode peripheral, when that peripheral is live.
  void ClearPowerLossActivation();
  // Every general-purpose output that messages have switched on goes off.
  void ClearGPOutputRequests();

  // ---- wiring (start-up uses the globals; tests give their own)
  void SetSignDriver(display_driver* driver) { m_pSignDriver = driver; }
  display_driver* SignDriver() const { return m_pSignDriver; }
  void SetCore(disp::core* c) { m_pCore = c; }
  void SetModuleLink(disp::bus* bus, disp::stream* stream, disp::diagnostics* diagnostics) {
    m_pModuleBus = bus;
    m_pModuleStream = stream;
    m_pDiagnostics = diagnostics;
  }
  // The display hooks of the renderer's adapter point at this object.
  void InstallRenderHooks();

  TX_MUTEX* ActivateLock() { return m_bActivateLockCreated ? &m_ActivateLock : nullptr; }
  subscriber& Inbox() { return m_Inbox; }
  CMessage& Message() { return m_Message; }
  CMULTIParser& Parser() { return m_Parser; }
  disp::face& Face(uint32_t i) { return m_Faces[i < FACES ? i : 0]; }
  disp::face_description& FaceDescription(uint32_t i) { return m_FaceDesc[i < FACES ? i : 0]; }
  uint16_t LateSteps() const { return m_uLateSteps; }

  // Fields other parts of the controller read or write.
  display_driver* m_pSignDriver;
  CLCDDisplayDriver m_LcdDriver;
  uint8_t m_byModuleTestActive = 0;
  uint8_t m_bySecondStreamActive = 0;
  uint8_t m_byCustomRed = 0, m_byCustomBlue = 0, m_byCustomGreen = 0;
  uint32_t m_dwBrightLevelCount = 0;
  uint8_t m_byModuleInfoA = 0, m_byModuleInfoB = 0, m_byModuleInfoC = 0;
  uint8_t m_byPixelTestRunning = 0;
  // Set under the display lock by the front panel: the next step enters
  // mode 7, whatever set the state meanwhile and whether or not a face is
  // up to be stepped.
  uint8_t m_byReprogramRequested = 0;
  display_driver* m_pActiveDriver = nullptr;
  // Not null once a message was activated: the running message's text
  // (the message's own copy, which outlives the activation record).
  const uint8_t* m_pRunningMulti = nullptr;
  disp::face m_Faces[FACES];
  disp::face_description m_FaceDesc[FACES];
  uint32_t m_dwFaceCount = 0;
  uint32_t m_dwCapFlags = CAP_MEASURE;
  uint32_t m_dwLitCap = 1;
  uint8_t m_byCapRaiseDelay = 0;
  uint32_t m_dwTimeRemainingMark = 0;
  uint32_t m_dwTimeRemainingSeen = 0;
  uint32_t m_dwOffTicks = 0;
  uint32_t m_dwOnTicks = 0;
  CMULTIParser m_Parser;
  CParser* m_pParserRef = nullptr;
  CRender* m_pRenderRef = nullptr;
  CPeripheral* m_pFrontPanel = nullptr;
  subscriber m_Inbox;
  uint32_t m_dwDisplayState = STATE_BLANK;
  uint32_t m_dwBrightnessCap = 255;
  uint8_t m_byPageCount = 0;
  uint8_t m_byRealtimeHoldoff = 200;
  uint32_t m_dwIllumControlAtStart = 0;
  uint8_t m_byBrightnessReload = 1;
  bright_level_s m_BrightTable[BRIGHT_SPREAD_LEVELS] = {};
  uint32_t m_dwBrightnessState = 0;
  render_state_s m_SavedRenderState = {};
  uint16_t m_wSavedPage = 0;
  uint8_t m_byPixelTestCountdown = 0;
  TX_MUTEX m_ActivateLock{};
  uint8_t m_byBeaconRequest = 0;
  CMessage m_Message;
  uint8_t m_byPatternActive = 0;
  window_s m_Windows[WINDOWS] = {};
  // Arbitration: the slot that ran last, and set until the first activation
  // from a slot succeeded.
  uint8_t m_byLastSlotRun = 0;
  bool m_bFirstActivation = true;
  // The display lock's holder and how often it holds it (display_lock.h).
  TX_THREAD* m_pLockOwner = nullptr;
  uint32_t m_dwLockDepth = 0;

 protected:
  // At the task's start: the lines are reset and the message table settled.
  void OnStart() override;

 private:
  // Heights and widths raised to whole modules, and the module rows.
  static void RaiseToWholeModules(disp::face_description* d);
  void ReleaseGraphicsAndFonts();
  void PageTiming();
  void CheckStepTiming();
  void HandleLetter(letter_s* letter);
  void AutoLockCheck();
  void ApplyFontStatusRequests();
  // Applies a light output 0..65535 of the level table (derating, ceiling,
  // status objects) and returns the level sent.
  uint8_t ApplyLightOutput(uint32_t output, bool photocell);
  // Fills the level table from the stored bytes without checking them.
  void FillBrightnessTable(const uint8_t* p, uint32_t length);
  void SpreadBrightnessTable();

  disp::core* m_pCore;
  disp::bus* m_pModuleBus;
  disp::stream* m_pModuleStream;
  disp::diagnostics* m_pDiagnostics;
  disp::frame_engine* m_pEngine;
  bool m_bActivateLockCreated = false;
  uint32_t m_dwPreviousStepTick = 0;
  uint32_t m_dwRealtimeCounter = 25;
  uint32_t m_dwFontServiceCounter = 0;
  uint32_t m_dwMirrorCounter = 0;
  uint16_t m_wAutoLockCountdown = 9000;
  uint8_t m_byBitsPerColour = 1;
  // The special-feature word at the last brightness-defaults call, and bit 5
  // (tolerant mode) at the last tolerant-mode change; both 0 at power-up.
  uint32_t m_dwFeaturesSeen = 0;
  uint32_t m_dwTolerantSeen = 0;
  // Lit pixels of each face's frame before the scan switched failed ones
  // off, and whether this step stores the real-time results.
  uint32_t m_dwLitBefore[FACES] = {};
  bool m_bStoreRealtime = false;
  // Pattern helpers (display_patterns.cpp).
  void LeavePatternMode(uint32_t mode);
  void EnterPatternMode(uint32_t mode);
  void PatternTiming(uint32_t mode);
  void AdvancePattern(uint32_t mode);
  void DrawPattern(uint32_t mode, uint32_t colour);
  void DrawAutoTest(uint32_t colour);
  void PatternLevel(uint32_t level);
  void EndModuleRevision();
  uint8_t PatternColourCount();
};

// The display task of the controller (set by its construction).
extern CDisplay* g_pDisplay;
// The module reprogramming that mode 7 carries out (the front panel's);
// null: nothing to run.
extern void (*g_pfnDisplayReprogram)();
