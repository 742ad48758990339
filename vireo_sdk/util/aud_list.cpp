#include "util/aud_list.h"

void aud_list_init(aud_list* list) {
    list->count = 0;
    list->head = nullptr;
    list->tail = nullptr;
}

void aud_list_node_init(aud_list_node* node, void* item) {
    node->list = nullptr;
    node->next = nullptr;
    node->prev = nullptr;
    node->item = item;
}

void aud_list_append(aud_list* list, aud_list_node* node) {
    aud_list_insert_after(list, list->tail, node);
}

void aud_list_prepend(aud_list* list, aud_list_node* node) {
    aud_list_insert_after(list, nullptr, node);
}

void aud_list_insert_after(aud_list* list, aud_list_node* after, aud_list_node* node) {
    if (node == after) {
        return;
    }
    aud_list_remove(node);
    node->list = list;
    node->prev = after;
    node->next = after ? after->next : list->head;
    if (node->next) {
        node->next->prev = node;
    } else {
        list->tail = node;
    }
    if (after) {
        after->next = node;
    } else {
        list->head = node;
    }
    ++list->count;
}

void aud_list_remove(aud_list_node* node) {
    aud_list* list = node->list;
    if (!list) {
        return;
    }
    if (node->prev) {
        node->prev->next = node->next;
    } else {
        list->head = node->next;
    }
    if (node->next) {
        node->next->prev = node->prev;
    } else {
        list->tail = node->prev;
    }
    --list->count;
    node->list = nullptr;
    node->next = nullptr;
    node->prev = nullptr;
}
