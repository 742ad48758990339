#include "util/aud_interface_lookup.h"

#include <cstdlib>

#include "util/aud_text.h"

namespace {

// A snapshot of the interface list, freed with the object.
struct Snapshot {
    aud_interface* list = nullptr;
    size_t count = 0;
    aud_error_t result = aud_interface_list(&list, &count);
    ~Snapshot() { std::free(list); }
};

// Copies the first entry of the list that match accepts.
template <class Match>
aud_error_t findFirst(aud_interface* entry, Match match) {
    if (!entry) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const Snapshot snapshot;
    if (snapshot.result != AUD_SUCCESS) {
        return snapshot.result;
    }
    for (size_t i = 0; i < snapshot.count; ++i) {
        if (match(snapshot.list[i])) {
            *entry = snapshot.list[i];
            return AUD_SUCCESS;
        }
    }
    return AUD_ERR_NOTFOUND;
}

bool nameMatches(const aud_interface& interface, const char16_t* name) {
    char16_t adapter[AUD_INTERFACE_NAME_SIZE];
    aud_mbstowcs(adapter, interface.adapter_name, AUD_INTERFACE_NAME_SIZE);
    return aud_wcscasecmp(interface.friendly_name, name) == 0 || aud_wcscasecmp(adapter, name) == 0;
}

}  // namespace

aud_error_t aud_interface_find_by_index(aud_interface* entry, uint32_t index) {
    return findFirst(entry, [index](const aud_interface& i) { return i.index == index; });
}

aud_error_t aud_interface_find_loopback(aud_interface* entry) {
    return findFirst(entry, [](const aud_interface& i) { return i.loopback; });
}

aud_error_t aud_interface_resolve(aud_interface_request* requests, size_t count) {
    if (!requests && count > 0) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const Snapshot snapshot;
    if (snapshot.result != AUD_SUCCESS) {
        return snapshot.result;
    }
    if (snapshot.count == 0) {
        return AUD_ERR_NOTFOUND;
    }
    for (size_t r = 0; r < count; ++r) {
        aud_interface_request& request = requests[r];
        request.name[AUD_INTERFACE_NAME_SIZE - 1] = 0;
        const aud_interface* found = nullptr;
        for (size_t i = 0; i < snapshot.count && !found; ++i) {
            const aud_interface& interface = snapshot.list[i];
            if ((request.flags & AUD_INTERFACE_BY_INDEX)  ? interface.index == request.index
                : (request.flags & AUD_INTERFACE_BY_NAME) ? nameMatches(interface, request.name)
                                                          : false) {
                found = &interface;
            }
        }
        request.flags = 0;
        if (found) {
            request.index = found->index;
            aud_wcslcpy(request.name, found->friendly_name, AUD_INTERFACE_NAME_SIZE);
            request.flags = AUD_INTERFACE_RESOLVED;
        }
    }
    return AUD_SUCCESS;
}
