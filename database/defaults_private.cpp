// Factory defaults of the controller's private objects: sign, network,
// port, trap and peripheral settings, and the private run-time objects
// (activation slots, file transfer, diagnostic tables).
#include "database/config_table.h"
#include "database/defaults.h"
#include "database/defaults_util.h"

using dflt::empty;
using dflt::fill;
using dflt::fill_empty;
using dflt::value;

namespace {

constexpr uint32_t kPeripheralRows = 255;
constexpr uint32_t kDiagTables = 26;
constexpr uint32_t kDiagLines = 63;
constexpr uint32_t kDiagLineSize = 1024;

// The last activation at the factory: blank message 1 without end, priority
// 1, from nobody.
constexpr uint8_t kLastActivatedCode[12] = {0xFF, 0xFF, 0x01, 0x07, 0x00, 0x01, 0, 0, 0, 0, 0, 0};

// The radio link's ACK2 time-out in ms: 45 s, what the link also waits
// when the setting is 0.
constexpr uint32_t kRdiAck2TimeoutMs = 45000;
// The cellular modem's signal strength until its first poll: -127 dBm as
// the object's 16-bit signed value.
constexpr uint32_t kNoModemSignal = static_cast<uint16_t>(-127);

// The enterprise-specific trap enables, built bit by bit.
void trap_enables(uint8_t (&mask)[4]) {
  mask[0] = mask[1] = mask[2] = mask[3] = 0;
  mask[0] |= 0x01;
  mask[0] |= 0x04;
  mask[0] |= 0x40;
  mask[0] |= 0x80;
  mask[1] |= 0x01;
  mask[1] |= 0x20;
  mask[2] |= 0x02;
}

void defaults_private_settings_nv(CDataBase& db);

}  // namespace

void defaults_private_nv(CDataBase& db, int keep) {
  uint8_t* nv = db.mib_nv;
  value(db, nv, 95016, 1, 1);  // quorDisplayMode: messages
  if (!keep) {
    value(db, nv, 95020, 1, 100);  // quorIllumBrightnessScaler
    value(db, nv, 95048, 1, 40);   // light-sensor setting
    value(db, nv, 95023, 1, 0);    // quorShutOffTemp
    value(db, nv, 95030, 2, dflt::kFactoryModuleID);
    value(db, nv, 95032, 1, 0);  // quorEnableRealTimePixelDiagnostics
    value(db, nv, 95036, 4, 1);  // quorhdlcAddress
    value(db, nv, 95040, 4, DB_FACTORY_ADMIN_PIN);
    value(db, nv, 95044, 1, 0);    // quorLegibilityRatioThreshold
    value(db, nv, 95052, 4, 0);    // quorSpecialFeatureSet
    value(db, nv, 95056, 4, 0);    // quorRemoteIPAddress
    value(db, nv, 95060, 2, 162);  // quorRemoteIPPort
    value(db, nv, 95066, 1, 1);    // quorEthernetMode
    value(db, nv, 95062, 2, 161);  // quorHostIPPort
    value(db, nv, 95096, 4, 20);   // quorFeatureSet
    value(db, nv, 95064, 2, 80);   // quorHostHttpPort
    value(db, nv, 95068, 4, 0);    // quorNTPIPAddress
    empty(db, nv, 95072);
    value(db, nv, 95076, 2, 60);  // quorNTPPollTime
    value(db, nv, 95078, 1, 0);   // quorFrameRate
    value(db, nv, 95079, 1, 0);   // quorBitsPerColour
    value(db, nv, 95092, 1, 1);   // quorCANBaudRate
    value(db, nv, 95093, 1, 0);   // quorCANMaxLineLength
    value(db, nv, 95046, 2, 10);  // quorModTimeout
    dflt::bytes(db, nv, 95024, dflt::kBlankMessage1, 5);  // quorEmergencyMessage
    value(db, nv, 95028, 1, 1);                           // quorMessageTableMode
    value(db, nv, 95080, 1, 1);                           // front-panel language
    value(db, nv, 95081, 1, 1);                           // quorRunScriptFlags
    value(db, nv, 95100, 4, 90000001);                    // latitude: no position
    value(db, nv, 95104, 4, 180000001);                   // longitude: no position
    value(db, nv, 95112, 4, 0);                           // quorSignSerialNum
    value(db, nv, 95108, 4, 0);                           // quorControllerSerialNum
    value(db, nv, 95050, 2, 0);                           // heartbeat time: off
  }
  dflt::bytes(db, nv, 95084, dflt::kBlankMessage1, 5);
  dflt::bytes(db, nv, 95088, kLastActivatedCode, sizeof kLastActivatedCode);  // quorLastActivatedCode
  if (!keep) defaults_private_settings_nv(db);
  // The private text table and the diagnostic line size.
  value(db, nv, 97796, 1, 50);
  fill_empty(db, nv, 97800, 50);
  value(db, nv, 98000, 2, kDiagLineSize);  // quorDiagLineSize
}

