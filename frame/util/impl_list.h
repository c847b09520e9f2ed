#pragma once
// Intrusive doubly linked list: the links live in the nodes, so the list
// itself never allocates. A node whose owned flag is set belongs to the list
// and is deleted when the list unlinks it.
//
// Operations return 1 on success and 0 when refused.

#include <cstdint>

namespace impl {

class list;

class node {
public:
    node() = default;
    explicit node(uint32_t key_value, bool is_owned = false) : key(key_value), owned(is_owned ? 1 : 0) {}
    virtual ~node() = default;

    node(const node&) = delete;
    node& operator=(const node&) = delete;

    uint32_t key = 0;
    node* prev = nullptr;
    node* next = nullptr;
    uint8_t owned = 0;
};

class list {
public:
    enum : uint8_t { CONSTRUCTED = 0, CLEARED = 1, OPEN = 2 };

    list() = default;
    virtual ~list();

    list(const list&) = delete;
    list& operator=(const list&) = delete;

    int open();
    int clear();
    int push_front(node* n);
    int push_back(node* n);
    int pop_front();
    int remove(node* n);
    node* find(const uint32_t* key) const;

    node* head() const { return head_; }
    node* tail() const { return tail_; }
    uint8_t state() const { return state_; }
    uint32_t count() const { return count_; }

    class iterator {
    public:
        explicit iterator(const list* l) : list_(l), current_(l ? l->head_ : nullptr) {}
        node* current() const { return current_; }
        bool next();
        int reset(const list* l);

    private:
        const list* list_;
        node* current_;
    };

private:
    bool links_here(const node* n) const;
    void unlink(node* n);

    node* head_ = nullptr;
    node* tail_ = nullptr;
    uint8_t state_ = CONSTRUCTED;
    uint32_t count_ = 0;
};

} // namespace impl
