#include "panel/pages/autodetect_pages.h"

#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "panel/db_values.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"
#include "panel/pages/peripheral_wizards.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/pl_iterator.h"

namespace {

const char* const kTitle = "PERIPHERAL AUTO DETECT";
// The dots keep moving while the task searches.
constexpr uint8_t kDetectRedrawInterval = 2;

const char* const kBeacons[] = {"NONE", "ONE BEACON", "TWO BEACONS SYNCHRONIZED", "TWO BEACONS ALTERNATING",
                                nullptr};
const char* const kNoYes[] = {"NO", "YES", nullptr};
const char* const kMonitoring[] = {"NONE", "AIRFLOW", "RPM", "AIRFLOW AND RPM", nullptr};
enum : uint8_t { BEACONS_NONE, BEACONS_ONE, BEACONS_SYNC, BEACONS_ALTERNATE };
enum : uint8_t { MONITOR_NONE, MONITOR_AIRFLOW, MONITOR_RPM, MONITOR_BOTH };

// The HCB board and where its devices are wired.
constexpr uint16_t kHcbType = 55;
constexpr uint32_t kHcb = 0x37;
constexpr uint32_t kHcbAddress = 0x42201;
constexpr uint32_t kPortIn = 0xF0;
constexpr uint32_t kPortOut = 0xFF;
constexpr uint16_t kFirstDoor = 30;
constexpr uint8_t kFirstDoorPoint = 0x18;
constexpr uint16_t kFirstSurge = 75;
constexpr uint8_t kFirstSurgePoint = 0x30;
constexpr uint16_t kBeaconGen2 = 700;
constexpr uint8_t kBeaconPoint = 0x2C;
struct hcb_output {
  uint16_t type;
  uint32_t point;
};
constexpr hcb_output kIntakeFans = {510, 0x28};
constexpr hcb_output kFaceFans = {526, 0x29};
constexpr hcb_output kFaceHeaters = {534, 0x2A};
constexpr hcb_output kCabinetHeaters = {542, 0x2B};
constexpr uint16_t kFirstAirflow = 710;
constexpr uint16_t kFirstRpm = 730;
constexpr uint32_t kFirstRpmAddress = 0x42521;
// The mini I/O boards 1..3 that carry the further airflow sensors.
constexpr uint32_t kMini1 = 0x24E;
constexpr uint32_t kMini2 = 0x24F;
constexpr uint32_t kMini3 = 0x250;
// NTCIP beacon types by the beacon answer.
const uint8_t kBeaconTypes[] = {2, 3, 4, 5};

// An airflow sensor of "AIRFLOW" alone: eight on the HCB, then mini 1.
void airflow_sensor(uint32_t i, uint32_t* board, uint8_t* point) {
  *board = i < 8 ? kHcb : kMini1;
  *point = static_cast<uint8_t>(i < 8 ? 0x20 + i : 0x10 + i);
}

// An airflow sensor of "AIRFLOW AND RPM": four on the HCB, then two on
// each mini board.
void fan_airflow_sensor(uint32_t i, uint32_t* board, uint8_t* point) {
  if (i < 4) {
    *board = kHcb;
    *point = static_cast<uint8_t>(0x24 + i);
  } else if (i < 6) {
    *board = kMini1;
    *point = static_cast<uint8_t>(0x14 + i);
  } else if (i < 8) {
    *board = kMini2;
    *point = static_cast<uint8_t>(0x12 + i);
  } else {
    *board = kMini3;
    *point = static_cast<uint8_t>(0x10 + i);
  }
}

void how_many(CLCD_WizardItem* item, const char* title, const char* rule) {
  wizard_number(item, title, "HOW MANY", rule, "PRESS ENTER TO CONTINUE");
}

}  // namespace

// ---------------------------------------------------------------- the detection step

CLCD_PeripheralAutoDetect::CLCD_PeripheralAutoDetect()
    : CLCD_SimpleWizardBaseMenu(kId, kTitle, "", LCD_RIGHT_PERIPHERALS, 0) {
  m_byRedrawInterval = kDetectRedrawInterval;
}

void CLCD_PeripheralAutoDetect::Enter(CLCD_Manager* mgr) { Activate(mgr); }

