#include "frame/datakey/datakey_jobs.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "frame/datakey/datakey.h"

uint32_t data_key_crc32(const uint8_t* buffer, uint32_t length, uint32_t prev) {
  return static_cast<uint32_t>(crc32(prev, buffer, length));
}

namespace {

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

bool Contains(const char* haystack, const char* needle) {
  size_t n = std::strlen(needle);
  for (const char* p = haystack; *p; ++p)
    if (strncasecmp(p, needle, n) == 0) return true;
  return n == 0;
}

constexpr const char* CONFIG = "CONFIG.XML";
constexpr const char* BACKUP = "CONFIG.BAK";

// The one worker thread's owner (the thread's argument is a 32-bit word).
std::atomic<CDataKeyJobs*> g_worker_owner{nullptr};

}  // namespace

void DataKeyRecord::Encode(uint8_t out[HEADER]) const {
  std::memset(out, 0, HEADER);
  Put16(out, header_size);
  Put16(out + 2, version);
  Put32(out + 4, body_size);
  Put32(out + 8, flags);
  Put32(out + 12, body_crc);
  Put32(out + 16, header_crc);
  Put32(out + 20, time);
  Put32(out + 24, next);
  std::memcpy(out + 28, name, sizeof(name) - 1);
  std::memcpy(out + 180, info, sizeof(info) - 1);
  Put32(out + 204, size);
}

DataKeyRecord DataKeyRecord::Decode(const uint8_t in[HEADER]) {
  DataKeyRecord r;
  r.header_size = Get16(in);
  r.version = Get16(in + 2);
  r.body_size = Get32(in + 4);
  r.flags = Get32(in + 8);
  r.body_crc = Get32(in + 12);
  r.header_crc = Get32(in + 16);
  r.time = Get32(in + 20);
  r.next = Get32(in + 24);
  // Both texts stay terminated whatever the key holds.
  std::memcpy(r.name, in + 28, sizeof(r.name) - 1);
  std::memcpy(r.info, in + 180, sizeof(r.info) - 1);
  r.size = Get32(in + 204);
  return r;
}

uint32_t DataKeyRecord::ComputeHeaderCrc() const {
  DataKeyRecord c = *this;
  c.header_crc = 0;
  c.flags |= FLAG_CRC;
  c.next = LAST;
  uint8_t raw[HEADER];
  c.Encode(raw);
  return data_key_crc32(raw, HEADER, 0);
}

// ---- the key in the socket

bool CDataKeyMedium::Present() { return datakey_present(); }
bool CDataKeyMedium::Power(bool on) {
  static CDataKey key;
  return datakey_power(&key, on);
}
bool CDataKeyMedium::Read(uint32_t offset, uint8_t* buffer, uint32_t length) {
  CDataKey key;
  return datakey_read_block(&key, offset, buffer, length);
}
bool CDataKeyMedium::Write(uint32_t offset, const uint8_t* data, uint32_t length) {
  CDataKey key;
  return datakey_write(&key, offset, data, length);
}
bool CDataKeyMedium::Erase() {
  CDataKey key;
  return datakey_erase(&key);
}

// ---- the page's side

CDataKeyJobs::~CDataKeyJobs() {
  if (m_alive.load()) tx_thread_delete(&m_thread);
  CDataKeyJobs* self = this;
  g_worker_owner.compare_exchange_strong(self, nullptr);
}

void CDataKeyJobs::KeyCheck() {
  if (!m_key->Present()) {
    uint8_t s = GetState();
    if (m_alive.load() && s < SUCCESS) {
      // The job is left to end by itself (its key operations now fail);
      // only a state the worker has not changed meanwhile is replaced.
      if (!m_pulled) {
        m_pulled = true;
        m_state.compare_exchange_strong(s, NO_KEY);
      }
      return;
    }
    // The end of a job that finished while or after its key went stays
    // until a key reaps it; a result already shown goes with the key.
    if (m_alive.load() && s >= SUCCESS && !m_result_seen) return;
    if (s == NO_KEY) return;
    StopWorker();
    if (!m_alive.load()) SetState(NO_KEY);
    return;
  }
  if (m_alive.load() && GetState() >= SUCCESS) m_result_seen = true;
  // A worker whose key was pulled still owns the key until it is reaped:
  // no scan (and so no second job) meanwhile.
  if (GetState() != NO_KEY || m_alive.load()) return;
  m_firmware = m_config = m_hex = false;
  Scan();
  if (m_table.empty()) return;
  m_config = Find(CONFIG) != nullptr;
  m_hex = Find(".HEX") != nullptr;
  m_key_version.clear();
  std::string firmware;
  if (m_flash->FirmwareFile(&firmware) && m_flash->Exists(firmware)) {
    if (const Entry* e = Find(firmware.c_str())) {
      m_firmware = true;
      m_key_version = e->header.info;
    }
  }
}

