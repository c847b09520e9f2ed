#include "panel/pages/can_reprogram.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "frame/trace/trace.h"
#include "panel/pages/can_reprogram_hex.h"
#include "tx_api.h"

namespace {

enum : uint32_t {
  CODE_CONTACT = 2, CODE_ENTER = 3, CODE_ERASE = 5, CODE_APP_BLOCK = 20, CODE_LOADER_BLOCK = 33,
  CODE_APP_VALID = 34, CODE_LOADER_VALID = 35, CODE_APP_START = 36, CODE_LOADER_START = 37,
};
constexpr uint32_t LIMIT = 600, VALIDATE_LIMIT = 1000, COLLECT_EXECUTE = 100;

uint32_t CodeOf(uint16_t status) {
  switch (status) {
    case 0x7000: return 2;
    case 0x7001: return 3;
    case 0x7002: return 37;
    case 0x7180: return 7;
    case 0x7181: return 35;
    case 0x7190: return 4;
    case 0x7202: return 36;
    case 0x7204: return 5;
    case 0x7380: return 6;
    case 0x7381: return 34;
  }
  if (status >= 0x7100 && status <= 0x710C) return 21 + (status - 0x7100);
  if (status >= 0x7300 && status <= 0x730C) return 8 + (status - 0x7300);
  return 1;
}

}  // namespace

struct can_reprogram::Image {
  // Hex text (`text`), or a raw image.
  const char* text = nullptr;
  const uint8_t* raw = nullptr;
  size_t size = 0;
  bool board = false;
  std::optional<HexBlockReader> hex;
  size_t offset = 0;

  void Rewind() {
    offset = 0;
    if (text) hex.emplace(text, size, board);
  }
  size_t Consumed() const { return hex ? hex->Consumed() : offset; }
};

void can_reprogram::HandleResponse(uint32_t id, uint8_t length, const uint8_t* data) {
  if (id != REPLY_ID || length != 8) return;
  m_code = 0;
  m_success = false;
  m_error = 0;
  uint32_t code = CodeOf(static_cast<uint16_t>(data[0] << 8 | data[1]));
  if (code != 1) {
    if (data[3] == 0)
      m_success = true;
    else
      m_refusals.fetch_add(1);
    uint32_t error = 0;
    for (int bit = 7; bit >= 0; --bit)
      if (data[7] & (1u << bit)) {
        error = bit + 1;
        break;
      }
    m_error = error;
  }
  m_code = code;
}

uint32_t can_reprogram::Channel() const {
  return m_kind == MICRO_1 ? 14 : m_kind == MICRO_2 ? 13 : 15;
}

bool can_reprogram::Request(const uint8_t* frame, uint8_t length, uint32_t code_a, uint32_t code_b, uint32_t limit) {
  m_code = 0;
  bool sent = m_send(Channel(), frame, length) || Channel() == 15;
  tx_thread_sleep(1);
  if (!sent) return false;
  bool collect = Broadcast();
  // Broadcast contact and blocks: sent is enough (every node would answer).
  if (collect && ((frame[0] == 0x70 && frame[1] == 0x00) || frame[1] == 0x0C)) return true;
  bool seen = false;
  for (;;) {
    uint32_t wait = collect && frame[1] == 0x02 ? COLLECT_EXECUTE : limit;
    bool got = false;
    for (uint32_t t = 0; t <= wait; ++t) {
      uint32_t code = m_code.load();
      if ((code == code_a || code == code_b) && m_success.load()) {
        got = true;
        m_code = 0;
        break;
      }
      if (t < wait) tx_thread_sleep(1);
    }
    if (!collect) return got;
    if (!got) break;
    seen = true;
  }
  // One refusal among the answers fails the whole broadcast.
  if (m_refusals.exchange(0) != 0) return false;
  return seen;
}

