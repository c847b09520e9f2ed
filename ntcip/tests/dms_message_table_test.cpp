// The message table over SNMP: editing a message through its status
// column, validation and the message CRC, the refusals of the status
// machine, the index bounds of every memory type, the walk of the table and
// texts too long to keep.
#include "ntcip/tests/dms_tables_fixture.h"

namespace {

using namespace tables;

// The message CRC worked out here bit by bit: X.25 (reflected 0x8408, from
// 0xFFFF, complemented) over the text, the beacon byte and the pixel-service
// byte, its two bytes exchanged as the table serves it.
uint16_t X25(const std::string& text, uint8_t beacon, uint8_t pixel)
{
    std::string bytes = text;
    bytes.push_back(static_cast<char>(beacon));
    bytes.push_back(static_cast<char>(pixel));
    uint16_t crc = 0xFFFF;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : static_cast<uint16_t>(crc >> 1);
    }
    crc = static_cast<uint16_t>(~crc);
    return static_cast<uint16_t>((crc << 8) | (crc >> 8));
}

class MessageTableTest : public DmsTablesTest {
protected:
    // Edits message (t, n) as a central system does: modify, write, validate.
    void Edit(uint32_t t, uint32_t n, const std::string& text, uint32_t beacon = 0, uint32_t priority = 10)
    {
        response r = Set({vb_int(Msg(kStatus, t, n), 6)});
        ASSERT_EQ(0u, r.error_status);
        ASSERT_EQ(2u, GetInt(Msg(kStatus, t, n)));
        r = Set({vb_str(Msg(kMulti, t, n), text), vb_str(Msg(kOwner, t, n), "tmc"), vb_int(Msg(kBeacon, t, n), beacon),
                 vb_int(Msg(kPixel, t, n), 0), vb_int(Msg(kPriority, t, n), priority)});
        ASSERT_EQ(0u, r.error_status);
        r = Set({vb_int(Msg(kStatus, t, n), 7)});
        ASSERT_EQ(0u, r.error_status);
    }
};

TEST_F(MessageTableTest, EditAndValidateEndsValidWithTheCrc)
{
    for (uint32_t t : {3u, 4u}) {
        SCOPED_TRACE(t);
        Edit(t, 2, "[jl3]ABC", 1, 20);
        EXPECT_EQ(4u, GetInt(Msg(kStatus, t, 2)));
        EXPECT_EQ(X25("[jl3]ABC", 1, 0), GetInt(Msg(kCrc, t, 2)));
        EXPECT_EQ(2u, GetInt(Dms("5.9")));
        EXPECT_EQ("[jl3]ABC", GetText(Msg(kMulti, t, 2)));
        EXPECT_EQ("tmc", GetText(Msg(kOwner, t, 2)));
        EXPECT_EQ(20u, GetInt(Msg(kPriority, t, 2)));
        EXPECT_EQ(1u, GetInt(Msg(kBeacon, t, 2)));
    }
    // The counts follow the table.
    EXPECT_EQ(1u, GetInt(Dms("5.2")));
    EXPECT_EQ(750000u - 1500u, GetInt(Dms("5.4")));
    EXPECT_EQ(1u, GetInt(Dms("5.5")));
    EXPECT_EQ(6000u - 1500u, GetInt(Dms("5.7")));

    // Freed again: notUsed, the text kept.
    ASSERT_EQ(0u, Set({vb_int(Msg(kStatus, 3, 2), 8)}).error_status);
    EXPECT_EQ(1u, GetInt(Msg(kStatus, 3, 2)));
    EXPECT_EQ("[jl3]ABC", GetText(Msg(kMulti, 3, 2)));
    EXPECT_EQ(0u, GetInt(Dms("5.2")));
}

TEST_F(MessageTableTest, MultiErrorEndsInErrorWithItsPosition)
{
    Edit(3, 1, "AB");
    const uint32_t crc = GetInt(Msg(kCrc, 3, 1));
    Edit(3, 1, "AB[zz]C");
    EXPECT_EQ(5u, GetInt(Msg(kStatus, 3, 1)));
    EXPECT_EQ(5u, GetInt(Dms("5.9")));
    EXPECT_EQ(3u, Nv(nv::dmsMultiSyntaxError));  // unsupportedTag
    EXPECT_NE(0u, Nv(nv::dmsMultiSyntaxErrorPosition));
    EXPECT_EQ(crc, GetInt(Msg(kCrc, 3, 1)));  // the former CRC stays
    // A message that is not valid is no longer named by a special message.
    CMsgIDCode id;
    id.Set(MEMORY_CHANGEABLE, 1, static_cast<uint16_t>(crc));
    db_->SetString(nv::dmsEndDurationMessage.offset, 4, id.m_encoded, 5, db_->mib_nv, 0);
    ASSERT_EQ(0u, Set({vb_int(Msg(kStatus, 3, 1), 8)}).error_status);
    EXPECT_EQ(NvBytes(nv::dmsEndDurationMessage), (Bytes{7, 0, 1, 0, 0}));
}

