// Factory defaults of the NTCIP 1203 sign objects: configuration, fonts,
// MULTI defaults, the message table, sign control, illumination, the action
// and graphic tables, and the volatile sign status.
#include <initializer_list>

#include "database/defaults.h"
#include "database/defaults_util.h"
#include "display/multi/colour.h"

using dflt::empty;
using dflt::fill;
using dflt::fill_empty;
using dflt::value;

namespace {

constexpr uint32_t kFonts = 20;
constexpr uint32_t kCharacters = 255;
constexpr uint32_t kMessageRows = 550;
constexpr uint32_t kChangeableRows = 500;
constexpr uint32_t kGraphicRows = 50;
constexpr uint32_t kGraphicBlocks = 63;

constexpr uint8_t kMsgStatusNotUsed = 1;
constexpr uint8_t kMsgStatusValid = 4;
constexpr uint8_t kGraphicStatusNotUsed = 1;
constexpr uint8_t kFontStatusUnmanaged = 11;

// One row of the message table in mib_nv.
void message_row(CDataBase& db, uint32_t r, uint32_t priority) {
  uint8_t* nv = db.mib_nv;
  empty(db, nv, 25832 + 4 * r);  // MULTI text
  empty(db, nv, 28032 + 4 * r);  // owner
  value(db, nv, 30232 + 2 * r, 2, 0);
  value(db, nv, 31332 + r, 1, 0);
  value(db, nv, 31882 + r, 1, 0);
  value(db, nv, 32432 + r, 1, priority);
  value(db, nv, 32982 + r, 1, kMsgStatusNotUsed);
}

// A message row laid out as one record: text, owner, CRC (u16), beacon,
// pixel service, run-time priority, status.
void message_record(CDataBase& db, uint8_t* area, uint32_t at, uint32_t priority, uint32_t status) {
  empty(db, area, at);
  empty(db, area, at + 4);
  value(db, area, at + 8, 2, 0);
  value(db, area, at + 10, 1, 0);
  value(db, area, at + 11, 1, 0);
  value(db, area, at + 12, 1, priority);
  value(db, area, at + 13, 1, status);
}

// The 3 low bytes of a 24-bit colour, least significant first.
void put_colour(uint8_t* out, uint32_t colour) {
  out[0] = static_cast<uint8_t>(colour);
  out[1] = static_cast<uint8_t>(colour >> 8);
  out[2] = static_cast<uint8_t>(colour >> 16);
}

}  // namespace

