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
// The speed limit the speed-radar peripheral compares with.
constexpr db_object dmsCurrentSpeedLimit{34652, 1};
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
// A protocol node value that is stored only; the PMPP group addresses' count.
constexpr db_object protocolNode2Value{48132, 2};
constexpr db_object pmppMaxGroupAddresses{48134, 1};
constexpr db_object pmppGroupAddress(uint32_t g) { return {48136 + 4 * g, 4}; }
constexpr db_object globalSetIDParameter{48176, 4};
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
// Master brightness, percent.
constexpr db_object quorIllumBrightnessScaler{95020, 1};
constexpr db_object quorShutOffTemp{95023, 1};
constexpr db_object quorEmergencyMessage{95024, 4};
constexpr db_object quorMessageTableMode{95028, 1};
constexpr db_object quorModuleID{95030, 2};
constexpr db_object quorEnableRealTimePixelDiagnostics{95032, 1};
// The controller's HDLC station address (its low byte is used).
constexpr db_object quorhdlcAddress{95036, 4};
// The front panel's numeric PIN of login level 1 (level 2: quorLCDPassword).
constexpr db_object quorLCDAdminPassword{95040, 4};
// Percent of legibility below which the display reports the sign illegible.
constexpr db_object quorLegibilityRatioThreshold{95044, 1};
// Module time-out sent to the display modules (at least 10).
constexpr db_object quorModTimeout{95046, 2};
// Percent applied to the readings of one kind of CAN photocell.
constexpr db_object quorPhotocellScale{95048, 1};
// Seconds without communication before the heartbeat check resets; 0 off.
constexpr db_object quorHeartBeatThreshold{95050, 2};
constexpr db_object quorSpecialFeatureSet{95052, 4};
// The Ethernet side: the trap manager, the SNMP port of the servers, the
// addressing mode (2 = DHCP).
constexpr db_object quorRemoteIPAddress{95056, 4};
constexpr db_object quorRemoteIPPort{95060, 2};
constexpr db_object quorHostIPPort{95062, 2};
constexpr db_object quorHostHttpPort{95064, 2};
constexpr db_object quorEthernetMode{95066, 1};
// The SNTP server (0: SNTP off) and its poll interval in minutes.
constexpr db_object quorNTPIPAddress{95068, 4};
constexpr db_object quorNetworkText{95072, 4};
constexpr db_object quorNTPPollTime{95076, 2};
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
// The site's position (NTCIP 1204 location start values), millionths of a
// degree; 90000001 / 180000001: not available.
constexpr db_object quorDefaultLatitude{95100, 4};
constexpr db_object quorDefaultLongitude{95104, 4};
// Serial numbers; 0: not set.
constexpr db_object quorControllerSerialNum{95108, 4};
constexpr db_object quorSignSerialNum{95112, 4};
// The bay in display modules.
constexpr db_object quorMPSCBayHeightInModules{95116, 1};
constexpr db_object quorMPSCBayWidthInModules{95117, 1};
// Modules in display line i = 0..8 (0: the full width); the dimming table
// of the lit-ratio brightness cap, entries k = 0..4.
constexpr db_object quorLineLength(uint32_t i) { return {95118 + i, 1}; }
constexpr db_object quorPixelDimLevels{95128, 1};
// Minutes of message backup time on battery; 65535 disabled.
constexpr db_object quorLowPowerDuration{95130, 2};
constexpr db_object quorPixelDimPercent(uint32_t k) { return {95132 + k, 1}; }
constexpr db_object quorPixelDimBrightness(uint32_t k) { return {95137 + k, 1}; }
// The callback of serial PPP links.
constexpr db_object quorCallbackNumber{95144, 4};
constexpr db_object quorCallbackMinTimeBetweenAttempts{95148, 2};
constexpr db_object quorCallbackMaxAttempts{95150, 1};
constexpr db_object quorLCDPassword{95152, 4};
// Two further message references, k = 0..1 (message ID codes).
constexpr db_object quorMessageRef(uint32_t k) { return {95156 + 4 * k, 4}; }
// The dial-up modem's last caller: number, globalTime of the call, name.
constexpr db_object quorCallerIDNumber{95164, 4};
constexpr db_object quorCallerIDTime{95168, 4};
constexpr db_object quorCallerIDName{95172, 4};
// Port configuration, port p: 0 CCP, 1 AUX, 2 MODEM, 3 LAPTOP, 4 ETHERNET.
constexpr db_object quorCommConfigFlowControl(uint32_t p) { return {95176 + p, 1}; }
constexpr db_object quorCommConfigProtocol(uint32_t p) { return {95181 + p, 1}; }
// 1: the port sends no traps.
constexpr db_object quorCommConfigTraps(uint32_t p) { return {95186 + p, 1}; }
constexpr db_object quorCommConfigInnerCharTimeout(uint32_t p) { return {95192 + 2 * p, 2}; }
// Parameter text of port p ("nchap": the MODEM port's PPP peer needs no CHAP).
constexpr db_object quorCommConfigParameters(uint32_t p) { return {95204 + 4 * p, 4}; }
// The radio link: LID, ACK2 time-out in ms, retries.
constexpr db_object quorRdiLid{95224, 2};
constexpr db_object quorRdiAck2Timeout{95226, 2};
constexpr db_object quorRdiRetries{95228, 1};
// 4 asks the communication task to rebuild its port endpoints.
constexpr db_object quorCommPortReinit{95229, 1};
// Peripheral records, slot s = 0..254: type id (0 = free) and parameter text.
constexpr db_object quorPeripheralID(uint32_t s) { return {95232 + 2 * s, 2}; }
constexpr db_object quorPeripheralParameters(uint32_t s) { return {95744 + 4 * s, 4}; }
constexpr db_object quorPeripheralAuxIOTableIndex(uint32_t s) { return {96764 + 4 * s, 4}; }
// Trap enables: the generic traps' mask, the enterprise-specific traps' bit
// string, and the minutes a queued trap stays valid (0 forever).
constexpr db_object quorTrapsGeneric{97784, 1};
constexpr db_object quorTrapsEnterpriseSpecific{97788, 4};
constexpr db_object quorTrapsExpirationDuration{97792, 4};
// Message ID codes kept for central, i = 0..49.
constexpr db_object quorNumMessageIDs{97796, 1};
constexpr db_object quorMessageIDCode(uint32_t i) { return {97800 + 4 * i, 4}; }
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
// The fdot subtree: minutes without a central's request after which the poll
// flag rises, while the enable is 1.
constexpr db_object fdotDmsMaxPollTime{98084, 2};
constexpr db_object fdotDmsMaxPollTimeEnable{98086, 1};
// Pixel-failure limit; 0xFFFFFFFF: none.
constexpr db_object fdotMaxNumPixelFailure{98088, 4};
// The front panel's automatic log-out time; 0: never.
constexpr db_object fdotDmsPanelLogoutTime{98092, 2};
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
constexpr db_object dmsIllumNumBrightLevels{166, 1};
constexpr db_object numActionTableEntries{168, 1};
// MULTI field status table, rows j = 0..10.
constexpr db_object statMultiFieldRows{169, 1};
constexpr db_object dmsCurrentSpeed{170, 1};
// Bitmap of the open doors.
constexpr db_object dmsStatDoorOpen{171, 1};
constexpr db_object statMultiFieldCode(uint32_t j) { return {172 + j, 1}; }
constexpr db_object statMultiCurrentFieldValue(uint32_t j) { return {184 + 4 * j, 4}; }
// No lamps: both stay empty.
constexpr db_object lampFailureStuckOn{228, 4};
constexpr db_object lampFailureStuckOff{232, 4};
constexpr db_object fanFailures{236, 4};
constexpr db_object shortErrorStatus{240, 2};
constexpr db_object pixelTestActivation{242, 1};
constexpr db_object lampTestActivation{243, 1};
// The climate test of every testable climate row: 3 requested, 2 none.
constexpr db_object climateCtrlTestActivation{244, 1};
constexpr db_object controllerErrorStatus{245, 1};
constexpr db_object dmsPixelFailureTestRows{248, 2};
constexpr db_object dmsPixelFailureMessageRows{250, 2};
constexpr db_object lightFailureMap{252, 4};
constexpr db_object lightNumRows{256, 1};
constexpr db_object humidityFailureMap{260, 4};
constexpr db_object humidityNumRows{264, 1};
constexpr db_object tempFailureMap{268, 4};
constexpr db_object dmsTempSensorNumRows{272, 1};
// Signed: the highest high-critical and the lowest low-critical threshold.
constexpr db_object dmsTempSensorMaxHighCritical{273, 1};
constexpr db_object dmsTempSensorMinLowCritical{274, 1};
constexpr db_object dmsPowerFailureStatusMap{276, 4};
constexpr db_object dmsPowerNumRows{280, 1};
constexpr db_object climateFailureMap{284, 4};
constexpr db_object climateNumRows{288, 1};
// Power-supply table, row i = 0..299.
constexpr db_object dmsPowerDescription(uint32_t i) { return {292 + 4 * i, 4}; }
constexpr db_object dmsPowerMfrStatus(uint32_t i) { return {1492 + 4 * i, 4}; }
constexpr db_object dmsPowerStatus(uint32_t i) { return {2692 + i, 1}; }
constexpr db_object dmsPowerVoltage(uint32_t i) { return {2992 + 2 * i, 2}; }
constexpr db_object dmsPowerType(uint32_t i) { return {3592 + i, 1}; }
// Climate-control table, row i: columns 2 to 8.
constexpr db_object climateDescription(uint32_t i) { return {3892 + 4 * i, 4}; }
constexpr db_object climateStatusText(uint32_t i) { return {4020 + 4 * i, 4}; }
constexpr db_object climateState(uint32_t i) { return {4148 + i, 1}; }
constexpr db_object climateOn(uint32_t i) { return {4180 + i, 1}; }
constexpr db_object climateTestActivation(uint32_t i) { return {4212 + i, 1}; }
constexpr db_object climateText(uint32_t i) { return {4244 + 4 * i, 4}; }
constexpr db_object climateType(uint32_t i) { return {4372 + i, 1}; }
// The pixel-status bitmap in rows of 400 bytes, row i = 0..10.
constexpr db_object dmsPixelStatus(uint32_t i) { return {4404 + 4 * i, 4}; }
constexpr db_object lightDescription(uint32_t i) { return {4448 + 4 * i, 4}; }
constexpr db_object lightReading(uint32_t i) { return {4496 + 2 * i, 2}; }
constexpr db_object lightStatus(uint32_t i) { return {4520 + i, 1}; }
constexpr db_object humidityDescription(uint32_t i) { return {4532 + 4 * i, 4}; }
constexpr db_object humidityReading(uint32_t i) { return {4556 + i, 1}; }
constexpr db_object humidityStatus(uint32_t i) { return {4562 + i, 1}; }
// Temperature-sensor table, row i = 0..11; thresholds are signed degrees.
constexpr db_object dmsTempSensorDescription(uint32_t i) { return {4568 + 4 * i, 4}; }
constexpr db_object dmsTempSensorHighWarningTemperature(uint32_t i) { return {4616 + i, 1}; }
constexpr db_object dmsTempSensorLowWarningTemperature(uint32_t i) { return {4628 + i, 1}; }
constexpr db_object dmsTempSensorHighCriticalTemperature(uint32_t i) { return {4640 + i, 1}; }
constexpr db_object dmsTempSensorLowCriticalTemperature(uint32_t i) { return {4652 + i, 1}; }
constexpr db_object tempReading(uint32_t i) { return {4664 + i, 1}; }
constexpr db_object tempStatus(uint32_t i) { return {4676 + i, 1}; }
// Pixel failures of detection type t = 0..2, row r = 0..499.
constexpr db_object pixelFailureXLocation(uint32_t t, uint32_t r) { return {4688 + 2 * (500 * t + r), 2}; }
constexpr db_object pixelFailureYLocation(uint32_t t, uint32_t r) { return {7688 + 2 * (500 * t + r), 2}; }
constexpr db_object pixelFailureStatus(uint32_t t, uint32_t r) { return {10688 + 500 * t + r, 1}; }
// The UPS's measured output and input, the fuel and engine of a generator.
constexpr db_object signVolts{12188, 2};
constexpr db_object fuelLevel{12190, 1};
constexpr db_object engineRPM{12191, 1};
constexpr db_object lineVolts{12192, 1};
constexpr db_object powerSource{12193, 1};
constexpr db_object lowFuelThreshold{12194, 1};
// Signed degrees Celsius.
constexpr db_object tempMinCtrlCabinet{12196, 1};
constexpr db_object tempMaxCtrlCabinet{12197, 1};
constexpr db_object tempMinAmbient{12198, 1};
constexpr db_object tempMaxAmbient{12199, 1};
constexpr db_object tempMinSignHousing{12200, 1};
constexpr db_object tempMaxSignHousing{12201, 1};
constexpr db_object tempWarningMap{12204, 4};
constexpr db_object tempCriticalMap{12208, 4};
constexpr db_object dmsGraphicMaxEntries{12212, 1};
constexpr db_object dmsGraphicNumEntries{12213, 1};
constexpr db_object dmsGraphicMaxSize{12214, 2};
constexpr db_object dmsGraphicBlockSize{12220, 2};
constexpr db_object chapEntryCount{12224, 1};
constexpr db_object snmpMaxPacketSize{12228, 4};
constexpr db_object globalMaxModules{12232, 1};
// The standards the controller implements, one a line.
constexpr db_object controllerBaseStandards{12236, 4};
constexpr db_object moduleDeviceNode(uint32_t i) { return {12240 + 4 * i, 4}; }
// NTCIP 1201 module table, row i + 1.
constexpr db_object moduleMake(uint32_t i) { return {12272 + 4 * i, 4}; }
constexpr db_object moduleModel(uint32_t i) { return {12304 + 4 * i, 4}; }
constexpr db_object moduleVersion(uint32_t i) { return {12336 + 4 * i, 4}; }
constexpr db_object moduleType(uint32_t i) { return {12368 + i, 1}; }
// NTCIP 1201 database management: stored and answered only.
constexpr db_object dbCreateTransaction{12376, 1};
constexpr db_object dbErrorType{12377, 1};
constexpr db_object dbErrorID{12380, 4};
constexpr db_object dbTransactionID{12384, 1};
constexpr db_object dbMakeID{12385, 1};
constexpr db_object dbVerifyStatus{12386, 1};
constexpr db_object dbVerifyError{12388, 4};
constexpr db_object controllerLocalTime{12392, 4};
constexpr db_object dstEntryCount{12396, 1};
// The event log's sizes and counters.
constexpr db_object maxEventLogConfigs{12398, 2};
constexpr db_object maxEventLogSize{12400, 2};
constexpr db_object maxEventClasses{12402, 1};
constexpr db_object numEvents{12404, 2};
constexpr db_object eventClassNumEvents(uint32_t c) { return {12406 + 2 * c, 2}; }
// Community i = 0..99: its row number.
constexpr db_object communityNamesMax{12438, 1};
constexpr db_object communityNameIndex(uint32_t i) { return {12439 + i, 1}; }
constexpr db_object maxAuxIOv2TableNumDigitalPorts{12539, 1};
constexpr db_object maxAuxIOv2TableNumAnalogPorts{12540, 1};
constexpr db_object auxIOPortType(uint32_t i) { return {12544 + i, 1}; }
constexpr db_object auxIOPortNumber(uint32_t i) { return {12680 + i, 1}; }
constexpr db_object auxIOPortResolution(uint32_t i) { return {12816 + i, 1}; }
constexpr db_object auxIOPortValue(uint32_t i) { return {12952 + 4 * i, 4}; }
constexpr db_object auxIOPortDirection(uint32_t i) { return {13496 + i, 1}; }
constexpr db_object auxIOPortLastCommandedState(uint32_t i) { return {13632 + 4 * i, 4}; }
// Detail code of pixel failure row k = (detection type - 1) x 500 + index - 1.
constexpr db_object quorPixelFailureDetail(uint32_t k) { return {14176 + 2 * k, 2}; }
// The private reset option: 1 idle, 2..8 a reset with memory cleared to a
// chosen depth.
constexpr db_object quorResetOption{17176, 1};
// Percent; kept by the display's legibility check.
constexpr db_object quorLegibilityRatio{17177, 1};
// The maintenance heater: 1 requested on, 2 off.
constexpr db_object maintenanceHeaterRequest{17178, 1};
// Percent of dead space in the flash file system.
constexpr db_object quorFlashDeadSpace{17179, 1};
constexpr db_object activationSlotCode(uint32_t s) { return {17184 + 4 * s, 4}; }
constexpr db_object activationSlotSourceMode(uint32_t s) { return {17212 + s, 1}; }
constexpr db_object activationSlotReason(uint32_t s) { return {17219 + s, 1}; }
constexpr db_object activationSlotEndTime(uint32_t s) { return {17228 + 4 * s, 4}; }
constexpr db_object activationSlotLastCode(uint32_t s) { return {17256 + 4 * s, 4}; }
constexpr db_object quorNumLineLengths{17316, 1};
constexpr db_object quorPowerModeStatus{17317, 1};
// File transfer: command and state, block size, file size, block number.
constexpr db_object quorFileTransferState{17320, 1};
constexpr db_object quorFileTransferBlockSize{17322, 2};
constexpr db_object quorFileTransferFileSize{17324, 4};
constexpr db_object quorFileTransferBlockNumber{17328, 2};
// The file-transfer request: the file name (a directory pattern for a
// listing) and the CRC-16 of its bytes.
constexpr db_object fileTransferName{17332, 4};
constexpr db_object fileTransferNameCrc{17336, 2};
// Failed pixels the modules report, all modules summed.
constexpr db_object quorFailedPixelsDisplay{17340, 2};
constexpr db_object quorFailedPixelsTest{17342, 2};
// Average humidity of the sign's sensors, percent.
constexpr db_object humiditySignAverage{17344, 1};
constexpr db_object quorAmbientHumidity{17345, 1};
constexpr db_object quorCabinetHumidity{17346, 1};
// Why the running message runs (the reason of its activation slot).
constexpr db_object quorActivationReason{17348, 1};
// The brightness asked for before derating and ceiling, and why the level
// sent differs: 1 not limited, 2 derated, 3 held at the ceiling.
constexpr db_object quorRequestedBrightness{17349, 1};
constexpr db_object quorBrightnessLimitReason{17350, 1};
// Status words j = 0..3 (no part of the controller writes them).
constexpr db_object quorStatusWord(uint32_t j) { return {17356 + 2 * j, 2}; }
// The real-time data input's buffer size and its last record.
constexpr db_object rtdBufferSize{17364, 4};
constexpr db_object quorRealTimeData{17368, 4};
// The ports 1..5 (p = 0..4) and their kinds: 2 serial, 3 modem, 4 Ethernet.
constexpr db_object quorCommConfigNumPorts{17372, 1};
constexpr db_object quorCommConfigPortKind(uint32_t p) { return {17373 + p, 1}; }
constexpr db_object peripheralTableLock{17378, 1};
constexpr db_object quorPeripheralTableSize{17380, 2};
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
constexpr db_object ifNumber{24580, 4};
constexpr db_object ifIndex{24584, 4};
constexpr db_object ifDescr{24588, 4};
constexpr db_object ifType{24592, 1};
constexpr db_object ifMtu{24596, 4};
constexpr db_object ifPhysAddress{24600, 4};
constexpr db_object ifAdminStatus{24604, 1};
constexpr db_object ifOperStatus{24605, 1};
constexpr db_object ifLastChange{24608, 4};
// The interface's counters, ifInOctets .. ifOutErrors (columns 10..20), k = 0..10.
constexpr db_object ifCounter(uint32_t k) { return {24612 + 4 * k, 4}; }
constexpr db_object ifOutQLen{24656, 4};
constexpr db_object ifSpecific{24660, 4};
// The IP counters ipInReceives .. ipFragCreates (4.3 .. 4.19), k = 0..16.
constexpr db_object ipCounter(uint32_t k) { return {24668 + 4 * k, 4}; }
constexpr db_object ipRoutingDiscards{24736, 4};
constexpr db_object ipAdEntAddr{24740, 4};
constexpr db_object ipAdEntIfIndex{24744, 4};
constexpr db_object ipAdEntNetMask{24748, 4};
constexpr db_object ipAdEntBcastAddr{24752, 4};
constexpr db_object ipAdEntReasmMaxSize{24756, 2};
constexpr db_object ipRouteDest{24760, 4};
constexpr db_object ipRouteIfIndex{24764, 4};
constexpr db_object ipRouteMetric(uint32_t k) { return {24768 + 4 * k, 4}; }  // metrics 1..4
constexpr db_object ipRouteNextHop{24784, 4};
constexpr db_object ipRouteType{24788, 1};
constexpr db_object ipRouteProto{24789, 1};
constexpr db_object ipRouteAge{24792, 4};
constexpr db_object ipRouteMetric5{24796, 4};
constexpr db_object ipRouteInfo{24800, 4};
// Ethernet statistics: the counters in column order (2..11, 13, 16), k = 0..11.
constexpr db_object dot3StatsIndex{24820, 4};
constexpr db_object dot3StatsCounter(uint32_t k) { return {24824 + 4 * k, 4}; }
constexpr db_object dot3StatsEtherChipSet{24872, 4};
// LAPB and RS-232 rows of the serial ports, i = 0..4 (CCP, AUX, MODEM,
// LAPTOP, Ethernet); the LAPB timers t = 0..3 are columns 9..12.
constexpr db_object lapbAdmnIndex(uint32_t i) { return {24884 + 4 * i, 4}; }
constexpr db_object lapbAdmnTimer(uint32_t t, uint32_t i) { return {24904 + 20 * t + 4 * i, 4}; }
constexpr db_object lapbOperIndex(uint32_t i) { return {24984 + 4 * i, 4}; }
constexpr db_object lapbOperTransmitN1FrameSize(uint32_t i) { return {25004 + 4 * i, 4}; }
constexpr db_object lapbOperReceiveN1FrameSize(uint32_t i) { return {25024 + 4 * i, 4}; }
constexpr db_object lapbOperPortId(uint32_t i) { return {25044 + 4 * i, 4}; }
constexpr db_object rs232Number{25064, 4};
constexpr db_object rs232PortIndex(uint32_t i) { return {25068 + 4 * i, 4}; }
constexpr db_object rs232PortType(uint32_t i) { return {25088 + i, 1}; }
constexpr db_object rs232AsyncPortIndex(uint32_t i) { return {25096 + 4 * i, 4}; }
constexpr db_object rs232AsyncPortFramingErrs(uint32_t i) { return {25116 + 4 * i, 4}; }
constexpr db_object rs232AsyncPortOverrunErrs(uint32_t i) { return {25136 + 4 * i, 4}; }
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
// The vestrel subtree's own values (start values at every start).
constexpr db_object vestrelConfigByte(uint32_t k) { return {25288 + k, 1}; }
constexpr db_object vestrelConfigText{25292, 4};
constexpr db_object vestrelConfigByte2(uint32_t k) { return {25296 + k, 1}; }
constexpr db_object vestrelTable5Col2(uint32_t i) { return {25308 + i, 1}; }
constexpr db_object vestrelTable5Col3(uint32_t i) { return {25313 + i, 1}; }
constexpr db_object vestrelGroup20Flag{25320, 1};
constexpr db_object vestrelGroup20Value{25324, 4};
constexpr db_object vestrelGroup20Text(uint32_t j) { return {25328 + 4 * j, 4}; }
// Word 1 is vestrelStatusBits.
constexpr db_object vestrelGroup20Word(uint32_t j) { return {25340 + 4 * j, 4}; }
constexpr db_object vestrelStatusBits{25344, 4};
// The light sensors' levels, low byte.
constexpr db_object lightLevelAmbient{25360, 1};
constexpr db_object lightLevelFront{25361, 1};
constexpr db_object lightLevelRear{25362, 1};
constexpr db_object vestrelStatusText1{25364, 4};
constexpr db_object vestrelStatus12{25368, 1};
// 1 standard time, 2 daylight-saving time.
constexpr db_object dstActive{25369, 1};
constexpr db_object vestrelStatus14{25370, 1};
constexpr db_object vestrelStatusText2{25372, 4};
constexpr db_object vestrelStatus17{25376, 1};
constexpr db_object vestrelStatus18{25377, 1};
constexpr db_object vestrelStatus19{25378, 1};
constexpr db_object vestrelStatusText3{25380, 4};
constexpr db_object vestrelStatus21{25384, 1};
// vestrel table 8, k = ((a - 1) x 5 + b - 1) x 5 + c - 1 = 0..149.
constexpr db_object vestrelTable8Col4(uint32_t k) { return {25388 + k, 1}; }
constexpr db_object vestrelTable8Col5(uint32_t k) { return {25538 + k, 1}; }
constexpr db_object vestrelTable8Col6(uint32_t k) { return {25688 + 4 * k, 4}; }
constexpr db_object vestrelTable9Col2(uint32_t i) { return {26288 + i, 1}; }
constexpr db_object vestrelTable9Col3(uint32_t i) { return {26293 + i, 1}; }
constexpr db_object vestrelTable9Col4(uint32_t i) { return {26298 + i, 1}; }
constexpr db_object vestrelTable9Col6(uint32_t i) { return {26308 + i, 1}; }
// vestrel table 11, k = (a - 1) x 5 + b - 1 = 0..24.
constexpr db_object vestrelTable11Col3(uint32_t k) { return {26316 + 4 * k, 4}; }
constexpr db_object vestrelTable16Col2(uint32_t i) { return {26416 + 4 * i, 4}; }
// The NTCIP 1204 location served under ess (read-only).
constexpr db_object essLatitude{26436, 4};
constexpr db_object essLongitude{26440, 4};
constexpr db_object essVehicleBearing{26444, 2};
}  // namespace vol
