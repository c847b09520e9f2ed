// The PPP links' CHAP callbacks and the PMPP group-address filter, served
// from the parameter database.
#pragma once

#include <cstdint>

struct ppp_link;

// The areas the links hand in, each with room for the NUL: the local name
// of a challenge (CHAP_NAME_SIZE), and the name and the secret of a response
// or verification (CHAP_SECRET_SIZE each). Longer stored values are cut.
constexpr uint32_t CHAP_NAME_SIZE = 32;
constexpr uint32_t CHAP_SECRET_SIZE = 48;
// The challenge value area: room for 32 to 63 random bytes.
constexpr uint32_t CHAP_CHALLENGE_SIZE = 66;
constexpr uint32_t PMPP_GROUP_ADDRESSES = 10;

// The bytes of mib_nv.chapName / mib_nv.chapSecret.
const uint8_t* snmp_get_chap_name(uint32_t* length);
const uint8_t* snmp_get_chap_secret(uint32_t* length);

// A fresh challenge: its value (32 to 63 bytes from the random source, any
// of them may be zero), the next identifier (one counter for all links, from
// 11) and the controller's CHAP name. Returns the value's length; 0 when the
// random source failed (the link then sends an empty value).
int chap_get_challenge_values(uint8_t* challenge, uint8_t* identifier, char* name);
// The CHAP name and secret, NUL-terminated. Return 0.
int chap_get_responder_values(ppp_link* link, char* name, char* secret);
int chap_get_verification_values(ppp_link* link, char* name, char* secret);

// 255 when the address is one of the ten PMPP group addresses, else 0.
uint32_t pmpp_address_listed(uint32_t address);

// The identifier counter back to its start value (engine start).
void chap_reset_identifier();
// The random source of the challenges (the operating system's by default):
// fills `count` bytes, false when it cannot.
void chap_set_random(bool (*fill)(uint8_t* bytes, uint32_t count));
