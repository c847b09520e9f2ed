// Fuzz target: arbitrary bytes as an SNMP message to an agent over the whole
// MIB, processed as the controller processes requests: decode, community,
// every MIB handler's get, get-next and set, and the response. The database
// has factory defaults; the communities are "private" (administrator) and
// "public" (every object). Sets change the database as they would on a sign,
// so a run explores what a sequence of requests reaches.
#include <cstdint>
#include <cstring>
#include <memory>

#include "database/objects.h"
#include "ntcip/fuzz/fuzz_snmp_engine.h"
#include "ntcip/snmp/agent/memory_transport.h"
#include "ntcip/snmp/agent/request.h"
#include "ntcip/snmp/agent/snmp_agent.h"

namespace {

snmp_agent g_agent{};

void set_text(CDataBase* db, db_object o, const char* text) {
  db->SetString(o.offset, 4, text, static_cast<uint32_t>(std::strlen(text)), db->mib_nv, 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  CDataBase* db = fuzz_snmp_engine_start();
  set_text(db, nv::communityNameAdmin, "private");
  set_text(db, nv::communityNameUser(0), "public");
  db->SetValue(nv::communityNameAccessMask(0).offset, 4, 0xFFFFFFFFu, db->mib_nv, 0);
  static constexpr uint32_t kMemory = 64 * 1024;
  static uint8_t* memory = new uint8_t[kMemory];
  const uint8_t own[4] = {10, 0, 0, 9};
  uint32_t used = 0;
  snmp_agent_create(&g_agent, "ethernet_udp", 161, 162, own, memory, kMemory, &used, 2048, processPppPdu,
                    snmp_v3_hook, snmp_memory_net_drv, nullptr, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  snmp_agent_process(&g_agent, data, static_cast<uint32_t>(size));
  snmp_memory_transport_of(&g_agent)->Take();
  return 0;
}
