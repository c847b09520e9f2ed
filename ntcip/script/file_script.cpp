#include "ntcip/script/file_script.h"

#include <zlib.h>

#include <cstring>
#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "frame/trace/trace.h"
#include "frame/util/strings.h"
#include "ntcip/snmp/local/snmp_local.h"

namespace {

const char kName[] = "SCRIPT FILE";
constexpr uint32_t kRunScript = 0x01;  // bit of mib_nv.quorRunScriptFlags
constexpr uint32_t kFullMask = 0xFFFFFFFF;
constexpr uint8_t kNoSwitches = 0;  // no validation hooks, no change notices

// The default script, deflated (305 bytes when inflated):
//   <?xml version="1.0" encoding="ISO-8859-1"?>
//   <SCRIPT product="Palisade" version="1.0">
//   \t<OBJ oid="1.3.6.1.4.1.1206.3.11.2.8.0" int="2"/>     configuration unlocked
//   \t<OBJ oid="1.3.6.1.4.1.1206.4.2.3.6.1.0" int="5"/>    central override
//   \t<OBJ oid="1.3.6.1.4.1.1206.4.2.3.6.1.0" int="4"/>    central
//   \t<OBJ oid="1.3.6.1.4.1.1206.3.11.2.8.0" int="1"/>     locked again
//   </SCRIPT>
const uint8_t kDefaultScript[] = {
    0x78, 0xDA, 0xB3, 0xB1, 0xAF, 0xC8, 0xCD, 0x51, 0x28, 0x4B, 0x2D, 0x2A, 0xCE, 0xCC, 0xCF, 0xB3, 0x55, 0x32, 0xD4,
    0x33, 0x50, 0x52, 0x48, 0xCD, 0x4B, 0xCE, 0x4F, 0xC9, 0xCC, 0x4B, 0xB7, 0x55, 0xF2, 0x0C, 0xF6, 0xD7, 0xB5, 0xB0,
    0x30, 0xB5, 0xD4, 0x35, 0x54, 0xB2, 0xB7, 0xE3, 0xE5, 0xB2, 0x09, 0x76, 0x0E, 0xF2, 0x0C, 0x08, 0x51, 0x28, 0x28,
    0xCA, 0x4F, 0x29, 0x4D, 0x2E, 0xB1, 0x55, 0x0A, 0x48, 0xCC, 0xC9, 0x2C, 0x4E, 0x4C, 0x49, 0x55, 0x42, 0x35, 0x01,
    0xA8, 0x94, 0xD3, 0xC6, 0xDF, 0xC9, 0x4B, 0x21, 0x3F, 0x33, 0x05, 0x24, 0x62, 0xAC, 0x67, 0xA6, 0x67, 0xA8, 0x67,
    0x02, 0xC4, 0x86, 0x46, 0x06, 0x66, 0x40, 0xAE, 0xA1, 0xA1, 0x9E, 0x91, 0x9E, 0x05, 0xC8, 0xAE, 0xCC, 0x3C, 0xA0,
    0x31, 0x46, 0x4A, 0xFA, 0x04, 0xB4, 0x98, 0x00, 0xD5, 0x43, 0x84, 0x60, 0x7A, 0x4C, 0xC9, 0xD0, 0x63, 0x42, 0x50,
    0x0F, 0x86, 0xD3, 0x0C, 0xC1, 0x5A, 0x6C, 0xF4, 0x21, 0x3E, 0x07, 0x32, 0x01, 0x8E, 0xBA, 0x48, 0x2F,
};

// The scanner of one parse. Every step reads only below the text's length.
class script_scanner {
public:
    script_scanner(const char* text, uint32_t length) : m_pText(text), m_uLength(text ? length : 0) {}

    uint32_t Run()
    {
        state s = START;
        while (s != DONE) {
            switch (s) {
            case START:
                s = Start();
                break;
            case DECLARATION:
                s = Declaration();
                break;
            case SCRIPT:
                s = NextTag();
                break;
            case OBJECT:
                s = ObjectAttribute();
                break;
            default:
                s = DONE;
                break;
            }
        }
        return m_uResult;
    }

private:
    enum state { START, DECLARATION, SCRIPT, OBJECT, DONE };
    // The OID of the current element: none read (a value then makes the file
    // corrupt), one to apply, or one refused (the element's values are
    // skipped).
    enum oid_state : uint8_t { OID_NONE, OID_VALID, OID_REFUSED };

    bool AtEnd() const { return m_uPos >= m_uLength; }
    char At(uint32_t i) const { return m_pText[i]; }

    // The line of the current position (from 1), for the traces; counted
    // on from the last count, as the position only moves on.
    uint32_t Line()
    {
        for (; m_uCounted < m_uPos && m_uCounted < m_uLength; ++m_uCounted)
            m_uLines += At(m_uCounted) == '\n';
        return m_uLines;
    }

