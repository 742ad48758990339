#pragma once

#include <cstdint>

#include "platform/aud_error.h"
#include "platform/aud_log.h"

struct dt_loop;

// Ownership flags of an environment.
enum {
    AUD_ENV_FLAG_ALLOCATED = 1,  // freed on its release
    AUD_ENV_FLAG_OWNS_LOG = 2,
    AUD_ENV_FLAG_OWNS_LOOP = 4
};

// The SDK environment: one per process, reference counted. The platform starts with its
// first reference and stops with its last.
struct aud_env {
    aud_log* log;   // null when none could be created
    dt_loop* loop;  // null: the application manages the sockets
    int32_t references;
    uint32_t flags;
};

// 3 for a null out; 6 when the log cannot be created; else *env is the process's environment.
aud_error_t aud_env_init(aud_env** env);
// Drops one reference (null is accepted); the last one frees the log and stops the platform.
// 5 when the environment holds no reference.
aud_error_t aud_env_release(aud_env* env);

// The environment's log, or null.
aud_log* aud_env_log(const aud_env* env);
