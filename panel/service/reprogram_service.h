// Board reprogramming in the running controller: the reprogram pages list
// the flash files and post their request to the display task, which runs
// it in mode 7; the request frames go out on the EPLD's CAN channels of the
// module-line driver, and the boot loaders' replies come back through the
// module diagnostics.
#pragma once

#include <cstdint>

class can_reprogram;

// The one programmer whose progress the pages show.
can_reprogram& reprogram_programmer();

// One request frame (identifier 0x31) on an EPLD CAN channel, then the
// EPLD's packets flushed; false when the frame was not queued.
bool reprogram_send_frame(uint32_t channel, const uint8_t* data, uint8_t length);

// Hands the pages their controller, the display task its run and the module
// diagnostics the reply route (start-up).
void reprogram_install();
