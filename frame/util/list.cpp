#include "frame/util/list.h"

#include <cstring>
#include <new>

namespace {

constexpr char magic_live[4] = {'L', 'I', 'S', 'T'};
constexpr char magic_dead[4] = {'U', 'I', 'S', 'T'};

bool is_live(const LIST* list)
{
    return std::memcmp(list->magic, magic_live, sizeof magic_live) == 0;
}

// The count is 16 bits wide: a full list is treated like an exhausted heap
// so the count can never wrap.
list_node* new_node(const LIST* list)
{
    if (list->count == UINT16_MAX)
        return nullptr;
    return new (std::nothrow) list_node{0, nullptr, nullptr};
}

} // namespace

int list_init(LIST* list, uint8_t type, uint8_t flags)
{
    if (!list)
        return LIST_ERR_NULL;
    if (is_live(list))
        return LIST_ERR_ALREADY_INIT;
    if (type != LIST_TYPE || flags != 0)
        return LIST_ERR_TYPE;
    list->type = type;
    list->flags = flags;
    list->count = 0;
    list->head = nullptr;
    list->tail = nullptr;
    std::memcpy(list->magic, magic_live, sizeof magic_live);
    return LIST_OK;
}

int list_destroy(LIST* list)
{
    if (!list)
        return LIST_ERR_NULL;
    if (!is_live(list))
        return LIST_ERR_MAGIC;
    // Stops once the head is null (list_remove refuses it).
    while (list_remove(list, list->head) == LIST_OK) {
    }
    std::memcpy(list->magic, magic_dead, sizeof magic_dead);
    return LIST_OK;
}

int list_add(LIST* list, list_node** node_out)
{
    if (!list || !node_out)
        return LIST_ERR_NULL;
    if (!is_live(list))
        return LIST_ERR_MAGIC;
    if (list->tail)
        return list_insert_after(list, list->tail, node_out);
    return list_insert_head(list, node_out);
}

int list_remove(LIST* list, list_node* node)
{
    if (!list || !node)
        return LIST_ERR_NULL;
    if (!is_live(list))
        return LIST_ERR_MAGIC;
    if (!list->head)
        return LIST_ERR_EMPTY;
    if (node->prev)
        node->prev->next = node->next;
    else
        list->head = node->next;
    if (node->next)
        node->next->prev = node->prev;
    else
        list->tail = node->prev;
    delete node;
    list->count--;
    return LIST_OK;
}

int list_insert_after(LIST* list, list_node* node, list_node** node_out)
{
    if (!list || !node || !node_out)
        return LIST_ERR_NULL;
    if (!is_live(list))
        return LIST_ERR_MAGIC;
    list_node* n = new_node(list);
    if (!n)
        return LIST_ERR_NO_MEMORY;
    n->prev = node;
    n->next = node->next;
    if (node->next)
        node->next->prev = n;
    else
        list->tail = n;
    node->next = n;
    list->count++;
    *node_out = n;
    return LIST_OK;
}

int list_insert_head(LIST* list, list_node** node_out)
{
    if (!list || !node_out)
        return LIST_ERR_NULL;
    if (!is_live(list))
        return LIST_ERR_MAGIC;
    if (list->head)
        return list_insert_before(list, list->head, node_out);
    list_node* n = new_node(list);
    if (!n)
        return LIST_ERR_NO_MEMORY;
    list->head = n;
    list->tail = n;
    list->count++;
    *node_out = n;
    return LIST_OK;
}

int list_insert_before(LIST* list, list_node* node, list_node** node_out)
{
    if (!list || !node || !node_out)
        return LIST_ERR_NULL;
    if (!is_live(list))
        return LIST_ERR_MAGIC;
    list_node* n = new_node(list);
    if (!n)
        return LIST_ERR_NO_MEMORY;
    n->next = node;
    n->prev = node->prev;
    if (node->prev)
        node->prev->next = n;
    else
        list->head = n;
    node->prev = n;
    list->count++;
    *node_out = n;
    return LIST_OK;
}
