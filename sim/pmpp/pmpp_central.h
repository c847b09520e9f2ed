// The central system's end of a PMPP line (a primary station): it builds
// the frames a master sends to its field stations and takes apart what they
// answer. Written from the frame layout of the point-to-multipoint protocol
// alone, apart from the controller's framer, so that each checks the other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

namespace pmpp {

constexpr uint8_t kUi = 0x13;      // unnumbered information, poll bit clear
constexpr uint8_t kPoll = 0x33;    // ... with the poll bit set; 0xE7 follows
constexpr uint8_t kPollByte = 0xE7;
constexpr uint8_t kSnmp = 0xC1;    // initial protocol identifier of SNMP
constexpr uint8_t kIp = 0x21;
constexpr uint8_t kAllStations = 63;

// The address field: low six address bits, the group bit and the
// extension bit (set on the last byte); above 63 a second byte carries the
// high bits.
std::string AddressField(unsigned address, bool group);
// FCS-16 of the bytes (reflected 0x8408 from 0xFFFF, not complemented).
uint16_t Fcs16(const std::string& bytes);
// A whole frame: flag, address, control, the information field, FCS (low
// byte first), flag; 0x7D and 0x7E stuffed.
std::string Frame(unsigned address, bool group, uint8_t control, const std::string& info);
// A frame of one SNMP message to a station (or group).
std::string SnmpFrame(unsigned address, bool group, const std::string& message);
// A poll of a station, with nothing else.
std::string PollFrame(unsigned address);

struct frame {
  bool fcs_ok = false;
  unsigned address = 0;
  bool group = false;
  uint8_t control = 0;
  std::string info;  // after the control byte, FCS excluded
  std::string raw;   // as on the line, flags excluded
};

// Frames out of a byte stream, across calls; bytes outside frames are
// skipped.
class decoder {
 public:
  std::vector<frame> feed(const std::string& bytes);

 private:
  bool m_open = false;
  std::string m_raw;
};

}  // namespace pmpp

}  // namespace sim
