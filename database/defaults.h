// The factory defaults of each MIB group, written by the database at start.
#pragma once

class CDataBase;

// Non-volatile defaults; keep = 1 leaves the objects that only a full
// factory reset sets.
void defaults_sign_nv(CDataBase& db, int keep);
void defaults_mib2_nv(CDataBase& db, int keep);
void defaults_private_nv(CDataBase& db, int keep);
void defaults_global_nv(CDataBase& db, int keep);
void defaults_fdot_nv(CDataBase& db, int keep);
void defaults_traps_nv(CDataBase& db, int keep);

// Volatile defaults.
void defaults_sign_v(CDataBase& db);
void defaults_mib2_v(CDataBase& db);
void defaults_private_v(CDataBase& db);
void defaults_global_v(CDataBase& db);
void defaults_fdot_v(CDataBase& db);
void defaults_traps_v(CDataBase& db);
void defaults_beacon_v(CDataBase& db);
void defaults_vestrel_v(CDataBase& db);
void defaults_network_v(CDataBase& db);
