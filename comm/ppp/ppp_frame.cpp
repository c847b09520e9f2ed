// Framing of the PPP link: frames built and sent, bytes assembled into
// frames, the FCS check and the reading of a received frame.
#include <cstring>

#include "comm/ppp/ppp_link.h"
#include "comm/ppp/ppp_negotiation.h"
#include "comm/ppp/serial_glue.h"
#include "frame/trace/trace.h"
#include "frame/util/crc16.h"
#include "ntcip/snmp/agent/snmp_agent.h"
#include "frame/os/interrupts_masked.h"

namespace {

constexpr uint8_t kFlag = 0x7E;
constexpr uint8_t kEscape = 0x7D;
constexpr uint8_t kAddress = 0xFF;
constexpr uint8_t kControl = 0x03;
// Room kept at the end of the transmit buffer for the FCS (escaped) and the
// closing flag.
constexpr uint32_t kTail = 5;

void (*g_activity_hook)() = nullptr;

bool needs_escape(const ppp_link* link, uint8_t byte) {
  if (byte == kFlag || byte == kEscape) return true;
  return byte < 0x20 && (link->tx_accm & (1u << byte)) != 0;
}

// The buffered part of a frame to the port: in one piece when the port
// takes whole frames, else byte by byte.
void emit(ppp_link* link, const uint8_t* bytes, uint32_t length) {
  if (length == 0) return;
  if (link->frame_send && link->frame_send(bytes, length)) return;
  if (!link->write_byte) return;
  for (uint32_t i = 0; i < length; ++i) {
    link->write_byte(bytes[i]);
    ++link->bytes_sent;
  }
}

void put_raw(ppp_link* link, uint8_t byte) {
  if (link->tx_length >= PPP_BUFFER_SIZE) {
    emit(link, link->tx_buffer, link->tx_length);
    link->tx_length = 0;
  }
  link->tx_buffer[link->tx_length++] = byte;
  link->frame_end = link->tx_length;
}

// One byte, escaped as the map asks; a full buffer goes out first so that
// the pair is never split from what follows.
void put_escaped(ppp_link* link, uint8_t byte) {
  const uint32_t need = needs_escape(link, byte) ? 2 : 1;
  if (link->tx_length + need + kTail > PPP_BUFFER_SIZE) {
    emit(link, link->tx_buffer, link->tx_length);
    link->tx_length = 0;
  }
  if (need == 2) {
    put_raw(link, kEscape);
    put_raw(link, byte ^ 0x20);
  } else {
    put_raw(link, byte);
  }
}

void start_header(ppp_link* link) {
  link->tx_length = 0;
  link->tx_started = 1;
  put_raw(link, kFlag);
  put_raw(link, kAddress);
  // The control byte always goes escaped.
  put_raw(link, kEscape);
  put_raw(link, kControl ^ 0x20);
  const uint8_t header[2] = {kAddress, kControl};
  link->tx_fcs = ppp_fcs16(PPP_FCS_INITIAL, header, 2);
}

}  // namespace

void ppp_set_activity_hook(void (*hook)()) { g_activity_hook = hook; }

void link_activity_paced(uint8_t* counter, uint32_t bytes) {
  for (; bytes; --bytes) {
    if (*counter < 50) {
      ++*counter;
      continue;
    }
    *counter = 0;
    if (g_activity_hook) g_activity_hook();
  }
}

uint16_t ppp_fcs16(uint16_t fcs, const uint8_t* bytes, uint32_t length) { return crc16_fcs(fcs, bytes, length); }

void ppp_start_frame(ppp_link* link, uint16_t protocol) {
  link->tx_length = 0;
  link->tx_started = 0;
  ppp_output_byte(link, static_cast<uint8_t>(protocol >> 8));
  ppp_output_byte(link, static_cast<uint8_t>(protocol));
}

void ppp_output_byte(ppp_link* link, uint8_t byte) {
  if (!link->tx_started) start_header(link);
  link->tx_fcs = ppp_fcs16(link->tx_fcs, &byte, 1);
  put_escaped(link, byte);
}

void ppp_send_frame(ppp_link* link) {
  if (!link->tx_started) start_header(link);
  ++link->frames_sent;
  const uint16_t fcs = static_cast<uint16_t>(~link->tx_fcs);
  put_escaped(link, static_cast<uint8_t>(fcs & 0xFF));
  put_escaped(link, static_cast<uint8_t>(fcs >> 8));
  put_raw(link, kFlag);
  link->frame_end = link->tx_length;
  emit(link, link->tx_buffer, link->tx_length);
  link->tx_length = 0;
  link->tx_started = 0;
}

