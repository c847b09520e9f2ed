#pragma once
// Short readable preview of a MULTI message for the web pages and the front
// panel: text is kept, tags are dropped or shown as marks such as
// "<GRAPHIC> ", "<MPH>" or "<RTF>".

#include <cstdint>

// Clears output (size bytes) and writes at most size - 1 characters plus a
// terminating zero. Does nothing for a null text or output, or size 0.
void multi_to_preview_text(const char* multi, char* output, uint32_t size);
