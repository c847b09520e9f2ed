#include "ntcip/snmp/db/snmp_chap.h"

#include <cstdlib>
#include <cstring>

#include "database/database.h"
#include "database/objects.h"

namespace {

uint8_t g_identifier = 10;
int (*g_draw)() = std::rand;

const uint8_t kEmpty[1] = {0};

const uint8_t* nv_string(const db_object& o, uint32_t* length)
{
    *length = 0;
    CDataBase* db = g_pDataBase;
    return db ? db->GetString(o.offset, o.width, db->mib_nv, length) : kEmpty;
}

// The stored bytes as text in an area of `size` bytes.
void copy_text(char* out, uint32_t size, const db_object& o)
{
    uint32_t length = 0;
    const uint8_t* bytes = nv_string(o, &length);
    if (length > size - 1)
        length = size - 1;
    std::memcpy(out, bytes, length);
    out[length] = 0;
}

}  // namespace

const uint8_t* snmp_get_chap_name(uint32_t* length) { return nv_string(nv::chapName, length); }

const uint8_t* snmp_get_chap_secret(uint32_t* length) { return nv_string(nv::chapSecret, length); }

int chap_get_challenge_values(uint8_t* challenge, uint8_t* identifier, char* name)
{
    ++g_identifier;
    copy_text(name, CHAP_NAME_SIZE, nv::chapName);
    uint32_t length = 0;
    while ((length = static_cast<uint32_t>(g_draw()) & 63) == 0) {
    }
    while (length < 32)
        length *= 2;
    for (uint32_t i = 0; i < length; ++i)
        challenge[i] = static_cast<uint8_t>(g_draw());
    // The links take the value up to its first zero byte: one always follows
    // it, so no earlier, longer challenge shows through.
    challenge[length] = 0;
    *identifier = g_identifier;
    return 0;
}

int chap_get_responder_values(ppp_link*, char* name, char* secret)
{
    copy_text(name, CHAP_SECRET_SIZE, nv::chapName);
    copy_text(secret, CHAP_SECRET_SIZE, nv::chapSecret);
    return 0;
}

int chap_get_verification_values(ppp_link* link, char* name, char* secret)
{
    return chap_get_responder_values(link, name, secret);
}

uint32_t pmpp_address_listed(uint32_t address)
{
    CDataBase* db = g_pDataBase;
    if (!db)
        return 0;
    for (uint32_t g = 0; g < PMPP_GROUP_ADDRESSES; ++g) {
        db_object o = nv::pmppGroupAddress(g);
        if (db->GetValue(o.offset, o.width, db->mib_nv, 0) == address)
            return 255;
    }
    return 0;
}

void chap_reset_identifier() { g_identifier = 10; }

void chap_set_random(int (*draw)()) { g_draw = draw ? draw : std::rand; }
