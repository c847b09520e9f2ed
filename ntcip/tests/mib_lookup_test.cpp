// The registry's build, its subtree list, and the lookup for get, get-next
// and set against the stub MIB.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frame/trace/trace.h"
#include "ntcip/mib/mib_registry.h"
#include "ntcip/mib/mib_stub.h"
#include "ntcip/tests/agent_test_util.h"

namespace {

struct found {
    bool served = false;
    uint32_t error = 0;
    std::string name;
    uint16_t type = 0;
    uint8_t access = 0;
    uint32_t value = 0;
    std::string text;
};

class MibLookup : public ::testing::Test {
protected:
    void SetUp() override
    {
        stub::build();
        g_snmp_commit_indicator = 0;
        g_snmp_community_mask = 0xFFFFFFFF;
        record_ = std::make_unique<snmp_request>();
    }
    void TearDown() override
    {
        g_snmp_commit_indicator = 0;
        g_snmp_community_mask = 0;
    }

    found Look(const std::string& text, uint32_t op, uint16_t syntax = SNMP_NULL)
    {
        oid_t name = O(text);
        uint32_t len = static_cast<uint32_t>(name.size());
        name.resize(MIB_MAX_OID);
        found f;
        f.type = syntax;
        uint32_t vlen = 0;
        uintptr_t* cell = getStatPtr(name.data(), &len, &f.type, &vlen, &f.access, op, record_.get(), 0, &f.error);
        f.served = cell != nullptr;
        f.name = dotted(name.data(), len);
        if (cell && (f.type == MIB_OCTET_STRING || f.type == MIB_OPAQUE))
            f.text.assign(reinterpret_cast<const char*>(*cell), vlen);
        else if (cell)
            f.value = static_cast<uint32_t>(*cell);
        return f;
    }

    // A set in the two passes of a request; the result of the last pass run.
    found Set(const std::string& text, uint16_t syntax, uint32_t integer, const std::string& bytes = {})
    {
        g_snmp_set_value.integer = integer;
        g_snmp_set_value.length = syntax == SNMP_INTEGER ? 4 : static_cast<uint32_t>(bytes.size());
        std::memcpy(g_snmp_set_value.bytes, bytes.data(), bytes.size());
        g_snmp_commit_indicator = 0;
        found f = Look(text, MIB_SET, syntax);
        if (f.error == MIB_ERR_NONE) {
            g_snmp_commit_indicator = 1;
            f = Look(text, MIB_SET, syntax);
        }
        g_snmp_commit_indicator = 1;
        return f;
    }

