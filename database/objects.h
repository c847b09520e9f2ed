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
constexpr db_object dmsSignAccess{56, 1};
constexpr db_object dmsSignType{57, 1};
constexpr db_object vmsCharacterHeightPixels{60, 1};
constexpr db_object vmsCharacterWidthPixels{61, 1};
constexpr db_object vmsSignHeightPixels{62, 2};
constexpr db_object vmsSignWidthPixels{64, 2};
constexpr db_object fontNumber(uint32_t f) { return {72 + f, 1}; }
constexpr db_object fontName(uint32_t f) { return {92 + 4 * f, 4}; }
constexpr db_object fontHeight(uint32_t f) { return {172 + f, 1}; }
constexpr db_object fontCharSpacing(uint32_t f) { return {192 + f, 1}; }
constexpr db_object fontLineSpacing(uint32_t f) { return {212 + f, 1}; }
constexpr db_object fontVersionID(uint32_t f) { return {232 + 2 * f, 2}; }
constexpr db_object fontStatus(uint32_t f) { return {272 + f, 1}; }
constexpr db_object characterWidth(uint32_t f, uint32_t c) { return {292 + 255 * f + c, 1}; }
constexpr db_object characterBitmap(uint32_t f, uint32_t c) { return {5392 + 4 * (255 * f + c), 4}; }
constexpr db_object dmsSWReset{33564, 1};
constexpr db_object dmsTimeCommLoss{33600, 2};
constexpr db_object dmsIllumBrightnessValues{33624, 4};
constexpr db_object globalTime{48180, 4};
constexpr db_object globalLocalTimeDifferential{48188, 4};
constexpr db_object controllerStandardTimeZone{48192, 4};
constexpr db_object eventClassLimit(uint32_t c) { return {93500 + c, 1}; }
constexpr db_object eventClassClearTime(uint32_t c) { return {93516 + 4 * c, 4}; }
constexpr db_object quorDisplayMode{95016, 1};
constexpr db_object quorShutOffTemp{95023, 1};
constexpr db_object quorMessageTableMode{95028, 1};
constexpr db_object quorModuleID{95030, 2};
constexpr db_object quorSpecialFeatureSet{95052, 4};
constexpr db_object quorFeatureSet{95096, 4};
constexpr db_object quorCommConfigInnerCharTimeout(uint32_t p) { return {95192 + 2 * p, 2}; }
constexpr db_object watchdogFailureCount{34656, 4};
constexpr db_object rs232PortInSpeed(uint32_t p) { return {98048 + 4 * p, 4}; }
}  // namespace nv

// mib_v: the volatile area.
namespace vol {
constexpr db_object dmsActivateMessage{140, 4};
constexpr db_object dmsControlMode{144, 1};
constexpr db_object dmsMemoryMgmt{145, 1};
constexpr db_object pixelTestActivation{242, 1};
constexpr db_object lampTestActivation{243, 1};
constexpr db_object activationSlotCode(uint32_t s) { return {17184 + 4 * s, 4}; }
constexpr db_object peripheralTableLock{17378, 1};
constexpr db_object vestrelStatusBits{25344, 4};
}  // namespace vol
