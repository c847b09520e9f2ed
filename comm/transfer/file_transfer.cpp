// The file-transfer state machine. Each command reads the transfer objects,
// acts on the flash file system and writes state 2 (done) or 3 (failed),
// with notification. A download collects its blocks in one work buffer of
// the buffer pool (inflating them when the first block opens a zlib stream)
// and reaches the flash only at the commit, so a refused or broken download
// never touches the file it would replace.
#include "comm/transfer/file_transfer.h"

#include <cstring>

#include "comm/comm_services.h"
#include "comm/comm_task.h"
#include "database/database.h"
#include "database/files/file_directory.h"
#include "database/fs/fs_system.h"
#include "database/objects.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "frame/trace/trace.h"
#include "frame/util/crc16.h"
#include "frame/watchdog/watchdog_task.h"
#include "mon_api.h"
#include "ntcip/mib/quor_private.h"
#include "tx_api.h"

CFileTransfer g_file_transfer;

namespace {

constexpr uint32_t kReadAttributes = FS_MODE_READ;
constexpr uint32_t kChunk = 1024;

uint32_t vget(const db_object& o) {
  CDataBase* d = g_pDataBase;
  return d ? d->GetValue(o.offset, o.width, d->mib_v, 0) : 0;
}

void vset(const db_object& o, uint32_t value, uint32_t flags = 0) {
  if (CDataBase* d = g_pDataBase) d->SetValue(o.offset, o.width, value, d->mib_v, flags);
}

void set_state(uint8_t state) { vset(vol::quorFileTransferState, state, DB_NOTIFY); }

void publish(uint32_t id) { g_post_office.Publish(id); }

bool begins(const char* s, const char* prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

// What the flash file system takes as a whole-file name: printable, not too
// long, and "/" as the only separator (a "\" would make a second name that
// the directory walk confuses with the first).
bool flash_name(const char* name) {
  size_t n = std::strlen(name);
  if (n == 0 || n > TFS_NAME_MAX) return false;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c > 0x7E || c == '\\') return false;
  }
  return true;
}

// The directory part of a name ("Bitmaps/" of "Bitmaps/a.bmp"); false when
// it has none.
bool directory_of(const char* name, char out[XFER_NAME_MAX + 1]) {
  const char* cut = nullptr;
  for (const char* p = name; *p; ++p)
    if (*p == '/' || *p == '\\') cut = p + 1;
  if (!cut) return false;
  size_t n = static_cast<size_t>(cut - name);
  std::memcpy(out, name, n);
  out[n] = 0;
  return true;
}

struct lcd_hold {
  bool panel;
  lcd_hold() {
    const comm_services& s = comm_get_services();
    panel = s.panel_present && s.panel_present() && s.panel_lcd_suspend;
    if (panel) s.panel_lcd_suspend(1);
  }
  ~lcd_hold() {
    if (panel) comm_get_services().panel_lcd_suspend(0);
  }
};

struct watchdog_hold {
  bool held;
  watchdog_hold() : held(g_pWatchdog && g_pWatchdog->Disable() == 1) {}
  ~watchdog_hold() {
    if (held) g_pWatchdog->Enable();
  }
};

}  // namespace

// ------------------------------------------------------------ helpers

bool CFileTransfer::NormaliseName(const uint8_t* name, uint32_t length, char out[XFER_NAME_MAX + 1]) {
  static const char kWindowsBitmaps[] = "C\\Bitmaps\\";
  static const char kDir[] = "<dir>";
  static const char kSdDir[] = "//SD/<dir>";
  if (!name) return false;
  // Room for every "<dir>" to grow; what passes the length check fits out.
  char first[XFER_BLOCK_MAX * 2 + 1];
  uint32_t n = 0;
  for (uint32_t i = 0; i < length;) {
    if (name[i] == 0) return false;
    if (length - i >= sizeof kWindowsBitmaps - 1 &&
        std::memcmp(name + i, kWindowsBitmaps, sizeof kWindowsBitmaps - 1) == 0) {
      if (n + 8 > sizeof first - 1) return false;
      std::memcpy(first + n, "Bitmaps/", 8);
      n += 8;
      i += sizeof kWindowsBitmaps - 1;
    } else {
      if (n + 1 > sizeof first - 1) return false;
      first[n++] = static_cast<char>(name[i++]);
    }
  }
  first[n] = 0;
  uint32_t m = 0;
  for (uint32_t i = 0; i < n;) {
    if (n - i >= sizeof kDir - 1 && std::memcmp(first + i, kDir, sizeof kDir - 1) == 0) {
      if (m + sizeof kSdDir - 1 > XFER_NAME_MAX) return false;
      std::memcpy(out + m, kSdDir, sizeof kSdDir - 1);
      m += sizeof kSdDir - 1;
      i += sizeof kDir - 1;
    } else {
      if (m + 1 > XFER_NAME_MAX) return false;
      out[m++] = first[i++];
    }
  }
  out[m] = 0;
  return m > 0;
}