bool can_reprogram::SendBlock(Image& image, uint8_t p, bool app, bool* done) {
  *done = false;
  uint8_t block[64];
  uint32_t base;
  uint8_t page, extended;
  if (image.hex) {
    HexBlockReader::Result r = image.hex->Next();
    if (r == HexBlockReader::FAILED) return false;
    if (r == HexBlockReader::END) {
      *done = true;
      return true;
    }
    std::memcpy(block, image.hex->Data(), 64);
    base = image.hex->Base();
    page = image.hex->Page();
    extended = image.hex->Extended();
  } else {
    if (image.offset >= image.size) {
      *done = true;
      return true;
    }
    std::memset(block, 0xFF, 64);
    std::memcpy(block, image.raw + image.offset, std::min<size_t>(64, image.size - image.offset));
    base = static_cast<uint32_t>(image.offset);
    page = 0;
    extended = static_cast<uint8_t>(image.offset / 65535);
  }
  if (app && (m_kind == MICRO_1 || m_kind == MICRO_2)) {
    if (base >= 0x4000) {
      page = static_cast<uint8_t>(page + (base >> 14));
      base &= 0x3FFF;
    }
    if (page < 48 || page > 63) page = 48;
  }
  if (extended) page = extended;

  uint8_t f[8] = {p, 0x80, m_node, static_cast<uint8_t>(base >> 8), static_cast<uint8_t>(base), 0x00, page, 0};
  uint8_t s = 0;
  for (int i = 2; i <= 6; ++i) s = static_cast<uint8_t>(s + f[i]);
  f[7] = static_cast<uint8_t>(-s);
  if (!m_send(Channel(), f, 8) && Channel() != 15) return false;
  uint8_t block_sum = 0;
  for (uint8_t b : block) block_sum = static_cast<uint8_t>(block_sum + b);
  for (uint8_t n = 0; n <= 12; ++n) {
    uint8_t d[8] = {p, n, m_node, 0, 0, 0, 0, 0};
    uint8_t count = n < 12 ? 5 : 4;
    std::memcpy(d + 3, block + 5 * n, count);
    if (n == 12) {
      d[7] = static_cast<uint8_t>(-block_sum);
      if (!Request(d, 8, CODE_APP_BLOCK, CODE_LOADER_BLOCK, LIMIT)) return false;
    } else if (!m_send(Channel(), d, 8) && Channel() != 15) {
      return false;
    }
  }
  ++m_blocks;
  m_sum = static_cast<uint8_t>(m_sum + block_sum);
  if (image.hex)
    image.hex->Accept();
  else
    image.offset += 64;
  return true;
}

bool can_reprogram::ProgramDistributionBoard(const char* loader, size_t loader_size, const char* image,
                                             size_t image_size, uint8_t node, uint16_t type, int micro) {
  if (!loader || !image) return false;
  m_kind = micro == 2 ? MICRO_2 : MICRO_1;
  m_node = node;
  m_type = type;
  monitor_printf_debug("%s", micro == 2 ? "programming distribution board micro 2\n" : "programming distribution board micro 1\n");
  Image l{loader, nullptr, loader_size, true}, a{image, nullptr, image_size, true};
  return Run(l, a);
}

bool can_reprogram::ProgramPFC(const char* loader, size_t loader_size, const uint8_t* image, size_t image_size,
                               uint8_t node, uint16_t type) {
  if (!loader || !image) return false;
  m_kind = node < 128 ? MODULE_HEX : MODULE_RAW;
  m_node = node;
  m_type = type;
  m_refusals = 0;
  Image l{loader, nullptr, loader_size, false};
  Image a{m_kind == MODULE_HEX ? reinterpret_cast<const char*>(image) : nullptr, image, image_size, false};
  return Run(l, a);
}

