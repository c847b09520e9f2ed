// Bitmap files and memory management. A message can show a bitmap file of
// the flash file system ("[ms11,g,X,Y,name]", the file "Bitmaps/name");
// files that no stored message names any more are removed. Memory
// management clears message memory or reloads the defaults on a request of
// dmsMemoryMgmt, and the private reset option restarts the controller with
// its memory cleared to a chosen depth.
//
// Files are only ever removed through the file-system driver, by the name
// the file system itself gives: never through a command line built from a
// name.
#include <cstdio>
#include <cstring>

#include "database/database.h"
#include "database/fs/fs_system.h"
#include "database/objects.h"
#include "display/activation/display_services.h"
#include "display/message/db_read.h"
#include "display/tables/message_table.h"
#include "display/task/display.h"
#include "display/task/display_db.h"
#include "display/task/display_links.h"
#include "display/task/display_lock.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "frame/util/strings.h"
#include "frame/watchdog/watchdog_task.h"
#include "mon_api.h"

uint32_t* g_pSnmpAccessWord = nullptr;

namespace {

const char kBitmapTag[] = "ms11,g,";
constexpr uint32_t kBitmapTagLength = sizeof kBitmapTag - 1;
const char kBitmapFolder[] = "Bitmaps/";
constexpr uint32_t kBitmapFolderLength = sizeof kBitmapFolder - 1;

// The media lock is taken without waiting: a driver call that finds another
// thread inside is tried again a few ticks later.
constexpr uint32_t kBusyRetries = 50;

constexpr uint32_t kRowFlags = DB_NOTIFY | DB_NO_VALIDATE;

enum memory_command : uint32_t {
  MEMORY_RELOAD_DEFAULTS = 1,
  MEMORY_NORMAL = 2,
  MEMORY_CLEAR_CHANGEABLE = 3,
  MEMORY_CLEAR_VOLATILE = 4,
};

enum reset_cause : uint32_t { RESET_COMMANDED = 1, RESET_MEMORY_MANAGEMENT = 4 };

fs_status retry_while_busy(fs_status (*call)(CFileSystem_Driver*, fs_media*, const char*), CFileSystem_Driver* driver,
                           fs_media* media, const char* name) {
  fs_status st = FS_BUSY;
  for (uint32_t attempt = 0; attempt < kBusyRetries; ++attempt) {
    st = call(driver, media, name);
    if (st != FS_BUSY || os_sleep(1) != OS_SUCCESS) break;
  }
  return st;
}

fs_status remove_file(CFileSystem_Driver* driver, fs_media* media, const char* name) {
  if (!driver) return FS_BAD_ARGUMENT;
  return retry_while_busy([](CFileSystem_Driver* d, fs_media* m, const char* n) { return d->FileDelete(m, n); },
                          driver, media, name);
}

// A record left in the media's list would outlive the caller's stack.
fs_status clear_local_path(CFileSystem_Driver* driver, fs_media* media) {
  return retry_while_busy([](CFileSystem_Driver* d, fs_media* m, const char*) { return d->LocalPathClear(m); },
                          driver, media, nullptr);
}

bool ends_with(const char* s, const char* tail) {
  const size_t n = std::strlen(s), t = std::strlen(tail);
  return n >= t && std::memcmp(s + n - t, tail, t) == 0;
}

// The file name of a bitmap tag found at `at`: up to its "]" or the end of
// the text.
uint32_t tag_name_length(const uint8_t* text, uint32_t length, uint32_t at) {
  uint32_t end = at;
  while (end < length && text[end] != ']') ++end;
  return end - at;
}

// Whether a tag's name (as the parser looks it up: as given, or in the
// bitmap folder) begins with the file's base name.
bool tag_names_base(const uint8_t* p, uint32_t available, const char* base, uint32_t n) {
  if (available >= n && std::memcmp(p, base, n) == 0) return true;
  return available >= kBitmapFolderLength + n && std::memcmp(p, kBitmapFolder, kBitmapFolderLength) == 0 &&
         std::memcmp(p + kBitmapFolderLength, base, n) == 0;
}

bool text_names_base(const uint8_t* text, uint32_t length, const char* base) {
  const uint32_t n = static_cast<uint32_t>(std::strlen(base));
  if (!text || !n) return false;
  uint32_t from = 0, at = 0;
  while (CDisplay::FindNextBitmapName(text, length, from, &at)) {
    if (tag_names_base(text + at, length - at, base, n)) return true;
    from = at + 1;
  }
  return false;
}

// Whether the text names the file of that full name ("Bitmaps/logo.bmp",
// or a name without folder that the parser finds as given).
bool text_names_file(const uint8_t* text, uint32_t length, const char* file) {
  if (!text) return false;
  const uint32_t n = static_cast<uint32_t>(std::strlen(file));
  uint32_t from = 0, at = 0;
  while (CDisplay::FindNextBitmapName(text, length, from, &at)) {
    const uint32_t k = tag_name_length(text, length, at);
    char shown[FS_PATH_MAX + 1];
    std::snprintf(shown, sizeof shown, "%s%.*s", kBitmapFolder, static_cast<int>(k), text + at);
    monitor_printf_debug("    multi string contains:%s\n", shown);
    if (k == n && std::memcmp(text + at, file, n) == 0) return true;
    if (k + kBitmapFolderLength == n && std::memcmp(file, kBitmapFolder, kBitmapFolderLength) == 0 &&
        std::memcmp(text + at, file + kBitmapFolderLength, k) == 0)
      return true;
    from = at + 1;
  }
  return false;
}

// Whether a stored permanent message (3 .. mib_v.dmsNumPermanentMsg) names
// the file.
bool permanent_names_file(const char* file) {
  const uint32_t count = vol_value(vol::dmsNumPermanentMsg);
  for (uint32_t p = 3; p <= count && p + MSG_PERMANENT_ROW_OFFSET < MSG_MAIN_ROWS; ++p) {
    const msg_row row = msg_main_row(p + MSG_PERMANENT_ROW_OFFSET);
    uint32_t length = 0;
    const uint8_t* text = msg_row_bytes(row, row.multi, &length);
    if (text && length && text_names_file(text, length, file)) return true;
  }
  return false;
}

// Removes the bitmap files (names ending in ".bmp") of the whole file
// system, except those a stored permanent message names when `keep` is
// set.
void remove_bitmap_files(bool keep) {
  for (const tfs_header* h = mon_tfsnext(nullptr); h; h = mon_tfsnext(h)) {
    char name[sizeof h->name + 1];
    std::memcpy(name, h->name, sizeof h->name);
    name[sizeof h->name] = 0;
    if (!ends_with(name, ".bmp")) continue;
    if (keep && permanent_names_file(name)) continue;
    // A removed file's header stays where it is: the walk goes on from it.
    remove_file(g_pFileSystemDriver, &g_fs_media, name);
  }
}

void remove_journal() {
  remove_file(g_pFileSystemDriver, &g_fs_media, "nv1.dat");
  remove_file(g_pFileSystemDriver, &g_fs_media, "nv2.dat");
}

void request_reset(uint32_t cause) { set_nv(nv::dmsSWReset, cause, DB_NOTIFY); }

// The agent's memory-access bit is clear while message memory is cleared.
class memory_access_withdrawn {
 public:
  memory_access_withdrawn() {
    if (g_pSnmpAccessWord) *g_pSnmpAccessWord &= ~MEMORY_ACCESS_BIT;
  }
  ~memory_access_withdrawn() {
    if (g_pSnmpAccessWord) *g_pSnmpAccessWord |= MEMORY_ACCESS_BIT;
  }
  memory_access_withdrawn(const memory_access_withdrawn&) = delete;
  memory_access_withdrawn& operator=(const memory_access_withdrawn&) = delete;
};

void clear_row(const msg_row& row) {
  msg_row_set_bytes(row, row.multi, "", 0, kRowFlags);
  msg_row_set_bytes(row, row.owner, "", 0, kRowFlags);
  msg_row_set(row, row.crc, 0, kRowFlags);
  msg_row_set(row, row.beacon, 0, kRowFlags);
  msg_row_set(row, row.pixel_service, 0, kRowFlags);
  msg_row_set(row, row.priority, 1, kRowFlags);
  msg_row_set(row, row.status, MSG_STATUS_NOT_USED, kRowFlags);
}

// The defaults of both areas, keeping what only a full reset sets. The
// journal stays as the database task switched it.
void reload_defaults() {
  CDataBase* db = g_pDataBase;
  if (!db) return;
  const uint8_t flash = db->IsFlashMode();
  db->LoadDefaults(1);
  db->InitVolatileDefaults();
  db->SetFlashMode(flash);
}

}  // namespace

