// Loading new firmware into board and display-module micros through their
// resident boot loaders over CAN: contact, a transfer loader brought in and
// started, then the application erased, written in 64-byte blocks,
// validated and started. A run is synchronous (the display task's thread);
// replies arrive through HandleResponse from the thread that decodes them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

class can_reprogram {
 public:
  enum Kind : uint8_t { MODULE_HEX = 0, MICRO_1 = 1, MICRO_2 = 2, MODULE_RAW = 4 };
  enum Step : uint8_t {
    CONTACT, ENTER_LOADER, LOADER_BLOCKS, VALIDATE_LOADER, START_LOADER, ERASE, APP_BLOCKS, VALIDATE_APP, START_APP,
    COMPLETE, FAILURE,
  };
  static constexpr uint32_t REQUEST_ID = 0x31;
  static constexpr uint32_t REPLY_ID = 0x32;

  // Puts one request frame on the channel; false when it was not sent.
  using Sender = std::function<bool(uint32_t channel, const uint8_t* data, uint8_t length)>;
  explicit can_reprogram(Sender send) : m_send(std::move(send)) {}

  bool ProgramDistributionBoard(const char* loader, size_t loader_size, const char* image, size_t image_size,
                                uint8_t node, uint16_t type, int micro);
  bool ProgramPFC(const char* loader, size_t loader_size, const uint8_t* image, size_t image_size, uint8_t node,
                  uint16_t type);
  void HandleResponse(uint32_t id, uint8_t length, const uint8_t* data);

  // ---- progress (read by the panel)
  uint8_t Percent() const { return m_percent.load(); }
  uint8_t CurrentStep() const { return m_step.load(); }
  void ResetProgress() { m_percent = 0; m_step = CONTACT; }
  uint32_t ProgrammerError() const { return m_error.load(); }
  uint32_t Blocks() const { return m_blocks; }

 private:
  struct Image;
  bool Run(Image& loader, Image& app);
  bool Request(const uint8_t* frame, uint8_t length, uint32_t code_a, uint32_t code_b, uint32_t limit);
  bool SendBlock(Image& image, uint8_t p, bool app, bool* done);
  uint32_t Channel() const;
  bool Broadcast() const { return m_node == 0 || m_node == 128; }

  Sender m_send;
  uint8_t m_kind = MODULE_HEX;
  uint8_t m_node = 0;
  uint16_t m_type = 0;
  std::atomic<uint8_t> m_percent{0}, m_step{CONTACT};
  uint8_t m_retries = 0, m_attempts = 0;
  uint32_t m_blocks = 0;
  uint8_t m_sum = 0;
  uint8_t m_app_progress = 0;

  // The last reply.
  std::atomic<uint32_t> m_code{0};
  std::atomic<bool> m_success{false};
  std::atomic<uint32_t> m_error{0};
  std::atomic<uint32_t> m_refusals{0};
};