void CLCD_PeripheralAutoDetect::Activate(CLCD_Manager* mgr) {
  m_byState = ASKING;
  m_byDots = 0;
  m_Item.after_key = 0;
  CMenuItem::Activate(mgr);
}

bool CLCD_PeripheralAutoDetect::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return false;
  const uint16_t code = lcd_key_code(*key);
  switch (m_byState) {
    case ASKING:
      if (code == '1') {
        g_post_office.Publish(MSG_AUTO_DETECT);
        m_byState = DETECTING;
      } else if (code == '2' || code == LCD_KEY_ESC) {
        m_Item.after_key = WIZARD_AFTER_KEY_PARENT;
        return true;
      }
      mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      return true;
    case DETECTING:
      return true;
    default:
      if (code == LCD_KEY_ENTER) m_Item.after_key = WIZARD_AFTER_KEY_NEXT;
      mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      return true;
  }
}

void CLCD_PeripheralAutoDetect::OnEvent(letter_s* letter) {
  if (m_byState != DETECTING || !letter) return;
  if (letter->Id() == MSG_PERIPHERAL_REPORT && letter->kind == LETTER_KIND_PAIRS &&
      letter->LowHalf(0) == kReportDetectDone)
    m_byState = COMPLETE;
}

void CLCD_PeripheralAutoDetect::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  static const char* const kDots[] = {"   ", ".  ", ".. ", "..."};
  if (mode == LCD_DRAW_FULL) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  const char* dots = kDots[m_byDots];
  m_byDots = static_cast<uint8_t>((m_byDots + 1) % 4);
  switch (m_byState) {
    case ASKING:
      lcd->PrintfAt(2, 1, "1) CONFIRM");
      lcd->PrintfAt(3, 1, "2) CANCEL");
      return;
    case DETECTING:
      lcd->ClearLine(2);
      lcd->ClearLine(3);
      lcd->PrintfLine(4, LCD_ALIGN_CENTRE, "DETECTING, PLEASE WAIT%s", dots);
      return;
    default:
      lcd->PrintfLine(4, LCD_ALIGN_CENTRE, "COMPLETE");
      lcd->PrintfLine(8, LCD_ALIGN_CENTRE, "PRESS ENTER TO CONTINUE");
      return;
  }
}

// ---------------------------------------------------------------- the wizard

CLCD_PeripheralAutoDetectWiz::CLCD_PeripheralAutoDetectWiz(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, kTitle, "", LCD_RIGHT_PERIPHERALS) {
  how_many(&m_Doors, "DOORS ON HCB", "<9");
  how_many(&m_Surge, "SURGE SUPPRESSORS ON HCB", "<3");
  wizard_choice(&m_Beacons, "BEACONS ON HCB", kBeacons);
  wizard_choice(&m_IntakeFans, "INTAKE FANS ON HCB", kNoYes);
  wizard_choice(&m_FaceFans, "FACE FANS ON HCB", kNoYes);
  wizard_choice(&m_FaceHeaters, "FACE HEATERS ON HCB", kNoYes);
  wizard_choice(&m_CabinetHeaters, "CABINET HEATERS ON HCB", kNoYes);
  wizard_choice(&m_Monitoring, "FAN MONITORING ON HCB", kMonitoring);
  how_many(&m_Airflow, "AIRFLOW SENSORS", "<11");
  how_many(&m_Rpm, "RPM SENSORS", "<17");
  how_many(&m_Fans, "NUMBER OF INTAKE FANS", "<11");
  for (CLCD_WizardItem* item : {&m_Detect.m_Item, &m_Doors, &m_Surge, &m_Beacons, &m_IntakeFans, &m_FaceFans,
                                &m_FaceHeaters, &m_CabinetHeaters, &m_Monitoring, &m_Airflow, &m_Rpm, &m_Fans})
    AddItem(item);
}

void CLCD_PeripheralAutoDetectWiz::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  for (CLCD_WizardItem* item : {&m_Doors, &m_Surge, &m_Airflow, &m_Rpm, &m_Fans}) item->number.value = 0;
}

void CLCD_PeripheralAutoDetectWiz::Activate(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Activate(mgr);
  if (CurrentItem() == &m_Detect.m_Item) mgr->m_byPeriodicInterval = m_Detect.m_byRedrawInterval;
}

