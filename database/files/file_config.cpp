#include "database/files/file_config.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "database/config_table.h"
#include "database/database.h"
#include "database/fs/fs_system.h"
#include "database/objects.h"
#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/trace/trace.h"
#include "frame/util/strings.h"

uint8_t g_config_write_request = 0;
void (*g_config_module_id_restored)() = nullptr;

namespace {

const char kName[] = "CONFIG FILE";
// Files of other tools that share the name.
const char kForeignCfg[] = "<CFG";
const char kForeignWin32[] = "<!-- CONFIG.XML WIN32 ";  // the first 22 characters of its header
constexpr uint32_t kVersionAt = 20;

// Appends to a bounded text; once something did not fit, nothing more is
// added and the text is marked as overflowed.
struct text_out {
  char* buffer;
  uint32_t size;
  uint32_t length = 0;
  bool overflow = false;

  void Format(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (overflow) return;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer + length, size - length, format, args);
    va_end(args);
    // vsnprintf needs room for its terminator as well.
    if (n < 0 || static_cast<uint32_t>(n) >= size - length) {
      overflow = true;
      return;
    }
    length += static_cast<uint32_t>(n);
  }
  void Bytes(const uint8_t* data, uint32_t n) {
    if (overflow) return;
    if (n > size - length) {
      overflow = true;
      return;
    }
    if (n) std::memcpy(buffer + length, data, n);
    length += n;
  }
};

uint32_t hex_of(const char* text, uint32_t length) {
  // As hex_to_uint, bounded by the length: other characters count as 0 and
  // only the last eight digits survive.
  uint32_t value = 0;
  for (uint32_t i = 0; i < length; ++i) value = (value << 4) | hex_digit_value(text[i]);
  return value;
}

const char* find_byte(const char* text, uint32_t length, char c) {
  return static_cast<const char*>(std::memchr(text, c, length));
}

void report_unknown(const char* line, uint32_t length) {
  monitor_printf("CFile_Config::Parse: failed to restore:%.*s\n", static_cast<int>(length), line);
}

void set_table_lock(CDataBase& db, uint32_t value) {
  db.SetValue(vol::peripheralTableLock.offset, vol::peripheralTableLock.width, value, db.mib_v, DB_NOTIFY);
}

}  // namespace

CFile_Config::CFile_Config() : CPeripheral(CLASS_CODE, TYPE_ID) { m_byState = PERIPHERAL_VALID; }

const char* CFile_Config::NameOfType(uint16_t) { return kName; }

uint16_t CFile_Config::TypeOfName(const char* name) {
  return name && std::strcmp(name, kName) == 0 ? TYPE_ID : 0;
}

CPeripheral* CFile_Config::Create(const pl_record& record) {
  if (record.type_id != TYPE_ID) return nullptr;
  CFile_Config* p = new (std::nothrow) CFile_Config();
  if (!p) return nullptr;
  p->m_wPollInterval = POLL_INTERVAL;
  p->m_wPollCountdown = 0;
  p->m_wConfigSlot = record.slot;
  p->m_byFromDatabase = 0;
  p->SetEnabled(1);
  return p;
}

void CFile_Config::Poll() {
  if (g_config_write_request && Write(&g_fs_media, g_pFileSystemDriver)) g_config_write_request = 0;
}

uint32_t CFile_Config::Build(char* buffer, uint32_t size, uint32_t* length) {
  if (length) *length = 0;
  CDataBase* db = g_pDataBase;
  if (!buffer || !db) return 1;
  text_out out{buffer, size};
  out.Format("%s", kHeader);
  for (const config_object_entry& row : g_config_objects) {
    monitor_printf_debug("CFile_Config::Build backing up %s\n", row.name);
    if (row.kind != CONFIG_INTEGER && row.kind != CONFIG_STRING) {
      monitor_printf("CFile_Config::Build unknown obj type\n");
      continue;
    }
    uint32_t elements = config_object_elements(row);
    for (uint32_t e = 0; e < elements; ++e) {
      uint32_t offset = row.offset + e * row.element_size;
      uint32_t index = row.first_index + e;
      if (row.kind == CONFIG_INTEGER) {
        // Every element is kept, also one equal to the row's default: the
        // restore starts from factory values, which are not always those.
        uint32_t value = db->GetValue(offset, row.element_size, db->mib_nv, 0);
        out.Format("%s[%04X]:XXXX,%X\n", row.name, index, value);
      } else {
        uint32_t n = 0;
        const uint8_t* data = db->GetString(offset, row.element_size, db->mib_nv, &n);
        // An empty string is kept too (length 0): a restore that skipped it
        // would leave the factory text in its place.
        if (!data) continue;
        if (n > 0xFFFF) n = 0xFFFF;  // the length field's four digits
        out.Format("%s[%04X]:%04X,", row.name, index, n);
        out.Bytes(data, n);
        out.Format("\n");
      }
    }
  }
  if (length) *length = out.length;
  // A cut text would lose the objects after the cut.
  return out.overflow ? 1 : 0;
}

