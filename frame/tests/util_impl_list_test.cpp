#include "frame/util/impl_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Records its own destruction so tests can see which nodes the list deleted.
struct probe : impl::node {
    probe(uint32_t k, bool own, std::vector<uint32_t>* log) : impl::node(k, own), log_(log) {}
    ~probe() override { log_->push_back(key); }
    std::vector<uint32_t>* log_;
};

class ImplListTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(1, l.open()); }

    probe* owned(uint32_t k) { return new probe(k, true, &destroyed); }

    std::vector<uint32_t> keys() const
    {
        std::vector<uint32_t> v;
        const impl::node* prev = nullptr;
        for (impl::list::iterator it(&l); it.current(); it.next()) {
            EXPECT_EQ(prev, it.current()->prev);
            v.push_back(it.current()->key);
            prev = it.current();
        }
        EXPECT_EQ(prev, l.tail());
        EXPECT_EQ(v.size(), l.count());
        return v;
    }

    std::vector<uint32_t> destroyed;  // declared first: outlives the list
    impl::list l;
};

using keys_t = std::vector<uint32_t>;

TEST(ImplList, RefusesWorkUntilOpened)
{
    std::vector<uint32_t> log;
    impl::list l;
    probe n(1, false, &log);
    uint32_t key = 1;
    EXPECT_EQ(impl::list::CONSTRUCTED, l.state());
    EXPECT_EQ(0, l.push_back(&n));
    EXPECT_EQ(0, l.push_front(&n));
    EXPECT_EQ(0, l.pop_front());
    EXPECT_EQ(0, l.remove(&n));
    EXPECT_EQ(nullptr, l.find(&key));
    EXPECT_EQ(0, l.clear());
    EXPECT_EQ(0u, l.count());

    EXPECT_EQ(1, l.open());
    EXPECT_EQ(0, l.open());
    EXPECT_EQ(impl::list::OPEN, l.state());
    EXPECT_EQ(1, l.push_back(&n));
    EXPECT_EQ(1, l.clear());
    EXPECT_EQ(impl::list::CLEARED, l.state());
    EXPECT_EQ(0, l.push_back(&n));  // cleared is closed again
    EXPECT_EQ(1, l.open());
    EXPECT_TRUE(log.empty());  // unowned node never destroyed
}

TEST_F(ImplListTest, PushFrontAndBackOrder)
{
    probe a(1, false, &destroyed), b(2, false, &destroyed), c(3, false, &destroyed);
    EXPECT_EQ(1, l.push_back(&b));
    EXPECT_EQ(1, l.push_front(&a));
    EXPECT_EQ(1, l.push_back(&c));
    EXPECT_EQ((keys_t{1, 2, 3}), keys());
    EXPECT_EQ(nullptr, l.head()->prev);
    EXPECT_EQ(nullptr, l.tail()->next);
    EXPECT_EQ(0, l.push_back(nullptr));
    EXPECT_EQ(0, l.push_front(nullptr));
    l.clear();
}

TEST_F(ImplListTest, LinkedNodeCannotBePushedAgain)
{
    probe a(1, false, &destroyed), b(2, false, &destroyed);
    ASSERT_EQ(1, l.push_back(&a));
    EXPECT_EQ(0, l.push_back(&a));  // sole node: no links but is the head
    ASSERT_EQ(1, l.push_back(&b));
    EXPECT_EQ(0, l.push_front(&b));

    impl::list other;
    other.open();
    EXPECT_EQ(0, other.push_back(&a));
    EXPECT_EQ((keys_t{1, 2}), keys());
    l.clear();
}

TEST_F(ImplListTest, PopFrontDestroysOnlyOwnedNodes)
{
    probe plain(1, false, &destroyed);
    ASSERT_EQ(1, l.push_back(&plain));
    ASSERT_EQ(1, l.push_back(owned(2)));
    ASSERT_EQ(1, l.push_back(owned(3)));

    EXPECT_EQ(1, l.pop_front());
    EXPECT_TRUE(destroyed.empty());
    EXPECT_EQ(nullptr, plain.next);  // unlinked cleanly, can be reused
    EXPECT_EQ(1, l.pop_front());
    EXPECT_EQ((keys_t{2}), destroyed);
    EXPECT_EQ((keys_t{3}), keys());
    EXPECT_EQ(1, l.pop_front());
    EXPECT_EQ(nullptr, l.head());
    EXPECT_EQ(nullptr, l.tail());
    EXPECT_EQ(0u, l.count());
    EXPECT_EQ(0, l.pop_front());

    EXPECT_EQ(1, l.push_front(&plain));
    EXPECT_EQ((keys_t{1}), keys());
    l.clear();
}

