// Factory defaults of the MIB-II objects: the system texts, the interface,
// IP and SNMP groups and the transmission tables.
#include <cstring>
#include <initializer_list>

#include "database/database.h"
#include "database/defaults.h"
#include "database/objects.h"

namespace {

constexpr const char* kDescription = "Quorvantis, Inc. KSR-7100 Palisade(tm) VMS Field Controller";
constexpr const char* kContact = "Quorvantis, Inc. Sales Dept.  Tel 800-555-0142";

void value(CDataBase& db, uint8_t* area, uint32_t offset, uint32_t width, uint32_t v)
{
  db.SetValue(offset, width, v, area, DB_NOTIFY);
}

void text(CDataBase& db, uint8_t* area, uint32_t offset, const char* s)
{
  db.SetString(offset, 4, s, static_cast<uint32_t>(std::strlen(s)), area, DB_NOTIFY);
}

// An OID as its 4-byte sub-identifiers, most significant byte first.
template <size_t N>
void oid(CDataBase& db, uint8_t* area, uint32_t offset, const uint32_t (&subids)[N])
{
  uint8_t bytes[4 * N];
  for (size_t i = 0; i < N; ++i) {
    bytes[4 * i] = static_cast<uint8_t>(subids[i] >> 24);
    bytes[4 * i + 1] = static_cast<uint8_t>(subids[i] >> 16);
    bytes[4 * i + 2] = static_cast<uint8_t>(subids[i] >> 8);
    bytes[4 * i + 3] = static_cast<uint8_t>(subids[i]);
  }
  db.SetString(offset, 4, bytes, sizeof bytes, area, DB_NOTIFY);
}

constexpr uint32_t kNullOid[] = {0, 0};
constexpr uint32_t kSignObjectID[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3};
constexpr uint32_t kEtherChipSet[] = {1, 3, 6, 1, 2, 1, 10, 7, 8, 2, 1};

}  // namespace

void defaults_mib2_nv(CDataBase& db, int keep) {
  uint8_t* nv = db.mib_nv;
  text(db, nv, nv::sysContact.offset, kContact);
  text(db, nv, nv::sysName.offset, kDescription);
  text(db, nv, nv::sysLocation.offset, "Unknown");
  if (!keep) value(db, nv, nv::ifSpeed.offset, 4, 83886080);
  text(db, nv, 98028, "0.0.0.0");  // reserved
  value(db, nv, 98032, 4, 0);      // reserved
  value(db, nv, nv::ipForwarding.offset, 1, 2);
  value(db, nv, nv::ipDefaultTTL.offset, 4, 100);
  value(db, nv, nv::ipRouteMask.offset, 4, 0);
  if (!keep) {
    for (uint32_t p = 0; p < 4; ++p) value(db, nv, nv::rs232PortInSpeed(p).offset, 4, 9600);
    value(db, nv, nv::rs232PortInSpeed(4).offset, 4, 10);
  }
}

void defaults_mib2_v(CDataBase& db) {
  uint8_t* v = db.mib_v;
  text(db, v, vol::sysDescr.offset, kDescription);
  oid(db, v, vol::sysObjectID.offset, kSignObjectID);
  value(db, v, 24572, 4, 0);  // the uptime base
  value(db, v, vol::sysServices.offset, 1, 67);
  // The interface table: one Ethernet interface.
  value(db, v, 24580, 4, 1);  // ifNumber
  value(db, v, 24584, 4, 1);  // ifIndex
  text(db, v, 24588, "Ethernet Port");
  value(db, v, 24592, 1, 6);     // ifType
  value(db, v, 24596, 4, 1518);  // ifMtu
  db.SetString(vol::ifPhysAddress.offset, 4, "", 0, v, DB_NOTIFY);
  value(db, v, 24604, 1, 1);  // ifAdminStatus
  value(db, v, 24605, 1, 1);  // ifOperStatus
  for (uint32_t o = 24608; o <= 24656; o += 4) value(db, v, o, 4, 0);
  oid(db, v, 24660, kNullOid);  // ifSpecific
  value(db, v, 24664, 4, 1);    // atIfIndex
  // IP group: counters, the address, route and net-to-media rows.
  for (uint32_t o = 24668; o <= 24736; o += 4) value(db, v, o, 4, 0);
  for (uint32_t o = 24740; o <= 24752; o += 4) value(db, v, o, 4, 0);
  value(db, v, 24756, 2, 0);
  for (uint32_t o = 24760; o <= 24784; o += 4) value(db, v, o, 4, 0);
  value(db, v, 24788, 1, 1);  // ipRouteType
  value(db, v, 24789, 1, 0);  // ipRouteProto
  value(db, v, 24792, 4, 0);
  value(db, v, 24796, 4, 0);
  oid(db, v, 24800, kNullOid);  // ipRouteInfo
  value(db, v, 24804, 4, 0);
  db.SetString(24808, 4, "", 0, v, DB_NOTIFY);
  value(db, v, 24812, 4, 0);
  value(db, v, 24816, 1, 0);
  // Ethernet statistics.
  value(db, v, 24820, 4, 1);
  for (uint32_t o = 24824; o <= 24868; o += 4) value(db, v, o, 4, 0);
  oid(db, v, 24872, kEtherChipSet);
  value(db, v, 24876, 1, 0);
  value(db, v, 24880, 4, 0);
  // LAPB and RS-232 tables, five ports.
  for (uint32_t p = 0; p < 5; ++p) {
    value(db, v, 24884 + 4 * p, 4, p + 1);
    for (uint32_t o : {24904u, 24924u, 24944u, 24964u}) value(db, v, o + 4 * p, 4, 0);
    value(db, v, 24984 + 4 * p, 4, p + 1);
    value(db, v, 25004 + 4 * p, 4, 0);
    value(db, v, 25024 + 4 * p, 4, 0);
    oid(db, v, 25044 + 4 * p, kNullOid);
  }
  value(db, v, 25064, 4, 0);
  static const uint8_t kPortTypes[5] = {2, 2, 1, 2, 1};
  for (uint32_t p = 0; p < 5; ++p) {
    value(db, v, 25068 + 4 * p, 4, p + 1);
    value(db, v, 25088 + p, 1, kPortTypes[p]);
    value(db, v, 25096 + 4 * p, 4, p + 1);
    value(db, v, 25116 + 4 * p, 4, 0);
    value(db, v, 25136 + 4 * p, 4, 0);
  }
  for (uint32_t o = 25156; o <= 25252; o += 4) value(db, v, o, 4, 0);
  value(db, v, vol::snmpEnableAuthenTraps.offset, 4, 2);
}
