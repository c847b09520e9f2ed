#include "ntcip/snmp/db/snmp_chap.h"

#include <sys/random.h>

#include <cstring>

#include "database/database.h"
#include "database/objects.h"

namespace {

uint8_t g_identifier = 10;

// The operating system's random source: a challenge that a peer could guess
// proves nothing.
bool os_random(uint8_t* bytes, uint32_t count)
{
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = getrandom(bytes + done, count - done, 0);
        if (n <= 0)
            return false;
        done += static_cast<uint32_t>(n);
    }
    return true;
}
bool (*g_fill)(uint8_t*, uint32_t) = os_random;

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
    *identifier = g_identifier;
    // One byte for the length (32 to 63), then the value; zero bytes are
    // part of it.
    uint8_t size = 0;
    if (!g_fill(&size, 1))
        return 0;
    const uint32_t length = 32u + (size & 31u);
    if (!g_fill(challenge, length))
        return 0;
    return static_cast<int>(length);
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

void chap_set_random(bool (*fill)(uint8_t* bytes, uint32_t count)) { g_fill = fill ? fill : os_random; }