bool CDisplay::FindNextBitmapName(const uint8_t* text, uint32_t length, uint32_t from, uint32_t* position) {
  if (!text || !position) return false;
  for (uint32_t i = from; i < length && length - i >= kBitmapTagLength; ++i) {
    if (mem_casecmp(text + i, kBitmapTag, kBitmapTagLength) != 0) continue;
    // Two fields, each up to its comma, before the name.
    uint32_t j = i + kBitmapTagLength;
    for (int field = 0; field < 2; ++field) {
      while (j < length && text[j] != ',') ++j;
      if (j >= length) return false;
      ++j;
    }
    *position = j;
    return true;
  }
  return false;
}

bool CDisplay::IsBitmapReferenced(uint8_t memoryType, const char* name) {
  if (!name) return false;
  auto names = [name](const msg_row& row) {
    if (msg_row_value(row, row.status) != MSG_STATUS_VALID) return false;
    uint32_t length = 0;
    const uint8_t* text = msg_row_bytes(row, row.multi, &length);
    return text && length && text_names_base(text, length, name);
  };
  switch (memoryType) {
    case MEMORY_PERMANENT:
      for (uint16_t n = 1; n <= MSG_BUILT_IN_PERMANENT; ++n) {
        msg_row row{};
        if (msg_find_row(MEMORY_PERMANENT, n, &row) == ACTIVATE_NONE && names(row)) return true;
      }
      for (uint32_t r = MSG_CHANGEABLE_ROWS; r < MSG_MAIN_ROWS; ++r)
        if (names(msg_main_row(r))) return true;
      return false;
    case MEMORY_CHANGEABLE:
      for (uint32_t r = 0; r < MSG_CHANGEABLE_ROWS; ++r)
        if (names(msg_main_row(r))) return true;
      return false;
    case MEMORY_VOLATILE:
      for (uint32_t k = 0; k < MSG_VOLATILE_ROWS; ++k)
        if (names(msg_volatile_row(k))) return true;
      return false;
    default:
      return false;
  }
}