uint32_t CFileTransfer::OpenAttributes(const char* name, uint32_t base) {
  uint32_t a = base;
  if (begins(name, "//SD/")) a |= FS_MODE_BUFFERED;
  if (begins(name, "//PR/") || begins(name, "CONFIG.XML") || std::strstr(name, ".EXE")) a |= FS_ATTR_P;
  return a;
}

uint16_t CFileTransfer::BlockCrc(const void* data, uint32_t length) {
  crc16_state s{};
  uint16_t out = 0xFFFF;
  crc16_begin(&s, 0xFFFF);
  crc16_update(&s, data, length);
  crc16_result(&s, &out, 0);
  crc16_end(&s);
  return out;
}

uint8_t CFileTransfer::Finish(bool ok) {
  uint8_t state = ok ? XFER_SUCCEEDED : XFER_FAILED;
  set_state(state);
  return state;
}

void CFileTransfer::GiveBackBuffer() {
  if (m_byInflateOpen) {
    inflateEnd(&m_Inflate);
    m_byInflateOpen = 0;
  }
  if (m_pBuffer && g_gpbuffer.Release(&m_pBuffer)) m_pBuffer = nullptr;
}

void CFileTransfer::EndDownload() {
  if (m_byDownloadBusy) {
    publish(MSG_FRONT_PANEL_ENABLE);
    m_byDownloadBusy = 0;
  }
  GiveBackBuffer();
  m_byOperation = 0;
}

bool CFileTransfer::ReadData(uint8_t* out, uint32_t room, uint32_t* length) {
  *length = 0;
  CDataBase* d = g_pDataBase;
  if (!d) return false;
  uint32_t n = 0;
  const uint8_t* p = d->GetString(vol::fileTransferName.offset, vol::fileTransferName.width, d->mib_v, &n);
  if (n > room) return false;
  if (n && !p) return false;
  if (n) std::memcpy(out, p, n);
  *length = n;
  return true;
}

bool CFileTransfer::ReadName(char out[XFER_NAME_MAX + 1]) {
  uint8_t raw[XFER_BLOCK_MAX];
  uint32_t n = 0;
  return ReadData(raw, sizeof raw, &n) && NormaliseName(raw, n, out);
}

bool CFileTransfer::Stat(const char* name, uint32_t* size) {
  char dir[XFER_NAME_MAX + 1];
  bool with_dir = directory_of(name, dir);
  if (with_dir && g_pFileSystemDriver->LocalPathSet(&g_fs_media, &m_PathRecord, dir) != FS_SUCCESS) return false;
  uint32_t attributes = 0, d1 = 0, d2 = 0, d3 = 0;
  *size = 0;
  fs_status st = g_pFileSystemDriver->DirectoryInformationGet(&g_fs_media, name, &attributes, size, &d1, &d2, &d3);
  if (with_dir) g_pFileSystemDriver->LocalPathClear(&g_fs_media);
  return st == FS_SUCCESS;
}

void CFileTransfer::Forget() {
  if (m_byInflateOpen) inflateEnd(&m_Inflate);
  *this = CFileTransfer();
}

// ------------------------------------------------------------ the machine

void CFileTransfer::FileTransferStateMachine(uint8_t from_step) {
  m_uIdleSteps = 0;
  switch (vget(vol::quorFileTransferState)) {
    case XFER_RESET: Reset(); break;
    case XFER_BEGIN_DOWNLOAD: BeginDownload(); break;
    case XFER_BLOCK:
      if (m_byOperation == XFER_BEGIN_DOWNLOAD) DownloadBlock();
      break;
    case XFER_COMMIT:
      if (from_step) CommitDownload();
      break;
    case XFER_OPEN_UPLOAD: OpenUpload(); break;
    case XFER_READ_BLOCK: ReadUploadBlock(); break;
    case XFER_FILE_CRC: FileCrc(); break;
    case XFER_DELETE: Delete(); break;
    case XFER_DIRECTORY: Directory(); break;
    case XFER_SELECT_SOURCE: SelectSource(); break;
    case XFER_MOVE: MoveOrCopy(true); break;
    case XFER_COPY: MoveOrCopy(false); break;
    default: break;
  }
}

