// Peripheral auto-detection, asked for by the front panel (MSG_AUTO_DETECT):
// every record has been deleted when the run starts; the run queries the
// three sensor buses for the known utility boards, writes a record for each
// board that answered (with the records a board implies), writes the
// per-line records of a line-matrix sign and reports completion to the
// front panel. Each record written makes the task reload on its next step.
//
// One run takes three task cycles: start (the queries go out), settle (the
// boards answer), collect.
#include <new>

#include "database/objects.h"
#include "frame/bus/post_office.h"
#include "frame/can/can_detect.h"
#include "frame/trace/trace.h"
#include "peripherals/pdb.h"
#include "peripherals/peripheral_can.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"

namespace {

// The detection query: the utility boards' identifier range and the base
// addresses of their families.
constexpr uint32_t kQueryLowest = 0x42000;
constexpr uint32_t kQueryHighest = 0x5AFFF;
const uint32_t kQueryBases[] = {0x42000, 0x42100, 0x42200, 0x42220, 0x43000};
constexpr uint32_t kQueryBaseCount = sizeof kQueryBases / sizeof kQueryBases[0];

// The boards looked for, in this order: type id and the board's address.
struct detect_row {
  uint16_t type_id;
  uint32_t address;
};
const detect_row kDetectTable[] = {
    {590, 0x42221}, {591, 0x42222}, {592, 0x42223}, {593, 0x42224}, {594, 0x42225},
    {595, 0x42226}, {50, 0x42201},  {794, 0x43001}, {795, 0x43002}, {796, 0x43003},
    {797, 0x43004}, {798, 0x43005}, {799, 0x43006}, {800, 0x43007}, {801, 0x43008},
};

constexpr uint16_t kFirstMiniDcio = 590;

// The line-matrix sign's per-line types, line i = 0..5: light, temperature,
// mini I/O and door.
constexpr uint16_t kLineLight = 150;
constexpr uint16_t kLineTemperature = 160;
constexpr uint16_t kLineMiniIo = 170;
constexpr uint16_t kLineDoor = 180;
constexpr uint32_t kLineTypes = 6;
constexpr uint32_t kLineLightAddress = 0x42001;
constexpr uint32_t kLineTemperatureAddress = 0x42101;
constexpr uint32_t kLineMiniIoAddress = 0x42221;
constexpr uint32_t kLineDoorPoint = 0x18;
constexpr uint32_t kSignTypeLineMatrix = 5;
// Lines 7..10 get records of types without a class, which fail to load; a
// line beyond the tenth would take the next family's type ids (line 11's
// light sensor would be a temperature sensor).
constexpr uint32_t kMostLines = 10;

// The completion report to the front panel.
constexpr uint16_t kPanelType = 70;
constexpr uint16_t kReportDetectDone = 1;

// The lines of a line-matrix sign; 0 for any other sign. Read again at
// every call.
uint32_t sign_lines() {
  if (pdb::get_nv(nv::dmsSignType) != kSignTypeLineMatrix) return 0;
  const uint32_t character = pdb::get_nv(nv::vmsCharacterHeightPixels);
  if (character == 0) return 0;
  const uint32_t lines = pdb::get_nv(nv::vmsSignHeightPixels) / character;
  return lines < kMostLines ? lines : kMostLines;
}

}  // namespace

void CPeripheralTask::AbandonAutoDetect() {
  for (can_detect*& detector : m_apDetectors) {
    delete detector;
    detector = nullptr;
  }
  if (m_byAutoDetectState != DETECT_IDLE) m_byAutoDetectState = DETECT_IDLE;
}

