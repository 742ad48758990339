#include "util/dt_queue.h"

#include <new>
#include <vector>

namespace {

struct Entry {
    dt_queue_callback callback;
    void* context;
};

}  // namespace

struct dt_queue {
    size_t capacity;
    std::vector<Entry> buffers[2];
    int filling;  // the buffer that takes new callbacks
};

aud_error_t dt_queue_new(size_t capacity, dt_queue** queue) {
    if (!queue || capacity == 0) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    dt_queue* created = new (std::nothrow) dt_queue{capacity, {}, 0};
    if (!created) {
        return AUD_ERR_NOMEMORY;
    }
    *queue = created;
    return AUD_SUCCESS;
}

void dt_queue_free(dt_queue* queue) {
    delete queue;
}

aud_error_t dt_queue_add(dt_queue* queue, dt_queue_callback callback, void* context) {
    if (!queue || !callback) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    std::vector<Entry>& buffer = queue->buffers[queue->filling];
    if (buffer.size() >= queue->capacity) {
        return AUD_ERR_NOBUFS;
    }
    buffer.push_back({callback, context});
    return AUD_SUCCESS;
}

aud_error_t dt_queue_run(dt_queue* queue, size_t* count) {
    if (!queue) {
        return AUD_ERR_NOTINITIALISED;
    }
    const int running = queue->filling;
    queue->filling = 1 - running;
    std::vector<Entry> entries;
    entries.swap(queue->buffers[running]);
    const uint32_t top = running == 0 ? uint32_t{DT_QUEUE_FIRST_BUFFER} : 0u;
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].callback(static_cast<uint32_t>(i + 1) | top, entries[i].context);
    }
    if (count) {
        *count = entries.size();
    }
    return AUD_SUCCESS;
}
