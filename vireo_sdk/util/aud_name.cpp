#include "util/aud_name.h"

#include <cstring>

#include "util/aud_text.h"

namespace {

aud_error_t copyBounded(char* destination, const char* text, size_t max) {
    if (!destination) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    destination[0] = '\0';
    if (!text) {
        return AUD_SUCCESS;
    }
    return aud_strlcpy(destination, text, max + 1) > max ? AUD_ERR_TRUNCATED : AUD_SUCCESS;
}

}  // namespace

aud_error_t aud_name_copy(char* destination, const char* name) {
    if (!destination || !name) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (std::strpbrk(name, ".=@")) {
        destination[0] = '\0';
        return AUD_ERR_INVALIDDATA;
    }
    return copyBounded(destination, name, AUD_NAME_MAX);
}

aud_error_t aud_label_copy(char* destination, const char* text) {
    return copyBounded(destination, text, AUD_LABEL_MAX);
}
