#include "frame/util/impl_list.h"

namespace impl {

list::~list()
{
    clear();
}

int list::open()
{
    if (state_ == OPEN)
        return 0;
    head_ = nullptr;
    tail_ = nullptr;
    count_ = 0;
    state_ = OPEN;
    return 1;
}

int list::clear()
{
    if (state_ < OPEN)
        return 0;
    while (pop_front()) {
    }
    state_ = CLEARED;
    return 1;
}

int list::push_front(node* n)
{
    // A node that still carries links is in some list already; linking it
    // again would corrupt both.
    if (!n || state_ != OPEN || n->prev || n->next || n == head_)
        return 0;
    n->next = head_;
    if (head_)
        head_->prev = n;
    else
        tail_ = n;
    head_ = n;
    count_++;
    return 1;
}

int list::push_back(node* n)
{
    if (!n || state_ != OPEN || n->prev || n->next || n == head_)
        return 0;
    n->prev = tail_;
    if (tail_)
        tail_->next = n;
    else
        head_ = n;
    tail_ = n;
    count_++;
    return 1;
}

int list::pop_front()
{
    if (state_ != OPEN || !head_)
        return 0;
    unlink(head_);
    return 1;
}

int list::remove(node* n)
{
    if (!n || state_ != OPEN || !links_here(n))
        return 0;
    unlink(n);
    return 1;
}

node* list::find(const uint32_t* key) const
{
    if (!key || state_ != OPEN)
        return nullptr;
    for (node* n = head_; n; n = n->next)
        if (n->key == *key)
            return n;
    return nullptr;
}

// Cheap check that catches removing a node twice or one from another list's
// end: an end of the chain must be our head or tail.
bool list::links_here(const node* n) const
{
    if (!head_)
        return false;
    if (!n->prev && n != head_)
        return false;
    if (!n->next && n != tail_)
        return false;
    return true;
}

void list::unlink(node* n)
{
    if (n->prev)
        n->prev->next = n->next;
    else
        head_ = n->next;
    if (n->next)
        n->next->prev = n->prev;
    else
        tail_ = n->prev;
    n->prev = nullptr;
    n->next = nullptr;
    count_--;
    if (n->owned)
        delete n;
}

bool list::iterator::next()
{
    if (!current_)
        return false;
    current_ = current_->next;
    return current_ != nullptr;
}

int list::iterator::reset(const list* l)
{
    if (!l)
        return 0;
    list_ = l;
    current_ = l->head_;
    return 1;
}

} // namespace impl
