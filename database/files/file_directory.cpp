#include "database/files/file_directory.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/util/crc16.h"
#include "mon_api.h"

namespace {

const char kName[] = "DIRECTORY FILE";

// The part after the last "/", or the whole text.
const char* after_last_slash(const char* text) {
  const char* slash = std::strrchr(text, '/');
  return slash ? slash + 1 : text;
}

}  // namespace

file_date file_date_from_seconds(uint32_t seconds) {
  file_date d;
  uint32_t days = seconds / 86400, rest = seconds % 86400;
  d.hour = rest / 3600;
  d.minute = rest / 60 % 60;
  d.second = rest % 60;
  // Civil date of a day count (eras of 400 years from 1 March 0000).
  uint32_t z = days + 719468;
  uint32_t era = z / 146097;
  uint32_t doe = z - era * 146097;
  uint32_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  uint32_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  uint32_t mp = (5 * doy + 2) / 153;
  d.day = doy - (153 * mp + 2) / 5 + 1;
  d.month = mp < 10 ? mp + 3 : mp - 9;
  d.year = yoe + era * 400 + (d.month <= 2 ? 1 : 0);
  return d;
}

CFile_Directory::CFile_Directory() : CPeripheral(CLASS_CODE, TYPE_ID) {}

const char* CFile_Directory::NameOfType(uint16_t) { return kName; }

uint16_t CFile_Directory::TypeOfName(const char* name) {
  return name && std::strcmp(name, kName) == 0 ? TYPE_ID : 0;
}

CPeripheral* CFile_Directory::Create(const pl_record& record) {
  if (record.type_id != TYPE_ID) return nullptr;
  CFile_Directory* p = new (std::nothrow) CFile_Directory();
  if (!p) return nullptr;
  p->m_wPollInterval = 1;
  p->m_wPollCountdown = 0;
  p->m_wConfigSlot = record.slot;
  p->m_byFromDatabase = 0;
  p->SetEnabled(1);
  return p;
}

void CFile_Directory::Poll() { m_byState = PERIPHERAL_VALID; }

int CFile_Directory::Matches(const char* pattern, uint32_t pattern_length, const char* name) {
  if (!pattern || !name) return 0;
  char copy[kPatternMax + 1];
  uint32_t n = pattern_length < kPatternMax ? pattern_length : kPatternMax;
  std::memcpy(copy, pattern, n);
  copy[n] = 0;

  const char* p = copy;
  const char* f = name;
  // The pattern's directory, its last "/" included ("" without one).
  size_t directory = static_cast<size_t>(after_last_slash(copy) - copy);
  if (std::strncmp(name, copy, directory) == 0) {
    p = copy + directory;
    f = after_last_slash(name);
  }
  if (std::strcmp(p, "*") == 0) return 1;
  if (p[0] == '*' && p[1]) {
    const char* pattern_ext = std::strrchr(p, '.');
    const char* name_ext = std::strrchr(f, '.');
    if (!pattern_ext || !name_ext) return 0;
    return std::strcmp(pattern_ext + 1, name_ext + 1) == 0;
  }
  return std::strcmp(p, f) == 0;
}

uint32_t CFile_Directory::Build(char* buffer, uint32_t size, uint32_t* length) {
  if (length) *length = 0;
  CDataBase* db = g_pDataBase;
  if (!buffer || !db) return 1;
  uint32_t pattern_length = 0;
  const uint8_t* pattern =
      db->GetString(vol::fileTransferName.offset, vol::fileTransferName.width, db->mib_v, &pattern_length);
  if (!pattern || pattern_length == 0) return 0;
  crc16_state crc{};
  uint16_t value = 0;
  crc16_begin(&crc, 0xFFFF);
  crc16_update(&crc, pattern, pattern_length);
  crc16_result(&crc, &value, 0);
  crc16_end(&crc);
  uint32_t stored = db->GetValue(vol::fileTransferNameCrc.offset, vol::fileTransferNameCrc.width, db->mib_v, 0);
  // A request whose name and CRC disagree gets an empty listing.
  if (value != stored) return 0;

  uint32_t used = 0;
  for (tfs_header* h = mon_tfsnext(nullptr); h; h = mon_tfsnext(h)) {
    char name[sizeof h->name + 1];
    std::memcpy(name, h->name, sizeof h->name);
    name[sizeof h->name] = 0;
    if (!Matches(reinterpret_cast<const char*>(pattern), pattern_length, name)) continue;
    file_date d = file_date_from_seconds(h->mod_time);
    char line[sizeof name + 80];
    int n = std::snprintf(line, sizeof line, "%08X%028d%04u%02u%02u%02u%02u%02u%08X%s\r\n", 0x80u, 0, d.year,
                          d.month, d.day, d.hour, d.minute, d.second, h->data_size, name);
    if (n < 0 || static_cast<uint32_t>(n) > size - used) break;
    std::memcpy(buffer + used, line, static_cast<uint32_t>(n));
    used += static_cast<uint32_t>(n);
  }
  if (length) *length = used;
  return 0;
}

int CFile_Directory::Write(fs_media* media, CFileSystem_Driver* driver) {
  void* buffer = nullptr;
  if (!driver || !g_gpbuffer.Allocate(&buffer, kBufferSize)) return 0;
  uint32_t length = 0;
  fs_status st = FS_ERROR;
  if (Build(static_cast<char*>(buffer), kBufferSize, &length) == 0) {
    fs_file file;
    fs_file_init(&file);
    st = driver->FileCreateWithData(media, &file, kFileName, FS_MODE_BUFFERED, buffer, length);
  }
  g_gpbuffer.Release(&buffer);
  return st == FS_SUCCESS ? 1 : 0;
}
