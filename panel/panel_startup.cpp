// What the peripheral task asks of the front panel, and the panel's
// creator in its factory.
#include "comm/modem/modem_task.h"
#include "display/task/display.h"
#include "display/task/display_peripherals.h"
#include "frame/can/can_cp_driver.h"
#include "comm/ppp/ppp_link.h"
#include "panel/lcd_manager.h"
#include "panel/service/datakey_flash.h"
#include "panel/service/reprogram_service.h"
#include "panel/sign_view.h"
#include "peripherals/peripheral_hooks.h"

namespace {

CLCD_Manager* manager_of(CPeripheral* p) {
  return p && p->m_byClass == CLCD_Manager::CLASS_CODE ? static_cast<CLCD_Manager*>(p) : nullptr;
}

void suspend(CPeripheral* p) {
  if (CLCD_Manager* m = manager_of(p)) m->m_Lcd.Suspend();
}
void resume(CPeripheral* p) {
  if (CLCD_Manager* m = manager_of(p)) m->m_Lcd.Resume();
}
void clear(CPeripheral* p) {
  if (CLCD_Manager* m = manager_of(p)) m->m_Lcd.Clear();
}
void backlight(CPeripheral* p, uint8_t on) {
  CLCD_Manager* m = manager_of(p);
  if (!m) return;
  if (on)
    m->m_Lcd.BacklightOn(1);
  else
    m->m_Lcd.BacklightOff();
}
void local_indicator_off(CPeripheral* p) {
  if (CLCD_Manager* m = manager_of(p)) m->m_Lcd.LocalIndicatorOff();
}
void print_centred(CPeripheral* p, uint32_t line, const char* text) {
  if (CLCD_Manager* m = manager_of(p)) m->m_Lcd.PrintfLine(line, LCD_ALIGN_CENTRE, "%s", text ? text : "");
}
void set_led(uint32_t led, uint32_t state) { lcd_set_led(led, static_cast<uint8_t>(state)); }
void open_remote(CPeripheral* p) {
  if (CLCD_Manager* m = manager_of(p)) m->OpenRemoteLCD();
}
void invalidate_file_menus(CPeripheral* p) {
  if (CLCD_Manager* m = manager_of(p)) m->InvalidateFileMenus();
}
void control_mode_changed(CPeripheral* p) {
  if (CLCD_Manager* m = manager_of(p)) m->SetCentralCheck();
}
void set_power_good(CPeripheral* p, uint8_t good) {
  if (CLCD_Manager* m = manager_of(p)) m->SetPowerGood(good);
}

const peripheral_panel_ops kPanelOps = {suspend,       resume,          clear,          backlight,
                                        local_indicator_off, print_centred, set_led, open_remote,
                                        invalidate_file_menus, control_mode_changed, set_power_good};

// What the idle screen shows of the sign's brightness: the display task's
// derating and its driver's ceiling.
uint32_t brightness_percent() { return display_derating_percent(); }
int32_t max_brightness_level() { return g_pDisplay ? static_cast<int32_t>(g_pDisplay->m_dwBrightnessCap) : 255; }
// The cellular modem's signal rating; "not found" without its task or a
// reading.
bool modem_signal_text(bool french, const char** text) {
  return CModemTask::GetSignalText(g_pModemTask, french ? 1 : 0, text) == 1;
}
const lcd_status_sources kStatusSources = {brightness_percent, max_brightness_level, modem_signal_text};

// A frame the panel's CAN port received goes to sensor bus C.
void tunnelled_frame(uint32_t identifier, uint8_t flags, uint8_t length, const uint8_t* data) {
  g_can_cp_driver.Dispatch(identifier, flags, length, data);
}

}  // namespace

void panel_install(uint8_t product_board_id) {
  lcd_set_product_board(product_board_id);
  lcd_indicators_reset();
  peripheral_set_panel_ops(&kPanelOps);
  peripheral_set_panel_creator(CLCD_Manager::Create);
  lcd_set_status_sources(&kStatusSources);
  lcd_set_can_dispatch(tunnelled_frame);
  lcd_install_sign_view();
  // Received bytes of the central-system links light the panel's indicator.
  ppp_set_activity_hook(lcd_comm_activity);
  datakey_install();
  reprogram_install();
}
