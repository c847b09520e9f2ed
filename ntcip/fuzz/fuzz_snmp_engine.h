// The start of a fuzz target that needs the SNMP engine: a database with
// factory defaults and change notices, then the engine with the whole MIB.
#pragma once

#include "database/fuzz/fuzz_database.h"
#include "ntcip/snmp/agent/snmp_agent.h"

inline CDataBase* fuzz_snmp_engine_start() {
  CDataBase* db = fuzz_database_start(2u << 20);
  db->LoadDefaults(0);
  db->SetNotifyEnabled(true);
  snmp_entry();
  return db;
}