    std::unique_ptr<snmp_request> record_;
};

TEST_F(MibLookup, SubtreesAreLinkedInOidOrder)
{
    std::vector<std::string> labels;
    for (mib_subtree* t = snmp_subtree_head(); t; t = t->next) {
        labels.push_back(t->label);
        if (t->next) {
            EXPECT_EQ(t, t->next->previous);
        }
    }
    EXPECT_EQ((std::vector<std::string>{"cls b", "auxio", "fdot", "quor", "vestrel", "zezaro", "nvdot", "protocol", "dms",
                                        "ess", "global"}),
              labels);
    EXPECT_STREQ("nvdot", g_mib_subtrees[4].label);  // the array keeps its own order
    EXPECT_EQ(9, snmp_subtree_find("cls b")->row_count);
    EXPECT_EQ(0, snmp_subtree_find("quor")->row_count);
}

TEST_F(MibLookup, BuildMergesGroupsInOrderAndLeavesBadRowsOut)
{
    static const uint32_t a[] = {1, 3, 6, 1, 2, 1, 1, 5, 0}, b[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
    static const uint32_t outside[] = {1, 3, 6, 1, 2, 1, 12, 1, 0};  // past the end of "cls b"
    static const mib_variable first[] = {mib_row(a, MIB_INTEGER, 0, MIB_READ_ONLY, var_stub_scalar),
                                         mib_row(outside, MIB_INTEGER, 0, MIB_READ_ONLY, var_stub_scalar)};
    static const mib_variable second[] = {mib_row(b, MIB_INTEGER, 1, MIB_READ_ONLY, var_stub_scalar),
                                          mib_row(a, MIB_INTEGER, 2, MIB_READ_ONLY, var_stub_scalar)};
    static const mib_group g1{"cls b", first, 2}, g2{"cls b", second, 2}, g3{"no such", second, 2};
    const mib_group* const groups[] = {&g1, nullptr, &g2, &g3};
    trace_capture trace;
    EXPECT_EQ(0, snmp_mib_build(groups, 4));
    EXPECT_TRUE(trace.contains("snmp_mib_build: row outside \"cls b\""));
    EXPECT_TRUE(trace.contains("snmp_mib_build: second row of one OID in \"cls b\""));
    EXPECT_TRUE(trace.contains("snmp_mib_build: no subtree \"no such\""));
    mib_subtree* t = snmp_subtree_find("cls b");
    ASSERT_EQ(2, t->row_count);
    EXPECT_EQ(b, t->rows[0].oid);
    EXPECT_EQ(a, t->rows[1].oid);
    EXPECT_EQ(0, t->rows[1].column);  // the first group's row of that OID stays
}

// A scalar inside a column's instances breaks the order of the keys: the
// subtree is searched row by row, and the column still serves its
// instances on either side of the scalar.
TEST_F(MibLookup, RowsInsideAColumnAreSearchedRowByRow)
{
    static const uint32_t column[] = {1, 3, 6, 1, 2, 1, 1, 9, MIB_PLACEHOLDER};
    static const uint32_t inside[] = {1, 3, 6, 1, 2, 1, 1, 9, 300, 0};
    static const mib_variable rows[] = {mib_row(column, MIB_INTEGER, 4, MIB_READ_ONLY, var_stub_column, 1),
                                        mib_row(inside, MIB_INTEGER, 1, MIB_READ_ONLY, var_stub_scalar)};
    static const mib_group g{"cls b", rows, 2};
    const mib_group* const groups[] = {&g};
    trace_capture trace;
    EXPECT_EQ(1, snmp_mib_build(groups, 1));
    EXPECT_TRUE(trace.contains("snmp_mib_build: \"cls b\" searched row by row"));
    EXPECT_FALSE(snmp_subtree_find("cls b")->keys_ordered);
    EXPECT_TRUE(snmp_subtree_find("dms")->keys_ordered) << "an empty subtree";
    g_mib_stub[4].highest[0] = 500;
    for (const char* name : {"1.3.6.1.2.1.1.9.299", "1.3.6.1.2.1.1.9.400"}) {
        found f = Look(name, MIB_GET);
        EXPECT_TRUE(f.served) << name;
        EXPECT_EQ(dotted(O(name)), f.name);
    }
}

TEST_F(MibLookup, FindSubtree)
{
    struct {
        const char* name;
        bool exact;
        const char* label;  // "" for none
    } cases[] = {
        {"1.3.6.1.2.1.1.1.0", true, "cls b"},
        {"1.3.6.1.2.1", true, ""},              // before the first object
        {"1.3.6.1.2.1", false, "cls b"},
        {"1.2", false, "cls b"},
        {"1.3.6.1.2.1.11.31", true, ""},        // the end is past the subtree
        {"1.3.6.1.2.1.11.31", false, "auxio"},
        {"ENT.4.2.3", false, "dms"},            // the prefix, before the first object
        {"ENT.3.11.11.7.0", false, "vestrel"},
        {"ENT.4.2.6.7.3.1.8.255.255", false, ""},
        {"ENT.4.2.6.7.3.1.7.9.9", true, "global"},
    };
    for (const auto& c : cases) {
        oid_t n = O(c.name);
        mib_subtree* t = find_subtree(n.data(), static_cast<uint32_t>(n.size()), nullptr, c.exact);
        EXPECT_EQ(std::string(c.label), t ? t->label : "") << c.name << (c.exact ? " exact" : "");
    }
}

TEST_F(MibLookup, Get)
{
    struct {
        const char* name;
        uint32_t error;
        uint32_t value;
    } cases[] = {
        {"1.3.6.1.2.1.1.2.0", 0, 17},
        {"1.3.6.1.2.1.2.2.1.2.3", 0, 103},
        {"ENT.2.1.1.3.1.2.2.3", 0, 8000 + 2003},
        {"1.3.6.1.2.1.2.2.1.2.0", 2, 0},      // no element 0
        {"1.3.6.1.2.1.2.2.1.2.4", 2, 0},      // past the last row of the table
        {"ENT.2.1.1.3.1.2.0.3", 2, 0},        // index 0 of a two-index table
        {"ENT.2.1.1.3.1.2.3.1", 2, 0},
        {"1.3.6.1.2.1.2.2.1.3.1", 2, 0},      // a column nobody serves: not the next one's row 1
        {"1.3.6.1.2.1.1.2.0.5", 2, 0},        // longer than the scalar
        {"1.3.6.1.2.1.1.2", 2, 0},            // shorter than the scalar
        {"1.3.6.1.2.1.1.7.0", 2, 0},
        {"1.3.6.1.2.1.12.1.0", 1, 0},         // no subtree
        {"ENT.3.11.1.1.0", 2, 0},             // a subtree without rows
        {"1.3.6.1.2.1.1.1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0", 2, 0},  // 41
    };
    for (const auto& c : cases) {
        found f = Look(c.name, MIB_GET);
        EXPECT_EQ(c.error, f.error) << c.name;
        EXPECT_EQ(c.error == 0, f.served) << c.name;
        EXPECT_EQ(c.value, f.value) << c.name;
    }
    found descr = Look("1.3.6.1.2.1.1.1.0", MIB_GET);
    EXPECT_EQ("sign", descr.text);
    EXPECT_EQ(MIB_OCTET_STRING, descr.type);
    EXPECT_EQ(MIB_READ_ONLY, descr.access);
}

TEST_F(MibLookup, GetNextAcrossRowsTablesAndSubtrees)
{
    struct {
        const char* from;
        const char* to;
        uint32_t value;
    } cases[] = {
        {"1.3.6.1.2.1", "1.3.6.1.2.1.1.1.0", 0},               // the first object of "cls b"
        {"1", "1.3.6.1.2.1.1.1.0", 0},
        {"1.3.6.1.2.1.1.1", "1.3.6.1.2.1.1.1.0", 0},            // a scalar's own node
        {"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.2.0", 17},
        {"1.3.6.1.2.1.1.4.0", "1.3.6.1.2.1.2.2.1.1.1", 1},      // into a table
        {"1.3.6.1.2.1.2.2.1.1.2", "1.3.6.1.2.1.2.2.1.1.3", 3},
        {"1.3.6.1.2.1.2.2.1.1.3", "1.3.6.1.2.1.2.2.1.2.1", 101},  // the next column from its first row
        {"1.3.6.1.2.1.2.2.1.1.0", "1.3.6.1.2.1.2.2.1.1.1", 1},
        {"1.3.6.1.2.1.2.2.1.2", "1.3.6.1.2.1.2.2.1.2.1", 101},
        {"1.3.6.1.2.1.2.2.1.1.2.9", "1.3.6.1.2.1.2.2.1.1.3", 3},
        {"1.3.6.1.2.1.2.2.1.1.99", "1.3.6.1.2.1.2.2.1.2.1", 101},
        {"1.3.6.1.2.1.4.1.0", "1.3.6.1.2.1.4.2.1", 1401},       // scalar, then a column of its length
        {"1.3.6.1.2.1.11.30.0", "ENT.2.1.1.1.0", 70},           // the last of "cls b", then "auxio"
        {"ENT.2.1.1.3.1.2.1.3", "ENT.2.1.1.3.1.2.2.1", 8000 + 2001},  // second index ran out
        {"ENT.2.1.1.3.1.2.2.3", "ENT.2.1.1.3.1.3.1.1", 9000 + 1001},  // first index ran out
        {"ENT.2.1.1.3.1.2.0.5", "ENT.2.1.1.3.1.2.1.1", 8000 + 1001},  // no element 0
        {"ENT.2.1.1.3.1.2.1", "ENT.2.1.1.3.1.2.1.1", 8000 + 1001},
        {"ENT.2.1.1.3.1.3.2.3", "ENT.4.2.3.1.1.0", 10},          // across the empty subtrees
        {"ENT.3.11.11.7.0", "ENT.4.2.3.1.1.0", 10},              // between subtrees
        {"ENT.4.2.3", "ENT.4.2.3.1.1.0", 10},
        {"ENT.4.2.6.7.3.1.5.2.1", "ENT.4.2.6.7.3.1.5.2.2", 12000 + 2002},
    };
    for (const auto& c : cases) {
        found f = Look(c.from, MIB_GETNEXT);
        EXPECT_TRUE(f.served) << c.from;
        EXPECT_EQ(0u, f.error) << c.from;
        EXPECT_EQ(dotted(O(c.to)), f.name) << c.from;
        if (f.type != MIB_OCTET_STRING) {
            EXPECT_EQ(c.value, f.value) << c.from;
        }
    }
}

TEST_F(MibLookup, IndexesFrom255OnAreInstancesLikeAnyOther)
{
    g_mib_stub[4].highest[0] = 300;
    g_mib_stub[8].highest[1] = 400;
    struct {
        const char* name;
        uint32_t op;
        const char* answer;  // "" when refused
    } cases[] = {
        {"1.3.6.1.2.1.2.2.1.1.255", MIB_GET, "1.3.6.1.2.1.2.2.1.1.255"},
        {"1.3.6.1.2.1.2.2.1.1.256", MIB_GET, "1.3.6.1.2.1.2.2.1.1.256"},
        {"1.3.6.1.2.1.2.2.1.1.300", MIB_GET, "1.3.6.1.2.1.2.2.1.1.300"},
        {"1.3.6.1.2.1.2.2.1.1.301", MIB_GET, ""},
        {"1.3.6.1.2.1.2.2.1.1.255", MIB_GETNEXT, "1.3.6.1.2.1.2.2.1.1.256"},
        {"1.3.6.1.2.1.2.2.1.1.300", MIB_GETNEXT, "1.3.6.1.2.1.2.2.1.2.1"},
        {"ENT.2.1.1.3.1.2.1.399", MIB_GETNEXT, "ENT.2.1.1.3.1.2.1.400"},
        {"ENT.2.1.1.3.1.2.2.300", MIB_GET, "ENT.2.1.1.3.1.2.2.300"},
    };
    for (const auto& c : cases) {
        found f = Look(c.name, c.op);
        EXPECT_EQ(*c.answer != 0, f.served) << c.name;
        if (f.served) {
            EXPECT_EQ(dotted(O(c.answer)), f.name) << c.name;
        }
    }
    EXPECT_EQ(256u, Look("1.3.6.1.2.1.2.2.1.1.256", MIB_GET).value);
}

TEST_F(MibLookup, GetNextPastTheLastObjectKeepsTheName)
{
    for (const char* name : {"ENT.4.2.6.7.3.1.5.2.2", "ENT.4.2.6.7.3.1.8.255.255", "2"}) {
        found f = Look(name, MIB_GETNEXT);
        EXPECT_FALSE(f.served) << name;
        EXPECT_EQ(MIB_ERR_NO_OBJECT, f.error) << name;
        EXPECT_EQ(dotted(O(name)), f.name) << name;
    }
}

TEST_F(MibLookup, WalkVisitsEveryInstanceOnceInOrder)
{
    std::vector<std::string> names;
    std::string at = "1";
    for (int guard = 0; guard < 100; ++guard) {
        found f = Look(at, MIB_GETNEXT);
        if (!f.served)
            break;
        names.push_back(f.name);
        at = f.name;
    }
    std::vector<std::string> expected = {"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.2.0", "1.3.6.1.2.1.1.3.0",
                                         "1.3.6.1.2.1.1.4.0"};
    for (int i = 1; i <= 3; ++i)
        expected.push_back("1.3.6.1.2.1.2.2.1.1." + std::to_string(i));
    for (int i = 1; i <= 3; ++i)
        expected.push_back("1.3.6.1.2.1.2.2.1.2." + std::to_string(i));
    expected.push_back("1.3.6.1.2.1.4.1.0");
    expected.push_back("1.3.6.1.2.1.4.2.1");
    expected.push_back("1.3.6.1.2.1.4.2.2");
    expected.push_back("1.3.6.1.2.1.11.30.0");
    expected.push_back(dotted(O("ENT.2.1.1.1.0")));
    for (int c = 2; c <= 3; ++c)
        for (int i = 1; i <= 2; ++i)
            for (int j = 1; j <= 3; ++j)
                expected.push_back(dotted(O("ENT.2.1.1.3.1." + std::to_string(c) + "." + std::to_string(i) + "." +
                                            std::to_string(j))));
    expected.push_back(dotted(O("ENT.4.2.3.1.1.0")));
    expected.push_back(dotted(O("ENT.4.2.6.1.1.0")));
    for (int i = 1; i <= 2; ++i)
        for (int j = 1; j <= 2; ++j)
            expected.push_back(dotted(O("ENT.4.2.6.7.3.1.5." + std::to_string(i) + "." + std::to_string(j))));
    EXPECT_EQ(expected, names);
}

TEST_F(MibLookup, GetNextIntoAnUnservedFirstObjectWalksOn)
{
    g_mib_stub[10].refuse = 1;  // the first object of "dms"
    found f = Look("ENT.4.2.3", MIB_GETNEXT);
    EXPECT_EQ(dotted(O("ENT.4.2.6.1.1.0")), f.name);
    EXPECT_EQ(11u, f.value);
}

TEST_F(MibLookup, VisitLimitEndsARunawaySearch)
{
    static const uint32_t runaway[] = {1, 3, 6, 1, 2, 1, 1, 1, 255};
    static const uint32_t scalar[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
    static const uint32_t next[] = {1, 3, 6, 1, 4, 1, 1206, 2, 1, 1, 1, 0};
    static const mib_variable clsb[] = {mib_row(scalar, MIB_INTEGER, 1, MIB_READ_ONLY, var_stub_scalar),
                                        mib_row(runaway, MIB_INTEGER, 2, MIB_READ_ONLY, var_stub_carry, 2)};
    static const mib_variable aux[] = {mib_row(next, MIB_INTEGER, 3, MIB_READ_ONLY, var_stub_scalar)};
    static const mib_group g1{"cls b", clsb, 2}, g2{"auxio", aux, 1};
    const mib_group* const groups[] = {&g1, &g2};
    ASSERT_EQ(1, snmp_mib_build(groups, 2));
    mib_stub_reset();
    g_mib_stub[3].value = 33;

    trace_capture trace;
    found f = Look("1.3.6.1.2.1.1.1.0", MIB_GETNEXT);
    EXPECT_TRUE(trace.contains("timed out finding next object\n"));
    EXPECT_EQ(dotted(O("ENT.2.1.1.1.0")), f.name);  // the walk goes on with the next subtree
    EXPECT_EQ(33u, f.value);
    EXPECT_EQ(MIB_VISIT_LIMIT, g_mib_stub_calls);  // 999 calls of the runaway row, one that answers
}

TEST_F(MibLookup, SetChecks)
{
    struct {
        const char* what;
        const char* name;
        uint16_t syntax;
        uint32_t integer;
        std::string bytes;
        uint32_t mask;
        uint32_t error;
        uint8_t column;
        uint32_t commits;
    } cases[] = {
        {"in range", "1.3.6.1.2.1.1.2.0", SNMP_INTEGER, 255, "", 0x800000, 0, 1, 1},
        {"out of range", "1.3.6.1.2.1.1.2.0", SNMP_INTEGER, 256, "", 0x800000, 10, 1, 0},
        {"wrong syntax", "1.3.6.1.2.1.1.2.0", SNMP_OCTET_STRING, 0, "x", 0x800000, 10, 1, 0},
        {"mask shares no bit", "1.3.6.1.2.1.1.2.0", SNMP_INTEGER, 5, "", 0x400000, 2, 1, 0},
        {"administrator", "1.3.6.1.2.1.1.2.0", SNMP_INTEGER, 5, "", 0xFFFFFFFF, 0, 1, 1},
        {"value listed", "1.3.6.1.2.1.1.3.0", SNMP_INTEGER, 5, "", 0, 0, 2, 1},
        {"value not listed", "1.3.6.1.2.1.1.3.0", SNMP_INTEGER, 4, "", 0, 10, 2, 0},
        {"length 12", "1.3.6.1.2.1.1.4.0", SNMP_OCTET_STRING, 0, "123456789012", 0, 0, 3, 1},
        {"length 11", "1.3.6.1.2.1.1.4.0", SNMP_OCTET_STRING, 0, "12345678901", 0, 10, 3, 0},
        {"table row", "ENT.2.1.1.3.1.2.2.1", SNMP_INTEGER, 1, "", 0, 0, 8, 1},
        {"table index 0", "ENT.2.1.1.3.1.2.0.1", SNMP_INTEGER, 1, "", 0, 2, 8, 0},
    };
    for (const auto& c : cases) {
        stub::build();
        g_snmp_community_mask = c.mask;
        trace_capture trace;
        found f = Set(c.name, c.syntax, c.integer, c.bytes);
        EXPECT_EQ(c.error, f.error) << c.what;
        EXPECT_EQ(c.commits, g_mib_stub[c.column].commits) << c.what;
        EXPECT_EQ(c.mask == 0x400000, trace.contains("access denied, zezaro\n")) << c.what;
        if (c.column == 8 && c.commits) {
            EXPECT_EQ(2u, g_mib_stub[8].last_index[0]);
        }
    }
}

TEST_F(MibLookup, BadValueStillCallsTheHandlerButWritesNothing)
{
    g_snmp_set_value.integer = 256;
    g_snmp_commit_indicator = 0;
    found f = Look("1.3.6.1.2.1.1.2.0", MIB_SET, SNMP_INTEGER);
    EXPECT_EQ(MIB_ERR_BAD_VALUE, f.error);
    EXPECT_TRUE(f.served);
    ASSERT_EQ(1u, g_mib_stub_calls);
    EXPECT_EQ(MIB_SET, g_mib_stub_log[0].operation);
    EXPECT_EQ(0, g_mib_stub_log[0].commit);
    EXPECT_EQ(0u, g_mib_stub[1].commits);
}

TEST_F(MibLookup, ReadOnlyRowsAreServedAsGets)
{
    // Access 1 and access 3: the handler sees a get, the lookup reports read-only.
    for (const char* name : {"1.3.6.1.2.1.1.1.0", "ENT.2.1.1.1.0"}) {
        mib_stub_reset();
        stub::build();
        found f = Set(name, name[0] == '1' ? SNMP_OCTET_STRING : SNMP_INTEGER, 1, "abc");
        EXPECT_EQ(MIB_ERR_NONE, f.error) << name;
        EXPECT_EQ(MIB_READ_ONLY, f.access) << name;
        ASSERT_EQ(2u, g_mib_stub_calls) << name;
        EXPECT_EQ(MIB_GET, g_mib_stub_log[1].operation) << name;
        EXPECT_EQ(0u, g_mib_stub[0].commits + g_mib_stub[7].commits) << name;
    }
}

TEST_F(MibLookup, WriteOverrideOpensAccess3RowsWithoutChecks)
{
    snmp_mib_set_write_override(1);
    found f = Set("ENT.2.1.1.1.0", SNMP_OCTET_STRING, 0, "not an integer");
    EXPECT_EQ(MIB_ERR_NONE, f.error);  // syntax and constraint are not checked
    EXPECT_EQ(MIB_READ_WRITE, f.access);
    EXPECT_EQ(1u, g_mib_stub[7].commits);
    EXPECT_EQ(MIB_READ_WRITE, Look("ENT.2.1.1.1.0", MIB_GET).access);
    EXPECT_EQ(MIB_READ_ONLY, Look("1.3.6.1.2.1.1.1.0", MIB_GET).access);  // access 1 stays

    snmp_mib_set_write_override(0);
    mib_stub_reset();
    f = Set("ENT.2.1.1.1.0", SNMP_INTEGER, 5);
    EXPECT_EQ(MIB_READ_ONLY, f.access);
    EXPECT_EQ(0u, g_mib_stub[7].commits);
}

TEST_F(MibLookup, HandlerRefusalIsNoSuchName)
{
    g_mib_stub[1].refuse = 1;
    trace_capture trace;
    found f = Look("1.3.6.1.2.1.1.2.0", MIB_GET);
    EXPECT_EQ(MIB_ERR_NO_SUCH_NAME, f.error);
    EXPECT_EQ(MIB_INTEGER, f.type);  // the row that refused
    EXPECT_TRUE(trace.contains("No Such Name #13\n"));
}

}  // namespace
