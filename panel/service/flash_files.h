// The flash files as the data key and the reprogramming reach them: through
// the controller's file-system driver and its one media. The driver takes
// its media lock without waiting, so a call that finds it held by another
// thread is tried again a tick later, for a while.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "database/fs/fs_driver.h"

// Ticks a call waits for the media lock before it gives up.
constexpr uint32_t FLASH_BUSY_TICKS = 200;

// Runs `op` again while it reports FS_BUSY, one tick apart.
fs_status flash_retry(const std::function<fs_status()>& op);

// Walks the directory from the calling thread's own local path "./" (the
// shared default record keeps other threads' walks): `visit` gets each
// name and its driver attributes until it returns false. False when the
// walk could not start.
bool flash_walk(const std::function<bool(const char* name, uint32_t attributes)>& visit);

// Takes the calling thread's local path out of the media's list.
void flash_clear_path();

// Up to `capacity` bytes of the file; false when it cannot be opened or read.
bool flash_read(const char* name, uint8_t* buffer, size_t capacity, size_t* length);

// Creates (or replaces) the file in one write, holding the communication
// task's file lock, so that no transfer writes flash meanwhile.
bool flash_create(const char* name, uint32_t attributes, const uint8_t* data, uint32_t size);
