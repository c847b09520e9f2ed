#include "database/config_table.h"

#define ROW(name, off, size, kind, count, last, def) {name, off, size, kind, count, last, 0, def}
#define I CONFIG_INTEGER
#define S CONFIG_STRING

const config_object_entry g_config_objects[CONFIG_OBJECT_COUNT] = {
    ROW("dmsSignHeight", 48, 2, I, 0, 48, 1072),
    ROW("dmsSignWidth", 50, 2, I, 0, 50, 2260),
    ROW("dmsHorizontalBorder", 52, 2, I, 0, 52, 305),
    ROW("dmsVerticalBorder", 54, 2, I, 0, 54, 305),
    ROW("dmsSignAccess", 56, 1, I, 0, 56, 8),
    ROW("dmsSignType", 57, 1, I, 0, 57, 5),
    ROW("dmsBeaconType", 58, 1, I, 0, 58, 2),
    ROW("vmsSignHeightPixels", 62, 2, I, 0, 62, 7),
    ROW("vmsSignWidthPixels", 64, 2, I, 0, 64, 25),
    ROW("vmsCharacterHeightPixels", 60, 1, I, 0, 60, 7),
    ROW("vmsCharacterWidthPixels", 61, 1, I, 0, 61, 0),
    ROW("chapName[0]", 48124, 4, S, 1, 48124, 0),
    ROW("chapSecret[0]", 48128, 4, S, 1, 48128, 0),
    ROW("quorIllumBrightnessScaler", 95020, 1, I, 0, 95020, 0),
    ROW("quorSignSerialNum", 95112, 4, I, 0, 95112, 0),
    ROW("quorControllerSerialNum", 95108, 4, I, 0, 95108, 0),
    ROW("globalDaylightSaving", 48184, 1, I, 0, 48184, 1),
    ROW("dstBeginMonth[0]", 48196, 1, I, 10, 48205, 14),
    ROW("controllerStandardTimeZone", 48192, 4, I, 0, 48192, -21600),
    ROW("dstBeginOccurrences[0]", 48206, 1, I, 10, 48215, 1),
    ROW("dstBeginDayOfWeek[0]", 48216, 1, I, 10, 48225, 1),
    ROW("dstBeginDayOfMonth[0]", 48226, 1, I, 10, 48235, 1),
    ROW("dstBeginSecondsToTransition[0]", 48236, 4, I, 10, 48272, 0),
    ROW("dstEndMonth[0]", 48276, 1, I, 10, 48285, 14),
    ROW("dstEndOccurrences[0]", 48286, 1, I, 10, 48295, 1),
    ROW("dstEndDayOfWeek[0]", 48296, 1, I, 10, 48305, 1),
    ROW("dstEndDayOfMonth[0]", 48306, 1, I, 10, 48315, 1),
    ROW("dstEndSecondsToTransition[0]", 48316, 4, I, 10, 48352, 0),
    ROW("dstSecondsToAdjust[0]", 48356, 2, I, 10, 48374, 0),
    ROW("quorLegibilityRatioThreshold", 95044, 1, I, 0, 95044, 0),
    ROW("fdotMaxNumPixelFailure", 98088, 4, I, 0, 98088, -1),
    ROW("rs232PortInSpeed[0]", 98048, 4, I, 5, 98064, 9600),
    ROW("ifSpeed[0]", 98024, 4, I, 1, 98024, 83886080),
    ROW("quorShutOffTemp", 95023, 1, I, 0, 95023, 85),
    ROW("quorCallbackNumber", 95144, 4, S, 0, 95144, 0),
    ROW("quorCallbackMinTimeBetweenAttempts", 95148, 2, I, 0, 95148, 5),
    ROW("quorCallbackMaxAttempts", 95150, 1, I, 0, 95150, 5),
    ROW("quorLCDPassword", 95152, 4, I, 0, 95152, DB_FACTORY_USER_PIN),
    ROW("quorModuleID", 95030, 2, I, 0, 95030, 0),
    ROW("quorCommConfigFlowControl[0]", 95176, 1, I, 5, 95180, 0),
    ROW("quorCommConfigProtocol[0]", 95181, 1, I, 5, 95185, 2),
    ROW("quorCommConfigTraps[0]", 95186, 1, I, 5, 95190, 0),
    ROW("quorCommConfigInnerCharTimeout[0]", 95192, 2, I, 5, 95200, 0),
    ROW("quorCommConfigParameters[0]", 95204, 4, S, 0, 95220, 0),
    ROW("quorEnableRealTimePixelDiagnostics", 95032, 1, I, 0, 95032, 0),
    ROW("quorhdlcAddress", 95036, 4, I, 0, 95036, 1),
    ROW("quorLCDAdminPassword", 95040, 4, I, 0, 95040, DB_FACTORY_ADMIN_PIN),
    ROW("quorTrapsGeneric", 97784, 1, I, 0, 97784, 65),
    ROW("quorTrapsEnterpriseSpecific", 97788, 4, S, 0, 97788, 0),
    ROW("quorTrapsExpirationDuration", 97792, 4, I, 0, 97792, 0),
    ROW("quorPeripheralID[0]", 95232, 2, I, 255, 95740, 0),
    ROW("quorPeripheralParameters[0]", 95744, 4, S, 255, 96760, 0),
    ROW("quorPeripheralAuxIOTableIndex[0]", 96764, 4, S, 255, 97780, 0),
    ROW("quorMPSCBayHeightInModules", 95116, 1, I, 0, 95116, 0),
    ROW("quorMPSCBayWidthInModules", 95117, 1, I, 0, 95117, 0),
    ROW("quorModTimeout", 95046, 2, I, 0, 95046, 10),
    ROW("quorLineLength[0]", 95118, 1, I, 9, 95126, 0),
    ROW("quorSpecialFeatureSet", 95052, 4, I, 0, 95052, 0),
    ROW("vmsHorizontalPitch", 66, 1, I, 0, 66, 66),
    ROW("vmsVerticalPitch", 67, 1, I, 0, 67, 66),
    ROW("quorRemoteIPAddress", 95056, 4, I, 0, 95056, 0),
    ROW("quorRemoteIPPort", 95060, 2, I, 0, 95060, 162),
    ROW("quorHostIPPort", 95062, 2, I, 0, 95062, 161),
    ROW("quorHostHttpPort", 95064, 2, I, 0, 95064, 80),
    ROW("quorEthernetMode", 95066, 1, I, 0, 95066, 1),
    ROW("quorCANBaudRate", 95092, 1, I, 0, 95092, 1),
    ROW("quorCANMaxLineLength", 95093, 1, I, 0, 95093, 0),
    ROW("quorFeatureSet", 95096, 4, I, 0, 95096, 0),
    ROW("quorNTPIPAddress", 95068, 4, I, 0, 95068, 0),
    ROW("quorNTPPollTime", 95076, 2, I, 0, 95076, 60),
};

#undef ROW
#undef I
#undef S

const config_object_entry* config_object_find(uint32_t offset) {
  for (const auto& row : g_config_objects)
    if (offset >= row.offset && offset <= row.last_offset) return &row;
  return nullptr;
}

uint32_t config_object_elements(const config_object_entry& row) {
  return (row.last_offset - row.offset) / row.element_size + 1;
}
