// The option parsers of the peer's LCP and IPCP Configure-Requests. They
// only read: each option is checked against what is left of its packet
// before it is looked at.
#include <cstring>

#include "comm/ppp/ppp_negotiation.h"
#include "frame/trace/trace.h"

namespace {

constexpr uint16_t kMaximumMru = 1500;
constexpr uint16_t kMinimumMru = 200;

}  // namespace

bool ppp_list_append(uint8_t* list, const uint8_t* bytes, uint32_t length) {
  const uint32_t count = list[0];
  if (count + length > PPP_LIST_SIZE - 1) return false;
  std::memcpy(list + 1 + count, bytes, length);
  list[0] = static_cast<uint8_t>(count + length);
  return true;
}

bool lcp_parse_configure_request(ppp_link* link, bool* malformed) {
  link->tx_accm = 0xFFFFFFFFu;
  link->negotiated_accm = 0xFFFFFFFFu;
  link->accm_seen = 0;
  link->nak_list[0] = 0;
  link->reject_list[0] = 0;
  *malformed = false;
  bool lost = false;  // an entry did not fit its list

  const uint8_t* p = link->lcp_packet;
  const uint32_t length = p ? link->lcp_length : 0;
  uint32_t i = 4;
  while (i < length) {
    if (length - i < 2 || p[i + 1] < 2 || p[i + 1] > length - i) {
      *malformed = true;
      break;
    }
    const uint8_t type = p[i];
    const uint8_t option_length = p[i + 1];
    const uint8_t* value = p + i + 2;
    const uint32_t value_length = option_length - 2u;
    bool reject = false;
    switch (type) {
      case 1: {  // MRU
        if (value_length != 2) {
          reject = true;
          break;
        }
        uint16_t mru = static_cast<uint16_t>((value[0] << 8) | value[1]);
        if (mru > kMaximumMru) mru = kMaximumMru;
        if (mru < kMinimumMru) {
          if (!ppp_list_append(link->nak_list, p + i, 4)) lost = true;
          ppp_set_peer_mru(link, PPP_DEFAULT_MRU);
        } else {
          ppp_set_peer_mru(link, mru);
        }
        break;
      }
      case 2:  // ACCM
        if (value_length != 4) {
          reject = true;
          break;
        }
        link->negotiated_accm =
            (uint32_t(value[0]) << 24) | (uint32_t(value[1]) << 16) | (uint32_t(value[2]) << 8) | value[3];
        link->accm_seen = 1;
        break;
      case 3: {  // authentication protocol
        if (value_length < 2) {
          reject = true;
          break;
        }
        const uint16_t protocol = static_cast<uint16_t>((value[0] << 8) | value[1]);
        if (protocol == PPP_PROTOCOL_CHAP && link->chap_enabled) {
          link->peer_auth_protocol = PPP_PROTOCOL_CHAP;
        } else if (protocol == PPP_PROTOCOL_CHAP || protocol == PPP_PROTOCOL_PAP) {
          // Nak'd with the peer's own option, whole, so that the Nak stays
          // well formed.
          if (!ppp_list_append(link->nak_list, p + i, option_length)) lost = true;
          link->peer_auth_protocol = 0;
        } else {
          link->peer_auth_protocol = protocol;
        }
        break;
      }
      case 0:
      case 5:
      case 7:
      case 8:
        break;
      default:
        reject = true;
        for (uint32_t k = 0; k < value_length; ++k) monitor_printf_debug("%02X ", value[k]);
        break;
    }
    if (reject && !ppp_list_append(link->reject_list, p + i, option_length)) lost = true;
    i += option_length;
  }
  if (!link->accm_seen) link->negotiated_accm = 0;
  return !*malformed && !lost && link->nak_list[0] == 0 && link->reject_list[0] == 0;
}

bool ipcp_parse_configure_request(ppp_link* link, const uint8_t* options, uint32_t length, bool* malformed) {
  link->nak_list[0] = 0;
  link->reject_list[0] = 0;
  *malformed = false;
  bool good = true;
  uint32_t i = 0;
  while (i < length) {
    if (length - i < 2 || options[i + 1] < 2 || options[i + 1] > length - i) {
      *malformed = true;
      return false;
    }
    const uint8_t type = options[i];
    const uint8_t option_length = options[i + 1];
    const uint8_t* value = options + i + 2;
    bool reject = false;
    switch (type) {
      case 3:  // IP-Address
        if (option_length != 6) {
          reject = true;
        } else if (value[0] | value[1] | value[2] | value[3]) {
          std::memcpy(link->peer_address, value, 4);
        } else {
          const uint8_t nak[6] = {
              3, 6, link->peer_address[0], link->peer_address[1], link->peer_address[2], link->peer_address[3]};
          if (!ppp_list_append(link->nak_list, nak, 6)) good = false;
        }
        break;
      case 1:  // IP-Addresses: not acceptable, and neither Nak'd nor rejected
        good = false;
        break;
      case 4:
        break;
      default:
        reject = true;
        break;
    }
    if (reject && !ppp_list_append(link->reject_list, options + i, option_length)) good = false;
    i += option_length;
  }
  return good && link->nak_list[0] == 0 && link->reject_list[0] == 0;
}
