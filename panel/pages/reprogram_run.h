// The reprogram request that the panel posts and the display task carries
// out: the chosen flash file is read and checked, the transfer loader found
// (the flash file "ramloader.hex" or a built-in one) and the CAN programming
// run. Every request ends in a final state, also one that stops before
// programming.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

class can_reprogram;

enum : uint8_t {
  REPROGRAM_IDLE = 0, REPROGRAM_RUNNING = 1, REPROGRAM_SUCCESS = 2, REPROGRAM_NO_MEMORY = 3, REPROGRAM_BAD_FILE = 4,
  REPROGRAM_FAILURE = 5,
};
enum : uint32_t { REPROGRAM_MENU_MODULES = 72, REPROGRAM_MENU_PRODUCT_BOARD = 73, REPROGRAM_MENU_DISTRIBUTION = 75 };

struct reprogram_request {
  std::atomic<uint8_t> state{REPROGRAM_IDLE};
  uint32_t menu = REPROGRAM_MENU_MODULES;
  char file[200] = {};
  uint16_t type = 0;
};

// What the run needs from the controller.
class reprogram_host {
 public:
  virtual ~reprogram_host() = default;
  // A 512 KB work block, null when none is free.
  virtual uint8_t* TakeBlock() = 0;
  virtual void ReleaseBlock(uint8_t* block) = 0;
  virtual bool SetLocalPath() = 0;
  virtual void ClearLocalPath() = 0;
  // Up to `capacity` bytes of the flash file; false when it cannot be read.
  virtual bool ReadFile(const char* name, uint8_t* buffer, size_t capacity, size_t* length) = 0;
  // The hardware the file's header must name: the first present module's
  // type (menu 72) or the identified distribution-board code.
  virtual uint8_t Hardware(uint32_t menu) = 0;
  // The identified distribution board is the HCB board.
  virtual bool HcbDistributionBoard() = 0;
};

// Checks a file to send; on acceptance gives the node to address and where
// the image starts in the text.
bool reprogram_check_file(const char* name, const uint8_t* text, size_t size, uint32_t menu, uint8_t hardware,
                          uint8_t* node, size_t* start);

void reprogram_modules(reprogram_request& request, reprogram_host& host, can_reprogram& prog);