void CFileTransfer::IdleStep() {
  if (!m_byDownloadBusy || m_uIdleSteps > XFER_IDLE_STEPS) return;
  if (m_uIdleSteps++ < XFER_IDLE_STEPS) return;
  // A manager that went away would otherwise keep the work buffer and the
  // front panel locked until somebody sends a reset.
  set_state(XFER_RESET);
  uint32_t counted = m_uIdleSteps;
  Reset();
  m_uIdleSteps = counted;
}

void CFileTransfer::StateWritten() {
  if (vget(vol::quorFileTransferState) == XFER_COMMIT) FileTransferStateMachine(1);
}

void CFileTransfer::Reset() {
  EndDownload();
  m_uIdleSteps = 0;
  m_uFileSize = 0;
  m_szFileName[0] = 0;
  m_bySourceSelected = 0;
  m_wBlockCount = 0;
  m_wBlockSize = 0;
  m_uNextBlock = 0;
  m_uReceived = 0;
  m_byCompressed = 0;
  m_byInflateDone = 0;
}

void CFileTransfer::BeginDownload() {
  const int32_t size = static_cast<int32_t>(vget(vol::quorFileTransferFileSize));
  const uint32_t block_size = vget(vol::quorFileTransferBlockSize);
  const uint32_t blocks = vget(vol::quorFileTransferBlockNumber);
  // A download begun again drops the one before it.
  EndDownload();
  if (size <= 0 || static_cast<uint32_t>(size) > XFER_BUFFER_SIZE || block_size == 0 || blocks == 0) {
    Finish(false);
    return;
  }
  uint8_t raw[XFER_BLOCK_MAX];
  uint32_t n = 0;
  char name[XFER_NAME_MAX + 1];
  if (!ReadData(raw, sizeof raw, &n) || n < 1 || n > XFER_NAME_MAX || !NormaliseName(raw, n, name) ||
      !flash_name(name)) {
    Finish(false);
    return;
  }
  if (!std::strstr(name, ".EXE")) {
    uint32_t free = 0, reclaimable = 0;
    if (g_pFileSystemDriver->MediaSpaceAvailable(&g_fs_media, &free, &reclaimable) != FS_SUCCESS ||
        static_cast<uint32_t>(size) > reclaimable) {
      Finish(false);
      return;
    }
    if (static_cast<uint32_t>(size) > free) {
      // The boot monitor compacts the flash while it restarts; the download
      // must then be started again.
      g_pFileSystemDriver->MediaDefragment(&g_fs_media);
      Finish(false);
      return;
    }
  }
  if (!g_gpbuffer.Allocate(&m_pBuffer, XFER_BUFFER_SIZE)) {
    m_pBuffer = nullptr;
    Finish(false);
    return;
  }
  m_byDownloadBusy = 1;
  publish(MSG_FRONT_PANEL_DISABLE);
  m_byOperation = XFER_BEGIN_DOWNLOAD;
  m_uReceived = 0;
  m_uNextBlock = 1;
  m_uFileSize = static_cast<uint32_t>(size);
  m_wBlockCount = static_cast<uint16_t>(blocks);
  monitor_printf("CDisplay::EventHandlerFileTransfer: wTotNum:%d\n", static_cast<int>(m_wBlockCount));
  m_wBlockSize = static_cast<uint16_t>(block_size);
  std::strcpy(m_szFileName, name);
  m_byCompressed = 0;
  m_byInflateDone = 0;
  Finish(true);
}