void defaults_sign_nv(CDataBase& db, int keep) {
  uint8_t* nv = db.mib_nv;
  if (!keep) {
    // Sign configuration.
    value(db, nv, 48, 2, 1072);  // dmsSignHeight
    value(db, nv, 50, 2, 2260);  // dmsSignWidth
    value(db, nv, 52, 2, 305);   // dmsHorizontalBorder
    value(db, nv, 54, 2, 305);   // dmsVerticalBorder
    value(db, nv, 56, 1, 8);     // dmsSignAccess
    value(db, nv, 57, 1, 5);     // dmsSignType
    value(db, nv, 58, 1, 2);     // dmsBeaconType
    // Pixel configuration.
    value(db, nv, 60, 1, 7);   // vmsCharacterHeightPixels
    value(db, nv, 61, 1, 0);   // vmsCharacterWidthPixels
    value(db, nv, 62, 2, 7);   // vmsSignHeightPixels
    value(db, nv, 64, 2, 25);  // vmsSignWidthPixels
    value(db, nv, 66, 1, 66);  // vmsHorizontalPitch
    value(db, nv, 67, 1, 66);  // vmsVerticalPitch
    // The on (amber) and off (black) colours of the module type this reset
    // stores, not of the one it replaces.
    uint8_t mono[6];
    put_colour(mono, colour_value_for_module_type(9, dflt::kFactoryModuleID));
    put_colour(mono + 3, colour_value_for_module_type(0, dflt::kFactoryModuleID));
    dflt::bytes(db, nv, 68, mono, sizeof mono);
  }

  // Font table: every slot unmanaged and empty.
  for (uint32_t f = 0; f < kFonts; ++f) {
    value(db, nv, 72 + f, 1, 0);  // fontNumber
    empty(db, nv, 92 + 4 * f);    // fontName
    value(db, nv, 172 + f, 1, 0);
    value(db, nv, 192 + f, 1, 0);
    value(db, nv, 212 + f, 1, 0);
    value(db, nv, 232 + 2 * f, 2, 0);  // fontVersionID
    value(db, nv, 272 + f, 1, kFontStatusUnmanaged);
  }
  fill(db, nv, 292, kFonts * kCharacters, 1, 1, 0);  // characterWidth
  fill_empty(db, nv, 5392, kFonts * kCharacters);    // characterBitmap

  // MULTI defaults.
  static const uint8_t kMulti[] = {0, 9, 10, 10, 8, 3, 3, 20, 0, 2};  // 25792..25801
  for (uint32_t i = 0; i < sizeof kMulti; ++i) value(db, nv, 25792 + i, 1, kMulti[i]);
  if (!keep) value(db, nv, 25802, 1, 6);  // dmsMaxNumberPages
  // The defaults in force at the last activation start as the defaults.
  for (uint32_t i = 0; i < 7; ++i) value(db, nv, 25820 + i, 1, db.GetValue(25794 + i, 1, nv, 0));
  value(db, nv, 25803, 1, 3);  // dmsColorScheme: colorClassic
  static const uint8_t kBlack = 0, kAmber = 9;
  dflt::bytes(db, nv, 25804, &kBlack, 1);  // defaultBackgroundRGB
  dflt::bytes(db, nv, 25812, &kBlack, 1);  // and its copy at activation
  dflt::bytes(db, nv, 25808, &kAmber, 1);  // defaultForegroundRGB
  dflt::bytes(db, nv, 25816, &kAmber, 1);
  value(db, nv, 25828, 1, 2);  // dmsValidateMessageError: none

  // Message table: rows 500..549 (the permanent messages) only on a full reset.
  for (uint32_t r = 0; r < kChangeableRows; ++r) message_row(db, r, 1);
  if (!keep)
    for (uint32_t r = kChangeableRows; r < kMessageRows; ++r) message_row(db, r, 190);
  message_record(db, nv, 33532, 1, kMsgStatusValid);  // schedule row
  message_record(db, nv, 33548, 1, kMsgStatusValid);  // current buffer

  // Sign control.
  value(db, nv, 33564, 1, 0);      // dmsSWReset
  value(db, nv, 33566, 2, 65535);  // dmsMessageTimeRemaining
  dflt::bytes(db, nv, 33568, dflt::kBlankMessage1, 5);
  value(db, nv, 33572, 4, 0);   // dmsMsgRequesterID
  value(db, nv, 33576, 1, 11);  // dmsMsgSourceMode: reset
  dflt::bytes(db, nv, 33580, dflt::kCurrentBuffer1, 5);
  dflt::bytes(db, nv, 33584, dflt::kCurrentBuffer1, 5);
  value(db, nv, 33588, 2, 60);  // dmsShortPowerLossTime
  dflt::bytes(db, nv, 33592, dflt::kCurrentBuffer1, 5);
  dflt::bytes(db, nv, 33596, dflt::kBlankMessage1, 5);
  value(db, nv, 33600, 2, 0);  // dmsTimeCommLoss
  dflt::bytes(db, nv, 33604, dflt::kCurrentBuffer1, 5);
  dflt::bytes(db, nv, 33608, dflt::kBlankMessage1, 5);
  value(db, nv, 33612, 1, 0);  // dmsActivateMsgError
  value(db, nv, 33613, 1, 2);  // dmsMultiSyntaxError: none
  value(db, nv, 33614, 2, 0);
  empty(db, nv, 33616);  // dmsMultiOtherErrorDescription

  // Illumination.
  value(db, nv, 33620, 1, 2);    // dmsIllumControl: photocell
  value(db, nv, 33621, 1, 255);  // dmsIllumManLevel
  static const uint8_t kBrightnessValues = 0x30;
  dflt::bytes(db, nv, 33624, &kBrightnessValues, 1);
  value(db, nv, 33628, 1, 2);  // dmsIllumBrightnessValuesError: none
  value(db, nv, 33630, 2, 0);

  fill_empty(db, nv, 33632, 255);  // dmsActionMsgCode
  value(db, nv, 34652, 1, 0);
  value(db, nv, 34656, 4, 0);  // watchdogFailureCount

  if (!keep) {
    for (uint32_t g = 0; g < kGraphicRows; ++g) {
      db.SetValue(34660 + g, 1, 0, nv, DB_NOTIFY | DB_NO_VALIDATE);  // dmsGraphicNumber
      empty(db, nv, 34712 + 4 * g);
      value(db, nv, 34912 + g, 1, 0);
      value(db, nv, 34962 + 2 * g, 2, 0);
      value(db, nv, 35062 + g, 1, 1);  // dmsGraphicType
      value(db, nv, 35112 + 2 * g, 2, 0);
      value(db, nv, 35212 + g, 1, 0);
      dflt::bytes(db, nv, 35264 + 4 * g, &kBlack, 1);  // transparent colour
      value(db, nv, 35464 + g, 1, kGraphicStatusNotUsed);
    }
    fill_empty(db, nv, 35516, kGraphicRows * kGraphicBlocks);
  }
}

