// What each service type reads from a resolved instance's TXT record.
#include <cstring>

#include "browse/db_browse_handlers.h"
#include "browse/db_browse_internal.h"
#include "browse/db_browse_txt.h"
#include "platform/aud_log.h"
#include "util/aud_id.h"
#include "util/aud_text.h"
#include "util/aud_token.h"
#include "util/aud_txt.h"

namespace {

enum { kMaxTxtEntries = 32, kMaxEncodings = 8, kVersionTextMax = 63 };

void fail(const db_resolve* resolve, const char* format, const char* function) {
    db_browse_log(resolve->browse, AUD_LOG_ERROR, format, function, resolve->name);
}

// A tree failure ends the handler and becomes the pass's error.
void treeFailed(db_resolve* resolve, aud_error_t result, const char* format, const char* function) {
    fail(resolve, format, function);
    resolve->browse->pass_error = result;
}

void readId(const char* text, uint8_t* id) {
    if (!aud_id_parse(id, text)) {
        std::memset(id, 0, AUD_ID_SIZE);
    }
}

const aud_txt_entry* findEntry(const aud_txt_entry* entries, int count, const char* key) {
    for (int i = 0; i < count; ++i) {
        if (aud_strcasecmp(entries[i].text, key) == 0) {
            return &entries[i];
        }
    }
    return nullptr;
}

const char* entryText(const aud_txt_entry* entries, int count, const char* key) {
    const aud_txt_entry* entry = findEntry(entries, count, key);
    const char* value = entry ? aud_txt_entry_value(entry) : nullptr;
    return value ? value : "";
}

// The texts of the instance id checks of one kind of device.
struct IdMessages {
    const char* missing;
    const char* insufficient;
    const char* process;
};

constexpr IdMessages kConmonIds = {
    "%s: Resolve Error: txt record 'id' field missing or empty for conmon device \"%s\"\n",
    "%s: Resolve Error: txt record 'id' field has insufficient data for conmon device \"%s\"\n",
    "%s: Resolve Error: txt record 'process' field missing or empty for conmon device \"%s\"\n"};
constexpr IdMessages kSafeIds = {
    "%s: Resolve Error: txt record 'id' field missing or empty for safe mode conmon device "
    "\"%s\"\n",
    kConmonIds.insufficient, kConmonIds.process};
constexpr IdMessages kUpgradeIds = {
    "%s: Resolve Error: txt record 'id' field missing or empty for upgrade mode conmon device "
    "\"%s\"\n",
    kConmonIds.insufficient, kConmonIds.process};
constexpr IdMessages kViaIds = {
    "%s: Resolve Error: txt record 'id' field missing or empty for via device \"%s\"\n",
    "%s: Resolve Error: txt record 'id' field has insufficient data for via device \"%s\"\n",
    "%s: Resolve Error: txt record 'process' field missing or empty for via device \"%s\"\n"};

// Reads "id" and "process" into *id; false (logged) at the first failure.
bool readInstanceId(const db_resolve* resolve, uint16_t txt_length, const unsigned char* txt,
                    const IdMessages& messages, const char* function, db_browse_instance_id* id) {
    char value[DB_TXT_VALUE_SIZE];
    if (db_txt_get(txt_length, txt, "id", value) != DB_TXT_VALUE) {
        fail(resolve, messages.missing, function);
        return false;
    }
    if (!db_txt_parse_hex_id(value, id->device_id)) {
        fail(resolve, messages.insufficient, function);
        return false;
    }
    uint32_t process = 0;
    if (db_txt_get(txt_length, txt, "process", value) != DB_TXT_VALUE ||
        !db_txt_parse_decimal(value, 0xffff, &process)) {
        fail(resolve, messages.process, function);
        return false;
    }
    id->process_id = uint16_t(process);
    return true;
}

// A decimal TXT value ("safe", "upgr"); 0 when absent or not a number.
uint16_t readMode(uint16_t txt_length, const unsigned char* txt, const char* key) {
    char value[DB_TXT_VALUE_SIZE];
    uint32_t number = 0;
    if (db_txt_get(txt_length, txt, key, value) == DB_TXT_VALUE &&
        db_txt_parse_decimal(value, 0xffff, &number)) {
        return uint16_t(number);
    }
    return 0;
}

// Safe and upgrade mode devices: a failed id is logged and the device added with zeros.
typedef aud_error_t (*ModeAdd)(db_browse_network*, unsigned, const char*, const char*,
                               const db_browse_mode_info*, bool*);

void modeResolved(db_resolve* resolve, const char* host, uint16_t txt_length,
                  const unsigned char* txt, const char* key, const IdMessages& messages,
                  ModeAdd add, const char* tree_message, const char* function) {
    db_browse_mode_info info{};
    info.value = readMode(txt_length, txt, key);
    if (!readInstanceId(resolve, txt_length, txt, messages, function, &info.instance_id)) {
        info.instance_id = db_browse_instance_id();
    }
    db_browse* browse = resolve->browse;
    bool changed = false;
    const aud_error_t result =
        add(browse->tree, resolve->network, resolve->name, host, &info, &changed);
    if (result != AUD_SUCCESS) {
        db_browse_log(browse, AUD_LOG_ERROR, tree_message, function, resolve->name,
                      resolve->network);
        browse->pass_error = result;
    }
}

}  // namespace

