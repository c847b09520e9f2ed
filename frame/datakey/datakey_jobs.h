// The data key's file records and the jobs that copy files between the
// controller's flash and the key: scanning the key, saving the firmware and
// CONFIG.XML to it, and installing a record from it. The long jobs run on
// one worker thread "Datakey"; the front panel only reads the state.
//
// Record on the key (big-endian): a 220-byte header, then the file's zlib
// stream. Records start on 256-byte boundaries from offset 0 and are chained
// by the header's next-record field.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "tx_api.h"

// CRC-32 (reflected, preset and result complemented); chains through `prev`.
uint32_t data_key_crc32(const uint8_t* buffer, uint32_t length, uint32_t prev);

struct DataKeyRecord {
  static constexpr uint32_t HEADER = 220;
  static constexpr uint32_t LAST = 0xFFFFFFFF;
  enum : uint32_t { FLAG_KEY = 0x40, FLAG_CRC = 0x800, FLAG_ALWAYS = 0x8000, FLAG_P = 0x400000 };

  uint16_t header_size = HEADER;
  uint16_t version = 0;
  uint32_t body_size = 0;
  uint32_t flags = 0;
  uint32_t body_crc = 0;
  uint32_t header_crc = 0;
  uint32_t time = 0;
  uint32_t next = LAST;
  char name[152] = {};
  char info[24] = {};
  uint32_t size = 0;  // before compression

  void Encode(uint8_t out[HEADER]) const;
  static DataKeyRecord Decode(const uint8_t in[HEADER]);
  // The CRC the header must carry (computed with the CRC field 0, the CRC
  // flag set and next = LAST).
  uint32_t ComputeHeaderCrc() const;
  bool Valid() const { return header_crc == ComputeHeaderCrc(); }
  // Where the next record starts when this one is at `offset`.
  uint32_t End(uint32_t offset) const { return (offset + HEADER + body_size + 255) & ~255u; }
};

// The key as the jobs reach it.
class DataKeyMedium {
 public:
  virtual ~DataKeyMedium() = default;
  virtual bool Present() = 0;
  virtual bool Power(bool on) = 0;  // on: true when ready
  virtual bool Read(uint32_t offset, uint8_t* buffer, uint32_t length) = 0;
  virtual bool Write(uint32_t offset, const uint8_t* data, uint32_t length) = 0;
  virtual bool Erase() = 0;
};

// The key in the EPLD's socket.
class CDataKeyMedium : public DataKeyMedium {
 public:
  bool Present() override;
  bool Power(bool on) override;
  bool Read(uint32_t offset, uint8_t* buffer, uint32_t length) override;
  bool Write(uint32_t offset, const uint8_t* data, uint32_t length) override;
  bool Erase() override;
};

// The controller's flash files as the jobs reach them. Flags are the flash
// file system's flag words.
class DataKeyFlash {
 public:
  virtual ~DataKeyFlash() = default;
  // The running firmware file; false when there is none.
  virtual bool FirmwareFile(std::string* name) = 0;
  virtual bool Exists(const std::string& name) = 0;
  virtual bool Load(const std::string& name, std::vector<uint8_t>* data, uint32_t* flags, uint32_t* time) = 0;
  // Creates (or replaces) the file in one write.
  virtual bool Create(const std::string& name, uint32_t flags, const uint8_t* data, uint32_t size) = 0;
  virtual bool Remove(const std::string& name) = 0;
  // The 2 MB work block (null when the pool has none free).
  virtual uint8_t* TakeBlock() = 0;
  virtual void ReleaseBlock(uint8_t* block) = 0;
  // Around a firmware install: interrupts masked, watchdog off, panel
  // suspended (and back).
  virtual void Quiet(bool /*on*/) {}
};

class CDataKeyJobs {
 public:
  enum State : uint8_t {
    NO_KEY = 0, EMPTY = 1, RECORDS = 2, STARTED = 3, COMPRESSING = 4, CRCS = 5, ERASING = 6, SAVING = 7,
    READING = 8, DECOMPRESSING = 9, FLASHING = 10, SUCCESS = 11, NOT_FOUND = 12, NO_MEMORY = 13,
    COMPRESSION_ERROR = 14, REMOVED = 15, CRC_ERROR = 16, WRITE_ERROR = 17,
  };
  enum Job : uint8_t { SAVE, UPDATE_FIRMWARE, UPDATE_CONFIG, UPDATE_HEX };
  static constexpr uint32_t BLOCK = 0x200000;
  static constexpr uint32_t SCAN_LIMIT = 0x400000;  // body bytes
  static constexpr uint32_t MAX_RECORDS = 32;
  static constexpr uint32_t STACK = 2048;
  static constexpr uint32_t STACK_FILL = 0xEF;
  static constexpr const char* VERSION = "1.9.4588.42";

  struct Entry {
    DataKeyRecord header;
    uint32_t offset;
  };

  CDataKeyJobs(DataKeyMedium* key, DataKeyFlash* flash) : m_key(key), m_flash(flash) {}
  ~CDataKeyJobs();

  uint8_t GetState() const { return m_state.load(); }
  void SetState(uint8_t s) { m_state.store(s); }
  bool HasFirmware() const { return m_firmware; }
  bool HasConfig() const { return m_config; }
  bool HasHex() const { return m_hex; }
  const std::string& KeyVersion() const { return m_key_version; }
  const std::vector<Entry>& Table() const { return m_table; }

  // First step of every panel draw: follows removal and insertion.
  void KeyCheck();
  // Reads the record headers into the table (the panel's thread).
  void Scan();

  // Starts a job on the worker; refused while a job is under way or a
  // worker, even one whose key was pulled, has not been reaped yet.
  bool StartWorker(Job job);
  // Reaps a finished worker and returns to state 0; false while one runs.
  bool StopWorker();
  bool WorkerAlive() const { return m_alive.load(); }

  // The jobs themselves (the worker's entries; callable directly).
  void Run(Job job);
  void SaveToKey();
  void UpdateFirmware();
  void UpdateConfig();
  void UpdateHexFiles();

 private:
  static void WorkerMain(ULONG self);
  void Finish();
  bool WriteRecord(const std::string& name, uint8_t* block, uint32_t* offset, bool last);
  void Install(const Entry& entry);
  const Entry* Find(const char* name) const;

  DataKeyMedium* m_key;
  DataKeyFlash* m_flash;
  std::atomic<uint8_t> m_state{NO_KEY};
  std::atomic<bool> m_firmware{false}, m_config{false}, m_hex{false};
  std::string m_key_version;
  std::vector<Entry> m_table;

  // The single worker.
  std::atomic<bool> m_alive{false};
  // Panel thread: the key went while the worker ran; the worker's end was
  // shown with the key in.
  bool m_pulled = false, m_result_seen = false;
  Job m_job = SAVE;
  TX_THREAD m_thread{};
  uint8_t m_stack[STACK] = {};
};
