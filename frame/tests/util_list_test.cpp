#include "frame/util/list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <vector>

// Lets a test make the next nothrow allocations fail. Everything else goes
// to the normal allocator, so new/delete stay paired for the sanitizer.
namespace {
int fail_nothrow_new = 0;
}

void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    if (fail_nothrow_new > 0) {
        --fail_nothrow_new;
        return nullptr;
    }
    try {
        return ::operator new(n);
    } catch (...) {
        return nullptr;
    }
}

namespace {

class ListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memset(&list, 0, sizeof list);
        ASSERT_EQ(LIST_OK, list_init(&list, LIST_TYPE, 0));
    }
    void TearDown() override
    {
        fail_nothrow_new = 0;
        if (std::memcmp(list.magic, "LIST", 4) == 0) {
            EXPECT_EQ(LIST_OK, list_destroy(&list));
        }
    }

    list_node* add(uintptr_t item)
    {
        list_node* n = nullptr;
        EXPECT_EQ(LIST_OK, list_add(&list, &n));
        if (n)
            n->item = item;
        return n;
    }

    // Items head to tail, after checking that both link directions, the
    // ends and the count agree.
    std::vector<uintptr_t> items()
    {
        std::vector<uintptr_t> v;
        list_node* prev = nullptr;
        for (list_node* n = list.head; n; n = n->next) {
            EXPECT_EQ(prev, n->prev);
            v.push_back(n->item);
            prev = n;
        }
        EXPECT_EQ(prev, list.tail);
        EXPECT_EQ(v.size(), list.count);
        return v;
    }

    LIST list;
};

using items_t = std::vector<uintptr_t>;

TEST_F(ListTest, InitSetsEmptyHeader)
{
    EXPECT_EQ(0, std::memcmp(list.magic, "LIST", 4));
    EXPECT_EQ(1, list.type);
    EXPECT_EQ(0, list.flags);
    EXPECT_EQ(nullptr, list.head);
    EXPECT_EQ(items_t{}, items());
}

TEST_F(ListTest, InitRefusals)
{
    EXPECT_EQ(LIST_ERR_NULL, list_init(nullptr, LIST_TYPE, 0));
    EXPECT_EQ(LIST_ERR_ALREADY_INIT, list_init(&list, LIST_TYPE, 0));

    LIST other;
    std::memset(&other, 0, sizeof other);
    EXPECT_EQ(LIST_ERR_TYPE, list_init(&other, 2, 0));
    EXPECT_EQ(LIST_ERR_TYPE, list_init(&other, LIST_TYPE, 1));
    EXPECT_NE(0, std::memcmp(other.magic, "LIST", 4));
}

TEST_F(ListTest, InsertionsKeepOrderAndLinks)
{
    list_node* a = add(1);
    list_node* c = add(3);
    list_node* n = nullptr;
    ASSERT_EQ(LIST_OK, list_insert_after(&list, a, &n));
    n->item = 2;
    ASSERT_EQ(LIST_OK, list_insert_after(&list, c, &n));  // after the tail
    n->item = 4;
    EXPECT_EQ(n, list.tail);
    ASSERT_EQ(LIST_OK, list_insert_before(&list, a, &n));  // before the head
    n->item = 0;
    EXPECT_EQ(n, list.head);
    ASSERT_EQ(LIST_OK, list_insert_before(&list, c, &n));
    n->item = 25;
    ASSERT_EQ(LIST_OK, list_insert_head(&list, &n));
    n->item = 99;
    EXPECT_EQ((items_t{99, 0, 1, 2, 25, 3, 4}), items());
}

TEST_F(ListTest, InsertHeadOnEmptyListMakesSoleNode)
{
    list_node* n = nullptr;
    ASSERT_EQ(LIST_OK, list_insert_head(&list, &n));
    EXPECT_EQ(n, list.head);
    EXPECT_EQ(n, list.tail);
    EXPECT_EQ(nullptr, n->next);
    EXPECT_EQ(nullptr, n->prev);
    EXPECT_EQ(1, list.count);
}

TEST_F(ListTest, RemoveFixesEnds)
{
    list_node* a = add(1);
    list_node* b = add(2);
    list_node* c = add(3);
    list_node* d = add(4);
    ASSERT_EQ(LIST_OK, list_remove(&list, b));  // middle
    EXPECT_EQ((items_t{1, 3, 4}), items());
    ASSERT_EQ(LIST_OK, list_remove(&list, a));  // head
    EXPECT_EQ((items_t{3, 4}), items());
    ASSERT_EQ(LIST_OK, list_remove(&list, d));  // tail
    EXPECT_EQ((items_t{3}), items());
    ASSERT_EQ(LIST_OK, list_remove(&list, c));  // only node
    EXPECT_EQ(items_t{}, items());
    EXPECT_EQ(nullptr, list.head);
    EXPECT_EQ(nullptr, list.tail);

    list_node stray{};
    EXPECT_EQ(LIST_ERR_EMPTY, list_remove(&list, &stray));
}

