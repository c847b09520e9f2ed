// The peripheral task's letters: power state, resets and shut-down, the
// front panel, the configuration and network files, the clock, and the
// letters that other tasks address to peripherals.
#include <cstdio>

#include "board_io.h"
#include "database/files/file_config.h"
#include "database/files/file_monrc.h"
#include "database/fs/fs_system.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "frame/peripheral/peripheral.h"
#include "frame/trace/trace.h"
#include "mon_api.h"
#include "peripherals/clock.h"
#include "peripherals/pdb.h"
#include "peripherals/peripheral_hooks.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"

namespace {

const task_letters_s kControlLetters = {MSG_PERIPHERAL_STOP, MSG_WDT_PERIPHERAL_START, "Suspending peripheral task\n",
                                        "Resuming peripheral task\n", "Peripheral"};

// Board control: bit 0 the watchdog kick line, bit 2 cleared at a stop.
constexpr uint32_t kBoardControl = 0xF0500022;
constexpr uint8_t kStopClearBits = 0x05;

constexpr uint8_t kLanguageFrench = 2;
constexpr uint32_t kStopLine = 4;

const uint16_t kShutOffTempTypes[] = {13, 14, 15, 160, 161, 162, 163, 164, 165};

// Byte i (0..3) of a payload word, most significant first.
uint8_t payload_byte(const letter_s* letter, int word, int i) {
  return static_cast<uint8_t>(letter->payload[word] >> (24 - 8 * i));
}

CClock* live_clock(CPeripheralTask* task) {
  CPeripheral* p = task->GetPeripheral(PTYPE_CLOCK);
  return p && p->m_byClass == PCLASS_CLOCK ? static_cast<CClock*>(p) : nullptr;
}

}  // namespace

void CPeripheralTask::ProcessMessages() {
  m_pFrontPanel = GetPeripheral(PTYPE_LCD);
  bool power_changed = false;
  letter_s* letter = nullptr;
  while (m_Inbox.Receive(&letter)) {
    HandleLetter(letter, &power_changed);
    m_Inbox.Release(letter);
  }
  if (power_changed && m_pFrontPanel && peripheral_panel().set_power_good)
    peripheral_panel().set_power_good(m_pFrontPanel, m_byPowerFlags == 0 ? 1 : 0);
}

void CPeripheralTask::ShowStopText() {
  const bool french = pdb::get_nv(nv::quorLanguage) == kLanguageFrench;
  const char* text;
  switch (m_byResetReason) {
    case MSG_SYSTEM_RESET:
      text = french ? "REINITIALISATION" : "SOFTWARE RESET";
      break;
    case MSG_POWER_SHUTDOWN:
      text = french ? "PERTE D'ALIMENTATION" : "POWER LOST";
      break;
    default:
      text = french ? "ETEINT" : "TURNED OFF";
      break;
  }
  if (peripheral_panel().lcd_print_centred) peripheral_panel().lcd_print_centred(m_pFrontPanel, kStopLine, text);
}

void CPeripheralTask::ControlledReset(letter_s* letter) {
  // Without a panel there is nothing to show and no reply: the requester's
  // wait runs out.
  if (!m_pFrontPanel) return;
  const peripheral_panel_ops& lcd = peripheral_panel();
  if (lcd.lcd_suspend) lcd.lcd_suspend(m_pFrontPanel);
  if (lcd.lcd_clear) lcd.lcd_clear(m_pFrontPanel);
  if (lcd.lcd_backlight) lcd.lcd_backlight(m_pFrontPanel, 1);
  if (lcd.lcd_local_indicator_off) lcd.lcd_local_indicator_off(m_pFrontPanel);
  // Lets the panel take the commands before the screen is cleared again.
  volatile uint32_t spin = 0;
  while (spin < 65535) spin = spin + 1;
  if (lcd.lcd_clear) lcd.lcd_clear(m_pFrontPanel);
  if (lcd.lcd_print_centred) {
    lcd.lcd_print_centred(m_pFrontPanel, 4, "CONTROLLED RESET");
    lcd.lcd_print_centred(m_pFrontPanel, 5, "Please wait...");
  }
  m_Mediator.Disable(PTYPE_LCD);
  letter_s reply(MSG_CONTROLLED_RESET_ACK);
  if (post_office* router = m_Inbox.Router()) router->Reply(letter, &reply);
}