int CFile_Config::Write(fs_media* media, CFileSystem_Driver* driver) {
  monitor_printf(" - Writing %s\t\t\t\t\t", kFileName);
  void* buffer = nullptr;
  if (!driver || !g_gpbuffer.Allocate(&buffer, kBufferSize)) {
    monitor_printf("[FAIL]\n");
    return 0;
  }
  uint32_t length = 0;
  fs_status st = FS_ERROR;
  if (Build(static_cast<char*>(buffer), kBufferSize, &length) == 0) {
    fs_file file;
    fs_file_init(&file);
    st = driver->FileCreateWithData(media, &file, kFileName, FS_ATTR_P, buffer, length);
  }
  g_gpbuffer.Release(&buffer);
  if (st != FS_SUCCESS) {
    monitor_printf("[FAIL]\n");
    return 0;
  }
  driver->FileDelete(media, kBackupName);
  monitor_printf("[ OK ]\n");
  return 1;
}

int CFile_Config::Restore(fs_media* media, CFileSystem_Driver* driver) {
  monitor_printf(" - Restore Config File\t\t\t\t\t");
  CDataBase* db = g_pDataBase;
  void* buffer = nullptr;
  if (!db || !driver || !g_gpbuffer.Allocate(&buffer, kBufferSize)) {
    monitor_printf("[FAIL]\n");
    return 0;
  }
  std::memset(buffer, 0, kBufferSize);
  char* text = static_cast<char*>(buffer);

  fs_file file;
  fs_file_init(&file);
  const char* name = kFileName;
  if (driver->FileOpen(media, &file, name, FS_MODE_READ) != FS_SUCCESS) {
    fs_file_init(&file);
    name = kBackupName;
    if (driver->FileOpen(media, &file, name, FS_MODE_READ) != FS_SUCCESS) {
      g_gpbuffer.Release(&buffer);
      monitor_printf("[FAIL]\n\tFile Does Not Exist\n");
      // Saves the present configuration for the next time.
      Write(media, driver);
      return 0;
    }
  }

  uint32_t total = 0;
  bool failed = false;
  while (total < kBufferSize) {
    uint32_t got = 0;
    fs_status st = driver->FileRead(&file, text + total, kBufferSize - total, &got);
    if (st == FS_END_OF_FILE) break;
    if (st != FS_SUCCESS) {
      failed = true;
      break;
    }
    if (got == 0) break;
    total += got;
  }
  // A file that fills the whole buffer is larger than any this system
  // writes; its end would be lost.
  if (failed || total >= kBufferSize) {
    driver->FileClose(&file);
    g_gpbuffer.Release(&buffer);
    monitor_printf("[FAIL]\n\tFile could not be read\n");
    return 0;
  }

  set_table_lock(*db, 1);
  int result = 1;
  if (ParseFile(text, total) == PARSE_CORRUPT) {
    driver->FileClose(&file);
    driver->FileDelete(media, name);
    monitor_printf("[FAIL]\n\tFile was corrupt\n");
    // The records were not touched; the peripheral task may go on.
    set_table_lock(*db, 2);
    result = 0;
  } else {
    g_post_office.Publish(MSG_CONFIG_LOADED);
    g_post_office.Publish(MSG_SIGN_TYPE_CHANGED);
    set_table_lock(*db, 2);
    monitor_printf("[ OK ]\n");
    driver->FileClose(&file);
  }
  g_gpbuffer.Release(&buffer);
  return result;
}

uint32_t CFile_Config::IsValidFile(const char* text, uint32_t size) {
  if (!text) return 0;
  auto starts_with = [&](const char* prefix) {
    uint32_t n = static_cast<uint32_t>(std::strlen(prefix));
    return size >= n && std::memcmp(text, prefix, n) == 0;
  };
  return starts_with(kForeignCfg) || starts_with(kForeignWin32) ? 0 : 1;
}