void db_browse_media_device_resolved(db_resolve* resolve, const char* host, uint16_t,
                                     uint16_t txt_length, const unsigned char* txt) {
    aud_txt_entry entries[kMaxTxtEntries];
    const int count = aud_txt_parse(entries, kMaxTxtEntries, txt, txt ? txt_length : 0);
    if (count < 0) {
        fail(resolve, "%s: Resolve error: invalid txt record for media device \"%s\"\n", __func__);
        return;
    }
    db_browse_log(resolve->browse, AUD_LOG_DEBUG, "%s: Resolved media device \"%s\"\n", __func__,
                  resolve->name);
    db_browse_media_info info{};
    db_txt_parse_version(entryText(entries, count, "arcp_vers"), &info.arcp_vers);
    db_txt_parse_version(entryText(entries, count, "arcp_min"), &info.arcp_min);
    db_txt_parse_version(entryText(entries, count, "router_vers"), &info.router_vers);
    aud_strlcpy(info.router_info, entryText(entries, count, "router_info"),
                sizeof info.router_info);
    readId(entryText(entries, count, "mf"), info.manufacturer_id);
    readId(entryText(entries, count, "model"), info.model_id);
    bool changed = false;
    const aud_error_t result = db_browse_network_add_media_device(
        resolve->browse->tree, resolve->network, resolve->name, host, &info, &changed);
    if (result != AUD_SUCCESS) {
        treeFailed(resolve, result, "%s: Error adding media device \"%s\" to tree\n", __func__);
    }
}

void db_browse_media_channel_resolved(db_resolve* resolve, const char*, uint16_t,
                                      uint16_t txt_length, const unsigned char* txt) {
    db_browse* browse = resolve->browse;
    char channel[DB_RESOLVE_NAME_SIZE];
    aud_strlcpy(channel, resolve->name, sizeof channel);
    char* at = std::strchr(channel, '@');
    if (!at) {
        fail(resolve, "%s: Browse error:... no '@' in name \"%s\"\n", __func__);
        return;
    }
    *at = '\0';
    const char* device = at + 1;
    char value[DB_TXT_VALUE_SIZE];
    uint32_t id = 0;
    if (db_txt_get(txt_length, txt, "id", value) != DB_TXT_VALUE ||
        !db_txt_parse_decimal(value, 0xffff, &id)) {
        fail(resolve,
             "%s: Resolve error: txt record 'id' field missing or empty for channel \"%s\"\n",
             __func__);
        return;
    }
    const bool is_default = TXTRecordContainsKey(txt_length, txt, "default") != 0;
    db_browse_channel_format format{};
    if (db_txt_get(txt_length, txt, "rate", value) != DB_TXT_VALUE ||
        !db_txt_parse_decimal(value, UINT32_MAX, &format.sample_rate)) {
        fail(resolve,
             "%s: Resolve Error: txt record 'rate' field missing or empty for channel \"%s\"\n",
             __func__);
        return;
    }
    db_txt_get(txt_length, txt, "enc", value);
    size_t encodings = 0;
    char* cursor = value;
    for (char* token = aud_next_token(&cursor); token; token = aud_next_token(&cursor)) {
        uint32_t encoding = 0;
        if (!db_txt_parse_decimal(token, UINT32_MAX, &encoding)) {
            encodings = 0;
            break;
        }
        if (++encodings > kMaxEncodings || aud_formats_add(&format.encodings, encoding) != 0) {
            fail(resolve,
                 "%s: Resolve error: out of memory while allocating encodings for channel "
                 "\"%s\"\n",
                 __func__);
            browse->pass_error = AUD_ERR_NOMEMORY;
            return;
        }
    }
    if (encodings == 0) {
        fail(resolve,
             "%s: Resolve Error: txt record 'enc' field missing or empty for channel \"%s\"\n",
             __func__);
        return;
    }
    const aud_error_t result =
        is_default ? db_browse_network_add_channel(browse->tree, resolve->network, device, channel,
                                                   uint16_t(id), &format)
                   : db_browse_network_add_label(browse->tree, resolve->network, device, channel,
                                                 uint16_t(id), &format);
    if (result != AUD_SUCCESS) {
        const char* text = aud_error_get_message(result);
        db_browse_log(browse, AUD_LOG_ERROR,
                      "%s: Resolve error: failed to add network channel \"%s\": %s\n", __func__,
                      resolve->name, text ? text : "unknown error");
        browse->pass_error = result;
    }
}

