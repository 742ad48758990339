#pragma once

#include <cstddef>

// Intrusive doubly linked list: nodes live inside the listed records. A node belongs to at
// most one list; inserting it removes it from its list first.
struct aud_list_node;

struct aud_list {
    size_t count;
    aud_list_node* head;
    aud_list_node* tail;
};

struct aud_list_node {
    aud_list* list;  // null while in no list
    aud_list_node* next;
    aud_list_node* prev;
    void* item;  // the listed record
};

void aud_list_init(aud_list* list);
void aud_list_node_init(aud_list_node* node, void* item);

void aud_list_append(aud_list* list, aud_list_node* node);
void aud_list_prepend(aud_list* list, aud_list_node* node);
// Inserts node after after (a node of list); null after inserts at the head.
void aud_list_insert_after(aud_list* list, aud_list_node* after, aud_list_node* node);
// Unlinks node from its list; a node in no list is left alone.
void aud_list_remove(aud_list_node* node);
