#include "util/aud_expiry.h"

#include <cstdlib>
#include <initializer_list>
#include <new>

#include "platform/aud_time.h"
#include "util/aud_list.h"

namespace {

struct Entry {
    aud_list_node node;
    int64_t seen;
};

// The data block follows its entry, aligned for any type.
constexpr size_t kDataOffset = (sizeof(Entry) + alignof(std::max_align_t) - 1) /
                               alignof(std::max_align_t) * alignof(std::max_align_t);

void* dataOf(Entry* entry) {
    return reinterpret_cast<unsigned char*>(entry) + kDataOffset;
}

Entry* entryOf(void* data) {
    return reinterpret_cast<Entry*>(static_cast<unsigned char*>(data) - kDataOffset);
}

int64_t monotonicSeconds(void*) {
    aud_time now{};
    aud_time_get_monotonic(&now);
    return now.seconds;
}

}  // namespace

struct aud_expiry_list {
    void* owner;
    aud_expiry_callback callback;
    int64_t max_age;
    aud_list entries;
    aud_list expiring;  // unlinked by aud_expiry_list_expire, not yet reported
    aud_expiry_clock clock;
    void* clock_context;
};

namespace {

int64_t nowSeconds(const aud_expiry_list* list) {
    return list->clock(list->clock_context);
}

}  // namespace

aud_error_t aud_expiry_list_new(void* owner, aud_expiry_list** list) {
    if (!list) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    aud_expiry_list* created = new (std::nothrow)
        aud_expiry_list{owner, nullptr, AUD_EXPIRY_MAX_AGE, {}, {}, monotonicSeconds, nullptr};
    if (!created) {
        return AUD_ERR_NOMEMORY;
    }
    aud_list_init(&created->entries);
    aud_list_init(&created->expiring);
    *list = created;
    return AUD_SUCCESS;
}

void aud_expiry_list_free(aud_expiry_list* list) {
    if (list) {
        aud_expiry_list_clear(list);
        delete list;
    }
}

size_t aud_expiry_list_count(const aud_expiry_list* list) {
    return list ? list->entries.count + list->expiring.count : 0;
}

void aud_expiry_list_set_callback(aud_expiry_list* list, aud_expiry_callback callback) {
    list->callback = callback;
}

void aud_expiry_list_set_max_age(aud_expiry_list* list, int64_t seconds) {
    list->max_age = seconds;
}

void aud_expiry_list_set_clock(aud_expiry_list* list, aud_expiry_clock clock, void* context) {
    list->clock = clock ? clock : monotonicSeconds;
    list->clock_context = clock ? context : nullptr;
}

void aud_expiry_list_clear(aud_expiry_list* list) {
    for (aud_list* entries : {&list->entries, &list->expiring}) {
        while (entries->head) {
            Entry* entry = static_cast<Entry*>(entries->head->item);
            aud_list_remove(&entry->node);
            std::free(entry);
        }
    }
}

aud_error_t aud_expiry_list_add(aud_expiry_list* list, size_t size, void** data) {
    if (!list || !data || size > SIZE_MAX - kDataOffset) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    Entry* entry = static_cast<Entry*>(std::calloc(1, kDataOffset + size));
    if (!entry) {
        return AUD_ERR_NOMEMORY;
    }
    aud_list_node_init(&entry->node, entry);
    entry->seen = nowSeconds(list);
    aud_list_append(&list->entries, &entry->node);
    *data = dataOf(entry);
    return AUD_SUCCESS;
}

void aud_expiry_list_touch(aud_expiry_list* list, void* data) {
    entryOf(data)->seen = nowSeconds(list);
}

void aud_expiry_list_remove(aud_expiry_list*, void* data) {
    Entry* entry = entryOf(data);
    aud_list_remove(&entry->node);
    std::free(entry);
}

void* aud_expiry_list_next(const aud_expiry_list* list, void* data) {
    const aud_list_node* at = data ? &entryOf(data)->node : nullptr;
    aud_list_node* node = at ? at->next : list->entries.head;
    // Entries waiting for their expiry report are still listed, after the others.
    if (!node && (!at || at->list == &list->entries)) {
        node = list->expiring.head;
    }
    return node ? dataOf(static_cast<Entry*>(node->item)) : nullptr;
}

void aud_expiry_list_expire(aud_expiry_list* list) {
    const int64_t now = nowSeconds(list);
    // Unlinks the expired entries first: a callback may remove or clear any entry, these too.
    aud_list_node* node = list->entries.head;
    while (node) {
        Entry* entry = static_cast<Entry*>(node->item);
        node = node->next;
        if (now - entry->seen >= list->max_age) {
            aud_list_append(&list->expiring, &entry->node);
        }
    }
    while (list->expiring.head) {
        Entry* entry = static_cast<Entry*>(list->expiring.head->item);
        aud_list_remove(&entry->node);
        if (list->callback) {
            list->callback(list->owner, AUD_EXPIRY_REMOVED, dataOf(entry));
        }
        std::free(entry);
    }
}