TEST_F(MessageTableTest, RefusedWritesChangeNothing)
{
    Edit(3, 1, "AB");
    struct {
        const char* what;
        vb value;
        const char* community;
        uint32_t status;
    } cases[] = {
        {"text of a valid message", vb_str(Msg(kMulti, 3, 1), "C"), "administrator", 5},
        {"priority of a valid message", vb_int(Msg(kPriority, 3, 1), 9), "administrator", 5},
        {"validate a valid message", vb_int(Msg(kStatus, 3, 1), 7), "administrator", 3},
        {"validate an unused message", vb_int(Msg(kStatus, 3, 2), 7), "administrator", 3},
        {"status out of range", vb_int(Msg(kStatus, 3, 2), 9), "administrator", 3},
        {"beacon out of range", vb_int(Msg(kBeacon, 3, 2), 2), "administrator", 3},
        {"volatile beacon not modifying", vb_int(Msg(kBeacon, 4, 1), 1), "administrator", 5},
        {"permanent message", vb_int(Msg(kStatus, 2, 1), 6), "administrator", 5},
        {"permanent text", vb_str(Msg(kMulti, 2, 2), "A"), "administrator", 5},
        {"blank message", vb_int(Msg(kPriority, 7, 5), 9), "administrator", 5},
        {"community without the right", vb_int(Msg(kStatus, 3, 1), 6), "viewer", 2},
        {"text as an integer", vb_int(Msg(kMulti, 3, 1), 65), "administrator", 3},
    };
    for (const auto& c : cases) {
        response r = Set({c.value}, c.community);
        ASSERT_TRUE(r.ok) << c.what;
        EXPECT_EQ(c.status, r.error_status) << c.what;
        EXPECT_EQ(1u, r.error_index) << c.what;
    }
    EXPECT_EQ("AB", GetText(Msg(kMulti, 3, 1)));
    EXPECT_EQ(10u, GetInt(Msg(kPriority, 3, 1)));
    EXPECT_EQ(4u, GetInt(Msg(kStatus, 3, 1)));
    EXPECT_EQ(1u, GetInt(Msg(kStatus, 3, 2)));
    EXPECT_EQ(1u, GetInt(Msg(kStatus, 4, 1)));
    EXPECT_EQ(4u, GetInt(Msg(kStatus, 2, 1)));
    EXPECT_EQ("", GetText(Msg(kMulti, 2, 2)));
    // The CRC is the display's: read-only to SNMP.
    EXPECT_NE(0u, Set({vb_int(Msg(kCrc, 3, 1), 1)}).error_status);
    EXPECT_EQ(X25("AB", 0, 0), GetInt(Msg(kCrc, 3, 1)));
    // An editor may edit; the current buffer takes writes as they come.
    EXPECT_EQ(0u, Set({vb_int(Msg(kStatus, 3, 1), 6)}, "editor").error_status);
    EXPECT_EQ(0u, Set({vb_int(Msg(kPriority, 5, 1), 77)}).error_status);
    EXPECT_EQ(77u, GetInt(Msg(kPriority, 5, 1)));
}

TEST_F(MessageTableTest, EachMemoryTypeServesItsNumbersOnly)
{
    struct {
        uint32_t column, type, number;
        uint32_t value;  // ~0: noSuchName
    } cases[] = {
        {kStatus, 2, 1, 4},      {kPriority, 2, 1, 255}, {kPriority, 2, 2, 1}, {kStatus, 2, 3, ~0u},
        {kStatus, 2, 0, ~0u},    {kStatus, 0, 1, ~0u},   {kStatus, 1, 1, ~0u}, {kType, 1, 1, ~0u},
        {kStatus, 3, 0, ~0u},    {kStatus, 3, 1, 1},     {kNumber, 3, 500, 500}, {kStatus, 3, 501, ~0u},
        {kStatus, 4, 4, 1},      {kStatus, 4, 5, ~0u},   {kStatus, 5, 1, 4},   {kStatus, 5, 2, ~0u},
        {kStatus, 6, 1, 4},      {kStatus, 6, 2, ~0u},   {kPriority, 7, 200, 200}, {kStatus, 7, 255, 4},
        {kCrc, 7, 1, 0},         {kStatus, 7, 256, ~0u}, {kStatus, 7, 0, ~0u}, {kStatus, 8, 1, ~0u},
        {kType, 7, 9, 7},        {kNumber, 4, 3, 3},
    };
    SetNv(nv::currentBufferStatus, 4);
    SetNv(nv::scheduleMessageStatus, 4);
    for (const auto& c : cases)
        EXPECT_EQ(c.value, GetInt(Msg(c.column, c.type, c.number)))
            << "column " << c.column << " type " << c.type << " number " << c.number;
    EXPECT_EQ("", GetText(Msg(kMulti, 7, 5)));
    // Names of the wrong length name nothing.
    EXPECT_EQ(~0u, GetInt(O("ENT.4.2.3.5.8.1.9.3")));
    EXPECT_EQ(~0u, GetInt(O("ENT.4.2.3.5.8.1.9.3.1.1")));
}