void CDataKeyJobs::Scan() {
  m_table.clear();
  if (!m_key->Power(true)) {
    SetState(REMOVED);
    return;
  }
  uint32_t offset = 0, total = 0;
  for (;;) {
    SetState(READING);
    uint8_t raw[DataKeyRecord::HEADER];
    if (!m_key->Read(offset, raw, sizeof(raw))) {
      if (m_table.empty()) SetState(REMOVED);
      break;
    }
    DataKeyRecord h = DataKeyRecord::Decode(raw);
    if (h.header_size > DataKeyRecord::HEADER) break;  // erased
    if (h.Valid()) {
      m_table.push_back({h, offset});
      total += std::min(h.body_size, SCAN_LIMIT);
    } else if (m_table.empty()) {
      SetState(EMPTY);
      break;
    }
    // A chain that runs backwards or into its own body would never end.
    if (h.next == DataKeyRecord::LAST || total >= SCAN_LIMIT || m_table.size() >= MAX_RECORDS) break;
    if (h.next < h.End(offset) || h.next < offset) break;
    offset = h.next;
  }
  uint8_t s = GetState();
  if (s != REMOVED) SetState(m_table.empty() || total >= SCAN_LIMIT ? EMPTY : RECORDS);
  m_key->Power(false);
}

const CDataKeyJobs::Entry* CDataKeyJobs::Find(const char* name) const {
  for (const Entry& e : m_table)
    if (Contains(e.header.name, name)) return &e;
  return nullptr;
}

bool CDataKeyJobs::StartWorker(Job job) {
  if (GetState() >= STARTED || m_alive.load()) return false;
  CDataKeyJobs* expected = nullptr;
  if (!g_worker_owner.compare_exchange_strong(expected, this) && expected != this) return false;
  SetState(STARTED);
  m_pulled = m_result_seen = false;
  m_job = job;
  m_alive = true;
  if (tx_thread_create(&m_thread, const_cast<char*>("Datakey"), &CDataKeyJobs::WorkerMain, 0, m_stack, STACK, 4, 4,
                       TX_NO_TIME_SLICE, TX_AUTO_START) != TX_SUCCESS) {
    m_alive = false;
    SetState(WRITE_ERROR);
    return false;
  }
  return true;
}

bool CDataKeyJobs::StopWorker() {
  uint8_t s = GetState();
  if (s < STARTED && !m_alive.load()) return true;
  if (s < SUCCESS) return false;
  if (m_alive.load()) {
    // The worker has set its final state; it may not have returned yet.
    if (tx_thread_delete(&m_thread) != TX_SUCCESS) return false;
    m_alive = false;
  }
  m_pulled = m_result_seen = false;
  SetState(NO_KEY);
  return true;
}

void CDataKeyJobs::WorkerMain(ULONG) {
  if (CDataKeyJobs* self = g_worker_owner.load()) self->Run(self->m_job);
}

void CDataKeyJobs::Run(Job job) {
  switch (job) {
    case SAVE: SaveToKey(); break;
    case UPDATE_FIRMWARE: UpdateFirmware(); break;
    case UPDATE_CONFIG: UpdateConfig(); break;
    case UPDATE_HEX: UpdateHexFiles(); break;
  }
}

void CDataKeyJobs::Finish() {
  if (GetState() < SUCCESS) SetState(SUCCESS);
}

// ---- the jobs

void CDataKeyJobs::SaveToKey() {
  std::string firmware;
  if (!m_flash->FirmwareFile(&firmware) || !m_flash->Exists(firmware) || !m_flash->Exists(CONFIG)) {
    SetState(NOT_FOUND);
    return;
  }
  if (!m_key->Power(true)) {
    SetState(REMOVED);
    return;
  }
  SetState(ERASING);
  if (!m_key->Erase()) {
    SetState(REMOVED);
  } else if (uint8_t* block = m_flash->TakeBlock()) {
    uint32_t offset = 0;
    if (WriteRecord(firmware, block, &offset, false) && GetState() == SAVING) WriteRecord(CONFIG, block, &offset, true);
    m_flash->ReleaseBlock(block);
  } else {
    SetState(NO_MEMORY);
  }
  m_key->Power(false);
  Finish();
}

bool CDataKeyJobs::WriteRecord(const std::string& name, uint8_t* block, uint32_t* offset, bool last) {
  std::vector<uint8_t> data;
  uint32_t flags = 0, time = 0;
  if (!m_flash->Load(name, &data, &flags, &time)) {
    SetState(NOT_FOUND);
    return false;
  }
  SetState(COMPRESSING);
  uLongf body = BLOCK;
  if (compress2(block, &body, data.data(), data.size(), 9) != Z_OK) {
    SetState(COMPRESSION_ERROR);
    return false;
  }
  SetState(CRCS);
  DataKeyRecord h;
  h.body_size = static_cast<uint32_t>(body);
  h.flags = (flags | DataKeyRecord::FLAG_KEY | DataKeyRecord::FLAG_ALWAYS | DataKeyRecord::FLAG_CRC) &
            ~static_cast<uint32_t>(DataKeyRecord::FLAG_CRC);
  h.body_crc = data_key_crc32(block, h.body_size, 0);
  h.time = time;
  std::snprintf(h.name, sizeof(h.name), "%s", name.c_str());
  std::snprintf(h.info, sizeof(h.info), "%s", VERSION);
  h.size = static_cast<uint32_t>(data.size());
  h.header_crc = h.ComputeHeaderCrc();
  h.next = last ? DataKeyRecord::LAST : h.End(*offset);

  SetState(SAVING);
  uint8_t page[256] = {};
  h.Encode(page);
  uint32_t head = std::min<uint32_t>(256 - DataKeyRecord::HEADER, h.body_size);
  std::memcpy(page + DataKeyRecord::HEADER, block, head);
  // The header page goes last: a record cut short by a pulled key or a
  // failed write never reads as valid.
  if ((h.body_size > head && !m_key->Write(*offset + 256, block + head, h.body_size - head)) ||
      !m_key->Write(*offset, page, sizeof(page))) {
    SetState(REMOVED);
    return false;
  }
  *offset = h.next;
  return true;
}

