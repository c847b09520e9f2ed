// Factory defaults of the NTCIP global objects. Only the security
// communities are written so far; the group's other objects join as their
// Parts are built.
#include <cstring>

#include "database/database.h"
#include "database/defaults.h"
#include "database/objects.h"

namespace {

constexpr const char* kAdministrator = "quillfeathers";
constexpr const char* kUser = "fernly";
constexpr const char* kFullUser = "Fernly";

void text(CDataBase& db, const db_object& o, const char* s) {
  db.SetString(o.offset, o.width, s, static_cast<uint32_t>(std::strlen(s)), db.mib_nv, DB_NOTIFY);
}

}  // namespace

void defaults_global_nv(CDataBase& db, int) {
  text(db, nv::communityNameAdmin, kAdministrator);
  for (uint32_t k = 0; k < 100; ++k) {
    text(db, nv::communityNameUser(k), kUser);
    db.SetValue(nv::communityNameAccessMask(k).offset, 4, 0, db.mib_nv, DB_NOTIFY);
  }
  // The third user row grants every object.
  text(db, nv::communityNameUser(2), kFullUser);
  db.SetValue(nv::communityNameAccessMask(2).offset, 4, 0xFFFFFFFF, db.mib_nv, DB_NOTIFY);
}