void CPeripheralTask::AutoDetect(uint8_t start) {
  switch (m_byAutoDetectState) {
    case DETECT_START: {
      can_core* hub = m_pCan ? &m_pCan->core : nullptr;
      for (uint32_t k = 0; k < DETECT_BUSES; ++k) {
        delete m_apDetectors[k];
        // A bus without a hub, or a detector that cannot be made, is left
        // out of the run.
        m_apDetectors[k] = hub ? new (std::nothrow) can_detect(nullptr, hub) : nullptr;
        if (m_apDetectors[k])
          m_apDetectors[k]->start(kDetectBus[k], can_driver_name(kDetectBus[k]), kQueryLowest, kQueryHighest,
                                  kQueryBases, kQueryBaseCount);
      }
      m_byAutoDetectState = DETECT_SETTLE;
      break;
    }
    case DETECT_SETTLE:
      m_byAutoDetectState = DETECT_COLLECT;
      break;
    case DETECT_COLLECT: {
      for (uint32_t k = 0; k < DETECT_BUSES; ++k) {
        if (!m_apDetectors[k]) continue;
        m_apDetectors[k]->stop();
        AddDetectedPeripherals(m_apDetectors[k], kDetectBus[k]);
        delete m_apDetectors[k];
        m_apDetectors[k] = nullptr;
      }

      pl_iterator records;
      for (uint16_t i = 0; i < kLineTypes; ++i) {
        records.Remove(static_cast<uint16_t>(kLineLight + i));
        records.Remove(static_cast<uint16_t>(kLineTemperature + i));
        records.Remove(static_cast<uint16_t>(kLineMiniIo + i));
        records.Remove(static_cast<uint16_t>(kLineDoor + i));
      }
      for (uint32_t i = 0; i < sign_lines(); ++i)
        records.Add(static_cast<uint16_t>(kLineLight + i), "%X,1,%X", kLineLightAddress, i + 1);
      for (uint32_t i = 0; i < sign_lines(); ++i)
        records.Add(static_cast<uint16_t>(kLineTemperature + i), "%X,1,%X", kLineTemperatureAddress, i + 1);
      for (uint32_t i = 0; i < sign_lines(); ++i)
        records.Add(static_cast<uint16_t>(kLineMiniIo + i), "%X,%X,%X", kLineMiniIoAddress, 1u, i + 1);
      for (uint32_t i = 0; i < sign_lines(); ++i)
        records.Add(static_cast<uint16_t>(kLineDoor + i), "%X,%X", kLineDoorPoint, kLineMiniIo + i);
      // The first line's light sensor is the sign's own front sensor.
      records.Remove(kLineLight);

      letter_s report(MSG_PERIPHERAL_REPORT);
      report.kind = LETTER_KIND_PAIRS;
      report.payload[0] = static_cast<uint32_t>(kPanelType) << 16 | kReportDetectDone;
      if (post_office* router = m_Inbox.Router()) router->Deliver(&report);

      m_byAutoDetectState = DETECT_IDLE;
      monitor_printf("auto detect complete\n");
      break;
    }
    default:
      // Idle (1, or 0).
      if (start) m_byAutoDetectState = DETECT_START;
      break;
  }
}

void CPeripheralTask::AddDetectedPeripherals(can_detect* detector, uint8_t bus_number) {
  if (!detector) return;
  pl_iterator records;
  for (const detect_row& row : kDetectTable) {
    uint32_t address = 0;
    uint8_t index = 0;
    for (uint32_t more = detector->first(&address, &index); more; more = detector->next(&address, &index)) {
      if (address != row.address || index != 0) continue;
      if (row.type_id == PTYPE_PRODUCT_BOARD_IO) {
        // The product board's I/O is a built-in where a board has it; what
        // it implies are its surge suppressor and door switch.
        records.Add(75, "%X,%X", 0x32u, 1u);
        records.Add(30, "%X,%X", 0x19u, 0x32u);
      } else {
        records.Add(row.type_id, "%X,%X", row.address, static_cast<uint32_t>(bus_number));
        if (row.type_id == kFirstMiniDcio) {
          records.Add(76, "%X,%X", 0x24Eu, 1u);
          records.Add(31, "%X,%X", 0x19u, 0x24Eu);
        }
      }
      break;
    }
  }
}