TEST_F(MessageTableTest, UpperRowsAsPermanentOrChangeableMessages)
{
    WriteRow(msg_main_row(500), "C", MSG_STATUS_VALID, 0x1111);
    SetVol(vol::dmsNumPermanentMsg, 3);
    EXPECT_EQ("C", GetText(Msg(kMulti, 2, 3)));
    EXPECT_EQ(3u, GetInt(Msg(kNumber, 2, 3)));
    EXPECT_EQ(2u, GetInt(Msg(kType, 2, 3)));
    EXPECT_EQ(~0u, GetInt(Msg(kMulti, 2, 4)));
    EXPECT_EQ(5u, Set({vb_int(Msg(kStatus, 2, 3), 6)}).error_status);
    EXPECT_EQ(4u, RowValue(msg_main_row(500), msg_main_row(500).status));
    // A count beyond the rows never reaches past them.
    SetVol(vol::dmsNumPermanentMsg, 300);
    EXPECT_EQ(1u, GetInt(Msg(kStatus, 2, 52)));
    EXPECT_EQ(~0u, GetInt(Msg(kStatus, 2, 53)));

    // Changeable 501 and up: only unlocked, in local or central-override mode.
    EXPECT_EQ(~0u, GetInt(Msg(kMulti, 3, 501)));
    SetNv(nv::quorMessageTableMode, 2);
    EXPECT_EQ(~0u, GetInt(Msg(kMulti, 3, 501)));
    SetVol(vol::dmsControlMode, 5);
    EXPECT_EQ("C", GetText(Msg(kMulti, 3, 501)));
    EXPECT_EQ(~0u, GetInt(Msg(kMulti, 3, 551)));
    // Unlocked, the count of changeable messages is counted at each get.
    EXPECT_EQ(1u, GetInt(Dms("5.2")));
    SetNv(nv::quorSpecialFeatureSet, 0x20);
    EXPECT_EQ(25u, GetInt(Dms("5.3")));
}

TEST_F(MessageTableTest, WalkGoesThroughEveryMemoryTypeInOrder)
{
    struct {
        const char* from;
        oid_t next;
    } cases[] = {
        {"ENT.4.2.3.5.8.1.3", Msg(kMulti, 2, 1)},
        {"ENT.4.2.3.5.8.1.3.1", Msg(kMulti, 2, 1)},
        {"ENT.4.2.3.5.8.1.3.1.7", Msg(kMulti, 2, 1)},
        {"ENT.4.2.3.5.8.1.3.2.1", Msg(kMulti, 2, 2)},
        {"ENT.4.2.3.5.8.1.3.2.2", Msg(kMulti, 3, 1)},
        {"ENT.4.2.3.5.8.1.3.3.500", Msg(kMulti, 4, 1)},
        {"ENT.4.2.3.5.8.1.3.4.4", Msg(kMulti, 5, 1)},
        {"ENT.4.2.3.5.8.1.3.6.1", Msg(kMulti, 7, 1)},
        {"ENT.4.2.3.5.8.1.3.7.255", Msg(kOwner, 2, 1)},
        {"ENT.4.2.3.5.8.1.9.7.255", Dms("5.9")},
        {"ENT.4.2.3.5.7.0", Msg(kType, 2, 1)},
    };
    for (const auto& c : cases) {
        response r = Next({vb_null(O(c.from))});
        ASSERT_TRUE(r.ok) << c.from;
        EXPECT_EQ(0u, r.error_status) << c.from;
        ASSERT_EQ(1u, r.varbinds.size());
        EXPECT_EQ(dotted(c.next), dotted(r.varbinds[0].name)) << c.from;
    }
}

TEST_F(MessageTableTest, TextsTooLongToKeepAreRefused)
{
    ASSERT_EQ(0u, Set({vb_int(Msg(kStatus, 3, 1), 6)}).error_status);
    // A text near the longest a request can carry is kept whole.
    const std::string most(2900, 'A');
    response r = Set({vb_str(Msg(kMulti, 3, 1), most)});
    EXPECT_EQ(0u, r.error_status);
    EXPECT_EQ(most, GetText(Msg(kMulti, 3, 1)));
    // Beyond the sign's own maximum: refused, with the priority of the same
    // request left alone.
    SetVol(vol::dmsMaxMultiStringLength, 10);
    r = Set({vb_int(Msg(kPriority, 3, 1), 33), vb_str(Msg(kMulti, 3, 1), std::string(11, 'C'))});
    EXPECT_EQ(1u, r.error_status);
    EXPECT_EQ(2u, r.error_index);
    EXPECT_EQ(most, GetText(Msg(kMulti, 3, 1)));
    EXPECT_NE(33u, GetInt(Msg(kPriority, 3, 1)));
    EXPECT_EQ(0u, Set({vb_str(Msg(kMulti, 3, 1), std::string(10, 'C'))}).error_status);
    EXPECT_EQ(std::string(10, 'C'), GetText(Msg(kMulti, 3, 1)));
}

}  // namespace