void CFileTransfer::DownloadBlock() {
  uint8_t data[XFER_BLOCK_MAX];
  uint32_t n = 0;
  const uint32_t number = vget(vol::quorFileTransferBlockNumber);
  if (m_uFileSize == 0 || !m_pBuffer || number != m_uNextBlock || number > m_wBlockCount ||
      !ReadData(data, sizeof data, &n) || BlockCrc(data, n) != vget(vol::fileTransferNameCrc)) {
    Finish(false);
    return;
  }
  uint8_t* buffer = static_cast<uint8_t*>(m_pBuffer);
  if (number == 1) {
    m_byCompressed = n >= 2 && data[0] == 0x78 && data[1] == 0xDA;
    if (m_byCompressed) {
      std::memset(&m_Inflate, 0, sizeof m_Inflate);
      m_Inflate.next_out = buffer;
      m_Inflate.avail_out = XFER_BUFFER_SIZE;
      if (inflateInit(&m_Inflate) != Z_OK) {
        m_byCompressed = 0;
        Finish(false);
        return;
      }
      m_byInflateOpen = 1;
    }
  }
  if (m_byCompressed) {
    if (m_Inflate.total_out >= XFER_BUFFER_SIZE) {
      monitor_printf("Compressed File Too Big! Max:%d Cur:%d\n", static_cast<int>(XFER_BUFFER_SIZE),
                     static_cast<int>(m_Inflate.total_out));
      Finish(false);
      return;
    }
    m_Inflate.next_in = data;
    m_Inflate.avail_in = n;
    int r = inflate(&m_Inflate, Z_SYNC_FLUSH);
    m_Inflate.next_in = nullptr;
    m_Inflate.avail_in = 0;
    if (r < 0) {
      monitor_printf("inflate error\n");
      Finish(false);
      return;
    }
    if (r == Z_STREAM_END) m_byInflateDone = 1;
  } else {
    // Bytes past the declared size would be cut off at the commit.
    if (n > XFER_BUFFER_SIZE - m_uReceived || n > m_uFileSize - m_uReceived) {
      Finish(false);
      return;
    }
    std::memcpy(buffer + m_uReceived, data, n);
  }
  m_uReceived += n;
  ++m_uNextBlock;
  Finish(true);
}

uint8_t CFileTransfer::WriteCommit(const char* name, const char* flags, uint32_t length, bool elf) {
  // Taken before interrupts go off: waiting for it with them off would
  // never end.
  if (m_Hooks.lock) m_Hooks.lock();
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  if (elf) {
    // The boot monitor's image write must not take the configuration with
    // it: a copy is kept aside and written back afterwards.
    if (tfs_header* h = mon_tfsstat("CONFIG.XML"))
      mon_tfsadd("CONFIG.BAK", "", "", reinterpret_cast<const uint8_t*>(h) + h->hdr_size, h->data_size);
  }
  int r = mon_tfsadd(name, "", flags, m_pBuffer, length);
  if (elf) {
    if (tfs_header* h = mon_tfsstat("CONFIG.BAK")) {
      if (mon_tfsadd("CONFIG.XML", "", "p", reinterpret_cast<const uint8_t*>(h) + h->hdr_size, h->data_size) ==
          TFS_OKAY)
        mon_tfsunlink("CONFIG.BAK");
    }
  }
  tx_interrupt_control(posture);
  if (m_Hooks.unlock) m_Hooks.unlock();
  return r == TFS_OKAY ? XFER_SUCCEEDED : XFER_FAILED;
}

void CFileTransfer::CommitDownload() {
  if (m_byDownloadBusy) {
    m_byDownloadBusy = 0;
    publish(MSG_FRONT_PANEL_ENABLE);
  }
  if (m_byOperation != XFER_BEGIN_DOWNLOAD || m_uFileSize == 0 || !m_pBuffer ||
      m_uNextBlock != static_cast<uint32_t>(m_wBlockCount) + 1) {
    Finish(false);
    EndDownload();
    return;
  }
  uint8_t* buffer = static_cast<uint8_t*>(m_pBuffer);
  uint32_t length = m_uFileSize;
  if (m_byCompressed) {
    length = static_cast<uint32_t>(m_Inflate.total_out);
    const bool complete = m_byInflateDone;
    inflateEnd(&m_Inflate);
    m_byInflateOpen = 0;
    // A stream that never reached its end (and its check value) is a
    // broken download, not a shorter file.
    if (length >= XFER_BUFFER_SIZE || !complete) {
      monitor_printf(complete ? "Compressed File Too Big!\n" : "inflate error\n");
      Finish(false);
      EndDownload();
      return;
    }
  } else if (m_uReceived != length) {
    // Declared bytes that never came make a broken file, not a padded one.
    monitor_printf_debug("CFileTransfer::CommitDownload: %u of %u bytes received\n", m_uReceived, length);
    Finish(false);
    EndDownload();
    return;
  }

  uint8_t result = XFER_FAILED;
  {
    lcd_hold lcd;
    watchdog_hold watchdog;
    const char* flags = "";
    const bool elf = length >= 4 && buffer[0] == 0x7F && buffer[1] == 0x45 && buffer[2] == 0x4C && buffer[3] == 0x46;
    char* dot = std::strchr(m_szFileName, '.');
    if (elf) {
      flags = "bEp";
      if (dot) std::strcpy(dot, ".EXE");
    } else if (dot && begins(dot, ".EXE")) {
      monitor_printf_debug("CDisplay::EventHandlerFileTransfer: error invalid exe header\n");
      Finish(false);
      EndDownload();
      return;
    }
    if (begins(m_szFileName, "monrc"))
      flags = "e";
    else if (begins(m_szFileName, "CONFIG"))
      flags = "p";
    result = WriteCommit(m_szFileName, flags, length, elf);
  }
  Finish(result == XFER_SUCCEEDED);
  if (result == XFER_SUCCEEDED) publish(MSG_FILE_TRANSFER_DONE);
  EndDownload();
}