namespace {

// What only a full factory reset writes after the message codes: bay,
// lines, dimming, callback, the user PIN, modem, ports, peripherals, traps.
void defaults_private_settings_nv(CDataBase& db) {
  uint8_t* nv = db.mib_nv;
  value(db, nv, 95116, 1, 3);  // bay height in modules
  value(db, nv, 95117, 1, 3);  // bay width in modules
  fill(db, nv, 95118, 9, 1, 1, 0);  // quorLineLength
  value(db, nv, 95130, 2, 65535);   // low-power-mode setting
  // Pixel dimming table.
  value(db, nv, 95128, 1, 2);
  static const uint8_t kDimPercent[5] = {50, 100, 0, 0, 0};
  static const uint8_t kDimBrightness[5] = {100, 50, 0, 0, 0};
  for (uint32_t k = 0; k < 5; ++k) value(db, nv, 95132 + k, 1, kDimPercent[k]);
  for (uint32_t k = 0; k < 5; ++k) value(db, nv, 95137 + k, 1, kDimBrightness[k]);
  // Callback.
  empty(db, nv, 95144);
  value(db, nv, 95148, 2, 5);
  value(db, nv, 95150, 1, 5);
  value(db, nv, 95152, 4, DB_FACTORY_USER_PIN);  // quorLCDPassword
  // Dial-up modem.
  empty(db, nv, 95164);
  value(db, nv, 95168, 4, 0);
  empty(db, nv, 95172);
  // Ports: CCP, AUX, MODEM, LAPTOP, ETHERNET.
  fill(db, nv, 95181, 4, 1, 1, 2);  // quorCommConfigProtocol
  value(db, nv, 95185, 1, 11);
  fill(db, nv, 95176, 4, 1, 1, 0);  // quorCommConfigFlowControl
  value(db, nv, 95180, 1, 4);
  fill(db, nv, 95186, 5, 1, 1, 0);  // quorCommConfigTraps
  fill(db, nv, 95192, 5, 2, 2, 0);  // quorCommConfigInnerCharTimeout
  fill_empty(db, nv, 95204, 5);     // quorCommConfigParameters
  value(db, nv, 95224, 2, 0);       // radio link: LID
  value(db, nv, 95226, 2, kRdiAck2TimeoutMs);
  value(db, nv, 95228, 1, 2);  // radio link: retries
  value(db, nv, 95229, 1, 1);  // port state
  // Peripheral table.
  fill(db, nv, 95232, kPeripheralRows, 2, 2, 0);  // quorPeripheralID
  fill_empty(db, nv, 95744, kPeripheralRows);     // quorPeripheralParameters
  // Traps.
  value(db, nv, 97784, 1, 64);  // quorTrapsGeneric
  uint8_t mask[4];
  trap_enables(mask);
  dflt::text(db, nv, 97788, reinterpret_cast<const char*>(mask));  // quorTrapsEnterpriseSpecific
  value(db, nv, 97792, 4, 0);                                      // quorTrapsExpirationDuration
}

}  // namespace

