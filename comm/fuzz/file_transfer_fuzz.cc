// Fuzz target: the file-transfer objects as a manager writes them, with the
// transfer's commands run after each write of the state, on a flash file
// system in memory. The input is a list of writes, each an op byte and its
// value:
//   0 name or block (u16 length, bytes)   1 file size (u32)
//   2 block size (u16)                    3 block number (u16)
//   4 CRC (0: the data's own, else u16)   5 state (u8): the command runs;
//     a commit also gets the communication task's step
//   6 idle steps of the communication task (u8 hundreds)
// Numbers are big-endian. Every input starts with a reset of the transfer.
#include <cstdint>
#include <new>

#include "comm/transfer/file_transfer.h"
#include "database/database.h"
#include "database/fs/fs_system.h"
#include "database/objects.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/bus/post_office.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "monitor_host.h"
#include "rtos_host.h"

namespace {

TX_BYTE_POOL g_strings;
CDataBase* g_db;

struct cursor {
  const uint8_t* p;
  const uint8_t* end;
  bool has(size_t n) const { return static_cast<size_t>(end - p) >= n; }
  uint32_t take(size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n && p < end; ++i) v = v << 8 | *p++;
    return v;
  }
};

void set(db_object o, uint32_t v) { g_db->SetValue(o.offset, o.width, v, g_db->mib_v, DB_NO_VALIDATE); }

void command(uint32_t state) {
  set(vol::quorFileTransferState, state);
  g_file_transfer.FileTransferStep();
  if (state == XFER_COMMIT) g_file_transfer.StateWritten();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  trace_set_sink([](int, const char*) {});
  monitor::monitor_config mon;
  mon.flash_size = 8u << 20;  // in memory
  monitor::reset(mon);
  rtos::kernel_config c;
  c.memory_size = 12u << 20;
  rtos::kernel_start(c, [](void* mem) {
    uint8_t* at = static_cast<uint8_t*>(mem);
    os_byte_pool_create(&g_strings, "dynamic database", at, 4u << 20);
    at += 4u << 20;
    g_gpbuffer.Create(&at, GPBUFFER_POOL_SIZE);
    os_event_create(&g_database_flags, "database");
  });
  g_db = new CDataBase(&g_post_office);
  g_db->SetStringPool(&g_strings);
  g_db->LoadDefaults(0);
  g_db->SetHooksEnabled(false);
  {
    rtos::cpu_scope scope;
    file_system_media_open();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rtos::run_in_thread([&] {
    command(XFER_RESET);
    cursor in{data, data + size};
    while (in.has(1)) {
      switch (in.take(1) % 7) {
        case 0: {
          uint32_t n = in.take(2);
          if (n > static_cast<uint32_t>(in.end - in.p)) n = static_cast<uint32_t>(in.end - in.p);
          g_db->SetString(vol::fileTransferName.offset, 4, in.p, n, g_db->mib_v, DB_NO_VALIDATE);
          in.p += n;
          break;
        }
        case 1:
          set(vol::quorFileTransferFileSize, in.take(4));
          break;
        case 2:
          set(vol::quorFileTransferBlockSize, in.take(2));
          break;
        case 3:
          set(vol::quorFileTransferBlockNumber, in.take(2));
          break;
        case 4: {
          uint32_t crc = in.take(2);
          if (crc == 0) {
            uint32_t n = 0;
            const uint8_t* d = g_db->GetString(vol::fileTransferName.offset, 4, g_db->mib_v, &n);
            crc = CFileTransfer::BlockCrc(d, d ? n : 0);
          }
          set(vol::fileTransferNameCrc, crc);
          break;
        }
        case 5:
          command(in.take(1));
          break;
        case 6:
          for (uint32_t i = in.take(1) * 100; i; --i) g_file_transfer.IdleStep();
          break;
      }
    }
    command(XFER_RESET);
  });
  return 0;
}