uint32_t ppp_fcs_check(ppp_link* link) {
  // The bytes after the opening flag; the closing flag is not stored.
  const uint32_t end = link->frame_index;
  uint16_t fcs = PPP_FCS_INITIAL;
  uint32_t count = 0;
  uint32_t start_last = 0, start_before = 0;  // where the last two bytes began
  uint8_t last = 0;
  for (uint32_t i = 1; i < end; ++i) {
    const uint32_t at = i;
    uint8_t b = link->rx_buffer[i];
    if (b == kEscape) {
      if (i + 1 >= end) break;  // cannot happen: an escape never closes a frame
      b = link->rx_buffer[++i] ^ 0x20;
    }
    fcs = ppp_fcs16(fcs, &b, 1);
    start_before = start_last;
    start_last = at;
    last = b;
    ++count;
  }
  // Address, control, a protocol byte and the FCS at the least.
  if (count < 5) {
    monitor_printf_debug("ppp_fcs_check: frame of %u bytes too short\n", count);
    return PPP_FCS_ERROR;
  }
  if (fcs != PPP_FCS_GOOD) {
    monitor_printf("Error CRC is not 0xF0B8: crc_value %04x, byte %02X, \n", fcs, last);
    return PPP_FCS_ERROR;
  }
  link->frame_index = static_cast<uint16_t>(start_before);
  return 0;
}

uint32_t ReceiveBufferProcess(ppp_link* link, bool timeout) {
  const uint8_t previous = link->frame_index ? link->rx_buffer[link->frame_index - 1] : kEscape;

  // Carrier watch of the links that ask the peer to authenticate.
  if (link->own_auth_protocol == PPP_PROTOCOL_CHAP) {
    const uint8_t carrier = modem_port_carrier();
    if (carrier != link->last_carrier) {
      if (link->last_carrier) {
        monitor_printf("ReceiveBufferProcess Modem disconnected %X %X ppp_ptr = %X\n", carrier, link->last_carrier,
                       static_cast<uint32_t>(reinterpret_cast<uintptr_t>(link)));
        link->last_carrier = carrier;
        link->frame_index = 0;
        link->skipping = 0;
        lcp_state_machine(link, LCP_RTR);
        return PPP_BYTE_DONE;
      }
      monitor_printf("ReceiveBufferProcess Modem connected %X %X\n", carrier, link->last_carrier);
      link->last_carrier = carrier;
    }
  }

  if (timeout) {
    ppp_timeout_process(link);
    link->frame_index = 0;
    link->skipping = 0;
    return PPP_BYTE_DONE;
  }

  if (g_activity_hook) g_activity_hook();
  CommLED_Indicate(link->led_bit, 1);
  uint8_t byte;
  {
    interrupts_masked m;
    if (link->queue_count == 0) return PPP_BYTE_DONE;
    byte = link->queue[link->queue_read];
    --link->queue_count;
    link->queue_read = static_cast<uint16_t>((link->queue_read + 1) % PPP_BUFFER_SIZE);
  }

  // The rest of an over-long frame goes unread up to its closing flag,
  // which then opens the next frame.
  if (link->skipping) {
    if (byte != kFlag) return PPP_BYTE_DONE;
    link->skipping = 0;
    link->rx_buffer[0] = kFlag;
    link->frame_index = 1;
    return PPP_BYTE_DONE;
  }

  if (link->frame_index == 0 && byte != kFlag) {
    ++link->bytes_outside;
    if (link->outside_byte) link->outside_byte(byte);
    return PPP_FRAME_DISCARDED;
  }

  bool reopened = false;
  if (byte == kFlag && previous == kFlag) {
    link->frame_index = 0;
    reopened = true;
  }
  if (byte == kFlag && !reopened && link->frame_index != 0 && previous != kEscape) {
    link->closed_by_flag = 1;
    if (ppp_fcs_check(link) == 0) return PPP_FRAME_COMPLETE;
    monitor_printf("receive_buf: CRC failed %02X \n", byte);
    return PPP_FRAME_DISCARDED;
  }
  if (link->frame_index >= PPP_BUFFER_SIZE) {
    monitor_printf("ReceiveBufferProcess: frame longer than %u bytes discarded\n", PPP_BUFFER_SIZE);
    ++link->frames_too_long;
    link->skipping = 1;
    link->frame_index = 0;
    return PPP_FRAME_DISCARDED;
  }
  link->rx_buffer[link->frame_index++] = byte;
  return PPP_BYTE_DONE;
}

void ppp_frame_restart(ppp_link* link) {
  link->read_index = 0;
  link->frame_index = 0;
  if (link->closed_by_flag) {
    link->rx_buffer[0] = kFlag;
    link->frame_index = 1;
  }
  link->closed_by_flag = 0;
}

bool ppp_input_byte(ppp_link* link, uint8_t* byte) {
  if (link->read_index == 0) {
    // Skip the opening flag, the address and the control byte (two bytes
    // when escaped).
    uint32_t at = 2;
    if (at < link->frame_index && link->rx_buffer[at] == kEscape)
      at += 2;
    else
      at += 1;
    link->read_index = static_cast<uint16_t>(at);
  }
  if (link->read_index >= link->frame_index) return false;
  uint8_t b = link->rx_buffer[link->read_index++];
  if (b == kEscape) {
    if (link->read_index >= link->frame_index) return false;
    b = link->rx_buffer[link->read_index++] ^ 0x20;
  }
  *byte = b;
  return true;
}