fs_status CDisplay::PurgeUnusedBitmaps(CFileSystem_Driver* driver, fs_media* media) {
  if (!driver) return FS_BAD_ARGUMENT;
  fs_path_record record{};
  fs_status st = driver->LocalPathSet(media, &record, "./Bitmaps/");
  if (st != FS_SUCCESS) return st;
  char* entry = nullptr;
  for (fs_status found = driver->DirectoryFirstEntryFind(media, &entry); found == FS_SUCCESS && entry;
       found = driver->DirectoryNextEntryFind(media, &entry)) {
    char base[FS_PATH_MAX + 1];
    if (fs_path_basename(driver, entry, base, FS_PATH_MAX) != FS_SUCCESS) continue;
    if (!std::strstr(base, ".bmp")) continue;
    if (IsBitmapReferenced(MEMORY_PERMANENT, base) || IsBitmapReferenced(MEMORY_CHANGEABLE, base) ||
        IsBitmapReferenced(MEMORY_VOLATILE, base))
      continue;
    remove_file(driver, media, entry);
  }
  return clear_local_path(driver, media);
}

void CDisplay::PurgeBitmapFiles() {
  // Without a stored permanent message no bitmap is kept.
  remove_bitmap_files(vol_value(vol::dmsNumPermanentMsg) > MSG_BUILT_IN_PERMANENT);
}

void CDisplay::HandleMemoryManagement() {
  // The commands rewrite message rows, slots and defaults that the display
  // step reads.
  display_lock lock(this);
  if (!lock.ok()) return;

  switch (vol_value(vol::dmsMemoryMgmt)) {
    case MEMORY_NORMAL:
      break;
    case MEMORY_RELOAD_DEFAULTS: {
      set_vol(vol::dmsMemoryMgmt, MEMORY_NORMAL, 0);
      reload_defaults();
      RequestBlankMessage(2, 2);
      UpdateBrightness(false);
      memory_access_withdrawn withdrawn;
      PurgeBitmapFiles();
      break;
    }
    case MEMORY_CLEAR_CHANGEABLE: {
      {
        memory_access_withdrawn withdrawn;
        for (uint32_t r = 0; r < MSG_CHANGEABLE_ROWS; ++r) clear_row(msg_main_row(r));
        PurgeBitmapFiles();
      }
      set_vol(vol::dmsMemoryMgmt, MEMORY_NORMAL, 0);
      break;
    }
    case MEMORY_CLEAR_VOLATILE: {
      {
        memory_access_withdrawn withdrawn;
        for (uint32_t k = 0; k < MSG_VOLATILE_ROWS; ++k) clear_row(msg_volatile_row(k));
      }
      set_vol(vol::dmsMemoryMgmt, MEMORY_NORMAL, 0);
      break;
    }
    default:  // 0 and unknown commands
      set_vol(vol::dmsMemoryMgmt, MEMORY_NORMAL, 0);
      break;
  }

  // Options 2 to 6 end in a restart and are not set back.
  switch (vol_value(vol::quorResetOption)) {
    case 1:
      break;
    case 2:
      remove_journal();
      request_reset(RESET_COMMANDED);
      break;
    case 3:
    case 6:
      remove_journal();
      remove_file(g_pFileSystemDriver, &g_fs_media, "CONFIG.XML");
      remove_bitmap_files(false);
      g_reset_preserve_flags &= static_cast<uint8_t>(~RESET_PRESERVE_CONFIG);
      request_reset(RESET_COMMANDED);
      break;
    case 4:  // the configuration file is still written before the restart
      request_reset(RESET_COMMANDED);
      break;
    case 5:
      remove_journal();
      g_reset_preserve_flags &= static_cast<uint8_t>(~RESET_PRESERVE_CONFIG);
      request_reset(RESET_COMMANDED);
      break;
    case 7:
      set_nv(nv::quorRunScriptFlags, nv_value(nv::quorRunScriptFlags) | 1, DB_NOTIFY);
      request_reset(RESET_COMMANDED);
      set_vol(vol::quorResetOption, 1, 0);
      break;
    case 8:
      request_reset(RESET_MEMORY_MANAGEMENT);
      set_vol(vol::quorResetOption, 1, 0);
      break;
    default:  // 0 and unknown options
      set_vol(vol::quorResetOption, 1, 0);
      break;
  }
}

void display_memory_management() {
  if (g_pDisplay) g_pDisplay->HandleMemoryManagement();
}
