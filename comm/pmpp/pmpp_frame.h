// Framing of the PMPP link, apart from the link's state: the address field
// of a secondary station (one byte up to address 63, two bytes above), frames
// built into a buffer (flag, stuffing of 0x7D and 0x7E, FCS-16), received
// bytes assembled into checked frames, and the length of the SNMP message a
// frame carries.
#pragma once

#include <cstdint>

constexpr uint8_t PMPP_FLAG = 0x7E;
constexpr uint8_t PMPP_ESCAPE = 0x7D;
constexpr uint8_t PMPP_CONTROL = 0x13;     // what the controller sends
constexpr uint8_t PMPP_CONTROL_UI = 0x03;  // served like 0x13
constexpr uint8_t PMPP_CONTROL_POLL = 0x33;
constexpr uint8_t PMPP_POLL_BYTE = 0xE7;   // follows the poll's control byte
constexpr uint8_t PMPP_IPI_SNMP = 0xC1;
constexpr uint8_t PMPP_IPI_IP = 0x21;
constexpr uint8_t PMPP_ALL_STATIONS = 63;
constexpr uint32_t PMPP_FRAME_SIZE = 2050;  // receive buffer, receive queue, MTU

// ---------------------------------------------------------------- address

// The address field of a station address, unstuffed; its length (1 or 2).
uint32_t pmpp_address_field(uint8_t address, uint8_t out[2]);

struct pmpp_address {
  uint8_t address;
  uint8_t group;   // the group bit of the first byte
  uint8_t length;  // bytes of the field
};
// Parses the field at the start of a frame's contents; false when the
// contents end inside it.
bool pmpp_address_parse(const uint8_t* p, const uint8_t* end, pmpp_address* out);

// ---------------------------------------------------------------- sending

// A frame built in a caller's buffer: the opening flag, the stuffed
// contents, then the stuffed FCS and the closing flag. A frame that does not
// fit is marked and refused at its closing.
struct pmpp_frame_writer {
  uint8_t* buffer;
  uint32_t capacity;
  uint32_t length;
  uint16_t fcs;
  uint8_t overflow;
};
// Opens a frame: flag, the address field of `address`, the control byte.
void pmpp_frame_open(pmpp_frame_writer* w, uint8_t* buffer, uint32_t capacity, uint8_t address, uint8_t control);
void pmpp_frame_put(pmpp_frame_writer* w, uint8_t byte);
// Appends the FCS and the flag; false (nothing usable in the buffer) when
// the frame did not fit.
bool pmpp_frame_close(pmpp_frame_writer* w);

// ---------------------------------------------------------------- receiving

// What one received byte did.
enum pmpp_rx_result : uint8_t {
  PMPP_RX_MORE = 0,      // stored, or a flag between frames
  PMPP_RX_FRAME,         // a frame with a good FCS is in the buffer
  PMPP_RX_OUTSIDE,       // a byte before any flag
  PMPP_RX_FCS_ERROR,     // the frame closed with a bad FCS
  PMPP_RX_TOO_LONG,      // the frame ran over the buffer
  PMPP_RX_ABORTED,       // an escape right before the closing flag
  PMPP_RX_SHORT,         // too short for an address, control byte and FCS
};

// Received bytes assembled into frames. The buffer holds the unstuffed
// contents from the address field on; after PMPP_RX_FRAME `length` counts
// them without the FCS. A flag closes one frame and opens the next.
struct pmpp_deframer {
  uint8_t buffer[PMPP_FRAME_SIZE];
  uint16_t length;  // of the last good frame
  uint16_t fill;    // bytes of the frame being received
  uint8_t in_frame;
  uint8_t escaped;
  uint8_t overflow;
};
pmpp_rx_result pmpp_deframe_byte(pmpp_deframer* d, uint8_t byte);
// Forgets a partly received frame (a time-out); the next frame needs its
// opening flag. True when bytes were lost.
bool pmpp_deframe_reset(pmpp_deframer* d);

// What a good frame asks of the station.
enum pmpp_frame_kind : uint8_t {
  PMPP_FRAME_SHORT = 0,       // ends inside its address field or before its control byte
  PMPP_FRAME_OTHER_STATION,   // for another station, or a group not listed
  PMPP_FRAME_BAD_CONTROL,     // a control byte the station does not serve
  PMPP_FRAME_NO_DATA,         // a poll, or a frame without an IPI
  PMPP_FRAME_SNMP,            // one SNMP message
  PMPP_FRAME_SNMP_MALFORMED,  // IPI 0xC1 whose message header runs past the frame
  PMPP_FRAME_IP,              // IP datagram bytes
  PMPP_FRAME_OTHER_IPI,
};

struct pmpp_request {
  pmpp_address to;
  uint8_t poll;  // the frame polls the station: answer before its data
  uint8_t ipi;
  const uint8_t* data;  // the SNMP message (as long as its header says) or the IP bytes
  uint32_t length;
};

// Takes a frame's unstuffed contents (address field to the FCS, excluded)
// apart for the station `station`; `group_listed` tells whether a group
// address is one of the station's.
pmpp_frame_kind pmpp_frame_parse(const uint8_t* frame, uint32_t length, uint8_t station,
                                 bool (*group_listed)(uint8_t address), pmpp_request* out);

// The length of the BER SEQUENCE (an SNMP message) at the start of `p`,
// header included, when it lies wholly within `available` bytes; else 0.
uint32_t pmpp_message_length(const uint8_t* p, uint32_t available);
