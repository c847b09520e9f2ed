#include "panel/lcd_rights.h"

#include "database/database.h"
#include "database/objects.h"

LCDRightsMask lcd_rights_of_level(int32_t level) {
  if (level == 0 || level == LCD_LEVEL_ADMIN_PIN || level == LCD_LEVEL_ADMIN) return LCD_RIGHTS_ALL;
  if (level == LCD_LEVEL_USER_PIN) return LCD_RIGHTS_USER_PIN;
  if (level >= LCD_LEVEL_COMMUNITY && level < LCD_LEVEL_COMMUNITY + LCD_COMMUNITIES && g_pDataBase) {
    const db_object o = nv::communityNameAccessMask(static_cast<uint32_t>(level - LCD_LEVEL_COMMUNITY));
    return g_pDataBase->GetValue(o.offset, o.width, g_pDataBase->mib_nv, 0);
  }
  return 0;
}
