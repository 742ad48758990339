#include "sap/sdp_description.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "sap/sdp_handlers.h"
#include "util/aud_reader.h"

namespace {

enum : unsigned { kRequired = 1, kRepeatable = 2, kOpensSection = 4, kInSection = 8 };

typedef aud_error_t (*Handler)(const std::string& value, sdp_description* sdp);

struct LineKind {
    char type;
    const char* name;
    unsigned flags;
    Handler handler;
};

// The lines of a description in the order they may come.
const LineKind kLines[] = {
    {'v', "version", kRequired, nullptr},
    {'o', "origin", kRequired, sdp_origin_handler},
    {'s', "session name", kRequired, sdp_session_name_handler},
    {'i', "session info", 0, sdp_session_info_handler},
    {'u', "uri", 0, nullptr},
    {'e', "e-mail", 0, nullptr},
    {'p', "phone", 0, nullptr},
    {'c', "connection", kRepeatable, sdp_connection_handler},
    {'b', "bandwidth", kRepeatable, nullptr},
    {'t', "time", kRequired | kRepeatable | kOpensSection, sdp_time_handler},
    {'r', "repeat", kInSection | kRepeatable, nullptr},
    {'z', "time zone", 0, nullptr},
    {'k', "encryption key", 0, nullptr},
    {'a', "attribute", kRepeatable, sdp_attribute_handler},
    {'m', "media", kRepeatable | kOpensSection, sdp_media_handler},
    {'i', "title", kInSection, sdp_media_title_handler},
    {'c', "connection", kInSection | kRepeatable, nullptr},
    {'b', "bandwidth", kInSection | kRepeatable, nullptr},
    {'k', "encryption key", kInSection, nullptr},
    {'a', "attribute", kInSection | kRepeatable, sdp_attribute_handler},
};
constexpr int kNumLines = int(sizeof kLines / sizeof kLines[0]);

struct Line {
    char type;
    std::string value;
};

bool isEnd(uint8_t c) {
    return c == '\r' || c == '\n';
}

// Cuts the text into "x=value" lines, each ended by CR or LF; false for anything else.
bool cutLines(const char* text, size_t length, std::vector<Line>* lines) {
    aud_reader reader;
    aud_reader_init(&reader, text, length);
    while (aud_reader_remaining(&reader) > 0) {
        uint8_t c = 0;
        aud_reader_u8(&reader, &c);
        if (isEnd(c)) {
            continue;
        }
        uint8_t equals = 0;
        if (c < 'a' || c > 'z' || !aud_reader_u8(&reader, &equals) || equals != '=') {
            return false;
        }
        Line line{char(c), {}};
        for (;;) {
            uint8_t next = 0;
            if (!aud_reader_u8(&reader, &next) || next == '\0') {
                return false;
            }
            if (isEnd(next)) {
                break;
            }
            line.value.push_back(char(next));
        }
        lines->push_back(std::move(line));
    }
    return true;
}

// The entry that opens the section of entry, or -1 for one outside sections.
int openerOf(int entry) {
    if (kLines[entry].flags & kOpensSection) {
        return entry;
    }
    if (!(kLines[entry].flags & kInSection)) {
        return -1;
    }
    while (entry > 0 && !(kLines[entry].flags & kOpensSection)) {
        --entry;
    }
    return entry;
}

bool tolerated(aud_error_t result) {
    return result == AUD_ERR_TRUNCATED || result == AUD_ERR_NOTSUPPORTED ||
           result == AUD_ERR_ALREADY;
}

// The entry a line of type matches after current, or -1; 4 in *result when a required entry
// not yet seen would be passed over.
int matchLine(char type, int current, const bool* seen, aud_error_t* result) {
    const int section = openerOf(current);
    if (kLines[current].type == type && (kLines[current].flags & kRepeatable)) {
        return current;
    }
    if (section >= 0 && kLines[section].type == type) {
        return section;
    }
    for (int j = current + 1; j < kNumLines; ++j) {
        if ((kLines[j].flags & kInSection) && openerOf(j) != section) {
            continue;
        }
        if (kLines[j].type == type) {
            return j;
        }
        if ((kLines[j].flags & kRequired) && !seen[j]) {
            *result = AUD_ERR_INVALIDDATA;
            return -1;
        }
    }
    return -1;
}

aud_error_t parseLines(const std::vector<Line>& lines, sdp_description* out) {
    if (lines.empty() || lines[0].type != 'v') {
        return AUD_ERR_INVALIDDATA;
    }
    if (lines[0].value != "0") {
        return AUD_ERR_NOTSUPPORTED;
    }
    bool seen[kNumLines] = {true};
    int current = 0;
    int skipped_section = -1;
    for (size_t i = 1; i < lines.size(); ++i) {
        aud_error_t result = AUD_SUCCESS;
        const int match = matchLine(lines[i].type, current, seen, &result);
        if (result != AUD_SUCCESS) {
            return result;
        }
        if (match < 0) {
            break;
        }
        const bool opens = kLines[match].flags & kOpensSection;
        if (opens || !(kLines[match].flags & kInSection)) {
            skipped_section = -1;
        }
        seen[match] = true;
        current = match;
        if (!kLines[match].handler ||
            (skipped_section >= 0 && openerOf(match) == skipped_section)) {
            continue;
        }
        result = kLines[match].handler(lines[i].value, out);
        if (result == AUD_SUCCESS) {
            continue;
        }
        if (!tolerated(result)) {
            return result;
        }
        if (opens) {
            skipped_section = match;
        }
    }
    for (int j = 0; j < kNumLines; ++j) {
        if ((kLines[j].flags & kRequired) && !seen[j]) {
            return AUD_ERR_INVALIDDATA;
        }
    }
    return AUD_SUCCESS;
}

}  // namespace

aud_error_t sdp_parse(const char* text, size_t length, sdp_description* out) {
    if (!out || (!text && length > 0)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    std::memset(out, 0, sizeof *out);
    try {
        std::vector<Line> lines;
        if (!cutLines(text, length, &lines)) {
            return AUD_ERR_INVALIDDATA;
        }
        return parseLines(lines, out);
    } catch (const std::bad_alloc&) {
        return AUD_ERR_NOMEMORY;
    }
}
