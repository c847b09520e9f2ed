// Named database objects: (offset, width) in their area. Arrays are
// functions of their 0-based index.
#pragma once

#include <cstdint>

struct db_object {
  uint32_t offset;
  uint32_t width;  // 1, 2, 4; string objects occupy a 4-byte slot
};

// mib_nv: the non-volatile area.
namespace nv {
constexpr db_object dmsSignHeight{48, 2};
constexpr db_object dmsSignWidth{50, 2};
constexpr db_object dmsHorizontalBorder{52, 2};
constexpr db_object dmsVerticalBorder{54, 2};
constexpr db_object dmsSignAccess{56, 1};
constexpr db_object dmsSignType{57, 1};
constexpr db_object dmsBeaconType{58, 1};
constexpr db_object vmsCharacterHeightPixels{60, 1};
constexpr db_object vmsCharacterWidthPixels{61, 1};
constexpr db_object vmsSignHeightPixels{62, 2};
constexpr db_object vmsSignWidthPixels{64, 2};
constexpr db_object vmsHorizontalPitch{66, 1};
constexpr db_object vmsVerticalPitch{67, 1};
// The on and off colours of a monochrome sign, 3 bytes each.
constexpr db_object monochromeColor{68, 4};
constexpr db_object fontNumber(uint32_t f) { return {72 + f, 1}; }
constexpr db_object fontName(uint32_t f) { return {92 + 4 * f, 4}; }
constexpr db_object fontHeight(uint32_t f) { return {172 + f, 1}; }
constexpr db_object fontCharSpacing(uint32_t f) { return {192 + f, 1}; }
constexpr db_object fontLineSpacing(uint32_t f) { return {212 + f, 1}; }
constexpr db_object fontVersionID(uint32_t f) { return {232 + 2 * f, 2}; }
constexpr db_object fontStatus(uint32_t f) { return {272 + f, 1}; }
constexpr db_object characterWidth(uint32_t f, uint32_t c) { return {292 + 255 * f + c, 1}; }
constexpr db_object characterBitmap(uint32_t f, uint32_t c) { return {5392 + 4 * (255 * f + c), 4}; }
// MULTI defaults.
constexpr db_object defaultBackgroundColor{25792, 1};
constexpr db_object defaultForegroundColor{25793, 1};
constexpr db_object defaultFlashOn{25794, 1};
constexpr db_object defaultFlashOff{25795, 1};
constexpr db_object defaultFont{25796, 1};
constexpr db_object defaultJustificationLine{25797, 1};
constexpr db_object defaultJustificationPage{25798, 1};
constexpr db_object defaultPageOnTime{25799, 1};
constexpr db_object defaultPageOffTime{25800, 1};
constexpr db_object defaultCharacterSet{25801, 1};
constexpr db_object dmsMaxNumberPages{25802, 1};
constexpr db_object dmsColorScheme{25803, 1};
constexpr db_object defaultBackgroundRGB{25804, 4};
constexpr db_object defaultForegroundRGB{25808, 4};
// The MULTI defaults in force when the running message was activated.
constexpr db_object defaultBackgroundRGBActivate{25812, 4};
constexpr db_object defaultForegroundRGBActivate{25816, 4};
constexpr db_object defaultFlashOnActivate{25820, 1};
constexpr db_object defaultFlashOffActivate{25821, 1};
constexpr db_object defaultFontActivate{25822, 1};
constexpr db_object defaultJustificationLineActivate{25823, 1};
constexpr db_object defaultJustificationPageActivate{25824, 1};
constexpr db_object defaultPageOnTimeActivate{25825, 1};
constexpr db_object defaultPageOffTimeActivate{25826, 1};
constexpr db_object dmsValidateMessageError{25828, 1};
// The main message table, row r = 0..549: changeable message r + 1, and
// permanent message r - 497 in rows 500..549.
constexpr db_object dmsMessageMultiString(uint32_t r) { return {25832 + 4 * r, 4}; }
constexpr db_object dmsMessageOwner(uint32_t r) { return {28032 + 4 * r, 4}; }
constexpr db_object dmsMessageCRC(uint32_t r) { return {30232 + 2 * r, 2}; }
constexpr db_object dmsMessageBeacon(uint32_t r) { return {31332 + r, 1}; }
constexpr db_object dmsMessagePixelService(uint32_t r) { return {31882 + r, 1}; }
constexpr db_object dmsMessageRunTimePriority(uint32_t r) { return {32432 + r, 1}; }
constexpr db_object dmsMessageStatus(uint32_t r) { return {32982 + r, 1}; }
// The schedule message row (memory type 6, number 1).
constexpr db_object scheduleMessageMultiString{33532, 4};
constexpr db_object scheduleMessageOwner{33536, 4};
constexpr db_object scheduleMessageCRC{33540, 2};
constexpr db_object scheduleMessageBeacon{33542, 1};
constexpr db_object scheduleMessagePixelService{33543, 1};
constexpr db_object scheduleMessageRunTimePriority{33544, 1};
constexpr db_object scheduleMessageStatus{33545, 1};
// The current-buffer row (memory type 5, number 1): the running message.
constexpr db_object currentBufferMultiString{33548, 4};
constexpr db_object currentBufferOwner{33552, 4};
constexpr db_object currentBufferCRC{33556, 2};
constexpr db_object currentBufferBeacon{33558, 1};
constexpr db_object currentBufferPixelService{33559, 1};
constexpr db_object currentBufferRunTimePriority{33560, 1};
constexpr db_object currentBufferStatus{33561, 1};
constexpr db_object dmsSWReset{33564, 1};
constexpr db_object dmsMessageTimeRemaining{33566, 2};
constexpr db_object dmsMsgTableSource{33568, 4};
constexpr db_object dmsMsgRequesterID{33572, 4};
constexpr db_object dmsMsgSourceMode{33576, 1};
constexpr db_object dmsShortPowerRecoveryMessage{33580, 4};
constexpr db_object dmsLongPowerRecoveryMessage{33584, 4};
constexpr db_object dmsShortPowerLossTime{33588, 2};
constexpr db_object dmsResetMessage{33592, 4};
constexpr db_object dmsCommunicationsLossMessage{33596, 4};
constexpr db_object dmsTimeCommLoss{33600, 2};
constexpr db_object dmsPowerLossMessage{33604, 4};
constexpr db_object dmsEndDurationMessage{33608, 4};
constexpr db_object dmsActivateMsgError{33612, 1};
constexpr db_object dmsMultiSyntaxError{33613, 1};
constexpr db_object dmsMultiSyntaxErrorPosition{33614, 2};
constexpr db_object dmsMultiOtherErrorDescription{33616, 4};
constexpr db_object dmsIllumControl{33620, 1};
constexpr db_object dmsIllumManLevel{33621, 1};
constexpr db_object dmsIllumBrightnessValues{33624, 4};
constexpr db_object dmsIllumBrightnessValuesError{33628, 1};
constexpr db_object dmsIllumLightOutputStatus{33630, 2};
// The action table, row a = 0..254 (action a + 1): a message ID code.
constexpr db_object dmsActionMsgCode(uint32_t a) { return {33632 + 4 * a, 4}; }
// Graphic table, row g = 0..49.
constexpr db_object dmsGraphicNumber(uint32_t g) { return {34660 + g, 1}; }
constexpr db_object dmsGraphicName(uint32_t g) { return {34712 + 4 * g, 4}; }
constexpr db_object dmsGraphicHeight(uint32_t g) { return {34912 + g, 1}; }
constexpr db_object dmsGraphicWidth(uint32_t g) { return {34962 + 2 * g, 2}; }
constexpr db_object dmsGraphicType(uint32_t g) { return {35062 + g, 1}; }
constexpr db_object dmsGraphicID(uint32_t g) { return {35112 + 2 * g, 2}; }
constexpr db_object dmsGraphicTransparentEnabled(uint32_t g) { return {35212 + g, 1}; }
constexpr db_object dmsGraphicTransparentColor(uint32_t g) { return {35264 + 4 * g, 4}; }
constexpr db_object dmsGraphicStatus(uint32_t g) { return {35464 + g, 1}; }
// Bitmap block b = 0..62 of graphic row g.
constexpr db_object dmsGraphicBitmap(uint32_t g, uint32_t b) { return {35516 + 4 * (63 * g + b), 4}; }
// PPP CHAP and PMPP group addresses, g = 0..9.
constexpr db_object chapName{48124, 4};
constexpr db_object chapSecret{48128, 4};
constexpr db_object pmppGroupAddress(uint32_t g) { return {48136 + 4 * g, 4}; }
constexpr db_object globalTime{48180, 4};
// Daylight-saving rule: 1 other (the table's entry 0), 2 none, 3..20 built-in.
constexpr db_object globalDaylightSaving{48184, 1};
constexpr db_object globalLocalTimeDifferential{48188, 4};
constexpr db_object controllerStandardTimeZone{48192, 4};
// Daylight-saving table, entry i = 0..9.
constexpr db_object dstBeginMonth(uint32_t i) { return {48196 + i, 1}; }
constexpr db_object dstBeginOccurrences(uint32_t i) { return {48206 + i, 1}; }
constexpr db_object dstBeginDayOfWeek(uint32_t i) { return {48216 + i, 1}; }
constexpr db_object dstBeginDayOfMonth(uint32_t i) { return {48226 + i, 1}; }
constexpr db_object dstBeginSecondsToTransition(uint32_t i) { return {48236 + 4 * i, 4}; }
constexpr db_object dstEndMonth(uint32_t i) { return {48276 + i, 1}; }
constexpr db_object dstEndOccurrences(uint32_t i) { return {48286 + i, 1}; }
constexpr db_object dstEndDayOfWeek(uint32_t i) { return {48296 + i, 1}; }
constexpr db_object dstEndDayOfMonth(uint32_t i) { return {48306 + i, 1}; }
constexpr db_object dstEndSecondsToTransition(uint32_t i) { return {48316 + 4 * i, 4}; }
constexpr db_object dstSecondsToAdjust(uint32_t i) { return {48356 + 2 * i, 2}; }
// The time-base schedule: entries i = 0..28 and day plans p = 0..19 of
// events e = 0..23. Masks: bit m (1..12) month m, bit d (1..7) weekday d
// (1 = Sunday), bit n (1..31) day n of the month.
constexpr db_object maxTimeBaseScheduleEntries{48376, 2};
constexpr db_object maxDayPlans{48378, 1};
constexpr db_object maxDayPlanEvents{48379, 1};
constexpr db_object dayPlanStatus{48380, 1};
constexpr db_object timeBaseScheduleTableStatus{48382, 2};
constexpr db_object timeBaseScheduleMonth(uint32_t i) { return {48384 + 2 * i, 2}; }
constexpr db_object timeBaseScheduleDay(uint32_t i) { return {48442 + i, 1}; }
constexpr db_object timeBaseScheduleDate(uint32_t i) { return {48472 + 4 * i, 4}; }
constexpr db_object timeBaseScheduleDayPlan(uint32_t i) { return {48588 + i, 1}; }
constexpr db_object dayPlanHour(uint32_t p, uint32_t e) { return {48620 + 24 * p + e, 1}; }
constexpr db_object dayPlanMinute(uint32_t p, uint32_t e) { return {49100 + 24 * p + e, 1}; }
// The event's action as an OID: u32 sub-identifiers, most significant byte first.
constexpr db_object dayPlanActionNumberOID(uint32_t p, uint32_t e) { return {49580 + 4 * (24 * p + e), 4}; }
// Event-log configurations i = 0..59. The OIDs are strings of u32
// sub-identifiers, most significant byte first.
constexpr db_object eventConfigClass(uint32_t i) { return {51500 + i, 1}; }
constexpr db_object eventConfigMode(uint32_t i) { return {51560 + i, 1}; }
constexpr db_object eventConfigCompareValue(uint32_t i) { return {51620 + 4 * i, 4}; }
constexpr db_object eventConfigCompareValue2(uint32_t i) { return {51860 + 4 * i, 4}; }
constexpr db_object eventConfigCompareOID(uint32_t i) { return {52100 + 4 * i, 4}; }
constexpr db_object eventConfigLogOID(uint32_t i) { return {52340 + 4 * i, 4}; }
constexpr db_object eventConfigAction(uint32_t i) { return {52580 + i, 1}; }
constexpr db_object eventConfigStatus(uint32_t i) { return {52640 + i, 1}; }
// Event-log entries n = 255 x class + entry (both from 0); time 0: free.
constexpr db_object eventLogID(uint32_t n) { return {52700 + 2 * n, 2}; }
constexpr db_object eventLogTime(uint32_t n) { return {60860 + 4 * n, 4}; }
constexpr db_object eventLogValue(uint32_t n) { return {77180 + 4 * n, 4}; }
// Event classes c = 0..15.
constexpr db_object eventClassLimit(uint32_t c) { return {93500 + c, 1}; }
constexpr db_object eventClassClearTime(uint32_t c) { return {93516 + 4 * c, 4}; }
constexpr db_object eventClassDescription(uint32_t c) { return {93580 + 4 * c, 4}; }
constexpr db_object eventClassNumRowsInLog(uint32_t c) { return {93644 + c, 1}; }
// Communities: the administrator and user community i = 0..99 with its access mask.
constexpr db_object communityNameAdmin{93660, 4};
constexpr db_object communityNameUser(uint32_t i) { return {93664 + 4 * i, 4}; }
constexpr db_object communityNameAccessMask(uint32_t i) { return {94064 + 4 * i, 4}; }
constexpr db_object auxIOPortDescription(uint32_t i) { return {94464 + 4 * i, 4}; }
constexpr db_object quorDisplayMode{95016, 1};
constexpr db_object quorShutOffTemp{95023, 1};
constexpr db_object quorEmergencyMessage{95024, 4};
constexpr db_object quorMessageTableMode{95028, 1};
constexpr db_object quorModuleID{95030, 2};
constexpr db_object quorEnableRealTimePixelDiagnostics{95032, 1};
// The controller's HDLC station address (its low byte is used).
constexpr db_object quorhdlcAddress{95036, 4};
constexpr db_object quorSpecialFeatureSet{95052, 4};
// The Ethernet side: the trap manager, the SNMP port of the servers, the
// addressing mode (2 = DHCP).
constexpr db_object quorRemoteIPAddress{95056, 4};
constexpr db_object quorRemoteIPPort{95060, 2};
constexpr db_object quorHostIPPort{95062, 2};
constexpr db_object quorEthernetMode{95066, 1};
constexpr db_object quorFrameRate{95078, 1};
// Front-panel language: 2 French, anything else English.
constexpr db_object quorLanguage{95080, 1};
constexpr db_object quorBitsPerColour{95079, 1};
// Bit value 1: load SCRIPT.XML at the next start.
constexpr db_object quorRunScriptFlags{95081, 1};
// The display lines' CAN bit rate: 1 the module type's own code, n > 1 code
// n - 2.
constexpr db_object quorCANBaudRate{95092, 1};
// Modules per CAN line; 0: derived from the module type.
constexpr db_object quorCANMaxLineLength{95093, 1};
// The code of the last activation of any memory type but the current buffer.
constexpr db_object quorLastActivatedCode{95088, 4};
constexpr db_object quorFeatureSet{95096, 4};
// Serial numbers; 0: not set.
constexpr db_object quorControllerSerialNum{95108, 4};
constexpr db_object quorSignSerialNum{95112, 4};
// Modules in display line i = 0..8 (0: the full width); the dimming table
// of the lit-ratio brightness cap, entries k = 0..4.
constexpr db_object quorLineLength(uint32_t i) { return {95118 + i, 1}; }
constexpr db_object quorPixelDimLevels{95128, 1};
constexpr db_object quorPixelDimPercent(uint32_t k) { return {95132 + k, 1}; }
constexpr db_object quorPixelDimBrightness(uint32_t k) { return {95137 + k, 1}; }
// Two further message references, k = 0..1 (message ID codes).
constexpr db_object quorMessageRef(uint32_t k) { return {95156 + 4 * k, 4}; }
// Port configuration, port p: 0 CCP, 1 AUX, 2 MODEM, 3 LAPTOP, 4 ETHERNET.
constexpr db_object quorCommConfigFlowControl(uint32_t p) { return {95176 + p, 1}; }
constexpr db_object quorCommConfigProtocol(uint32_t p) { return {95181 + p, 1}; }
constexpr db_object quorCommConfigInnerCharTimeout(uint32_t p) { return {95192 + 2 * p, 2}; }
// Peripheral records, slot s = 0..254: type id (0 = free) and parameter text.
constexpr db_object quorPeripheralID(uint32_t s) { return {95232 + 2 * s, 2}; }
constexpr db_object quorPeripheralParameters(uint32_t s) { return {95744 + 4 * s, 4}; }
constexpr db_object quorPeripheralAuxIOTableIndex(uint32_t s) { return {96764 + 4 * s, 4}; }
constexpr db_object watchdogFailureCount{34656, 4};
constexpr db_object quorDiagLineSize{98000, 2};
// MIB-II kept over restarts.
constexpr db_object sysContact{98012, 4};
constexpr db_object sysName{98016, 4};
constexpr db_object sysLocation{98020, 4};
constexpr db_object ifSpeed{98024, 4};
constexpr db_object ipForwarding{98036, 1};
constexpr db_object ipDefaultTTL{98040, 4};
constexpr db_object ipRouteMask{98044, 4};
constexpr db_object rs232PortInSpeed(uint32_t p) { return {98048 + 4 * p, 4}; }
// Fan and heater tests: 1 run the test, 2 idle.
constexpr db_object nvdotFanTest{98104, 1};
constexpr db_object nvdotHeaterTest{98105, 1};
// Pixel-failure limit; 0xFFFFFFFF: none.
constexpr db_object fdotMaxNumPixelFailure{98088, 4};
}  // namespace nv

