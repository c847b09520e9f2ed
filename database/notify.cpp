// Change notification: a notified write publishes a letter and raises a bit
// of the "database" event flags, so the task that owns the object reacts on
// its next step.
#include "database/config_table.h"
#include "database/database.h"
#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"

TX_EVENT_FLAGS_GROUP g_database_flags;

namespace {

enum when : uint32_t { ON_WRITE = 1, ON_CHANGE = 2 };

struct db_change_range {
  int32_t first;
  int32_t last;
  uint32_t value;  // letter id, or event-flag mask
  uint32_t when;
};

constexpr uint32_t bit(int k) { return 1u << k; }

// Volatile objects to letters.
const db_change_range kVolatileLetters[] = {
    {243, 243, MSG_CHG_VOL243, ON_CHANGE},
    {17184, 17208, MSG_ACTIVATION_WRITTEN, ON_WRITE},
    {24600, 24600, MSG_MAC_ADDRESS_CHANGED, ON_CHANGE},
    {17317, 17317, MSG_CHG_VOL17317, ON_CHANGE},
};

// Volatile objects to event flags.
const db_change_range kVolatileFlags[] = {
    {140, 140, bit(14), ON_WRITE},      {144, 144, bit(12), ON_CHANGE},     {242, 242, bit(21), ON_CHANGE},
    {17320, 17320, bit(27), ON_CHANGE}, {17176, 17176, bit(9), ON_CHANGE},  {145, 145, bit(9), ON_CHANGE},
    {162, 162, bit(17), ON_WRITE},      {92, 95, bit(11), ON_CHANGE},       {17378, 17378, bit(24), ON_CHANGE},
};

// Non-volatile objects to letters.
const db_change_range kNonVolatileLetters[] = {
    {93516, 93516, MSG_EVENT_CLASS_CLEAR_TIME + 0, ON_WRITE},
    {93520, 93520, MSG_EVENT_CLASS_CLEAR_TIME + 1, ON_WRITE},
    {93524, 93524, MSG_EVENT_CLASS_CLEAR_TIME + 2, ON_WRITE},
    {93528, 93528, MSG_EVENT_CLASS_CLEAR_TIME + 3, ON_WRITE},
    {93532, 93532, MSG_EVENT_CLASS_CLEAR_TIME + 4, ON_WRITE},
    {93536, 93536, MSG_EVENT_CLASS_CLEAR_TIME + 5, ON_WRITE},
    {93540, 93540, MSG_EVENT_CLASS_CLEAR_TIME + 6, ON_WRITE},
    {93544, 93544, MSG_EVENT_CLASS_CLEAR_TIME + 7, ON_WRITE},
    {93548, 93548, MSG_EVENT_CLASS_CLEAR_TIME + 8, ON_WRITE},
    {93552, 93552, MSG_EVENT_CLASS_CLEAR_TIME + 9, ON_WRITE},
    {93556, 93556, MSG_EVENT_CLASS_CLEAR_TIME + 10, ON_WRITE},
    {93560, 93560, MSG_EVENT_CLASS_CLEAR_TIME + 11, ON_WRITE},
    {93564, 93564, MSG_EVENT_CLASS_CLEAR_TIME + 12, ON_WRITE},
    {93568, 93568, MSG_EVENT_CLASS_CLEAR_TIME + 13, ON_WRITE},
    {93572, 93572, MSG_EVENT_CLASS_CLEAR_TIME + 14, ON_WRITE},
    {93576, 93576, MSG_EVENT_CLASS_CLEAR_TIME + 15, ON_WRITE},
    {93500, 93515, MSG_EVENT_CLASS_LIMIT, ON_CHANGE},
    {33624, 33624, MSG_CHG_NV33624, ON_CHANGE},
    {272, 291, MSG_FONT_STATUS_CHANGED, ON_CHANGE},
    {95028, 95028, MSG_CHG_NV95028, ON_CHANGE},
    {95032, 95032, MSG_PIXEL_DIAG_OPTION, ON_CHANGE},
    {95023, 95023, MSG_SHUTOFF_TEMP_CHANGED, ON_CHANGE},
    {48188, 48188, MSG_CHG_NV48188, ON_WRITE},
    {48192, 48192, MSG_TIME_ZONE_CHANGED, ON_WRITE},
    {57, 57, MSG_SIGN_TYPE_CHANGED, ON_CHANGE},
    {95229, 95229, MSG_CHG_NV95229, ON_CHANGE},
    {98048, 98064, MSG_PORT_SETTINGS_CHANGED, ON_CHANGE},
    {95192, 95200, MSG_PORT_SETTINGS_CHANGED, ON_CHANGE},
    {95096, 95096, MSG_FEATURE_SET_CHANGED, ON_CHANGE},
    {95052, 95052, MSG_SPECIAL_FEATURES_CHANGED, ON_CHANGE},
};

// Non-volatile objects to event flags.
const db_change_range kNonVolatileFlags[] = {
    {48180, 48180, bit(0), ON_CHANGE},  {95030, 95032, bit(30), ON_CHANGE}, {56, 56, bit(30), ON_CHANGE},
    {62, 64, bit(30), ON_CHANGE},       {35464, 35513, bit(10), ON_CHANGE}, {32982, 33531, bit(11), ON_CHANGE},
    {95056, 95060, bit(19), ON_CHANGE}, {95052, 95052, bit(20), ON_CHANGE}, {95016, 95016, bit(23), ON_CHANGE},
    {33600, 33600, bit(15), ON_CHANGE}, {33620, 33628, bit(17), ON_CHANGE}, {95020, 95020, bit(17), ON_CHANGE},
    {95118, 95126, bit(30), ON_CHANGE}, {95036, 95036, bit(29), ON_CHANGE},
};

template <size_t N>
const db_change_range* match(const db_change_range (&table)[N], uint32_t offset, uint32_t kind) {
  for (const auto& row : table) {
    if (static_cast<int64_t>(offset) < row.first || static_cast<int64_t>(offset) > row.last) continue;
    if (row.when == ON_WRITE || row.when == kind) return &row;
  }
  return nullptr;
}

}  // namespace

void CDataBase::NotifyChange(uint32_t offset, const uint8_t* area, uint32_t kind) {
  if (!m_bNotifyEnable || !IsArea(area) || (QuietBits() & DB_QUIET_NOTIFY)) return;
  bool nv = area == mib_nv;
  const db_change_range* letter =
      nv ? match(kNonVolatileLetters, offset, kind) : match(kVolatileLetters, offset, kind);
  if (letter) g_post_office.Publish(letter->value);
  const db_change_range* flags = nv ? match(kNonVolatileFlags, offset, kind) : match(kVolatileFlags, offset, kind);
  if (flags) os_event_set(&g_database_flags, flags->value, OS_EVENT_OR);
  if (nv && kind == DB_CHANGE_CHANGED && config_object_find(offset)) g_post_office.Publish(MSG_CONFIG_OBJECT_CHANGED);
}