TEST_F(ListTest, NullArgumentsRefusedFirst)
{
    list_node* n = add(1);
    list_node* out = nullptr;
    EXPECT_EQ(LIST_ERR_NULL, list_destroy(nullptr));
    EXPECT_EQ(LIST_ERR_NULL, list_add(nullptr, &out));
    EXPECT_EQ(LIST_ERR_NULL, list_add(&list, nullptr));
    EXPECT_EQ(LIST_ERR_NULL, list_remove(nullptr, n));
    EXPECT_EQ(LIST_ERR_NULL, list_remove(&list, nullptr));
    EXPECT_EQ(LIST_ERR_NULL, list_insert_after(&list, nullptr, &out));
    EXPECT_EQ(LIST_ERR_NULL, list_insert_after(&list, n, nullptr));
    EXPECT_EQ(LIST_ERR_NULL, list_insert_before(&list, nullptr, &out));
    EXPECT_EQ(LIST_ERR_NULL, list_insert_before(nullptr, n, &out));
    EXPECT_EQ(LIST_ERR_NULL, list_insert_head(&list, nullptr));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ((items_t{1}), items());
}

TEST_F(ListTest, DestroyedListRefusesAllButInit)
{
    add(1);
    add(2);
    ASSERT_EQ(LIST_OK, list_destroy(&list));  // frees both nodes (leak check)
    EXPECT_EQ(0, std::memcmp(list.magic, "UIST", 4));
    EXPECT_EQ(0, list.count);
    EXPECT_EQ(nullptr, list.head);

    list_node* out = nullptr;
    list_node stray{};
    EXPECT_EQ(LIST_ERR_MAGIC, list_destroy(&list));
    EXPECT_EQ(LIST_ERR_MAGIC, list_add(&list, &out));
    EXPECT_EQ(LIST_ERR_MAGIC, list_remove(&list, &stray));
    EXPECT_EQ(LIST_ERR_MAGIC, list_insert_after(&list, &stray, &out));
    EXPECT_EQ(LIST_ERR_MAGIC, list_insert_before(&list, &stray, &out));
    EXPECT_EQ(LIST_ERR_MAGIC, list_insert_head(&list, &out));
    EXPECT_EQ(nullptr, out);

    ASSERT_EQ(LIST_OK, list_init(&list, LIST_TYPE, 0));
    add(7);
    EXPECT_EQ((items_t{7}), items());
}

TEST(ListUninitialised, RefusedWithBadMagic)
{
    LIST l;
    std::memset(&l, 0, sizeof l);
    list_node* out = nullptr;
    EXPECT_EQ(LIST_ERR_MAGIC, list_add(&l, &out));
    EXPECT_EQ(LIST_ERR_MAGIC, list_destroy(&l));
}

TEST_F(ListTest, OutOfMemoryLeavesListUnchanged)
{
    list_node* a = add(1);
    add(2);
    list_node* out = nullptr;

    fail_nothrow_new = 1;
    EXPECT_EQ(LIST_ERR_NO_MEMORY, list_add(&list, &out));
    fail_nothrow_new = 1;
    EXPECT_EQ(LIST_ERR_NO_MEMORY, list_insert_after(&list, a, &out));
    fail_nothrow_new = 1;
    EXPECT_EQ(LIST_ERR_NO_MEMORY, list_insert_before(&list, a, &out));
    fail_nothrow_new = 1;
    EXPECT_EQ(LIST_ERR_NO_MEMORY, list_insert_head(&list, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ((items_t{1, 2}), items());

    ASSERT_EQ(LIST_OK, list_destroy(&list));
    ASSERT_EQ(LIST_OK, list_init(&list, LIST_TYPE, 0));
    fail_nothrow_new = 1;
    EXPECT_EQ(LIST_ERR_NO_MEMORY, list_add(&list, &out));  // first node
    EXPECT_EQ(items_t{}, items());
}

TEST_F(ListTest, CountNeverWraps)
{
    list_node* out = nullptr;
    for (uint32_t i = 0; i < UINT16_MAX; ++i)
        ASSERT_EQ(LIST_OK, list_add(&list, &out));
    EXPECT_EQ(UINT16_MAX, list.count);
    list_node* last = list.tail;
    EXPECT_EQ(LIST_ERR_NO_MEMORY, list_add(&list, &out));
    EXPECT_EQ(LIST_ERR_NO_MEMORY, list_insert_before(&list, list.head, &out));
    EXPECT_EQ(UINT16_MAX, list.count);
    EXPECT_EQ(last, list.tail);
}

} // namespace
