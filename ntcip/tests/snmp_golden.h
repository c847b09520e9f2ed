// Golden SNMP messages in hex, shared by the message tests and as seeds of
// the decoder's fuzzing (tools/fuzz_snmp.sh reads them from here too).
#pragma once

// Golden messages. The request-ids of the captured ones are those net-snmp
// drew; the bytes were derived from the BER rules and match its tools'.
inline constexpr const char* kV1Get =  // GET sysDescr.0, "public", request-id 1
    "30 26 02 01 00 04 06 70 75 62 6C 69 63 A0 19 02 01 01 02 01 00 02 01 00"
    " 30 0E 30 0C 06 08 2B 06 01 02 01 01 01 00 05 00";
inline constexpr const char* kV1GetResponse =  // sysDescr.0 = "sign"
    "30 2A 02 01 00 04 06 70 75 62 6C 69 63 A2 1D 02 01 01 02 01 00 02 01 00"
    " 30 12 30 10 06 08 2B 06 01 02 01 01 01 00 04 04 73 69 67 6E";
inline constexpr const char* kV1GetNoSuchName =  // error-status 2, error-index 1
    "30 26 02 01 00 04 06 70 75 62 6C 69 63 A2 19 02 01 01 02 01 02 02 01 01"
    " 30 0E 30 0C 06 08 2B 06 01 02 01 01 01 00 05 00";
inline constexpr const char* kV1GetNext =  // snmpgetnext -v1 -c public 1.3.6.1.2.1.1
    "30 26 02 01 00 04 06 70 75 62 6C 69 63 A1 19 02 03 5A E8 F6 02 01 00 02 01 00"
    " 30 0C 30 0A 06 06 2B 06 01 02 01 01 05 00";
inline constexpr const char* kV1GetNextResponse =  // sysObjectID.0 = 1.3.6.1.4.1.1206
    "30 2F 02 01 00 04 06 70 75 62 6C 69 63 A2 22 02 03 5A E8 F6 02 01 00 02 01 00"
    " 30 15 30 13 06 08 2B 06 01 02 01 01 02 00 06 07 2B 06 01 04 01 89 36";
inline constexpr const char* kV1Set =  // snmpset -v1 -c private 1.3.6.1.4.1.1206.4.2.3.6.3.0 i 128
    "30 31 02 01 00 04 07 70 72 69 76 61 74 65 A3 23 02 04 57 B8 71 32 02 01 00 02 01 00"
    " 30 15 30 13 06 0D 2B 06 01 04 01 89 36 04 02 03 06 03 00 02 02 00 80";
inline constexpr const char* kV1SetResponse =
    "30 31 02 01 00 04 07 70 72 69 76 61 74 65 A2 23 02 04 57 B8 71 32 02 01 00 02 01 00"
    " 30 15 30 13 06 0D 2B 06 01 04 01 89 36 04 02 03 06 03 00 02 02 00 80";
inline constexpr const char* kV2Set =  // snmpset -v2c -c private ... s hello
    "30 34 02 01 01 04 07 70 72 69 76 61 74 65 A3 26 02 04 37 14 24 57 02 01 00 02 01 00"
    " 30 18 30 16 06 0D 2B 06 01 04 01 89 36 04 02 03 06 03 00 04 05 68 65 6C 6C 6F";
inline constexpr const char* kV2SetResponse =
    "30 34 02 01 01 04 07 70 72 69 76 61 74 65 A2 26 02 04 37 14 24 57 02 01 00 02 01 00"
    " 30 18 30 16 06 0D 2B 06 01 04 01 89 36 04 02 03 06 03 00 04 05 68 65 6C 6C 6F";
inline constexpr const char* kV2Get =  // GET sysUpTime.0 and snmpInPkts.0, request-id -1 in one octet
    "30 34 02 01 01 04 06 70 75 62 6C 69 63 A0 27 02 01 FF 02 01 00 02 01 00"
    " 30 1C 30 0C 06 08 2B 06 01 02 01 01 03 00 05 00 30 0C 06 08 2B 06 01 02 01 0B 01 00 05 00";
inline constexpr const char* kV2GetResponse =  // TimeTicks 200, Counter 2^32-1
    "30 3B 02 01 01 04 06 70 75 62 6C 69 63 A2 2E 02 01 FF 02 01 00 02 01 00"
    " 30 23 30 0E 06 08 2B 06 01 02 01 01 03 00 43 02 00 C8"
    " 30 11 06 08 2B 06 01 02 01 0B 01 00 41 05 00 FF FF FF FF";
// snmpget -v3 -l noAuthNoPriv -u ntcip -e 0x80001F8804 -E 0x80001F8804 -n ctx ... sysDescr.0
inline constexpr const char* kV3Get =
    "30 5E 02 01 03 30 11 02 04 68 EA 9E 25 02 03 00 FF E3 04 01 04 02 01 03"
    " 04 1A 30 18 04 05 80 00 1F 88 04 02 01 00 02 01 00 04 05 6E 74 63 69 70 04 00 04 00"
    " 30 2A 04 05 80 00 1F 88 04 04 03 63 74 78"
    " A0 1C 02 04 70 C9 4F 45 02 01 00 02 01 00 30 0E 30 0C 06 08 2B 06 01 02 01 01 01 00 05 00";
inline constexpr const char* kV3GetResponse =
    "30 5D 02 01 03 30 10 02 04 68 EA 9E 25 02 02 0B B8 04 01 00 02 01 03"
    " 04 1A 30 18 04 05 80 00 1F 88 04 02 01 00 02 01 00 04 05 6E 74 63 69 70 04 00 04 00"
    " 30 2A 04 05 80 00 1F 88 04 04 03 63 74 78"
    " A2 1C 02 04 70 C9 4F 45 02 01 00 02 01 00 30 0E 30 0C 06 08 2B 06 01 02 01 01 01 00 05 00";
// snmptrap -v1 -c public ... 1.3.6.1.4.1.1206 10.1.2.3 6 17 1234 sysName.0 s sign
inline constexpr const char* kV1Trap =
    "30 3A 02 01 00 04 06 70 75 62 6C 69 63 A4 2D 06 07 2B 06 01 04 01 89 36 40 04 0A 01 02 03"
    " 02 01 06 02 01 11 43 02 04 D2 30 12 30 10 06 08 2B 06 01 02 01 01 05 00 04 04 73 69 67 6E";

inline constexpr const char* kGoldenMessages[] = {
    kV1Get, kV1GetResponse, kV1GetNoSuchName, kV1GetNext, kV1GetNextResponse, kV1Set, kV1SetResponse,
    kV2Set, kV2SetResponse, kV2Get, kV2GetResponse, kV3Get, kV3GetResponse, kV1Trap,
};
