#pragma once
// LIST: a doubly linked list of item words whose nodes the list allocates
// from the heap. The caller stores its item into a node after creating it.

#include <cstdint>

struct list_node {
    uintptr_t item;
    list_node* next;
    list_node* prev;
};

struct LIST {
    char magic[4];  // "LIST" while initialised, "UIST" after list_destroy
    uint8_t type;   // always LIST_TYPE
    uint8_t flags;  // always 0
    uint16_t count;
    list_node* head;
    list_node* tail;
};

enum : uint8_t { LIST_TYPE = 1 };

enum : int {
    LIST_OK = 0,
    LIST_ERR_NULL = 1,
    LIST_ERR_EMPTY = 2,
    LIST_ERR_ALREADY_INIT = 3,
    LIST_ERR_MAGIC = 4,
    LIST_ERR_TYPE = 5,
    LIST_ERR_NO_MEMORY = 6,
};

int list_init(LIST* list, uint8_t type, uint8_t flags);
int list_destroy(LIST* list);
// Appends a node; *node_out receives it.
int list_add(LIST* list, list_node** node_out);
int list_remove(LIST* list, list_node* node);
int list_insert_after(LIST* list, list_node* node, list_node** node_out);
int list_insert_head(LIST* list, list_node** node_out);
int list_insert_before(LIST* list, list_node* node, list_node** node_out);