void CFileTransfer::OpenUpload() {
  const uint32_t block_size = vget(vol::quorFileTransferBlockSize);
  char name[XFER_NAME_MAX + 1];
  uint32_t size = 0;
  if (block_size == 0 || block_size > XFER_BLOCK_MAX || !ReadName(name) || !Stat(name, &size)) {
    Finish(false);
    return;
  }
  uint32_t blocks = size / block_size + (size % block_size ? 1 : 0);
  if (blocks > 0xFFFF) {
    Finish(false);
    return;
  }
  vset(vol::quorFileTransferFileSize, size);
  m_wBlockSize = static_cast<uint16_t>(block_size);
  m_uFileSize = size;
  m_wBlockCount = static_cast<uint16_t>(blocks);
  vset(vol::quorFileTransferBlockNumber, blocks);
  std::strcpy(m_szFileName, name);
  Finish(true);
  m_byOperation = XFER_OPEN_UPLOAD;
}

void CFileTransfer::ReadUploadBlock() {
  const uint32_t number = vget(vol::quorFileTransferBlockNumber);
  const uint32_t block_size = vget(vol::quorFileTransferBlockSize);
  if (number < 1 || number > m_wBlockCount || !m_szFileName[0] || block_size == 0 || block_size > XFER_BLOCK_MAX) {
    Finish(false);
    return;
  }
  fs_file file;
  fs_file_init(&file);
  if (g_pFileSystemDriver->FileOpen(&g_fs_media, &file, m_szFileName, OpenAttributes(m_szFileName, kReadAttributes)) !=
      FS_SUCCESS) {
    Finish(false);
    return;
  }
  uint8_t data[XFER_BLOCK_MAX];
  uint32_t n = 0;
  m_wBlockSize = static_cast<uint16_t>(block_size);
  if (g_pFileSystemDriver->FileSeek(&file, (number - 1) * block_size) != FS_SUCCESS ||
      g_pFileSystemDriver->FileRead(&file, data, block_size, &n) != FS_SUCCESS || n > block_size) {
    g_pFileSystemDriver->FileClose(&file);
    Finish(false);
    return;
  }
  if (CDataBase* d = g_pDataBase)
    d->SetString(vol::fileTransferName.offset, vol::fileTransferName.width, data, n, d->mib_v, 0);
  vset(vol::quorFileTransferBlockSize, n);
  vset(vol::fileTransferNameCrc, BlockCrc(data, n));
  set_state(XFER_BLOCK);
  g_pFileSystemDriver->FileClose(&file);
}

void CFileTransfer::FileCrc() {
  m_byOperation = XFER_FILE_CRC;
  char name[XFER_NAME_MAX + 1];
  uint32_t size = 0;
  if (!ReadName(name) || !Stat(name, &size)) {
    Finish(false);
    return;
  }
  vset(vol::quorFileTransferFileSize, size);
  fs_file file;
  fs_file_init(&file);
  if (g_pFileSystemDriver->FileOpen(&g_fs_media, &file, name, OpenAttributes(name, kReadAttributes)) != FS_SUCCESS) {
    Finish(false);
    return;
  }
  if (g_pFileSystemDriver->FileSeek(&file, 0) != FS_SUCCESS) {
    g_pFileSystemDriver->FileClose(&file);
    Finish(false);
    return;
  }
  crc16_state crc{};
  crc16_begin(&crc, 0xFFFF);
  uint8_t chunk[kChunk];
  uint32_t n = 0;
  while (g_pFileSystemDriver->FileRead(&file, chunk, sizeof chunk, &n) == FS_SUCCESS && n) crc16_update(&crc, chunk, n);
  uint16_t value = 0xFFFF;
  crc16_result(&crc, &value, 0);
  crc16_end(&crc);
  vset(vol::fileTransferNameCrc, value);
  Finish(true);
  g_pFileSystemDriver->FileClose(&file);
}