bool CLCD_PeripheralAutoDetectWiz::GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) {
  if (item == &m_Detect.m_Item) {
    if (!g_hcb_distribution_board) return false;
    index = m_Doors.position;
    return true;
  }
  if (item == &m_Monitoring) {
    switch (m_Monitoring.choice.selected) {
      case MONITOR_AIRFLOW: index = m_Airflow.position; return true;
      case MONITOR_RPM: index = m_Rpm.position; return true;
      case MONITOR_BOTH: index = m_Fans.position; return true;
      default: return false;
    }
  }
  if (item == &m_Airflow || item == &m_Rpm) return false;
  return CLCD_SimpleWizardBase::GetNextItem(mgr, item, index);
}

void CLCD_PeripheralAutoDetectWiz::Finish(CLCD_Manager*) {
  if (g_hcb_distribution_board) WriteHcbRecords();
}

void CLCD_PeripheralAutoDetectWiz::WriteHcbRecords() {
  pl_iterator records;
  records.Add(kHcbType, "%X,%X,%X,%X,%X,%X", kHcbAddress, kPortIn, kPortIn, kPortOut, kPortIn, 1u);
  for (uint32_t i = 0; i < m_Doors.number.value; ++i)
    records.Add(static_cast<uint16_t>(kFirstDoor + i), "%X,%X", kFirstDoorPoint + i, kHcb);
  for (uint32_t i = 0; i < m_Surge.number.value; ++i)
    records.Add(static_cast<uint16_t>(kFirstSurge + i), "%X,%X", kHcb,
                point_mask(static_cast<uint8_t>(kFirstSurgePoint + i)));

  const uint8_t beacons = m_Beacons.choice.selected <= BEACONS_ALTERNATE ? m_Beacons.choice.selected : 0;
  if (beacons != BEACONS_NONE) {
    uint32_t mask = point_mask(kBeaconPoint);
    if (beacons != BEACONS_ONE) mask = point_mask(kBeaconPoint + 1, mask);
    records.Add(kBeaconGen2, "%X,%X,%X,%X,%X,%X", kHcb, mask, 5u, 5u, beacons == BEACONS_SYNC ? 5u : 6u, 0u);
  }
  lcd_set_nv(nv::dmsBeaconType, kBeaconTypes[beacons]);

  const struct {
    const CLCD_WizardItem& answer;
    hcb_output output;
  } outputs[] = {{m_IntakeFans, kIntakeFans},
                 {m_FaceFans, kFaceFans},
                 {m_FaceHeaters, kFaceHeaters},
                 {m_CabinetHeaters, kCabinetHeaters}};
  for (const auto& o : outputs)
    if (o.answer.choice.selected == 1) records.Add(o.output.type, "%X,%X", o.output.point, kHcb);

  uint32_t board = 0;
  uint8_t point = 0;
  switch (m_Monitoring.choice.selected) {
    case MONITOR_AIRFLOW:
      for (uint32_t i = 0; i < m_Airflow.number.value; ++i) {
        airflow_sensor(i, &board, &point);
        records.Add(static_cast<uint16_t>(kFirstAirflow + i), "%X,%X,0", board, point_mask(point));
      }
      break;
    case MONITOR_RPM:
      for (uint32_t i = 0; i < m_Rpm.number.value; ++i)
        records.Add(static_cast<uint16_t>(kFirstRpm + i), "%X,%X,0", kFirstRpmAddress + i, 1u);
      break;
    case MONITOR_BOTH:
      // The speed sensors of fans 5 on skip four addresses and types.
      for (uint32_t i = 0; i < m_Fans.number.value; ++i) {
        const uint32_t skip = i < 4 ? 0 : 4;
        records.Add(static_cast<uint16_t>(kFirstRpm + i + skip), "%X,%X,0", kFirstRpmAddress + i + skip, 1u);
      }
      for (uint32_t i = 0; i < m_Fans.number.value; ++i) {
        fan_airflow_sensor(i, &board, &point);
        records.Add(static_cast<uint16_t>(kFirstAirflow + i), "%X,%X,0", board, point_mask(point));
      }
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------- factory

const class_descriptor g_peripheral_auto_detect_class = {123, create_page<CLCD_PeripheralAutoDetectWiz>};