TEST_F(ImplListTest, RemoveAnywhere)
{
    probe a(1, false, &destroyed), c(3, false, &destroyed);
    ASSERT_EQ(1, l.push_back(&a));
    probe* b = owned(2);
    ASSERT_EQ(1, l.push_back(b));
    ASSERT_EQ(1, l.push_back(&c));
    probe* d = owned(4);
    ASSERT_EQ(1, l.push_back(d));

    EXPECT_EQ(1, l.remove(b));  // middle, owned
    EXPECT_EQ((keys_t{2}), destroyed);
    EXPECT_EQ((keys_t{1, 3, 4}), keys());
    EXPECT_EQ(1, l.remove(d));  // tail
    EXPECT_EQ((keys_t{1, 3}), keys());
    EXPECT_EQ(1, l.remove(&a));  // head, unowned
    EXPECT_EQ((keys_t{3}), keys());
    EXPECT_EQ(0, l.remove(&a));  // already out
    EXPECT_EQ(0, l.remove(nullptr));
    EXPECT_EQ((keys_t{3}), keys());
    EXPECT_EQ(1, l.remove(&c));
    EXPECT_EQ(0, l.remove(&c));
    EXPECT_EQ(keys_t{}, keys());
}

TEST_F(ImplListTest, RemoveRefusesNodeOfAnotherList)
{
    impl::list other;
    other.open();
    probe a(1, false, &destroyed), x(9, false, &destroyed), y(8, false, &destroyed);
    ASSERT_EQ(1, l.push_back(&a));
    ASSERT_EQ(1, other.push_back(&x));
    ASSERT_EQ(1, other.push_back(&y));
    EXPECT_EQ(0, l.remove(&x));
    EXPECT_EQ(0, l.remove(&y));
    EXPECT_EQ((keys_t{1}), keys());
    EXPECT_EQ(2u, other.count());
    other.clear();
    l.clear();
}

TEST_F(ImplListTest, FindFirstMatchFromHead)
{
    probe a(5, false, &destroyed), b(7, false, &destroyed), c(7, false, &destroyed);
    l.push_back(&a);
    l.push_back(&b);
    l.push_back(&c);
    uint32_t seven = 7, five = 5, absent = 6;
    EXPECT_EQ(&b, l.find(&seven));
    EXPECT_EQ(&a, l.find(&five));
    EXPECT_EQ(nullptr, l.find(&absent));
    EXPECT_EQ(nullptr, l.find(nullptr));
    l.clear();
    EXPECT_EQ(nullptr, l.find(&five));
}

TEST_F(ImplListTest, ClearAndDestructorDeleteOwnedNodes)
{
    probe plain(1, false, &destroyed);
    l.push_back(owned(2));
    l.push_back(&plain);
    l.push_back(owned(3));
    EXPECT_EQ(1, l.clear());
    EXPECT_EQ((keys_t{2, 3}), destroyed);
    EXPECT_EQ(0u, l.count());
    EXPECT_EQ(nullptr, plain.prev);

    destroyed.clear();
    {
        auto* heap_list = new impl::list;
        heap_list->open();
        heap_list->push_back(owned(4));
        heap_list->push_back(owned(5));
        delete heap_list;
    }
    EXPECT_EQ((keys_t{4, 5}), destroyed);
}

TEST_F(ImplListTest, Iterator)
{
    impl::list::iterator empty(&l);
    EXPECT_EQ(nullptr, empty.current());
    EXPECT_FALSE(empty.next());

    impl::list::iterator none(nullptr);
    EXPECT_EQ(nullptr, none.current());
    EXPECT_FALSE(none.next());

    probe a(1, false, &destroyed), b(2, false, &destroyed);
    l.push_back(&a);
    l.push_back(&b);
    impl::list::iterator it(&l);
    EXPECT_EQ(&a, it.current());
    EXPECT_TRUE(it.next());
    EXPECT_EQ(&b, it.current());
    EXPECT_FALSE(it.next());
    EXPECT_EQ(nullptr, it.current());

    EXPECT_EQ(0, it.reset(nullptr));
    EXPECT_EQ(1, it.reset(&l));
    EXPECT_EQ(&a, it.current());
    EXPECT_EQ(1, empty.reset(&l));
    EXPECT_EQ(&a, empty.current());
    l.clear();
}

} // namespace