void defaults_private_v(CDataBase& db) {
  uint8_t* v = db.mib_v;
  fill(db, v, 14176, 1500, 2, 2, 0);  // per-colour pixel failure bits
  value(db, v, 17176, 1, 1);          // quorResetOption
  static const uint8_t kDisplayWorking[4] = {100, 2, 0, 0};
  for (uint32_t i = 0; i < 4; ++i) value(db, v, 17177 + i, 1, kDisplayWorking[i]);
  // Activation slots: 0 and 1 hold an all-zero code, 2..6 none.
  static const uint8_t kZeroCode[12] = {};
  dflt::bytes(db, v, 17184, kZeroCode, sizeof kZeroCode);
  dflt::bytes(db, v, 17188, kZeroCode, sizeof kZeroCode);
  for (uint32_t s = 2; s <= 6; ++s) {
    empty(db, v, 17184 + 4 * s);
    value(db, v, 17212 + s, 1, 1);  // source mode: other
    value(db, v, 17219 + s, 1, 1);  // reason
    value(db, v, 17228 + 4 * s, 4, 0);
    empty(db, v, 17256 + 4 * s);
  }
  value(db, v, 17284, 2, kNoModemSignal);
  fill_empty(db, v, 17292, 5);  // cellular modem texts
  empty(db, v, 17312);
  value(db, v, 17316, 1, 9);
  value(db, v, 17317, 1, 1);
  // File transfer.
  value(db, v, 17320, 1, 0);
  value(db, v, 17322, 2, 0);
  value(db, v, 17324, 4, 0);
  value(db, v, 17328, 2, 0);
  empty(db, v, 17332);
  value(db, v, 17336, 2, 0);
  // Display working values.
  value(db, v, 17340, 2, 0);
  value(db, v, 17342, 2, 0);
  fill(db, v, 17344, 3, 1, 1, 0);
  value(db, v, 17347, 1, 100);
  value(db, v, 17348, 1, 1);  // quorActivationReason
  value(db, v, 17349, 1, 0);  // quorRequestedBrightness
  value(db, v, 17350, 1, 1);  // quorBrightnessLimitReason
  fill(db, v, 17356, 4, 2, 2, 0);
  value(db, v, 17364, 4, 1000);
  empty(db, v, 17368);
  static const uint8_t kPorts[6] = {5, 2, 2, 3, 2, 4};
  for (uint32_t i = 0; i < 6; ++i) value(db, v, 17372 + i, 1, kPorts[i]);
  value(db, v, 17380, 2, 255);
  value(db, v, 17378, 1, 2);  // peripheral table lock: done
  fill(db, v, 17382, kPeripheralRows, 1, 1, 0);
  value(db, v, 17638, 2, 0);
  // Diagnostic result tables.
  value(db, v, 17640, 1, 0);  // quorDiagTableCount
  value(db, v, 17641, 1, 0);
  fill_empty(db, v, 17644, kDiagTables);  // quorDiagTableTitle
  fill(db, v, 17748, kDiagTables, 1, 1, 0);
  fill(db, v, 17774, kDiagTables, 2, 2, 0);
  fill(db, v, 17826, kDiagTables, 1, 1, 1);
  fill(db, v, 17852, kDiagTables, 1, 1, 1);
  fill(db, v, 17878, kDiagTables, 1, 1, 1);
  fill_empty(db, v, 17904, kDiagTables);
  // Every diagnostic line gets its block now, so that filling the tables
  // later never runs the pool short.
  static const uint8_t kLine[kDiagLineSize] = {};
  for (uint32_t i = 0; i < kDiagTables * kDiagLines; ++i) dflt::bytes(db, v, 18008 + 4 * i, kLine, sizeof kLine);
  fill(db, v, 24560, 4, 1, 1, 0);
}
