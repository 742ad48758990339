// The SAP header check and SDP parser, and the session list they feed.
#include <cstddef>
#include <cstdint>

#include "browse/db_browse_internal.h"
#include "sap/db_browse_sap.h"
#include "sap/sap_announcement.h"

namespace {

db_browse* browse() {
    static db_browse* made = [] {
        db_browse* created = nullptr;
        db_browse_new(nullptr, DB_BROWSE_TYPE_AES67, &created);
        return created;
    }();
    return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sap_announcement parsed{};
    get_sdp_parsed_structure(data, size, &parsed);
    sdp_description sdp{};
    sdp_parse(reinterpret_cast<const char*>(data), size, &sdp);
    if (browse() && browse()->sap) {
        db_browse_sap_handle(browse()->sap, data, size);
        if (db_browse_sap_num_sessions(browse()->sap) > 64) {
            db_browse_sap_clear(browse()->sap);
        }
    }
    return 0;
}