uint32_t CFile_Config::ParseFile(const char* text, uint32_t size) {
  if (!IsValidFile(text, size)) return PARSE_CORRUPT;
  // The text ends at its size or at a zero byte where a record would begin;
  // the raw bytes of a string may hold any value.
  uint32_t end = size;
  if (const char* zero = find_byte(text, size, 0)) end = static_cast<uint32_t>(zero - text);

  int version = 1;
  uint32_t pos = 0;
  if (end > 0 && text[0] == '<') {
    version = end > kVersionAt ? text[kVersionAt] - '0' : 2;
    pos = end < kHeaderLength ? end : kHeaderLength;
  }

  // The first zero byte at or after pos (size when there is none); a string
  // record's raw bytes may carry the position past it.
  uint32_t zero_at = end;
  while (pos < size && text[pos] != 0) {
    if (zero_at < pos) {
      const char* zero = find_byte(text + pos, size - pos, 0);
      zero_at = zero ? static_cast<uint32_t>(zero - text) : size;
    }
    const char* start = text + pos;
    uint32_t avail = zero_at - pos;  // the text of the line-based parts
    const char* lf = find_byte(start, avail, '\n');
    uint32_t line = lf ? static_cast<uint32_t>(lf - start) + 1 : avail;
    uint32_t record = line;  // bytes of this record, its line feed included when it has one

    if (version >= 2) {
      // Name and index up to ":", then the length up to ",", both within the
      // line: a line without them is not one of ours and ends at its line
      // feed.
      const char* colon = find_byte(start, line, ':');
      const char* comma =
          colon ? find_byte(colon, line - static_cast<uint32_t>(colon - start), ',') : nullptr;
      if (colon && comma) {
        uint32_t head = static_cast<uint32_t>(comma - start) + 1;
        // The length's digits; more than eight cannot be ours.
        uint32_t digits = static_cast<uint32_t>(comma - colon) - 1;
        uint32_t n = digits <= 8 ? hex_of(colon + 1, digits) : 0xFFFFFFFF;
        if (n > 0) {
          // Exactly n raw bytes and the line feed, as far as the text goes.
          uint64_t want = uint64_t(head) + n + 1;
          uint32_t room = size - pos;
          record = want > room ? room : static_cast<uint32_t>(want);
        }
      }
    }
    if (record == 0) break;
    if (start[record - 1] == '\n') Parse(start, record - 1, version);
    pos += record;
  }
  return 0;
}

void CFile_Config::Parse(const char* line, uint32_t length, int version) {
  CDataBase* db = g_pDataBase;
  if (!line || !db) return;

  const config_object_entry* row = nullptr;
  uint32_t name_length = 0;
  for (const config_object_entry& r : g_config_objects) {
    uint32_t n = static_cast<uint32_t>(std::strlen(r.name));
    if (n <= length && std::memcmp(line, r.name, n) == 0) {
      row = &r;
      name_length = n;
      break;
    }
  }
  // "<name>[IIII]:" must follow in full.
  const char* colon = row ? find_byte(line, length, ':') : nullptr;
  if (!row || !colon || length < name_length + 7 || line[name_length] != '[' || line[name_length + 5] != ']' ||
      line[name_length + 6] != ':') {
    report_unknown(line, length);
    return;
  }

  // A name with an index of its own ("x[1]") gives the base of the record
  // indexes.
  uint32_t base = 0;
  uint32_t before_colon = static_cast<uint32_t>(colon - line);
  uint32_t brackets = 0;
  for (uint32_t i = 0; i < before_colon; ++i) brackets += line[i] == '[';
  if (brackets >= 2) {
    const char* open = find_byte(line, before_colon, '[');
    for (uint32_t i = 1, digits = 0; open + i < colon && digits < 4 && open[i] >= '0' && open[i] <= '9'; ++i, ++digits)
      base = base * 10 + static_cast<uint32_t>(open[i] - '0');
  }
  uint32_t index = hex_of(line + name_length + 1, 4);
  uint32_t elements = config_object_elements(*row);
  if (index < base || index - base >= elements) {
    report_unknown(line, length);
    return;
  }
  uint32_t element = index - base;
  uint32_t offset = row->offset + element * row->element_size;

  const char* value = line + name_length + 7;
  uint32_t value_length = length - (name_length + 7);
  uint32_t n = 0;
  if (version >= 2) {
    const char* comma = find_byte(value, value_length, ',');
    if (!comma) {
      report_unknown(line, length);
      return;
    }
    n = hex_of(value, static_cast<uint32_t>(comma - value));
    value_length -= static_cast<uint32_t>(comma - value) + 1;
    value = comma + 1;
  }

  if (row->kind == CONFIG_INTEGER) {
    db->SetValue(offset, row->element_size, hex_of(value, value_length), db->mib_nv, 0);
    if (row->offset == nv::quorModuleID.offset) {
      monitor_printf("restoring module id\n");
      if (g_config_module_id_restored) g_config_module_id_restored();
    }
  } else if (row->kind == CONFIG_STRING) {
    if (version >= 2) {
      if (n > value_length) {
        report_unknown(line, length);
        return;
      }
      value_length = n;
    }
    db->SetString(offset, row->element_size, value, value_length, db->mib_nv, 0);
  } else {
    monitor_printf("CFile_Config::Parse: unknown obj type\n");
  }
}
