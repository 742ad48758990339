#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/aud_error.h"

// A double-buffered queue of callbacks: callbacks queued while the queue runs wait for the
// next run.
struct dt_queue;

// position: 1-based, with DT_QUEUE_FIRST_BUFFER set when the first buffer is running.
typedef void (*dt_queue_callback)(uint32_t position, void* context);

enum : uint32_t { DT_QUEUE_FIRST_BUFFER = 0x80000000u };

// A queue of at most capacity callbacks per buffer.
aud_error_t dt_queue_new(size_t capacity, dt_queue** queue);
void dt_queue_free(dt_queue* queue);
// 35 (no buffers) when the buffer is full.
aud_error_t dt_queue_add(dt_queue* queue, dt_queue_callback callback, void* context);
// Runs every queued callback once; *count (may be null) their number. 41 without a queue.
aud_error_t dt_queue_run(dt_queue* queue, size_t* count);