void defaults_sign_v(CDataBase& db) {
  uint8_t* v = db.mib_v;
  uint8_t* nv = db.mib_nv;
  value(db, v, 0, 1, 2);  // dmsLegend
  value(db, v, 2, 2, 2);  // dmsSignTechnology
  uint32_t sign_type = db.GetValue(57, 1, nv, 0);
  value(db, v, 4, 1, sign_type == 4 || sign_type == 132 ? 1 : 20);  // numFonts
  value(db, v, 6, 2, 255);  // maxFontCharacters
  value(db, v, 8, 1, 64);   // fontMaxCharacterSize
  static const uint8_t kTags[4] = {0xFF, 0xFF, 0xFF, 0x3F};
  dflt::bytes(db, v, 12, kTags, sizeof kTags);  // dmsSupportedMultiTags
  value(db, v, 16, 2, 3000);                    // dmsMaxMultiStringLength

  uint32_t permanent = 2, changeable = 0;
  for (uint32_t r = 0; r < kMessageRows; ++r) {
    if (db.GetValue(32982 + r, 1, nv, 0) != kMsgStatusValid) continue;
    if (r < kChangeableRows)
      ++changeable;
    else
      ++permanent;
  }
  value(db, v, 20, 2, permanent);
  value(db, v, 22, 2, changeable);
  value(db, v, 24, 2, kChangeableRows);  // dmsMaxChangeableMsg
  value(db, v, 28, 4, 750000 - 1500 * changeable);
  value(db, v, 32, 2, 0);  // dmsNumVolatileMsg
  value(db, v, 34, 2, 4);  // dmsMaxVolatileMsg
  value(db, v, 36, 4, 6000);

  // The four volatile messages.
  for (uint32_t i = 0; i < 4; ++i) {
    empty(db, v, 40 + 4 * i);
    empty(db, v, 56 + 4 * i);
    value(db, v, 72 + 2 * i, 2, 0);
    value(db, v, 80 + i, 1, 0);
    value(db, v, 84 + i, 1, 0);
    value(db, v, 88 + i, 1, 1);
    value(db, v, 92 + i, 1, kMsgStatusNotUsed);
  }
  // The two built-in permanent messages.
  for (uint32_t i = 0; i < 2; ++i) {
    empty(db, v, 96 + 4 * i);
    empty(db, v, 104 + 4 * i);
    value(db, v, 112 + 2 * i, 2, 0);
    value(db, v, 116 + i, 1, 0);
    value(db, v, 118 + i, 1, 0);
  }
  value(db, v, 120, 1, 255);
  value(db, v, 121, 1, 1);
  value(db, v, 122, 1, kMsgStatusValid);
  value(db, v, 123, 1, kMsgStatusValid);
  message_record(db, v, 124, 1, kMsgStatusNotUsed);

  // Sign control.
  empty(db, v, 140);       // dmsActivateMessage
  value(db, v, 144, 1, 4);  // dmsControlMode: central
  value(db, v, 145, 1, 2);  // dmsMemoryMgmt: normal
  fill(db, v, 146, 3, 2, 2, 0);
  empty(db, v, 152);  // dmsActivateErrorMsgCode
  value(db, v, 156, 1, 1);
  // Illumination and action-table counts.
  value(db, v, 160, 1, 0);
  value(db, v, 162, 2, 0);
  value(db, v, 164, 2, 65535);  // the maximum photocell level
  value(db, v, 166, 1, 255);
  value(db, v, 168, 1, 255);
  fill(db, v, 169, 3, 1, 1, 0);
  // MULTI field table.
  for (uint32_t i = 0; i < 11; ++i) {
    value(db, v, 172 + i, 1, i + 1);
    empty(db, v, 184 + 4 * i);
  }

  // Error status objects.
  static const uint8_t kZero[2] = {0, 0};
  fill_empty(db, v, 228, 3);
  value(db, v, 240, 2, 0);  // shortErrorStatus
  value(db, v, 242, 1, 2);  // pixelTestActivation: noTest
  value(db, v, 243, 1, 2);  // lampTestActivation: noTest
  value(db, v, 244, 1, 2);
  value(db, v, 245, 1, 0);
  value(db, v, 246, 2, 0);
  value(db, v, 248, 2, 0);
  value(db, v, 250, 2, 0);
  empty(db, v, 252);
  empty(db, v, 260);
  empty(db, v, 268);
  for (uint32_t o : {256u, 264u, 272u, 273u, 274u}) value(db, v, o, 1, 0);
  dflt::bytes(db, v, 276, kZero, 1);
  dflt::bytes(db, v, 284, kZero, 1);
  value(db, v, 280, 1, 0);
  value(db, v, 288, 1, 0);

  // Power status table.
  for (uint32_t i = 0; i < 300; ++i) {
    empty(db, v, 292 + 4 * i);
    empty(db, v, 1492 + 4 * i);
    value(db, v, 2692 + i, 1, 2);
    value(db, v, 2992 + 2 * i, 2, 0);
    value(db, v, 3592 + i, 1, 6);
  }
  // Lamp status table.
  for (uint32_t i = 0; i < 32; ++i) {
    empty(db, v, 3892 + 4 * i);
    empty(db, v, 4020 + 4 * i);
    value(db, v, 4148 + i, 1, 2);
    value(db, v, 4180 + i, 1, 0);
    value(db, v, 4212 + i, 1, 2);
    empty(db, v, 4244 + 4 * i);
    value(db, v, 4372 + i, 1, 1);
  }
  fill_empty(db, v, 4404, 11);
  // Light-sensor, humidity and temperature status tables.
  for (uint32_t i = 0; i < 12; ++i) {
    empty(db, v, 4448 + 4 * i);
    value(db, v, 4496 + 2 * i, 2, 0);
    value(db, v, 4520 + i, 1, 2);
  }
  for (uint32_t i = 0; i < 6; ++i) {
    empty(db, v, 4532 + 4 * i);
    value(db, v, 4556 + i, 1, 0);
    value(db, v, 4562 + i, 1, 2);
  }
  for (uint32_t i = 0; i < 12; ++i) {
    empty(db, v, 4568 + 4 * i);
    value(db, v, 4616 + i, 1, 127);
    value(db, v, 4628 + i, 1, 128);
    value(db, v, 4640 + i, 1, 127);
    value(db, v, 4652 + i, 1, 128);
    value(db, v, 4664 + i, 1, 0);
    value(db, v, 4676 + i, 1, 0);
  }
  // Pixel status: rows 0..2 of each of the three 500-row groups.
  for (uint32_t k = 0; k < 3; ++k)
    for (uint32_t r = 0; r < 3; ++r) {
      value(db, v, 4688 + 2 * (500 * k + r), 2, 1);
      value(db, v, 7688 + 2 * (500 * k + r), 2, 1);
      value(db, v, 10688 + 500 * k + r, 1, 0);
    }
  // Power and temperature status.
  value(db, v, 12188, 2, 0);
  value(db, v, 12190, 1, 0);
  value(db, v, 12191, 1, 0);
  value(db, v, 12192, 1, 120);
  value(db, v, 12193, 1, 4);
  value(db, v, 12194, 1, 0);
  fill(db, v, 12196, 6, 1, 1, 0);
  empty(db, v, 12204);
  empty(db, v, 12208);

  // Graphic-table summary. Rows not in use lose their bitmap blocks (these
  // writes are not journalled: journalling is off here).
  value(db, v, 12212, 1, kGraphicRows);
  uint32_t graphics = 0;
  for (uint32_t g = 0; g < kGraphicRows; ++g) {
    uint32_t status = db.GetValue(35464 + g, 1, nv, 0);
    if (status == 4 || status == 5) ++graphics;
    if (status == kGraphicStatusNotUsed)
      for (uint32_t b = 0; b < kGraphicBlocks; ++b)
        db.SetString(35516 + 4 * (kGraphicBlocks * g + b), 4, "", 0, nv, DB_NOTIFY | DB_NO_VALIDATE);
  }
  value(db, v, 12213, 1, graphics);
  value(db, v, 12214, 2, 64449);     // dmsGraphicMaxSize
  value(db, v, 12216, 4, 16777215);  // available graphic memory
  value(db, v, 12220, 2, 1023);      // dmsGraphicBlockSize
}