    // Whether the word (letters in any case) stands at the position.
    bool Matches(const char* word) const
    {
        uint32_t n = static_cast<uint32_t>(std::strlen(word));
        return m_uLength - m_uPos >= n && mem_casecmp(m_pText + m_uPos, word, n) == 0;
    }

    // Moves to the next c at or after the position; false at the end.
    bool Find(char c)
    {
        while (!AtEnd() && At(m_uPos) != c)
            ++m_uPos;
        return !AtEnd();
    }

    state Corrupt(const char* why)
    {
        monitor_printf("CFile_Script::Parse: line %u: %s\n", Line(), why);
        return DONE;
    }
    state EndInsideElement()
    {
        monitor_printf("\nInvalid Object Tag Handler \n");
        return DONE;
    }

    state Start()
    {
        if (!Find('<'))
            return DONE;
        if (m_uLength - m_uPos >= 2 && At(m_uPos + 1) == '?') {
            m_uPos += 2;
            return DECLARATION;
        }
        if (Matches("<SCRIPT")) {
            m_uPos += 7;
            return SCRIPT;
        }
        return Corrupt("no <SCRIPT> element");
    }

    // "<?" ... "?>": the character after "<?" is passed over, then the first
    // '?' must be followed by '>'.
    state Declaration()
    {
        ++m_uPos;
        if (AtEnd() || !Find('?')) {
            monitor_printf("\nInvalid Header\n");
            return DONE;
        }
        if (m_uLength - m_uPos < 2 || At(m_uPos + 1) != '>') {
            monitor_printf("\nInvalid Header\n");
            return DONE;
        }
        m_uPos += 2;
        return START;
    }

    state NextTag()
    {
        if (!Find('<')) {
            monitor_printf("\nInvalid Script Tag Handler \n");
            return DONE;
        }
        if (Matches("<OBJ")) {
            m_uPos += 4;
            m_byOid = OID_NONE;
            return OBJECT;
        }
        if (Matches("</SCRIPT>")) {
            m_uResult = CFile_Script::PARSE_OK;
            return DONE;
        }
        monitor_printf("\nNo token found\n");
        return DONE;
    }

    state ObjectAttribute()
    {
        if (AtEnd())
            return EndInsideElement();
        if (At(m_uPos) == ' ' || At(m_uPos) == '\t')
            ++m_uPos;
        if (AtEnd())
            return EndInsideElement();
        if (At(m_uPos) == '/')
            return ElementEnd();
        if (Matches("oid=")) {
            m_uPos += 4;
            return ReadOid();
        }
        if (Matches("int=")) {
            m_uPos += 4;
            return ReadInt();
        }
        if (Matches("str=")) {
            m_uPos += 4;
            return StoreOid(false);
        }
        if (Matches("base64=")) {
            m_uPos += 7;
            return StoreOid(true);
        }
        return Corrupt("not an attribute of <OBJ>");
    }

    // '/', then '>' at any distance, blanks, and CR LF.
    state ElementEnd()
    {
        if (!Find('>'))
            return EndInsideElement();
        ++m_uPos;
        while (!AtEnd() && (At(m_uPos) == ' ' || At(m_uPos) == '\t'))
            ++m_uPos;
        if (AtEnd())
            return EndInsideElement();
        if (At(m_uPos) != '\r' || m_uLength - m_uPos < 2 || At(m_uPos + 1) != '\n')
            return Corrupt("the element's line does not end in CR LF");
        m_uPos += 2;
        m_byOid = OID_NONE;
        return SCRIPT;
    }

    // The quoted value at the position: its first byte and length, the
    // position moved past its closing quote. False at the end of the text.
    bool Quoted(uint32_t* start, uint32_t* length)
    {
        *start = ++m_uPos;
        if (!Find('"'))
            return false;
        *length = m_uPos - *start;
        ++m_uPos;
        return true;
    }

    state ReadOid()
    {
        if (AtEnd() || At(m_uPos) != '"') {
            monitor_printf("\nBad OID \n");
            m_byOid = OID_NONE;
            return OBJECT;
        }
        uint32_t start = 0, length = 0;
        if (!Quoted(&start, &length))
            return EndInsideElement();
        // Numbers of at most 32 bits, each after one dot but the first.
        bool well_formed = length > 0;
        bool after_dot = true;
        uint64_t number = 0;
        for (uint32_t i = 0; i < length && well_formed; ++i) {
            char c = At(start + i);
            if (c == '.') {
                well_formed = !after_dot;
                after_dot = true;
                number = 0;
            } else if (c >= '0' && c <= '9') {
                number = number * 10 + static_cast<uint32_t>(c - '0');
                well_formed = number <= 0xFFFFFFFFull;
                after_dot = false;
            } else {
                well_formed = false;
            }
        }
        well_formed = well_formed && !after_dot;
        if (length > CFile_Script::kOidMax || !well_formed) {
            // A cut or misread OID would name another object.
            monitor_printf("CFile_Script::Parse: line %u: %s OID, element skipped\n", Line(),
                           well_formed ? "over-long" : "malformed");
            m_byOid = OID_REFUSED;
            return OBJECT;
        }
        std::memcpy(m_szOid, m_pText + start, length);
        m_szOid[length] = 0;
        m_uOidLength = length;
        m_byOid = OID_VALID;
        return OBJECT;
    }

