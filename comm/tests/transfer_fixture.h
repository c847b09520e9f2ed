// File transfer as a manager drives it: the private objects through the
// controller's own request processing on the memory transport, the flash
// file system of a boot monitor with its flash in memory, and the transfer
// installed as the agent's step. The communication task's part (the commit
// on its next step, the idle time-out) is called by the tests.
#pragma once

#include <zlib.h>

#include <string>
#include <vector>

#include "comm/transfer/file_transfer.h"
#include "frame/trace/trace.h"
#include "mon_api.h"
#include "ntcip/mib/quor_private.h"
#include "ntcip/tests/private_fixture.h"

namespace xfer {

inline oid_t Obj(uint32_t n) { return priv::Quor("4." + std::to_string(n) + ".0"); }
enum : uint32_t { kState = 1, kBlockSize, kFileSize, kBlockNumber, kData, kCrc };

inline uint16_t Crc(const std::string& s) { return CFileTransfer::BlockCrc(s.data(), static_cast<uint32_t>(s.size())); }

inline std::string Pattern(uint32_t n, uint32_t seed = 1) {
  std::string s(n, 0);
  uint32_t x = seed;
  for (auto& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return s;
}

inline std::string Deflate(const std::string& plain) {
  uLongf n = compressBound(plain.size());
  std::string out(n, 0);
  EXPECT_EQ(Z_OK, compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(plain.data()),
                            plain.size(), 9));
  out.resize(n);
  return out;
}

}  // namespace xfer

class TransferTest : public PrivateMibTest {
 protected:
  static uint32_t& Locks() {
    static uint32_t n = 0;
    return n;
  }
  static uint32_t& Unlocks() {
    static uint32_t n = 0;
    return n;
  }

  void SetUp() override {
    PrivateMibTest::SetUp();
    g_file_transfer.Forget();
    Locks() = Unlocks() = 0;
    file_transfer_hooks hooks{};
    hooks.lock = [] { ++Locks(); };
    hooks.unlock = [] { ++Unlocks(); };
    g_file_transfer.SetHooks(hooks);
    snmp_set_file_transfer_step([] { g_file_transfer.FileTransferStep(); });
    {
      rtos::cpu_scope scope;
      ASSERT_EQ(os_event_create(&letter_flags_, "transfer letters"), OS_SUCCESS);
    }
    letters_ = std::make_unique<subscriber>(&g_post_office, &letter_flags_, 1, nullptr);
    static const uint32_t kIds[] = {MSG_FRONT_PANEL_DISABLE, MSG_FRONT_PANEL_ENABLE, MSG_FILE_TRANSFER_DONE, 0};
    letters_->Subscribe(kIds);
  }

  void TearDown() override {
    snmp_set_file_transfer_step(nullptr);
    letters_.reset();
    g_file_transfer.Forget();
    PrivateMibTest::TearDown();
  }

  // --- the objects
  uint32_t SetInt(uint32_t object, uint32_t value) {
    return Set(vb_int(xfer::Obj(object), value), "transfer").error_status;
  }
  uint32_t SetData(const std::string& bytes) { return Set(vb_str(xfer::Obj(xfer::kData), bytes), "transfer").error_status; }
  uint32_t State() { return V(vol::quorFileTransferState); }
  // Writes a command and answers the state the transfer left.
  uint32_t Command(uint32_t state) {
    EXPECT_EQ(0u, SetInt(xfer::kState, state));
    return State();
  }
  // The commit: the state written by the manager, then the communication
  // task's next step.
  uint32_t Commit() {
    EXPECT_EQ(0u, SetInt(xfer::kState, 6));
    EXPECT_EQ(6u, State());
    EXPECT_TRUE(rtos::run_in_thread([] { g_file_transfer.StateWritten(); }));
    return State();
  }

  // --- protocols
  uint32_t Begin(const std::string& name, uint32_t size, uint32_t block_size, uint32_t blocks) {
    SetData(name);
    SetInt(xfer::kFileSize, size);
    SetInt(xfer::kBlockSize, block_size);
    SetInt(xfer::kBlockNumber, blocks);
    return Command(4);
  }
  uint32_t Block(uint32_t n, const std::string& bytes, int crc_error = 0) {
    SetInt(xfer::kBlockNumber, n);
    SetData(bytes);
    SetInt(xfer::kCrc, static_cast<uint16_t>(xfer::Crc(bytes) + crc_error));
    return Command(5);
  }
  static std::vector<std::string> Split(const std::string& data, uint32_t block_size) {
    std::vector<std::string> blocks;
    for (size_t i = 0; i < data.size(); i += block_size) blocks.push_back(data.substr(i, block_size));
    return blocks;
  }
  // A whole download; the final state.
  uint32_t Download(const std::string& name, const std::string& data, uint32_t block_size = 1000) {
    auto blocks = Split(data, block_size);
    if (Begin(name, static_cast<uint32_t>(data.size()), block_size, static_cast<uint32_t>(blocks.size())) != 2) return 3;
    for (uint32_t i = 0; i < blocks.size(); ++i)
      if (Block(i + 1, blocks[i]) != 2) return 3;
    return Commit();
  }
  // A whole upload read back in blocks, each checked against its CRC;
  // "<failed>" when a step fails.
  std::string Upload(const std::string& name, uint32_t block_size = 1024) {
    SetData(name);
    SetInt(xfer::kBlockSize, block_size);
    if (Command(7) != 2) return "<failed>";
    const uint32_t size = V(vol::quorFileTransferFileSize);
    const uint32_t count = V(vol::quorFileTransferBlockNumber);
    EXPECT_EQ(size / block_size + (size % block_size ? 1 : 0), count);
    std::string out;
    for (uint32_t n = 1; n <= count; ++n) {
      SetInt(xfer::kBlockNumber, n);
      if (Command(8) != 5) return "<failed>";
      std::string bytes = GetText(xfer::Obj(xfer::kData));
      EXPECT_EQ(bytes.size(), GetInt(xfer::Obj(xfer::kBlockSize)));
      EXPECT_EQ(xfer::Crc(bytes), GetInt(xfer::Obj(xfer::kCrc))) << "block " << n;
      out += bytes;
    }
    EXPECT_EQ(size, out.size());
    return out;
  }

  // --- the flash
  void Put(const std::string& name, const std::string& data, const char* flags = "") {
    rtos::cpu_scope scope;
    ASSERT_EQ(TFS_OKAY, mon_tfsadd(name.c_str(), "", flags, data.data(), static_cast<uint32_t>(data.size())));
  }
  // The file's bytes, or "<none>".
  std::string Flash(const std::string& name) {
    rtos::cpu_scope scope;
    tfs_header* h = mon_tfsstat(name.c_str());
    if (!h) return "<none>";
    return std::string(reinterpret_cast<const char*>(h) + h->hdr_size, h->data_size);
  }
  uint32_t FlashFlags(const std::string& name) {
    rtos::cpu_scope scope;
    tfs_header* h = mon_tfsstat(name.c_str());
    return h ? h->flags : ~0u;
  }

  std::vector<uint32_t> TransferLetters() {
    std::vector<uint32_t> ids;
    letter_s* l = nullptr;
    while (letters_->Receive(&l)) {
      ids.push_back(l->key);
      letters_->Release(l);
    }
    return ids;
  }

  TX_EVENT_FLAGS_GROUP letter_flags_{};
  std::unique_ptr<subscriber> letters_;
};
