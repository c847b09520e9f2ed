// File transfer over SNMP: a manager moves whole files between itself and
// the flash file system through the six quorFileTransfer objects. Every
// command but the commit of a download runs in the agent's thread right
// after the SET of the state; the commit runs on the communication task's
// next step, because it writes flash with interrupts off.
//
// States (mib_v.quorFileTransferState): 0 reset, 2 done, 3 failed, 4 begin
// a download, 5 a download block (or, written here, an upload block is
// ready), 6 commit, 7 open an upload, 8 read an upload block, 9 CRC of a
// file, 10 delete, 11 directory listing, 12 select a source, 13 move,
// 14 copy.
#pragma once

#include <zlib.h>

#include <cstdint>

#include "database/fs/fs_driver.h"

enum : uint32_t {
  XFER_BUFFER_SIZE = 2097152,  // a download, plain or inflated, must fit
  XFER_NAME_MAX = 200,
  XFER_BLOCK_MAX = 1024,
  XFER_IDLE_STEPS = 6000,      // communication-task steps before a stale download is dropped
};

enum : uint8_t {
  XFER_RESET = 0,
  XFER_NO_ACTION = 1,
  XFER_SUCCEEDED = 2,
  XFER_FAILED = 3,
  XFER_BEGIN_DOWNLOAD = 4,
  XFER_BLOCK = 5,
  XFER_COMMIT = 6,
  XFER_OPEN_UPLOAD = 7,
  XFER_READ_BLOCK = 8,
  XFER_FILE_CRC = 9,
  XFER_DELETE = 10,
  XFER_DIRECTORY = 11,
  XFER_SELECT_SOURCE = 12,
  XFER_MOVE = 13,
  XFER_COPY = 14,
};

// What the transfer needs of its surroundings; a null member is skipped.
struct file_transfer_hooks {
  // The communication task's file-write lock (waits until it is free).
  void (*lock)();
  void (*unlock)();
};

class CFileTransfer {
 public:
  // The agent's step after a committed SET of the state.
  void FileTransferStep() { FileTransferStateMachine(0); }
  // Runs the command the state names; the commit only with from_step 1.
  void FileTransferStateMachine(uint8_t from_step);
  // The communication task's step: the idle time-out of a download.
  void IdleStep();
  // The communication task saw the state written: commits a state of 6.
  void StateWritten();

  void SetHooks(const file_transfer_hooks& hooks) { m_Hooks = hooks; }
  // Forgets everything without touching the buffer pool or the bus (a new
  // start of the system in the same process).
  void Forget();

  // For reports and tests.
  uint8_t Busy() const { return m_byDownloadBusy; }
  uint8_t Operation() const { return m_byOperation; }
  bool HoldsBuffer() const { return m_pBuffer != nullptr; }
  uint32_t IdleSteps() const { return m_uIdleSteps; }

  // The name as the file system knows it: "C\Bitmaps\" becomes "Bitmaps/",
  // "<dir>" becomes "//SD/<dir>". False when the result is empty, longer
  // than XFER_NAME_MAX or holds a NUL byte (a cut name would address
  // another file).
  static bool NormaliseName(const uint8_t* name, uint32_t length, char out[XFER_NAME_MAX + 1]);
  // Open attributes of a name; base 0x4000 to read, 0 for a copy's
  // destination.
  static uint32_t OpenAttributes(const char* name, uint32_t base);
  // The block CRC: CRC-16 from 0xFFFF, the register as it stands.
  static uint16_t BlockCrc(const void* data, uint32_t length);

 private:
  void Reset();
  void BeginDownload();
  void DownloadBlock();
  void CommitDownload();
  void OpenUpload();
  void ReadUploadBlock();
  void FileCrc();
  void Delete();
  void Directory();
  void SelectSource();
  void MoveOrCopy(bool move);

  uint8_t Finish(bool ok);
  void GiveBackBuffer();
  void EndDownload();
  // The data object's bytes into out; false when they do not fit.
  bool ReadData(uint8_t* out, uint32_t room, uint32_t* length);
  // The data object as a normalised name.
  bool ReadName(char out[XFER_NAME_MAX + 1]);
  // Directory information of name, with the local path set to its
  // directory while it is read.
  bool Stat(const char* name, uint32_t* size);
  uint8_t WriteCommit(const char* name, const char* flags, uint32_t length, bool elf);

  file_transfer_hooks m_Hooks{};
  uint32_t m_uFileSize = 0;
  uint16_t m_wBlockCount = 0;
  uint16_t m_wBlockSize = 0;
  char m_szFileName[XFER_NAME_MAX + 8] = {};  // room for ".EXE"
  uint32_t m_uReceived = 0;
  uint32_t m_uNextBlock = 0;
  void* m_pBuffer = nullptr;
  uint8_t m_byCompressed = 0;
  uint8_t m_byInflateOpen = 0;
  uint8_t m_byInflateDone = 0;  // the stream's end (and its check value) was seen
  z_stream m_Inflate{};
  uint8_t m_byOperation = 0;
  uint8_t m_bySourceSelected = 0;
  char m_szSourceName[XFER_NAME_MAX + 1] = {};
  uint32_t m_uIdleSteps = 0;
  uint8_t m_byDownloadBusy = 0;
  fs_path_record m_PathRecord{};
};

extern CFileTransfer g_file_transfer;

// Installs the transfer: the agent's step after a SET of the state, and the
// communication task's time-out and commit.
void file_transfer_install();