void CDataKeyJobs::UpdateFirmware() {
  std::string firmware;
  const Entry* e = nullptr;
  if (!m_flash->FirmwareFile(&firmware) || !m_flash->Exists(firmware) || !(e = Find(firmware.c_str()))) {
    SetState(NOT_FOUND);
    return;
  }
  {
    std::vector<uint8_t> config;
    uint32_t flags = 0, time = 0;
    if (m_flash->Load(CONFIG, &config, &flags, &time)) m_flash->Create(BACKUP, 0, config.data(), config.size());
  }
  m_flash->Quiet(true);
  Install(*e);
  m_flash->Quiet(false);
  // The configuration comes back whatever became of the firmware.
  std::vector<uint8_t> backup;
  uint32_t flags = 0, time = 0;
  if (m_flash->Load(BACKUP, &backup, &flags, &time) &&
      m_flash->Create(CONFIG, DataKeyRecord::FLAG_P, backup.data(), backup.size()))
    m_flash->Remove(BACKUP);
  Finish();
}

void CDataKeyJobs::UpdateConfig() {
  if (const Entry* e = Find(CONFIG))
    Install(*e);
  else
    SetState(NOT_FOUND);
  Finish();
}

void CDataKeyJobs::UpdateHexFiles() {
  for (Entry& e : m_table) {
    if (!Contains(e.header.name, ".HEX")) continue;
    e.header.flags &= ~static_cast<uint32_t>(DataKeyRecord::FLAG_P);
    Install(e);
    Finish();
    return;
  }
  SetState(NOT_FOUND);
  Finish();
}

void CDataKeyJobs::Install(const Entry& entry) {
  const DataKeyRecord& h = entry.header;
  if (!m_key->Power(true)) {
    SetState(REMOVED);
    return;
  }
  SetState(READING);
  uint8_t* block = m_flash->TakeBlock();
  if (!block) {
    SetState(NO_MEMORY);
    m_key->Power(false);
    return;
  }
  SetState(DECOMPRESSING);
  z_stream z{};
  bool ended = false;
  if (h.size >= BLOCK) {
    // No room left for the compressed chunks.
    SetState(COMPRESSION_ERROR);
  } else if (inflateInit(&z) != Z_OK) {
    SetState(COMPRESSION_ERROR);
  } else {
    // Output is bounded by the size the header declares: a stream that
    // inflates to more is refused, never written past the file.
    uint8_t* room = block + h.size;
    const uint32_t room_size = BLOCK - h.size;
    z.next_out = block;
    z.avail_out = h.size;
    uint32_t remaining = h.body_size, at = entry.offset + DataKeyRecord::HEADER, crc = 0;
    int rc = Z_OK;
    bool bad = false;
    // The whole body is read for its CRC even after the stream failed: a
    // damaged body is reported as such rather than as bad compression.
    while (remaining > 0) {
      uint32_t chunk = std::min(remaining, room_size);
      if (!m_key->Read(at, room, chunk)) {
        SetState(REMOVED);
        break;
      }
      crc = data_key_crc32(room, chunk, crc);
      at += chunk;
      remaining -= chunk;
      if (bad || rc == Z_STREAM_END) continue;
      z.next_in = room;
      z.avail_in = chunk;
      rc = inflate(&z, Z_NO_FLUSH);
      if (rc == Z_NEED_DICT || rc == Z_DATA_ERROR || rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR ||
          (rc == Z_BUF_ERROR && z.avail_out == 0) || (rc == Z_OK && z.avail_out == 0 && z.avail_in > 0))
        bad = true;
    }
    if (GetState() == DECOMPRESSING) {
      if (crc != h.body_crc) {
        SetState(CRC_ERROR);
      } else if (bad || rc != Z_STREAM_END || z.total_out != h.size) {
        SetState(COMPRESSION_ERROR);
      } else {
        SetState(FLASHING);
        uint32_t flags = h.flags & ~static_cast<uint32_t>(DataKeyRecord::FLAG_KEY);
        SetState(m_flash->Create(h.name, flags, block, h.size) ? SUCCESS : WRITE_ERROR);
      }
    }
    ended = true;
  }
  if (ended) inflateEnd(&z);
  m_flash->ReleaseBlock(block);
  m_key->Power(false);
}