    // A decimal number with an optional sign, as a signed or an unsigned
    // 32-bit value.
    state ReadInt()
    {
        if (AtEnd() || At(m_uPos) != '"')
            return Corrupt("int value without its quote");
        uint32_t start = 0, length = 0;
        if (!Quoted(&start, &length))
            return EndInsideElement();
        uint32_t i = 0;
        bool negative = false;
        if (i < length && (At(start) == '-' || At(start) == '+')) {
            negative = At(start) == '-';
            ++i;
        }
        if (i == length)
            return Corrupt("int value is not a number");
        uint64_t magnitude = 0;
        bool too_large = false;
        for (; i < length; ++i) {
            char c = At(start + i);
            if (c < '0' || c > '9')
                return Corrupt("int value is not a number");
            magnitude = magnitude * 10 + static_cast<uint32_t>(c - '0');
            if (magnitude > 0xFFFFFFFFull) {
                too_large = true;
                magnitude = 0x100000000ull;  // keeps scanning the digits without overflow
            }
        }
        if (negative && magnitude > 0x80000000ull)
            too_large = true;
        if (m_byOid == OID_NONE)
            return Corrupt("int value before the element's oid");
        if (too_large) {
            monitor_printf("CFile_Script::Parse: line %u: int value beyond 32 bits, not set\n", Line());
            return OBJECT;
        }
        m_nValue = static_cast<uint32_t>(negative ? 0 - magnitude : magnitude);
        if (m_byOid == OID_VALID && !snmp_local_set_int(m_szOid, m_uOidLength, m_nValue, kNoSwitches, kFullMask))
            monitor_printf_debug("CFile_Script::Parse: %s := %d refused\n", m_szOid, static_cast<int>(m_nValue));
        return OBJECT;
    }

    // A str or base64 value: it ends at its closing quote or, when a '/'
    // comes first, at the character before that '/' (what follows no longer
    // parses, so the file counts as corrupt).
    state StoreOid(bool base64)
    {
        if (AtEnd() || At(m_uPos) != '"') {
            monitor_printf("\nStore OID Failed!\n");
            return DONE;
        }
        const uint32_t start = ++m_uPos;
        uint32_t end = start;
        bool cut = false;
        for (;; ++end) {
            if (end >= m_uLength)
                return EndInsideElement();
            if (At(end) == '"')
                break;
            if (At(end) == '/') {
                cut = true;
                break;
            }
        }
        uint32_t length = end - start;
        if (cut)
            length = length > 0 ? length - 1 : 0;
        m_uPos = cut ? end : end + 1;
        if (m_byOid == OID_NONE)
            return Corrupt("value before the element's oid");
        if (!cut || end > start) {
            if (length > CFile_Script::kValueMax) {
                monitor_printf("CFile_Script::Parse: line %u: value longer than %u characters, not set\n", Line(),
                               CFile_Script::kValueMax);
            } else if (m_byOid == OID_VALID) {
                std::memcpy(m_szValue, m_pText + start, length);
                m_szValue[length] = 0;
                m_uValueLength = length;
                int ok = base64
                             ? snmp_local_set_octets_encoded(m_szOid, m_uOidLength, m_szValue, length, kNoSwitches,
                                                             kFullMask, nullptr)
                             : snmp_local_set_octets(m_szOid, m_uOidLength, reinterpret_cast<const uint8_t*>(m_szValue),
                                                     length, kNoSwitches, kFullMask);
                if (!ok)
                    monitor_printf_debug("CFile_Script::Parse: %s := \"%s\" refused\n", m_szOid, m_szValue);
            }
        }
        if (cut)
            return Corrupt("'/' inside a value");
        return OBJECT;
    }

    const char* m_pText;
    uint32_t m_uLength;
    uint32_t m_uPos = 0;
    uint32_t m_uCounted = 0;  // bytes whose line feeds are in m_uLines
    uint32_t m_uLines = 1;
    uint32_t m_uResult = CFile_Script::PARSE_CORRUPT;
    char m_szOid[CFile_Script::kOidMax + 1] = {};
    uint32_t m_uOidLength = 0;
    uint32_t m_nValue = 0;
    char m_szValue[CFile_Script::kValueMax + 1] = {};
    uint32_t m_uValueLength = 0;
    uint8_t m_byOid = OID_NONE;
};

}  // namespace