// mib_v: the volatile area.
namespace vol {
constexpr db_object dmsLegend{0, 1};
constexpr db_object dmsSignTechnology{2, 2};
constexpr db_object numFonts{4, 1};
constexpr db_object maxFontCharacters{6, 2};
constexpr db_object fontMaxCharacterSize{8, 1};
constexpr db_object dmsSupportedMultiTags{12, 4};
constexpr db_object dmsMaxMultiStringLength{16, 2};
constexpr db_object dmsNumPermanentMsg{20, 2};
constexpr db_object dmsNumChangeableMsg{22, 2};
constexpr db_object dmsMaxChangeableMsg{24, 2};
constexpr db_object dmsFreeChangeableMemory{28, 4};
constexpr db_object dmsNumVolatileMsg{32, 2};
constexpr db_object dmsMaxVolatileMsg{34, 2};
constexpr db_object dmsFreeVolatileMemory{36, 4};
// The volatile messages, row k = 0..3 (message k + 1).
constexpr db_object volatileMessageMultiString(uint32_t k) { return {40 + 4 * k, 4}; }
constexpr db_object volatileMessageOwner(uint32_t k) { return {56 + 4 * k, 4}; }
constexpr db_object volatileMessageCRC(uint32_t k) { return {72 + 2 * k, 2}; }
constexpr db_object volatileMessageBeacon(uint32_t k) { return {80 + k, 1}; }
constexpr db_object volatileMessagePixelService(uint32_t k) { return {84 + k, 1}; }
constexpr db_object volatileMessageRunTimePriority(uint32_t k) { return {88 + k, 1}; }
constexpr db_object volatileMessageStatus(uint32_t k) { return {92 + k, 1}; }
// The two built-in permanent messages, row k = 0..1 (message k + 1).
constexpr db_object permanentMessageMultiString(uint32_t k) { return {96 + 4 * k, 4}; }
constexpr db_object permanentMessageOwner(uint32_t k) { return {104 + 4 * k, 4}; }
constexpr db_object permanentMessageCRC(uint32_t k) { return {112 + 2 * k, 2}; }
constexpr db_object permanentMessageBeacon(uint32_t k) { return {116 + k, 1}; }
constexpr db_object permanentMessagePixelService(uint32_t k) { return {118 + k, 1}; }
constexpr db_object permanentMessageRunTimePriority(uint32_t k) { return {120 + k, 1}; }
constexpr db_object permanentMessageStatus(uint32_t k) { return {122 + k, 1}; }
// While not empty the agent reports this copy of the current-buffer row.
constexpr db_object currentBufferOverride{124, 4};
constexpr db_object dmsActivateMessage{140, 4};
constexpr db_object dmsControlMode{144, 1};
constexpr db_object dmsMemoryMgmt{145, 1};
constexpr db_object vmsPixelServiceDuration{146, 2};
constexpr db_object vmsPixelServiceFrequency{148, 2};
constexpr db_object vmsPixelServiceTime{150, 2};
constexpr db_object dmsMessageCodeOfActivationError{152, 4};
constexpr db_object dmsActivateMessageState{156, 1};
// Illumination status: the level sent, the photocell reading and its top.
constexpr db_object dmsIllumBrightLevelStatus{160, 1};
constexpr db_object dmsIllumPhotocellLevelStatus{162, 2};
constexpr db_object dmsIllumMaxPhotocellLevel{164, 2};
constexpr db_object numActionTableEntries{168, 1};
// MULTI field status table, rows j = 0..10.
constexpr db_object statMultiFieldRows{169, 1};
constexpr db_object dmsCurrentSpeed{170, 1};
constexpr db_object statMultiFieldCode(uint32_t j) { return {172 + j, 1}; }
constexpr db_object statMultiCurrentFieldValue(uint32_t j) { return {184 + 4 * j, 4}; }
constexpr db_object fanFailures{236, 4};
constexpr db_object shortErrorStatus{240, 2};
constexpr db_object pixelTestActivation{242, 1};
constexpr db_object lampTestActivation{243, 1};
// The climate test of every testable climate row: 3 requested, 2 none.
constexpr db_object climateCtrlTestActivation{244, 1};
constexpr db_object controllerErrorStatus{245, 1};
constexpr db_object lightFailureMap{252, 4};
constexpr db_object lightNumRows{256, 1};
constexpr db_object humidityFailureMap{260, 4};
constexpr db_object humidityNumRows{264, 1};
constexpr db_object tempFailureMap{268, 4};
constexpr db_object climateFailureMap{284, 4};
constexpr db_object climateNumRows{288, 1};
// Climate-control table, row i: columns 2 to 8.
constexpr db_object climateDescription(uint32_t i) { return {3892 + 4 * i, 4}; }
constexpr db_object climateStatusText(uint32_t i) { return {4020 + 4 * i, 4}; }
constexpr db_object climateState(uint32_t i) { return {4148 + i, 1}; }
constexpr db_object climateOn(uint32_t i) { return {4180 + i, 1}; }
constexpr db_object climateTestActivation(uint32_t i) { return {4212 + i, 1}; }
constexpr db_object climateText(uint32_t i) { return {4244 + 4 * i, 4}; }
constexpr db_object climateType(uint32_t i) { return {4372 + i, 1}; }
constexpr db_object lightDescription(uint32_t i) { return {4448 + 4 * i, 4}; }
constexpr db_object lightReading(uint32_t i) { return {4496 + 2 * i, 2}; }
constexpr db_object lightStatus(uint32_t i) { return {4520 + i, 1}; }
constexpr db_object humidityDescription(uint32_t i) { return {4532 + 4 * i, 4}; }
constexpr db_object humidityReading(uint32_t i) { return {4556 + i, 1}; }
constexpr db_object humidityStatus(uint32_t i) { return {4562 + i, 1}; }
constexpr db_object tempReading(uint32_t i) { return {4664 + i, 1}; }
constexpr db_object tempStatus(uint32_t i) { return {4676 + i, 1}; }
constexpr db_object powerSource{12193, 1};
// Signed degrees Celsius.
constexpr db_object tempMinCtrlCabinet{12196, 1};
constexpr db_object tempMaxCtrlCabinet{12197, 1};
constexpr db_object tempMaxAmbient{12199, 1};
constexpr db_object tempMinSignHousing{12200, 1};
constexpr db_object tempMaxSignHousing{12201, 1};
constexpr db_object tempWarningMap{12204, 4};
constexpr db_object tempCriticalMap{12208, 4};
constexpr db_object dmsGraphicMaxEntries{12212, 1};
constexpr db_object dmsGraphicNumEntries{12213, 1};
constexpr db_object dmsGraphicMaxSize{12214, 2};
constexpr db_object dmsGraphicBlockSize{12220, 2};
// NTCIP 1201 module table, row i + 1.
constexpr db_object moduleMake(uint32_t i) { return {12272 + 4 * i, 4}; }
constexpr db_object moduleModel(uint32_t i) { return {12304 + 4 * i, 4}; }
constexpr db_object moduleVersion(uint32_t i) { return {12336 + 4 * i, 4}; }
constexpr db_object controllerLocalTime{12392, 4};
constexpr db_object dstEntryCount{12396, 1};
// The event log's sizes and counters.
constexpr db_object maxEventLogConfigs{12398, 2};
constexpr db_object maxEventLogSize{12400, 2};
constexpr db_object maxEventClasses{12402, 1};
constexpr db_object numEvents{12404, 2};
constexpr db_object eventClassNumEvents(uint32_t c) { return {12406 + 2 * c, 2}; }
constexpr db_object auxIOPortType(uint32_t i) { return {12544 + i, 1}; }
constexpr db_object auxIOPortNumber(uint32_t i) { return {12680 + i, 1}; }
constexpr db_object auxIOPortResolution(uint32_t i) { return {12816 + i, 1}; }
constexpr db_object auxIOPortValue(uint32_t i) { return {12952 + 4 * i, 4}; }
constexpr db_object auxIOPortDirection(uint32_t i) { return {13496 + i, 1}; }
constexpr db_object auxIOPortLastCommandedState(uint32_t i) { return {13632 + 4 * i, 4}; }
// The private reset option: 1 idle, 2..8 a reset with memory cleared to a
// chosen depth.
constexpr db_object quorResetOption{17176, 1};
// The maintenance heater: 1 requested on, 2 off.
constexpr db_object maintenanceHeaterRequest{17178, 1};
constexpr db_object activationSlotCode(uint32_t s) { return {17184 + 4 * s, 4}; }
constexpr db_object activationSlotSourceMode(uint32_t s) { return {17212 + s, 1}; }
constexpr db_object activationSlotReason(uint32_t s) { return {17219 + s, 1}; }
constexpr db_object activationSlotEndTime(uint32_t s) { return {17228 + 4 * s, 4}; }
constexpr db_object activationSlotLastCode(uint32_t s) { return {17256 + 4 * s, 4}; }
constexpr db_object quorPowerModeStatus{17317, 1};
// The file-transfer request: the file name (a directory pattern for a
// listing) and the CRC-16 of its bytes.
constexpr db_object fileTransferName{17332, 4};
constexpr db_object fileTransferNameCrc{17336, 2};
// Average humidity of the sign's sensors, percent.
constexpr db_object humiditySignAverage{17344, 1};
// Why the running message runs (the reason of its activation slot).
constexpr db_object quorActivationReason{17348, 1};
// The brightness asked for before derating and ceiling, and why the level
// sent differs: 1 not limited, 2 derated, 3 held at the ceiling.
constexpr db_object quorRequestedBrightness{17349, 1};
constexpr db_object quorBrightnessLimitReason{17350, 1};
constexpr db_object quorRealTimeData{17368, 4};
constexpr db_object peripheralTableLock{17378, 1};
// Diagnostic result tables, slot i = 0..25: published pixel frames, line l
// = 0..61 of a table holding quorDiagLineSize packed bytes; kind 1 marks a
// free slot. Face f = 0..1 owns slots first - 1 .. last - 1.
constexpr db_object quorDiagTableCount{17640, 1};
constexpr db_object quorDiagFaceCount{17641, 1};
constexpr db_object quorDiagTableTitle(uint32_t i) { return {17644 + 4 * i, 4}; }
constexpr db_object quorDiagTableHeight(uint32_t i) { return {17748 + i, 1}; }
constexpr db_object quorDiagTableWidth(uint32_t i) { return {17774 + 2 * i, 2}; }
constexpr db_object quorDiagTableColour(uint32_t i) { return {17826 + i, 1}; }
constexpr db_object quorDiagTableKind(uint32_t i) { return {17852 + i, 1}; }
constexpr db_object quorDiagTableFace(uint32_t i) { return {17878 + i, 1}; }
constexpr db_object quorDiagTableTiming(uint32_t i) { return {17904 + 4 * i, 4}; }
constexpr db_object quorDiagTableLine(uint32_t i, uint32_t l) { return {18008 + 4 * (63 * i + l), 4}; }
constexpr db_object quorDiagFaceFirstTable(uint32_t f) { return {24560 + f, 1}; }
constexpr db_object quorDiagFaceLastTable(uint32_t f) { return {24562 + f, 1}; }
// 0 loaded, 1 load failure or init error, 2 comm error; slot s = 0..254.
constexpr db_object peripheralLoadStatus(uint32_t s) { return {17382 + s, 1}; }
constexpr db_object peripheralConfiguredCount{17638, 2};
// MIB-II system group and the interface's addresses.
constexpr db_object sysDescr{24564, 4};
constexpr db_object sysObjectID{24568, 4};
constexpr db_object sysServices{24576, 1};
constexpr db_object ifPhysAddress{24600, 4};
constexpr db_object ipAdEntAddr{24740, 4};
constexpr db_object ipAdEntNetMask{24748, 4};
constexpr db_object ipRouteDest{24760, 4};
// The snmp group of MIB-II, in group order.
constexpr db_object snmpInPkts{25156, 4};
constexpr db_object snmpOutPkts{25160, 4};
constexpr db_object snmpInBadVersions{25164, 4};
constexpr db_object snmpInBadCommunityNames{25168, 4};
constexpr db_object snmpInBadCommunityUses{25172, 4};
constexpr db_object snmpInASNParseErrs{25176, 4};
constexpr db_object snmpInTooBigs{25180, 4};
constexpr db_object snmpInNoSuchNames{25184, 4};
constexpr db_object snmpInBadValues{25188, 4};
constexpr db_object snmpInReadOnlys{25192, 4};
constexpr db_object snmpInGenErrs{25196, 4};
constexpr db_object snmpInGetRequests{25200, 4};
constexpr db_object snmpInGetNexts{25204, 4};
constexpr db_object snmpInSetRequests{25208, 4};
constexpr db_object snmpInGetResponses{25212, 4};
constexpr db_object snmpInTraps{25216, 4};
constexpr db_object snmpOutTooBigs{25220, 4};
constexpr db_object snmpOutNoSuchNames{25224, 4};
constexpr db_object snmpOutBadValues{25228, 4};
constexpr db_object snmpOutGenErrs{25232, 4};
constexpr db_object snmpOutGetRequests{25236, 4};
constexpr db_object snmpOutGetNexts{25240, 4};
constexpr db_object snmpOutSetRequests{25244, 4};
constexpr db_object snmpOutGetResponses{25248, 4};
constexpr db_object snmpOutTraps{25252, 4};
constexpr db_object snmpEnableAuthenTraps{25256, 4};
// 1 while the event log's nearly-full trap has been sent and not re-armed.
constexpr db_object eventLogNearlyFullSent{25260, 1};
// The nvdot subtree: fan and heater states, the climate rows' summary
// (quorNvdot2Status) and the power-supply error bits (quorNvdot4Status).
constexpr db_object nvdotFanState{25264, 1};
constexpr db_object nvdotHeaterState{25265, 1};
constexpr db_object climateSummary{25268, 4};
constexpr db_object powerSupplySummary{25272, 4};
constexpr db_object quorBlankedMessage{25276, 4};
constexpr db_object quorBadCommunityCount{25280, 4};
constexpr db_object quorFailedModuleMap{25284, 4};
constexpr db_object vestrelStatusBits{25344, 4};
// 1 standard time, 2 daylight-saving time.
constexpr db_object dstActive{25369, 1};
}  // namespace vol
