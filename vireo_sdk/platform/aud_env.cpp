#include "platform/aud_env.h"

#include <cstdlib>
#include <cstring>

#include "platform/aud_platform.h"
#include "util/dt_loop.h"

namespace {

aud_env processEnv;

}  // namespace

aud_error_t aud_env_init(aud_env** env) {
    if (!env) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (processEnv.references != 0) {
        ++processEnv.references;
        *env = &processEnv;
        return AUD_SUCCESS;
    }
    aud_platform_start();
    processEnv.log = aud_log_new();
    if (!processEnv.log) {
        aud_platform_stop();
        return AUD_ERR_NOMEMORY;
    }
    processEnv.flags |= AUD_ENV_FLAG_OWNS_LOG;
    ++processEnv.references;
    *env = &processEnv;
    return AUD_SUCCESS;
}

aud_error_t aud_env_release(aud_env* env) {
    if (!env) {
        return AUD_SUCCESS;
    }
    if (env->flags & AUD_ENV_FLAG_ALLOCATED) {
        if (env->flags & AUD_ENV_FLAG_OWNS_LOOP) {
            dt_loop_free(env->loop);
        }
        if (env->flags & AUD_ENV_FLAG_OWNS_LOG) {
            aud_log_free(env->log);
        }
        std::memset(env, 0, sizeof *env);
        std::free(env);
        return AUD_SUCCESS;
    }
    // A release without a reference would leave the count below zero and stop the next
    // init from starting the platform.
    if (env->references <= 0) {
        return AUD_ERR_INVALIDSTATE;
    }
    if (env->references-- != 1) {
        return AUD_SUCCESS;
    }
    if (env->flags & AUD_ENV_FLAG_OWNS_LOG) {
        aud_log_free(env->log);
        env->log = nullptr;
        env->flags &= ~static_cast<uint32_t>(AUD_ENV_FLAG_OWNS_LOG);
    }
    aud_platform_stop();
    return AUD_SUCCESS;
}

aud_log* aud_env_log(const aud_env* env) {
    return env ? env->log : nullptr;
}