bool can_reprogram::Run(Image& loader, Image& app) {
  m_step = CONTACT;
  m_retries = m_attempts = 0;
  m_blocks = 0;
  m_sum = 0;
  m_app_progress = 0;
  loader.Rewind();
  app.Rewind();
  const bool board = m_kind == MICRO_1 || m_kind == MICRO_2;
  const uint8_t type_hi = static_cast<uint8_t>(m_type >> 8), type_lo = static_cast<uint8_t>(m_type);
  // A failed attempt: the step goes back to `to` on the third in a row.
  auto fail = [&](uint8_t to) {
    if (m_retries >= 2) {
      m_retries = 0;
      m_step = to;
    } else {
      ++m_retries;
    }
  };
  auto restart = [&](Image& image) {
    m_retries = 0;
    m_sum = 0;
    m_blocks = 0;
    image.Rewind();
  };
  for (;;) {
    uint8_t step = m_step;
    m_percent = static_cast<uint8_t>((step + m_app_progress) * 100 / 109);
    switch (step) {
      case CONTACT: {
        if (m_attempts == 9) {
          m_step = ERASE;
          break;
        }
        if (m_attempts >= 10) {
          m_step = FAILURE;
          break;
        }
        uint8_t f[7] = {0x70, 0x00, m_node, type_hi, type_lo, 0xFF, 0xFF};
        if (Request(f, 7, CODE_CONTACT, CODE_CONTACT, LIMIT)) {
          m_retries = 0;
          ++m_attempts;
          m_step = ENTER_LOADER;
        } else {
          uint8_t before = m_retries++;
          if (before >= 31)
            m_step = FAILURE;
          else if (m_retries == 29)
            m_step = ERASE;
        }
        break;
      }
      case ENTER_LOADER: {
        uint8_t f[7] = {0x70, 0x01, m_node, type_hi, type_lo, 0xFF, 0xFF};
        if (Request(f, 7, CODE_ENTER, CODE_ENTER, LIMIT)) {
          restart(loader);
          m_step = m_kind == MODULE_RAW ? ERASE : LOADER_BLOCKS;
        } else {
          fail(CONTACT);
        }
        break;
      }
      case LOADER_BLOCKS:
      case APP_BLOCKS: {
        bool is_app = step == APP_BLOCKS;
        Image& image = is_app ? app : loader;
        bool done = false;
        if (SendBlock(image, is_app ? 0x73 : 0x71, is_app, &done)) {
          m_retries = 0;
          if (is_app && app.size) {
            size_t left = app.size - std::min(app.size, image.Consumed());
            m_app_progress = static_cast<uint8_t>(std::min<size_t>(100, 100 - left * 100 / app.size));
          }
          if (done) m_step = step + 1;
        } else if (!is_app && m_retries >= 2 && ++m_attempts >= 10) {
          // A loader image the micro keeps refusing would otherwise loop
          // between entering the loader and its blocks for ever.
          m_step = FAILURE;
        } else {
          fail(is_app ? ERASE : ENTER_LOADER);
        }
        break;
      }
      case VALIDATE_LOADER:
      case VALIDATE_APP: {
        bool is_app = step == VALIDATE_APP;
        monitor_printf_debug("%s", is_app ? (board ? "7 - validating executable\n" : "7 - verifying executable\n")
                                  : (board ? "3 - validating bootloader\n" : "3 - verifying bootloader\n"));
        uint8_t f[6] = {static_cast<uint8_t>(is_app ? 0x73 : 0x71), 0x81, m_node, static_cast<uint8_t>(m_blocks >> 8),
                        static_cast<uint8_t>(m_blocks), m_sum};
        if (Request(f, 6, CODE_APP_VALID, CODE_LOADER_VALID, VALIDATE_LIMIT)) {
          m_retries = 0;
          m_step = step + 1;
        } else {
          if (!is_app && m_retries >= 2) monitor_printf_debug("%s", board ? "Err3\n" : "Err3 - PFC\n");
          fail(is_app ? ERASE : CONTACT);
        }
        break;
      }
      case START_LOADER:
      case START_APP: {
        bool is_app = step == START_APP;
        monitor_printf_debug("%s", is_app ? (board ? "8 - execute executable\n" : "8 - executing executable\n")
                                  : (board ? "4 - execute bootloader\n" : "4 - executing bootloader\n"));
        uint8_t f[8] = {static_cast<uint8_t>(is_app ? 0x72 : 0x70), 0x02, m_node, 2, 2, 2, 2, 2};
        if (Request(f, 8, CODE_APP_START, CODE_LOADER_START, LIMIT)) {
          m_retries = 0;
          m_step = is_app ? COMPLETE : ERASE;
        } else {
          fail(CONTACT);
        }
        break;
      }
      case ERASE: {
        monitor_printf_debug("%s", "5 - erasing\n");
        if (m_attempts++ >= 20) {
          m_step = FAILURE;
          break;
        }
        uint32_t limit = board && m_node == m_kind ? LIMIT : m_node < 128 ? 100 : 1000;
        uint8_t f[8] = {0x72, 0x04, m_node, 4, 4, 4, 4, 4};
        if (Request(f, 8, CODE_ERASE, CODE_ERASE, limit)) {
          restart(app);
          m_step = APP_BLOCKS;
        } else {
          if (board && m_retries >= 2) monitor_printf_debug("%s", "Err\n");
          fail(CONTACT);
        }
        break;
      }
      case COMPLETE:
        monitor_printf_debug("%s", "9 - complete\n");
        m_percent = 100;
        return true;
      case FAILURE:
        monitor_printf_debug("%s", "10 - failure\n");
        return false;
      default:
        monitor_printf_debug("%s", "invalid state\n");
        m_step = CONTACT;
        break;
    }
  }
}
