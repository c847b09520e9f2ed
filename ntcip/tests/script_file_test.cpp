// The start-up script SCRIPT.XML: the scanner over good, malformed and
// over-long lines (applied through the agent's internal sets into the
// private and sign objects), and the start-up load with its run flag, the
// default script, corrupt files and read failures.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frame/trace/trace.h"
#include "mon_api.h"
#include "ntcip/script/file_script.h"
#include "ntcip/tests/private_fixture.h"

namespace {

const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n";
const char kOpen[] = "<SCRIPT product=\"Palisade\" version=\"1.0\">\r\n";
const char kClose[] = "</SCRIPT>\r\n";

// OIDs of a few objects the script can reach.
const std::string kConfig7 = "1.3.6.1.4.1.1206.3.16.1.1.7.0";  // vestrelConfig7: 0..255
const std::string kConfig8 = "1.3.6.1.4.1.1206.3.16.1.1.8.0";  // vestrelConfig8: 0..255
const std::string kConfig6 = "1.3.6.1.4.1.1206.3.16.1.1.6.0";  // vestrelConfig6: 0..99
const std::string kText = "1.3.6.1.4.1.1206.3.11.2.21.7.0";    // quorNetworkText: 0..50 bytes
const std::string kFeatures = "1.3.6.1.4.1.1206.3.11.2.33.0";  // quorSpecialFeatureSet: u32

std::string Obj(const std::string& attributes)
{
    return "\t<OBJ " + attributes + "/>\r\n";
}
std::string Script(const std::string& body)
{
    return std::string(kDeclaration) + kOpen + body + kClose;
}

class ScriptFileTest : public PrivateMibTest {
protected:
    // The scan of exactly these bytes (a heap block of their size, so that a
    // read past them is caught).
    uint32_t Parse(const std::string& text)
    {
        std::unique_ptr<char[]> bytes(new char[text.size() ? text.size() : 1]);
        std::memcpy(bytes.get(), text.data(), text.size());
        uint32_t result = 0;
        EXPECT_TRUE(rtos::run_in_thread(
            [&] { result = CFile_Script::Parse(bytes.get(), static_cast<uint32_t>(text.size())); }));
        return result;
    }
    int Load(CFileSystem_Driver* driver = nullptr)
    {
        int result = -1;
        EXPECT_TRUE(rtos::run_in_thread(
            [&] { result = CFile_Script::Load(&g_fs_media, driver ? driver : g_pFileSystemDriver); }));
        return result;
    }
    static int Add(const std::string& data)
    {
        return mon_tfsadd(CFile_Script::kFileName, nullptr, "", data.data(), static_cast<uint32_t>(data.size()));
    }
    static std::string Content()
    {
        tfs_header* h = mon_tfsstat(CFile_Script::kFileName);
        if (!h)
            return "<none>";
        return std::string(reinterpret_cast<const char*>(h) + h->hdr_size, h->data_size);
    }
    std::string DefaultScript()
    {
        std::vector<char> out(CFile_Script::kBufferSize);
        uint32_t length = 0;
        EXPECT_EQ(1, CFile_Script::DefaultText(out.data(), static_cast<uint32_t>(out.size()), &length));
        return std::string(out.data(), length);
    }
    uint32_t Config(uint32_t k) { return V(vol::vestrelConfigByte(k)); }
};

TEST_F(ScriptFileTest, TheDefaultScriptUnlocksSetsCentralAndLocksAgain)
{
    const std::string expected = std::string(kDeclaration) + kOpen +
                                 "\t<OBJ oid=\"1.3.6.1.4.1.1206.3.11.2.8.0\" int=\"2\"/>\r\n"
                                 "\t<OBJ oid=\"1.3.6.1.4.1.1206.4.2.3.6.1.0\" int=\"5\"/>\r\n"
                                 "\t<OBJ oid=\"1.3.6.1.4.1.1206.4.2.3.6.1.0\" int=\"4\"/>\r\n"
                                 "\t<OBJ oid=\"1.3.6.1.4.1.1206.3.11.2.8.0\" int=\"1\"/>\r\n" +
                                 kClose;
    EXPECT_EQ(expected, DefaultScript());
    EXPECT_EQ(CFile_Script::kDefaultLength, expected.size());
    // Too small a buffer is no script.
    char small[100];
    uint32_t length = 7;
    EXPECT_EQ(0, CFile_Script::DefaultText(small, sizeof small, &length));
    EXPECT_EQ(0u, length);

    SetV(vol::dmsControlMode, 2);  // local: only the script's own sets pass the database's checks
    EXPECT_EQ(CFile_Script::PARSE_OK, Parse(expected));
    EXPECT_EQ(4u, V(vol::dmsControlMode));
    EXPECT_EQ(1u, Nv(nv::quorMessageTableMode));
}

TEST_F(ScriptFileTest, GoodScriptsAreAppliedInOrder)
{
    struct {
        const char* what;
        std::string text;
        uint32_t config7;
        uint32_t config8;
        std::string net_text;
    } cases[] = {
        {"with the declaration", Script(Obj("oid=\"" + kConfig7 + "\" int=\"17\"")), 17, 0, ""},
        {"without the declaration", std::string(kOpen) + Obj("oid=\"" + kConfig7 + "\" int=\"18\"") + kClose, 18, 0,
         ""},
        {"names and tags in any case", "<script>\r\n<obj OID=\"" + kConfig7 + "\" Int=\"19\"/>\r\n</Script>\r\n", 19, 0,
         ""},
        {"a tab before an attribute, blanks after the element",
         Script("<OBJ\toid=\"" + kConfig8 + "\"\tint=\"+9\"/> \t\r\n"), 0, 9, ""},
        {"several values of one element, in order",
         Script(Obj("oid=\"" + kConfig7 + "\" int=\"1\" int=\"2\" int=\"3\"")), 3, 0, ""},
        {"a text", Script(Obj("oid=\"" + kText + "\" str=\"SIGN 12 NORTH\"")), 0, 0, "SIGN 12 NORTH"},
        {"a base64 text", Script(Obj("oid=\"" + kText + "\" base64=\"UVVPUg==\"")), 0, 0, "QUOR"},
        {"an object the registry does not hold is passed over",
         Script(Obj("oid=\"1.3.6.1.4.1.1206.3.99.1.0\" int=\"5\"") + Obj("oid=\"" + kConfig7 + "\" int=\"21\"")), 21, 0,
         ""},
        {"a value the registry refuses is passed over",
         Script(Obj("oid=\"" + kConfig6 + "\" int=\"100\"") + Obj("oid=\"" + kConfig7 + "\" int=\"22\"")), 22, 0, ""},
        {"text after the end is not read", Script(Obj("oid=\"" + kConfig7 + "\" int=\"23\"")) + "<OBJ garbage", 23, 0,
         ""},
    };
    for (const auto& c : cases) {
        SetV(vol::vestrelConfigByte(2), 0);
        SetV(vol::vestrelConfigByte(3), 0);
        SetText(nv::quorNetworkText, true, "");
        trace_capture trace;
        EXPECT_EQ(CFile_Script::PARSE_OK, Parse(c.text)) << c.what << "\n" << trace.text();
        EXPECT_EQ(c.config7, Config(2)) << c.what;
        EXPECT_EQ(c.config8, Config(3)) << c.what;
        EXPECT_EQ(c.net_text, Text(nv::quorNetworkText, true)) << c.what;
    }
    // Values beyond 2^31 reach unsigned objects; negative ones keep their bits.
    EXPECT_EQ(CFile_Script::PARSE_OK, Parse(Script(Obj("oid=\"" + kFeatures + "\" int=\"4294967295\""))));
    EXPECT_EQ(0xFFFFFFFFu, Nv(nv::quorSpecialFeatureSet));
    EXPECT_EQ(CFile_Script::PARSE_OK, Parse(Script(Obj("oid=\"" + kFeatures + "\" int=\"-2\""))));
    EXPECT_EQ(0xFFFFFFFEu, Nv(nv::quorSpecialFeatureSet));
}

TEST_F(ScriptFileTest, MalformedScriptsAreCorrupt)
{
    const std::string set7 = "oid=\"" + kConfig7 + "\" int=\"30\"";
    struct {
        const char* what;
        std::string text;
        uint32_t config7;  // values set before the fault stay set
        std::string net_text;
        const char* trace;  // part of what is printed
    } cases[] = {
        {"empty", "", 0, "", ""},
        {"no script element", "<CONFIG>\r\n" + Obj(set7) + kClose, 0, "", "no <SCRIPT> element"},
        {"two blanks before an attribute", Script("\t<OBJ  " + set7 + "/>\r\n"), 0, "", "line 3: not an attribute"},
        {"blanks around the =", Script(Obj("oid = \"" + kConfig7 + "\" int=\"30\"")), 0, "", "not an attribute"},
        {"LF alone", Script("\t<OBJ " + set7 + "/>\n"), 30, "", "CR LF"},
        {"a '/' inside a text", Script(Obj("oid=\"" + kText + "\" str=\"12/25\"")), 0, "1", "'/' inside a value"},
        {"int before any oid", Script(Obj("int=\"30\" oid=\"" + kConfig7 + "\"")), 0, "", "before the element's oid"},
        {"str before any oid", Script(Obj("str=\"x\"")), 0, "", "before the element's oid"},
        {"the oid's value without quotes", Script(Obj("oid=1.3.6 int=\"30\"")), 0, "", "\nBad OID \n"},
        {"an int that is no number", Script(Obj("oid=\"" + kConfig7 + "\" int=\"3x\"")), 0, "", "not a number"},
        {"an int without quotes", Script(Obj("oid=\"" + kConfig7 + "\" int=30")), 0, "", "without its quote"},
        {"a text without quotes", Script(Obj("oid=\"" + kText + "\" str=abc")), 0, "", "\nStore OID Failed!\n"},
        {"no end tag", std::string(kDeclaration) + kOpen + Obj(set7), 30, "", "\nInvalid Script Tag Handler \n"},
        {"an unknown tag", Script(Obj(set7) + "<!-- note -->\r\n"), 30, "", "\nNo token found\n"},
        {"a declaration without its end", "<?xml version=\"1.0\"\r\n" + std::string(kOpen) + kClose, 0, "",
         "\nInvalid Header\n"},
        {"a declaration ending in '?' alone", "<?xml ? >\r\n" + std::string(kOpen) + kClose, 0, "",
         "\nInvalid Header\n"},
        {"the end inside an element", std::string(kOpen) + "\t<OBJ oid=\"" + kConfig7 + "\" int=\"30\"", 30, "",
         "\nInvalid Object Tag Handler \n"},
        {"the end inside a value", std::string(kOpen) + "\t<OBJ oid=\"" + kConfig7, 0, "",
         "\nInvalid Object Tag Handler \n"},
        {"the end after a separator", std::string(kOpen) + "\t<OBJ ", 0, "", "\nInvalid Object Tag Handler \n"},
        {"the end behind '/>'", std::string(kOpen) + "\t<OBJ " + set7 + "/>  ", 30, "",
         "\nInvalid Object Tag Handler \n"},
    };
    for (const auto& c : cases) {
        SetV(vol::vestrelConfigByte(2), 0);
        SetText(nv::quorNetworkText, true, "");
        trace_capture trace;
        EXPECT_EQ(CFile_Script::PARSE_CORRUPT, Parse(c.text)) << c.what;
        EXPECT_EQ(c.config7, Config(2)) << c.what;
        EXPECT_EQ(c.net_text, Text(nv::quorNetworkText, true)) << c.what;
        EXPECT_TRUE(trace.contains(c.trace)) << c.what << ": " << trace.text();
    }
}

TEST_F(ScriptFileTest, OverLongValuesAreRefusedAndTheScriptGoesOn)
{
    const std::string long_oid = "1.3.6.1.4.1.1206.3.16.1.1.7." + std::string(80, '0') + "0";  // 109 characters
    const std::string next = Obj("oid=\"" + kConfig8 + "\" int=\"44\"");
    struct {
        const char* what;
        std::string element;
        const char* trace;
    } cases[] = {
        {"an OID of 109 characters", Obj("oid=\"" + long_oid + "\" int=\"33\" str=\"x\""), "over-long OID"},
        {"an OID with a letter", Obj("oid=\"1.3.6.1.4.1.1206.3.16.1.1.x.0\" int=\"33\""), "malformed OID"},
        {"an OID with an empty number", Obj("oid=\"1.3.6.1.4.1.1206.3.16.1.1..7.0\" int=\"33\""), "malformed OID"},
        {"an OID ending in a dot", Obj("oid=\"" + kConfig7 + ".\" int=\"33\""), "malformed OID"},
        {"an OID number of 33 bits", Obj("oid=\"1.3.6.1.4.1.1206.3.16.1.1.4294967303.0\" int=\"33\""), "malformed OID"},
        {"a text of 250 characters", Obj("oid=\"" + kText + "\" str=\"" + std::string(250, 'a') + "\""),
         "longer than 249"},
        {"a base64 text of 252 characters", Obj("oid=\"" + kText + "\" base64=\"" + std::string(252, 'Q') + "\""),
         "longer than 249"},
        {"an int of 33 bits", Obj("oid=\"" + kConfig7 + "\" int=\"4294967296\""), "beyond 32 bits"},
        {"a negative int beyond 32 bits", Obj("oid=\"" + kConfig7 + "\" int=\"-2147483649\""), "beyond 32 bits"},
        {"an int of a hundred digits", Obj("oid=\"" + kConfig7 + "\" int=\"" + std::string(100, '9') + "\""),
         "beyond 32 bits"},
    };
    for (const auto& c : cases) {
        SetV(vol::vestrelConfigByte(2), 0);
        SetV(vol::vestrelConfigByte(3), 0);
        SetText(nv::quorNetworkText, true, "kept");
        trace_capture trace;
        EXPECT_EQ(CFile_Script::PARSE_OK, Parse(Script(c.element + next))) << c.what << ": " << trace.text();
        EXPECT_TRUE(trace.contains(c.trace)) << c.what << ": " << trace.text();
        EXPECT_EQ(0u, Config(2)) << c.what;
        EXPECT_EQ("kept", Text(nv::quorNetworkText, true)) << c.what;
        EXPECT_EQ(44u, Config(3)) << c.what;
    }
    // A text within the bounds is set.
    SetText(nv::quorNetworkText, true, "kept");
    EXPECT_EQ(CFile_Script::PARSE_OK, Parse(Script(Obj("oid=\"" + kText + "\" str=\"" + std::string(50, 'b') + "\""))));
    EXPECT_EQ(std::string(50, 'b'), Text(nv::quorNetworkText, true));
}

TEST_F(ScriptFileTest, TheScanStopsAtTheGivenLength)
{
    // The end tag lies just past the length: never read.
    const std::string text = Script(Obj("oid=\"" + kConfig7 + "\" int=\"5\""));
    const uint32_t cut = static_cast<uint32_t>(text.size() - std::strlen(kClose) + 3);
    std::unique_ptr<char[]> bytes(new char[text.size()]);
    std::memcpy(bytes.get(), text.data(), text.size());
    uint32_t result = 0;
    ASSERT_TRUE(rtos::run_in_thread([&] { result = CFile_Script::Parse(bytes.get(), cut); }));
    EXPECT_EQ(CFile_Script::PARSE_CORRUPT, result);
    EXPECT_EQ(5u, Config(2));
    EXPECT_EQ(CFile_Script::PARSE_CORRUPT, CFile_Script::Parse(nullptr, 100));
}

TEST_F(ScriptFileTest, TheScriptRunsOnlyWhileTheRunFlagIsSet)
{
    ASSERT_EQ(0, Add(Script(Obj("oid=\"" + kConfig7 + "\" int=\"55\""))));
    SetNv(nv::quorRunScriptFlags, 0x06);
    trace_capture trace;
    EXPECT_EQ(0, Load());
    EXPECT_EQ(0u, Config(2));
    EXPECT_EQ("", trace.text());
    EXPECT_EQ(0u, g_gpbuffer.BuffersOut());

    SetNv(nv::quorRunScriptFlags, 0x07);
    Letters();
    EXPECT_EQ(1, Load());
    EXPECT_EQ(55u, Config(2));
    EXPECT_EQ(0x06u, Nv(nv::quorRunScriptFlags));  // only bit 0 cleared
    EXPECT_EQ(" - Detected Script File\t\t\t\t\t[ OK ]\n", trace.text());
    std::vector<uint32_t> letters = Letters();
    EXPECT_EQ(1, std::count(letters.begin(), letters.end(), uint32_t(MSG_CONFIG_LOADED)));
    EXPECT_EQ(0u, g_gpbuffer.BuffersOut());

    // Once: the flag is clear now.
    SetV(vol::vestrelConfigByte(2), 0);
    EXPECT_EQ(0, Load());
    EXPECT_EQ(0u, Config(2));
}

TEST_F(ScriptFileTest, AMissingFileIsReplacedByTheDefaultAndApplied)
{
    SetNv(nv::quorRunScriptFlags, 1);
    SetV(vol::dmsControlMode, 2);
    trace_capture trace;
    EXPECT_EQ(1, Load());
    EXPECT_EQ(" - Writing SCRIPT.XML\t\t\t\t\t[ OK ]\n - Detected Script File\t\t\t\t\t[ OK ]\n", trace.text());
    EXPECT_EQ(DefaultScript(), Content());
    EXPECT_EQ(4u, V(vol::dmsControlMode));
    EXPECT_EQ(1u, Nv(nv::quorMessageTableMode));
    EXPECT_EQ(0u, Nv(nv::quorRunScriptFlags));
    EXPECT_EQ(0u, g_gpbuffer.BuffersOut());
}

TEST_F(ScriptFileTest, ACorruptFileIsDeletedAndTheDefaultApplied)
{
    // Its first element is applied before the fault and stays so.
    ASSERT_EQ(0, Add(Script(Obj("oid=\"" + kConfig7 + "\" int=\"66\"") + "\t<OBJ  oid=\"" + kConfig8 + "\"/>\r\n")));
    SetNv(nv::quorRunScriptFlags, 1);
    SetV(vol::dmsControlMode, 2);
    trace_capture trace;
    EXPECT_EQ(1, Load());
    EXPECT_EQ(66u, Config(2));
    EXPECT_EQ(4u, V(vol::dmsControlMode));
    EXPECT_EQ(DefaultScript(), Content());
    EXPECT_TRUE(trace.contains(" - Detected Script File\t\t\t\t\t"));
    EXPECT_TRUE(trace.contains("[FAIL]\n\tFile was corrupt\n - Writing SCRIPT.XML\t\t\t\t\t[ OK ]\n"
                               " - Detected Script File\t\t\t\t\t[ OK ]\n"))
        << trace.text();
}

TEST_F(ScriptFileTest, AFileLargerThanTheBufferIsReadOnlyUpToIt)
{
    // A valid script followed by blanks: its end tag lies beyond the buffer.
    std::string big = std::string(kOpen) + Obj("oid=\"" + kConfig7 + "\" int=\"77\"");
    big += std::string(CFile_Script::kBufferSize, ' ') + kClose;
    ASSERT_EQ(0, Add(big));
    SetNv(nv::quorRunScriptFlags, 1);
    trace_capture trace;
    EXPECT_EQ(1, Load());
    EXPECT_EQ(77u, Config(2));
    EXPECT_TRUE(trace.contains("File was corrupt")) << trace.text();
    EXPECT_EQ(DefaultScript(), Content());
}

// Forwards to the flash file system but fails every read.
class failing_reads : public CFileSystem_DriverTFS {
public:
    fs_status FileRead(fs_file*, void*, uint32_t, uint32_t* actual) override
    {
        if (actual)
            *actual = 0;
        ++reads;
        return FS_ERROR;
    }
    int reads = 0;
};

TEST_F(ScriptFileTest, ReadFailuresEndAfterTwoAttempts)
{
    ASSERT_EQ(0, Add(Script(Obj("oid=\"" + kConfig7 + "\" int=\"88\""))));
    SetNv(nv::quorRunScriptFlags, 1);
    failing_reads driver;
    trace_capture trace;
    EXPECT_EQ(0, Load(&driver));
    EXPECT_EQ(2, driver.reads);
    EXPECT_EQ(0u, Config(2));
    EXPECT_EQ(" - Detected Script File\t\t\t\t\t[FAIL]\n\tfile_read failed:0x09\n"
              " - Detected Script File\t\t\t\t\t[FAIL]\n\tfile_read failed:0x09\n",
              trace.text());
    // The flag stays cleared; the file is left as it was.
    EXPECT_EQ(0u, Nv(nv::quorRunScriptFlags));
    EXPECT_NE("<none>", Content());
    EXPECT_EQ(0u, g_gpbuffer.BuffersOut());
}

TEST_F(ScriptFileTest, WithoutAFreeBufferNothingRunsAndTheFlagStays)
{
    std::vector<void*> taken;
    for (void* p = nullptr; g_gpbuffer.Allocate(&p, CFile_Script::kBufferSize); p = nullptr)
        taken.push_back(p);
    ASSERT_FALSE(taken.empty());
    SetNv(nv::quorRunScriptFlags, 1);
    EXPECT_EQ(0, Load());
    EXPECT_EQ(1u, Nv(nv::quorRunScriptFlags));
    EXPECT_EQ(0, CFile_Script::Write(&g_fs_media, g_pFileSystemDriver));
    for (void*& p : taken)
        g_gpbuffer.Release(&p);
    EXPECT_EQ(1, Load());
}

TEST_F(ScriptFileTest, ThePeripheralStandsForTheScriptInTheList)
{
    pl_record record{};
    record.type_id = 302;
    EXPECT_EQ(nullptr, CFile_Script::Create(record));
    record.type_id = CFile_Script::TYPE_ID;
    record.slot = 65535;
    std::unique_ptr<CPeripheral> p(CFile_Script::Create(record));
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(18u, p->m_byClass);
    EXPECT_EQ(1u, p->m_wPollInterval);
    EXPECT_EQ(0u, p->m_wPollCountdown);
    EXPECT_EQ(65535u, p->m_wConfigSlot);
    EXPECT_EQ(1u, p->m_byEnabled);
    EXPECT_FALSE(p->IsValid());
    p->Poll();
    EXPECT_TRUE(p->IsValid());
    EXPECT_STREQ("SCRIPT FILE", CFile_Script::NameOfType(303));
    EXPECT_EQ(303u, CFile_Script::TypeOfName("SCRIPT FILE"));
    EXPECT_EQ(0u, CFile_Script::TypeOfName("CONFIG FILE"));
    EXPECT_EQ(0u, CFile_Script::TypeOfName(nullptr));
}

}  // namespace
