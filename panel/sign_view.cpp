#include "panel/sign_view.h"

#include "database/database.h"
#include "database/objects.h"
#include "panel/db_values.h"
#include "display/driver/lcd_display_driver.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "panel/edit_fields.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/menu_bases.h"
#include "peripherals/peripheral_task.h"

namespace {

constexpr uint32_t kWideShown = 232;     // columns of the right end, before W mod 8
constexpr uint32_t kLeftShown = 239;     // columns of the left part
constexpr uint32_t kViewLockTicks = 100;

// Coordinates go to the panel as bytes: one above row 0 is 255.
uint32_t b(int32_t v) { return static_cast<uint8_t>(v); }

// Rows of the picture from byte `offset` of each row, `width` columns.
uint32_t send_rows(CLCD* lcd, const sign_picture& p, uint32_t x, uint32_t top, uint32_t rows, uint32_t offset,
                   uint32_t width) {
  if (offset == 0 && p.stride == (width + 7) / 8) return lcd->Bitmap(x, top, width, rows, p.bits);
  uint32_t error = 0;
  for (uint32_t y = 0; y < rows; ++y) {
    const uint32_t e = lcd->Bitmap(x, top + y, width, 1, p.bits + static_cast<size_t>(y) * p.stride + offset);
    if (e) error = e;
  }
  return error;
}

CLCD_Manager* front_panel_manager() {
  if (!g_pPeripheralTask) return nullptr;
  CPeripheral* p = g_pPeripheralTask->GetPeripheral(CLCD_Manager::TYPE_LCD01);
  return p && p->m_byClass == CLCD_Manager::CLASS_CODE ? static_cast<CLCD_Manager*>(p) : nullptr;
}

CPeripheral* panel_of_view(uint8_t* view_mode) {
  CLCD_Manager* mgr = front_panel_manager();
  if (mgr && view_mode) *view_mode = mgr->m_byShowFrames;
  return mgr;
}

// The display task's thread, at most every 19th frame while the live view
// is on.
void show_frame(CLCDDisplayDriver* driver, disp::frame* frame) {
  CLCD_Manager* mgr = front_panel_manager();
  if (!mgr || !driver) return;
  if (lcd_sign_too_tall()) {
    lcd_draw_too_tall(mgr, &mgr->m_Lcd);
    return;
  }
  const int32_t height = driver->GetHeight();
  const int32_t width = driver->GetWidth();
  if (height <= 0 || width <= 0 || !frame || !driver->Bitmap() || !mgr->m_byShowFrames) return;
  // Leaving local mode stops the view under the same lock.
  if (!mgr->m_bDisplayMutexCreated || os_mutex_get(&mgr->m_DisplayMutex, kViewLockTicks) != OS_SUCCESS) return;
  if (mgr->m_byShowFrames) {
    frame_to_bitmap converter;
    const uint8_t* bits = nullptr;
    if (converter.Convert(frame, &bits)) {
      const uint32_t h = converter.Height() < static_cast<uint32_t>(height) ? converter.Height() : height;
      const uint32_t w = converter.Width() < static_cast<uint32_t>(width) ? converter.Width() : width;
      const sign_picture picture = {bits, converter.Stride(), h, w, lcd_nv(nv::vmsSignHeightPixels),
                                    lcd_nv(nv::vmsSignWidthPixels)};
      lcd_draw_sign_picture(&mgr->m_Lcd, picture, driver->Mode());
    }
  }
  os_mutex_put(&mgr->m_DisplayMutex);
}

}  // namespace

void lcd_sign_picture_origin(uint32_t height, uint32_t width, uint32_t* left, uint32_t* top) {
  if (top) *top = height <= LCD_HEIGHT ? (LCD_HEIGHT - height) / 2 : 0;
  if (left) *left = width == LCD_WIDTH ? 0 : width < LCD_WIDTH ? (LCD_WIDTH - width) / 2 : 1;
}

uint32_t lcd_draw_sign_picture(CLCD* lcd, const sign_picture& p, uint8_t view) {
  if (!lcd || !p.bits || p.height == 0 || p.width == 0 || p.stride < (p.width + 7) / 8) return 2;
  const uint32_t H = p.height;
  const uint32_t W = p.width;
  uint32_t left = 0;
  uint32_t top = 0;
  lcd_sign_picture_origin(H, W, &left, &top);
  const uint32_t rows = H < LCD_HEIGHT ? H : LCD_HEIGHT;
  const int32_t h = static_cast<int32_t>(p.sign_height ? p.sign_height : H);
  const int32_t w = static_cast<int32_t>(p.sign_width ? p.sign_width : W);
  const int32_t above = static_cast<int32_t>(top) - 1;
  const int32_t below = static_cast<int32_t>(top) + h;
  uint32_t error = 0;
  if (W <= LCD_WIDTH) {
    if (W == LCD_WIDTH) {
      lcd->FillRect(1, 0, b(above), LCD_WIDTH - 1, b(above));
      lcd->FillRect(1, 0, b(below), LCD_WIDTH - 1, b(below));
    } else {
      lcd->FillRect(1, b(static_cast<int32_t>(left) - 1), b(above), b(static_cast<int32_t>(left) + w), b(below));
    }
    error = send_rows(lcd, p, left, top, rows, 0, W);
    if (error) monitor_printf("LCD Error:%d\n", static_cast<int>(error));
    return error;
  }
  if (view == SIGN_VIEW_RIGHT) {
    const uint32_t shown = kWideShown + W % 8;
    lcd->FillRect(1, 0, b(above), shown - 1, b(above));
    lcd->FillRect(1, 0, b(below), shown - 1, b(below));
    lcd->FillRect(1, shown, b(above), shown, b(below));
    send_rows(lcd, p, 0, top, rows, (W - kWideShown) / 8, shown);
  } else {
    lcd->FillRect(1, 1, b(above), LCD_WIDTH - 1, b(above));
    lcd->FillRect(1, 1, b(below), LCD_WIDTH - 1, b(below));
    lcd->FillRect(1, 0, b(above), 0, b(below));
    // Each row on its own, so that the window is any run of whole bytes.
    for (uint32_t y = 0; y < rows; ++y) lcd->Bitmap(1, top + y, kLeftShown, 1, p.bits + static_cast<size_t>(y) * p.stride);
  }
  return 0;
}

bool lcd_sign_too_tall() { return lcd_nv(nv::vmsSignHeightPixels) > LCD_HEIGHT; }

void lcd_draw_too_tall(CLCD_Manager* mgr, CLCD* lcd) {
  lcd->Printf(4, LCD_ALIGN_CENTRE, "%s", lcd_text(mgr, "TOO LARGE TO DISPLAY", "PANNEAU TROP LARGE"));
}

void lcd_install_sign_view() {
  CLCDDisplayDriver::SetShowHook(show_frame);
  CLCDDisplayDriver::SetPanelHook(panel_of_view);
}