void CPeripheralTask::HandleLetter(letter_s* letter, bool* power_changed) {
  post_office* router = m_Inbox.Router();
  const peripheral_panel_ops& lcd = peripheral_panel();
  CPeripheral* panel = m_pFrontPanel;
  const bool pairs = letter->kind == LETTER_KIND_PAIRS;

  switch (letter->Id()) {
    case MSG_POWER_LOST:
      m_byPowerFlags |= POWER_PRIMARY_LOST;
      *power_changed = true;
      break;
    case MSG_POWER_RESTORED:
      m_byPowerFlags &= static_cast<uint8_t>(~POWER_PRIMARY_LOST);
      *power_changed = true;
      break;
    case MSG_UPS_ON_BATTERY:
      m_byPowerFlags |= POWER_ON_BATTERY;
      *power_changed = true;
      break;
    case MSG_UPS_ON_AC:
      m_byPowerFlags &= static_cast<uint8_t>(~POWER_ON_BATTERY);
      *power_changed = true;
      break;
    case MSG_CHG_VOL243:
      // The lamp test is not supported: back to "no test", quietly.
      pdb::set_v(vol::lampTestActivation, 2, 0);
      break;
    case MSG_NETWORK_UP:
      if (panel && lcd.open_remote) lcd.open_remote(panel);
      break;
    case MSG_NETWORK_CONFIG_CHANGED:
      CFile_Monrc::Write(&g_fs_media, g_pFileSystemDriver);
      monitor_printf("ethernet config changed... rebooting\n");
      pdb::set_nv(nv::dmsSWReset, 1);
      break;
    case MSG_PERIPHERALS_DISABLE:
    case MSG_PERIPHERALS_ENABLE: {
      const uint8_t on = letter->Id() == MSG_PERIPHERALS_ENABLE;
      pl_mediator::cursor it = 0;
      CPeripheral* p = nullptr;
      for (int more = m_Mediator.FindFirst(PCLASS_ANY, &it, &p); more; more = m_Mediator.FindNext(PCLASS_ANY, &it, &p))
        if (p->m_wTypeId != PTYPE_LCD) p->SetEnabled(on);
      break;
    }
    case MSG_PERIPHERAL_STOP:
      if (panel) {
        if (lcd.lcd_suspend) lcd.lcd_suspend(panel);
        if (lcd.lcd_clear) lcd.lcd_clear(panel);
        if (lcd.lcd_backlight) lcd.lcd_backlight(panel, 0);
        if (lcd.lcd_local_indicator_off) lcd.lcd_local_indicator_off(panel);
        reg_write8(kBoardControl, reg_read8(kBoardControl) & static_cast<uint8_t>(~kStopClearBits));
        ShowStopText();
      }
      // The thread stays, waiting for a timer that no longer runs.
      if (router) router->Publish(MSG_WDT_PERIPHERAL_STOP);
      os_timer_deactivate(Timer());
      break;
    case MSG_PERIPHERAL_SUSPEND:
    case MSG_PERIPHERAL_RESUME:
    case MSG_PERIPHERAL_STACK_REPORT:
      HandleControlLetter(&m_Inbox, letter, kControlLetters);
      break;
    case MSG_WATCHDOG_CYCLE:
      g_watchdog_cycle = 0;
      break;
    case MSG_SYSTEM_RESET:
    case MSG_DEFRAG_RESET:
      m_byResetReason = MSG_SYSTEM_RESET;
      m_Mediator.Disable(PTYPE_LCD);
      break;
    case MSG_POWER_SHUTDOWN:
      m_byResetReason = MSG_POWER_SHUTDOWN;
      m_Mediator.Disable(PTYPE_LCD);
      break;
    case MSG_SHUTDOWN_REQUEST:
      m_dwStatus =
          (m_dwStatus & ~(0xFFu << STATUS_RUN_SHIFT)) | (static_cast<uint32_t>(RUN_SHUTDOWN) << STATUS_RUN_SHIFT);
      m_dwStatus |= STATUS_SHUTDOWN;
      m_byResetReason = MSG_SHUTDOWN_REQUEST;
      if (router) router->Publish(MSG_SHUTDOWN_RESET);
      m_Mediator.Disable(PTYPE_LCD);
      break;
    case MSG_MODEM_RING:
    case MSG_MODEM_CONNECT:
    case MSG_MODEM_DISCONNECT:
      if (panel && lcd.set_led) {
        const uint32_t state = letter->Id() == MSG_MODEM_RING ? 4 : letter->Id() == MSG_MODEM_CONNECT ? 3 : 1;
        lcd.set_led(1, state);
      }
      break;
    case MSG_SHUTOFF_TEMP_CHANGED:
      for (uint16_t type : kShutOffTempTypes)
        if (CPeripheral* sensor = GetPeripheral(type))
          if (peripheral_devices().apply_shut_off_temp) peripheral_devices().apply_shut_off_temp(sensor);
      break;
    case MSG_CHG_NV48188:
      if (CClock* clock = live_clock(this)) clock->RequestTimeDifferentialReload();
      break;
    case MSG_TIME_ZONE_CHANGED:
      if (CClock* clock = live_clock(this)) clock->RequestTimeZoneReload();
      break;
    case MSG_MAC_ADDRESS_CHANGED: {
      CFile_Monrc::Write(&g_fs_media, g_pFileSystemDriver);
      monitor_printf("ethernet mac changed... rebooting\n");
      uint32_t length = 0;
      const uint8_t* mac =
          g_pDataBase ? g_pDataBase->GetString(vol::ifPhysAddress.offset, 4, g_pDataBase->mib_v, &length) : nullptr;
      if (mac && length >= 6) {
        char command[48];
        std::snprintf(command, sizeof command, "etheraddr set %02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                      mac[3], mac[4], mac[5]);
        mon_docommand(command, 0);
      }
      break;
    }
    case MSG_CONFIG_OBJECT_CHANGED:
      m_Mediator.SetPollCountdown(PTYPE_FILE_CONFIG, 0);
      g_config_write_request = 1;
      break;
    case MSG_FRONT_PANEL_DISABLE:
      m_Mediator.Disable(PTYPE_FILE_CONFIG);
      break;
    case MSG_FRONT_PANEL_ENABLE:
      m_Mediator.Enable(PTYPE_FILE_CONFIG);
      break;
    case MSG_WATCHDOG_DISABLE:
      if (panel && lcd.lcd_suspend) lcd.lcd_suspend(panel);
      break;
    case MSG_WATCHDOG_ENABLE:
      if (panel && lcd.lcd_resume) lcd.lcd_resume(panel);
      break;
    case MSG_PERIPHERALS_ALL_OFF:
      DisableAllPeripherals();
      break;
    case MSG_PERIPHERALS_ALL_ON:
      EnableAllPeripherals();
      break;
    case MSG_PERIPHERAL_RECOUNT:
      if (pairs) ReportError(letter->HighHalf(0), letter->LowHalf(0), payload_byte(letter, 1, 1));
      break;
    case MSG_CONTROLLED_RESET:
      ControlledReset(letter);
      break;
    case MSG_DISPLAY_TO_PERIPHERAL:
      if (CPeripheral* board = GetPeripheral(PTYPE_CAN_PRODUCT_BOARD)) board->OnEvent(letter);
      break;
    case MSG_AUTO_DETECT:
      if (m_byAutoDetectState == DETECT_IDLE) {
        pl_iterator records;
        records.RemoveAll();
        m_byAutoDetectState = DETECT_START;
      }
      break;
    case MSG_FILE_TRANSFER_DONE:
      if (panel && lcd.invalidate_file_menus) lcd.invalidate_file_menus(panel);
      break;
    case MSG_PERIPHERAL_REPORT:
      if (pairs)
        if (CPeripheral* p = GetPeripheral(letter->HighHalf(0))) p->OnEvent(letter);
      break;
    case MSG_PERIPHERAL_CLASS_EVENT:
      if (pairs) {
        const uint16_t class_code = letter->HighHalf(0);
        if (class_code > 0xFF) break;
        pl_mediator::cursor it = 0;
        CPeripheral* p = nullptr;
        for (int more = m_Mediator.FindFirst(static_cast<uint8_t>(class_code), &it, &p); more;
             more = m_Mediator.FindNext(static_cast<uint8_t>(class_code), &it, &p))
          p->OnEvent(letter);
      }
      break;
    default:
      // Subscribed without an action (5, 26, 29, 30, 78).
      break;
  }
}
