// libFuzzer target: arbitrary bytes as they come on a PMPP line, through
// frame assembly, the frame's address, control and IPI, and the SNMP
// message it carries through the message decoder (which must re-encode
// what it accepts). A second pass frames the input as the controller would
// send it; assembly must give back exactly those contents. Built from the
// framer's and the codec's sources alone.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "comm/pmpp/pmpp_frame.h"
#include "frame/trace/trace.h"
#include "ntcip/fuzz/snmp_roundtrip.h"

int monitor_printf(const char*, ...) { return 0; }
int monitor_printf_debug(const char*, ...) { return 0; }

namespace {

bool listed(uint8_t address) { return address % 3 == 0; }

void check_frame(const pmpp_deframer& d, uint8_t station, snmp_message* a, snmp_message* b) {
  pmpp_request r{};
  const pmpp_frame_kind kind = pmpp_frame_parse(d.buffer, d.length, station, listed, &r);
  if (r.data && (r.data < d.buffer || r.data + r.length > d.buffer + d.length)) abort();
  if (kind == PMPP_FRAME_SNMP && snmp_roundtrip(r.data, r.length, a, b) == SNMP_RT_MISMATCH) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::unique_ptr<pmpp_deframer> d(new pmpp_deframer());
  static std::unique_ptr<snmp_message> a(new snmp_message());
  static std::unique_ptr<snmp_message> b(new snmp_message());
  static uint8_t frame[2 * PMPP_FRAME_SIZE + 16];
  if (size == 0) return 0;
  const uint8_t station = data[0];

  *d = pmpp_deframer{};
  for (size_t i = 1; i < size; ++i)
    if (pmpp_deframe_byte(d.get(), data[i]) == PMPP_RX_FRAME) check_frame(*d, station, a.get(), b.get());

  // What the framer builds, assembly takes back unchanged.
  pmpp_frame_writer w{};
  pmpp_frame_open(&w, frame, sizeof frame, station, PMPP_CONTROL);
  const size_t info = size - 1 < PMPP_FRAME_SIZE - 8 ? size - 1 : PMPP_FRAME_SIZE - 8;
  for (size_t i = 0; i < info; ++i) pmpp_frame_put(&w, data[1 + i]);
  if (!pmpp_frame_close(&w)) abort();
  *d = pmpp_deframer{};
  int frames = 0;
  for (uint32_t i = 0; i < w.length; ++i)
    if (pmpp_deframe_byte(d.get(), frame[i]) == PMPP_RX_FRAME) ++frames;
  uint8_t field[2];
  const uint32_t n = pmpp_address_field(station, field);
  if (frames != 1 || d->length != n + 1 + info || std::memcmp(d->buffer + n + 1, data + 1, info) != 0) abort();
  return 0;
}
