// Factory defaults of the MIB groups. The groups fill these in as they are
// built; until then every object starts at zero.
#include "database/defaults.h"

#include "database/database.h"

void defaults_sign_nv(CDataBase&, int) {}
void defaults_private_nv(CDataBase&, int) {}
void defaults_fdot_nv(CDataBase&, int) {}
void defaults_traps_nv(CDataBase&, int) {}
void defaults_sign_v(CDataBase&) {}
void defaults_private_v(CDataBase&) {}
void defaults_global_v(CDataBase&) {}
void defaults_fdot_v(CDataBase&) {}
void defaults_traps_v(CDataBase&) {}
void defaults_beacon_v(CDataBase&) {}
void defaults_vestrel_v(CDataBase&) {}
void defaults_network_v(CDataBase&) {}