void db_browse_conmon_device_resolved(db_resolve* resolve, const char* host, uint16_t,
                                      uint16_t txt_length, const unsigned char* txt) {
    db_browse_conmon_info info{};
    if (!readInstanceId(resolve, txt_length, txt, kConmonIds, __func__, &info.instance_id)) {
        return;
    }
    char value[DB_TXT_VALUE_SIZE];
    const db_txt_result vid = db_txt_get(txt_length, txt, "vid", value);
    if (vid == DB_TXT_EMPTY) {
        fail(resolve,
             "%s: Resolve Error: txt record 'vid' field missing or empty for conmon device "
             "\"%s\"\n",
             __func__);
        return;
    }
    if (vid == DB_TXT_VALUE && !db_txt_parse_hex_id(value, info.vendor_id)) {
        fail(resolve,
             "%s: Resolve Error: txt record 'vid' field has insufficient data for conmon device "
             "\"%s\"\n",
             __func__);
        return;
    }
    if (db_txt_get(txt_length, txt, "vba", value) != DB_TXT_ABSENT) {
        uint32_t parts[DB_BROWSE_VBA_SIZE] = {};
        if (db_txt_parse_numbers(value, '.', 0xff, parts, DB_BROWSE_VBA_SIZE) !=
            DB_BROWSE_VBA_SIZE) {
            fail(resolve,
                 "%s: Resolve Error: txt record 'vsb' field has invalid data for conmon device "
                 "\"%s\"\n",
                 __func__);
            return;
        }
        for (size_t i = 0; i < DB_BROWSE_VBA_SIZE; ++i) {
            info.vba[i] = uint8_t(parts[i]);
        }
    }
    db_txt_get(txt_length, txt, "mf", value);
    readId(value, info.manufacturer_id);
    db_txt_get(txt_length, txt, "model", value);
    readId(value, info.model_id);
    db_browse_log(resolve->browse, AUD_LOG_DEBUG,
                  "%s: Adding conmon device \"%s\" (target_name='%s')\n", __func__, resolve->name,
                  host);
    bool changed = false;
    const aud_error_t result = db_browse_network_add_conmon_device(
        resolve->browse->tree, resolve->network, resolve->name, host, &info, &changed);
    if (result != AUD_SUCCESS) {
        treeFailed(resolve, result, "%s: Error adding conmon device \"%s\" to tree\n", __func__);
    }
}

void db_browse_safe_mode_device_resolved(db_resolve* resolve, const char* host, uint16_t,
                                         uint16_t txt_length, const unsigned char* txt) {
    modeResolved(resolve, host, txt_length, txt, "safe", kSafeIds,
                 db_browse_network_add_safe_mode_device,
                 "%s: Error adding safe mode device \"%s\" on network %u to tree\n", __func__);
}

void db_browse_upgrade_mode_device_resolved(db_resolve* resolve, const char* host, uint16_t,
                                            uint16_t txt_length, const unsigned char* txt) {
    modeResolved(resolve, host, txt_length, txt, "upgr", kUpgradeIds,
                 db_browse_network_add_upgrade_mode_device,
                 "%s: Error adding upgrade mode device \"%s\" on network %u to tree\n", __func__);
}

void db_browse_via_device_resolved(db_resolve* resolve, const char* host, uint16_t port,
                                   uint16_t txt_length, const unsigned char* txt) {
    db_browse_via_info info{};
    info.port = port;
    if (!readInstanceId(resolve, txt_length, txt, kViaIds, __func__, &info.instance_id)) {
        return;
    }
    struct Version {
        const char* key;
        db_browse_version* version;
        const char* missing;
        const char* invalid;
    };
    const Version versions[] = {
        {"vers_min", &info.vers_min,
         "%s: Resolve Error: txt record 'vers_min' field missing or empty for via device "
         "\"%s\"\n",
         "%s: Resolve Error: txt record 'vers_min' has invalid data for via device \"%s\"\n"},
        {"vers_curr", &info.vers_curr,
         "%s: Resolve Error: txt record 'vcp_curr' field missing or empty for via device "
         "\"%s\"\n",
         "%s: Resolve Error: txt record 'vcp_curr' has invalid data for via device \"%s\"\n"},
    };
    for (const Version& v : versions) {
        char value[DB_TXT_VALUE_SIZE];
        if (db_txt_get(txt_length, txt, v.key, value) != DB_TXT_VALUE) {
            fail(resolve, v.missing, __func__);
            return;
        }
        if (std::strlen(value) > kVersionTextMax || db_txt_parse_version(value, v.version) == 0) {
            fail(resolve, v.invalid, __func__);
            return;
        }
    }
    db_browse_log(resolve->browse, AUD_LOG_DEBUG,
                  "%s: Adding via device \"%s\" (target_name='%s' target_port=%d)\n", __func__,
                  resolve->name, host, port);
    bool changed = false;
    const aud_error_t result = db_browse_network_add_via_device(
        resolve->browse->tree, resolve->network, resolve->name, host, &info, &changed);
    if (result != AUD_SUCCESS) {
        treeFailed(resolve, result, "%s: Error adding via device \"%s\" to tree\n", __func__);
    }
}
