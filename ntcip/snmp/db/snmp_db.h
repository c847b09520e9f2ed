// The agent's database services: what the SNMP engine reads and writes in
// the parameter database for its own purposes (communities and their access
// masks, the control mode, the statistics counters, the record of a refused
// activation, the tolerant decoding option, the journal's fill level). The
// objects themselves are served over SNMP by their groups' handlers.
#pragma once

#include <cstdint>

class CDataBase;

constexpr uint32_t SNMP_COMMUNITY_USERS = 100;

// Community classes.
enum : int { SNMP_COMMUNITY_UNKNOWN = 0, SNMP_COMMUNITY_USER = 1, SNMP_COMMUNITY_ADMIN = 2 };

// Bit 5 of quorSpecialFeatureSet: the tolerant decoding of some managers' messages.
constexpr uint32_t SNMP_FEATURE_TOLERANT = 0x20;

// Installs what the engine takes from the database: the store of the SNMP
// counters, the tolerant-decoding query of the BER codec; and restarts the
// CHAP identifier. snmp_entry runs it once.
void snmp_db_services_init();
// Takes both back (tests that end their database).
void snmp_db_services_shutdown();

// The class of a NUL-terminated community, searched as stored: the
// administrator first, then user communities 0..99; exact and
// case-sensitive, an empty stored name never matching. The mask is all ones
// for the administrator and the entry's access mask for a user.
int snmp_community_access_mask(const char* community, uint32_t* mask);
// The same search; the administrator's mask is 0.
int snmp_community_lookup(const char* community, uint32_t* mask);

uint8_t snmp_get_control_mode();

// The SNMP counters are counted with snmp_counter_add (ntcip/snmp/snmp_counters.h),
// which reaches their database objects once the services are installed.
// The requests with an unknown community since the last known one:
void snmp_inc_counter_25280();
void snmp_clear_counter_25280();

// The display's verdict on an activation code, for the record of a refused
// activation: 2 when it would activate, else the NTCIP activation error of
// its preparation or validation (1 other, 3 priority, 4 messageStatus,
// 5 messageMemoryType, 6 messageNumber, 7 messageCRC, 8 syntaxMULTI).
typedef uint32_t (*snmp_activation_check)(const uint8_t* code, uint32_t length);
void snmp_set_activation_check(snmp_activation_check check);

// Records an activation that the control-mode gate refused: the reason in
// dmsActivateMsgError (the table's own error, or the control mode's),
// bit 0x80 of shortErrorStatus, and the code (at most 12 bytes) in
// dmsMessageCodeOfActivationError; all notified.
void snmp_activation_refused(const uint8_t* code, uint32_t length);

bool special_feature_bit5_enabled();
// Non-zero: when the tolerant mode is off, switches it on, takes the local
// time as the global time and sets the time zone to 0. Zero: switches it off
// and nothing else.
void special_feature_bit5_set(uint32_t on);

// The flash journal's fill level in percent.
uint32_t snmp_db_fill_percent(CDataBase* db);