void CFileTransfer::Delete() {
  char name[XFER_NAME_MAX + 1];
  if (vget(vol::quorFileTransferBlockSize) == 0 || !ReadName(name) ||
      g_pFileSystemDriver->FileDelete(&g_fs_media, name) != FS_SUCCESS) {
    Finish(false);
    return;
  }
  publish(MSG_FILE_TRANSFER_DONE);
  Finish(true);
  m_byOperation = XFER_DELETE;
}

void CFileTransfer::Directory() { Finish(CFile_Directory::Write(&g_fs_media, g_pFileSystemDriver) == 1); }

void CFileTransfer::SelectSource() {
  uint8_t raw[XFER_BLOCK_MAX];
  uint32_t n = 0;
  char name[XFER_NAME_MAX + 1];
  uint32_t size = 0;
  m_bySourceSelected = 0;
  if (!ReadData(raw, sizeof raw, &n) || BlockCrc(raw, n) != vget(vol::fileTransferNameCrc) ||
      !NormaliseName(raw, n, name) || !Stat(name, &size)) {
    m_szSourceName[0] = 0;
    Finish(false);
    return;
  }
  m_bySourceSelected = 1;
  std::strcpy(m_szSourceName, name);
  Finish(true);
}

void CFileTransfer::MoveOrCopy(bool move) {
  const bool selected = m_bySourceSelected;
  m_bySourceSelected = 0;
  uint8_t raw[XFER_BLOCK_MAX];
  uint32_t n = 0;
  char name[XFER_NAME_MAX + 1];
  if (!selected || !ReadData(raw, sizeof raw, &n) || BlockCrc(raw, n) != vget(vol::fileTransferNameCrc) ||
      !NormaliseName(raw, n, name) || !flash_name(name)) {
    Finish(false);
    return;
  }
  CFileSystem_Driver* fs = g_pFileSystemDriver;
  fs_file source, target;
  fs_file_init(&source);
  fs_file_init(&target);
  if (fs->FileOpen(&g_fs_media, &source, m_szSourceName, OpenAttributes(m_szSourceName, kReadAttributes)) !=
      FS_SUCCESS) {
    Finish(false);
    return;
  }
  // An existing destination is refused: opened for writing it would be
  // appended to, and a move onto its own name would delete the file.
  if (fs->FileCreate(&g_fs_media, &target, name, OpenAttributes(name, 0)) != FS_SUCCESS) {
    fs->FileClose(&source);
    Finish(false);
    return;
  }
  bool ok = fs->FileOpen(&g_fs_media, &target, name, FS_MODE_WRITE) == FS_SUCCESS &&
            fs->FileSeek(&source, 0) == FS_SUCCESS;
  if (ok) {
    uint8_t chunk[kChunk];
    fs_status st;
    uint32_t got = 0;
    while ((st = fs->FileRead(&source, chunk, sizeof chunk, &got)) == FS_SUCCESS && got) {
      if (fs->FileWrite(&target, chunk, got) != FS_SUCCESS) {
        ok = false;
        break;
      }
    }
    if (ok && st != FS_SUCCESS && st != FS_END_OF_FILE) ok = false;
  }
  fs->FileClose(&source);
  bool closed = fs->FileClose(&target) == FS_SUCCESS;
  if (!ok || !closed) {
    // A half-copied destination is no file at all.
    if (closed) fs->FileDelete(&g_fs_media, name);
    Finish(false);
    return;
  }
  if (move && fs->FileDelete(&g_fs_media, m_szSourceName) != FS_SUCCESS) {
    Finish(false);
    return;
  }
  Finish(true);
}

// ------------------------------------------------------------ installation

void file_transfer_install() {
  // A new start: whatever a former start in this process held is gone.
  g_file_transfer.Forget();
  file_transfer_hooks hooks{};
  hooks.lock = [] { g_comm_task.Lock(); };
  hooks.unlock = [] { g_comm_task.Unlock(); };
  g_file_transfer.SetHooks(hooks);
  snmp_set_file_transfer_step([] { g_file_transfer.FileTransferStep(); });
  comm_services s = comm_get_services();
  s.transfer_step = [] { g_file_transfer.IdleStep(); };
  s.transfer_state_written = [] { g_file_transfer.StateWritten(); };
  comm_set_services(s);
}