CFile_Script::CFile_Script() : CPeripheral(CLASS_CODE, TYPE_ID) {}

const char* CFile_Script::NameOfType(uint16_t)
{
    return kName;
}

uint16_t CFile_Script::TypeOfName(const char* name)
{
    return name && std::strcmp(name, kName) == 0 ? TYPE_ID : 0;
}

CPeripheral* CFile_Script::Create(const pl_record& record)
{
    if (record.type_id != TYPE_ID)
        return nullptr;
    CFile_Script* p = new (std::nothrow) CFile_Script();
    if (!p)
        return nullptr;
    p->m_wPollInterval = 1;
    p->m_wPollCountdown = 0;
    p->m_wConfigSlot = record.slot;
    p->m_byFromDatabase = 0;
    p->SetEnabled(1);
    return p;
}

void CFile_Script::Poll()
{
    m_byState = PERIPHERAL_VALID;
}

int CFile_Script::DefaultText(char* out, uint32_t size, uint32_t* length)
{
    if (length)
        *length = 0;
    if (!out)
        return 0;
    uLongf n = size;
    if (uncompress(reinterpret_cast<Bytef*>(out), &n, kDefaultScript, sizeof kDefaultScript) != Z_OK)
        return 0;
    if (length)
        *length = static_cast<uint32_t>(n);
    return 1;
}

int CFile_Script::Write(fs_media* media, CFileSystem_Driver* driver)
{
    void* buffer = nullptr;
    if (!g_gpbuffer.Allocate(&buffer, kBufferSize))
        return 0;
    monitor_printf(" - Writing %s\t\t\t\t\t", kFileName);
    uint32_t length = 0;
    fs_status st = FS_ERROR;
    if (driver && DefaultText(static_cast<char*>(buffer), kBufferSize, &length)) {
        fs_file file;
        fs_file_init(&file);
        st = driver->FileCreateWithData(media, &file, kFileName, FS_ATTR_P, buffer, length);
    }
    g_gpbuffer.Release(&buffer);
    if (st != FS_SUCCESS) {
        monitor_printf("[FAIL]\n");
        return 0;
    }
    monitor_printf("[ OK ]\n");
    return 1;
}

uint32_t CFile_Script::Parse(const char* text, uint32_t length)
{
    return script_scanner(text, length).Run();
}

int CFile_Script::Load(fs_media* media, CFileSystem_Driver* driver)
{
    CDataBase* db = g_pDataBase;
    void* buffer = nullptr;
    if (!db || !g_gpbuffer.Allocate(&buffer, kBufferSize))
        return 0;
    std::memset(buffer, 0, kBufferSize);
    char* text = static_cast<char*>(buffer);

    const db_object& flag = nv::quorRunScriptFlags;
    uint32_t flags = db->GetValue(flag.offset, flag.width, db->mib_nv, 0);
    if (!(flags & kRunScript) || !driver) {
        g_gpbuffer.Release(&buffer);
        return 0;
    }
    // Cleared first: a script that brings the controller down runs only once.
    db->SetValue(flag.offset, flag.width, flags & ~kRunScript, db->mib_nv, DB_NOTIFY);

    int result = 0;
    for (int attempt = 0; attempt < 2 && !result; ++attempt) {
        fs_file file;
        fs_file_init(&file);
        if (driver->FileOpen(media, &file, kFileName, FS_MODE_READ) != FS_SUCCESS) {
            Write(media, driver);
            continue;
        }
        monitor_printf(" - Detected Script File\t\t\t\t\t");
        std::memset(buffer, 0, kBufferSize);
        uint32_t total = 0;
        fs_status st = FS_SUCCESS;
        while (total < kBufferSize) {
            uint32_t got = 0;
            st = driver->FileRead(&file, text + total, kBufferSize - total, &got);
            if (st == FS_END_OF_FILE) {
                st = FS_SUCCESS;
                break;
            }
            if (st != FS_SUCCESS || got == 0)
                break;
            total += got;
        }
        if (st != FS_SUCCESS) {
            monitor_printf("[FAIL]\n\tfile_read failed:0x%02X\n", static_cast<unsigned>(st));
            driver->FileClose(&file);
            continue;
        }
        if (Parse(text, total) == PARSE_CORRUPT) {
            driver->FileClose(&file);
            driver->FileDelete(media, kFileName);
            monitor_printf("[FAIL]\n\tFile was corrupt\n");
            Write(media, driver);
            continue;
        }
        g_post_office.Publish(MSG_CONFIG_LOADED);
        driver->FileClose(&file);
        monitor_printf("[ OK ]\n");
        result = 1;
    }
    g_gpbuffer.Release(&buffer);
    return result;
}
