// Factory defaults of the objects that other parts of the controller keep
// in the database: the fdot and trap subtrees, the beacon's blanking
// objects, the vestrel subtree and the NTCIP 1204 location.
#include <initializer_list>

#include "database/defaults.h"
#include "database/defaults_util.h"

using dflt::empty;
using dflt::fill;
using dflt::fill_empty;
using dflt::value;

void defaults_fdot_nv(CDataBase& db, int keep) {
  uint8_t* nv = db.mib_nv;
  value(db, nv, 98084, 2, 0);  // fdotDmsMaxPollTime
  value(db, nv, 98086, 1, 0);  // fdotDmsMaxPollTimeEnable
  if (!keep) value(db, nv, 98088, 4, 0xFFFFFFFF);  // fdotMaxNumPixelFailure
  value(db, nv, 98092, 2, 3600);                   // fdotDmsPanelLogoutTime
}

void defaults_fdot_v(CDataBase& db) { value(db, db.mib_v, 25260, 1, 0); }

void defaults_traps_nv(CDataBase& db, int) {
  value(db, db.mib_nv, 98104, 1, 2);
  value(db, db.mib_nv, 98105, 1, 2);
}

void defaults_traps_v(CDataBase& db) {
  uint8_t* v = db.mib_v;
  static const uint8_t kZero[2] = {0, 0};
  value(db, v, 25264, 1, 2);
  value(db, v, 25265, 1, 2);
  dflt::bytes(db, v, 25268, kZero, 1);
  dflt::bytes(db, v, 25272, kZero, 2);
}

void defaults_beacon_v(CDataBase& db) {
  uint8_t* v = db.mib_v;
  static const uint8_t kZero = 0;
  empty(db, v, 25276);        // the copy of the blanked message
  value(db, v, 25280, 4, 0);  // bad community count
  dflt::bytes(db, v, 25284, &kZero, 1);  // the failed-module map
}

void defaults_vestrel_v(CDataBase& db) {
  uint8_t* v = db.mib_v;
  // Configuration bytes and text.
  fill(db, v, 25288, 4, 1, 1, 0);
  empty(db, v, 25292);
  fill(db, v, 25296, 11, 1, 1, 0);
  // Table 5.
  fill(db, v, 25308, 5, 1, 1, 1);
  fill(db, v, 25313, 5, 1, 1, 1);
  // Group 20 (its second word holds the status bits, set again after this).
  value(db, v, 25320, 1, 0);
  value(db, v, 25324, 4, 0);
  fill_empty(db, v, 25328, 3);
  fill(db, v, 25340, 4, 4, 4, 0);
  // Status bytes and texts.
  fill(db, v, 25356, 7, 1, 1, 0);
  empty(db, v, 25364);
  empty(db, v, 25372);
  fill(db, v, 25368, 3, 1, 1, 0);
  fill(db, v, 25376, 3, 1, 1, 0);
  value(db, v, 25384, 1, 0);
  empty(db, v, 25380);
  // Table 8.
  fill(db, v, 25388, 150, 1, 1, 0);
  fill(db, v, 25538, 150, 1, 1, 0);
  fill_empty(db, v, 25688, 150);
  // Table 9.
  for (uint32_t first : {26288u, 26293u, 26298u, 26308u}) fill(db, v, first, 5, 1, 1, 0);
  // Tables 11 and 16.
  fill_empty(db, v, 26316, 25);
  fill_empty(db, v, 26416, 5);
}

void defaults_network_v(CDataBase& db) {
  uint8_t* v = db.mib_v;
  // The NTCIP 1204 location starts at the site's configured position.
  value(db, v, 26436, 4, db.GetValue(95100, 4, db.mib_nv, 0));
  value(db, v, 26440, 4, db.GetValue(95104, 4, db.mib_nv, 0));
  value(db, v, 26444, 2, 0);  // vehicle bearing
}
