#include "DnsName.h"

#include <cstdio>

namespace vireo_dnssd {

namespace {

bool sameLabel(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

size_t wireLength(const Labels& name) {
    size_t length = 1;
    for (const std::string& label : name) {
        length += 1 + label.size();
    }
    return length;
}

bool validName(const Labels& name) {
    for (const std::string& label : name) {
        if (label.empty() || label.size() > kMaxLabel) {
            return false;
        }
    }
    return wireLength(name) <= kMaxName;
}

void appendWire(Bytes& out, const Labels& name) {
    for (const std::string& label : name) {
        out.push_back(uint8_t(label.size()));
        out.insert(out.end(), label.begin(), label.end());
    }
    out.push_back(0);
}

std::string escapeLabel(const std::string& label) {
    std::string out;
    for (const char c : label) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '.' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7f) {
            char code[5];
            std::snprintf(code, sizeof code, "\\%03u", unsigned(byte));
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

std::string nameText(const Labels& name, size_t first) {
    if (first >= name.size()) {
        return ".";
    }
    std::string out;
    for (size_t i = first; i < name.size(); ++i) {
        out += escapeLabel(name[i]);
        out += '.';
    }
    return out;
}

std::optional<Labels> parseNameText(const std::string& text) {
    Labels name;
    std::string label;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '.') {
            if (label.empty()) {
                return std::nullopt;
            }
            name.push_back(label);
            label.clear();
            continue;
        }
        if (c == '\\') {
            if (i + 1 >= text.size()) {
                return std::nullopt;
            }
            if (isDigit(text[i + 1])) {
                if (i + 3 >= text.size() || !isDigit(text[i + 2]) || !isDigit(text[i + 3])) {
                    return std::nullopt;
                }
                const int value =
                    (text[i + 1] - '0') * 100 + (text[i + 2] - '0') * 10 + (text[i + 3] - '0');
                if (value > 255) {
                    return std::nullopt;
                }
                c = char(value);
                i += 3;
            } else {
                c = text[++i];
            }
        }
        label += c;
    }
    if (!label.empty()) {
        name.push_back(label);
    }
    if (!validName(name)) {
        return std::nullopt;
    }
    return name;
}

bool sameName(const Labels& a, const Labels& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (!sameLabel(a[i], b[i])) {
            return false;
        }
    }
    return true;
}

std::string nameKey(const Labels& name) {
    std::string key;
    appendNameKey(key, name);
    return key;
}

void appendNameKey(std::string& key, const Labels& name) {
    for (const std::string& label : name) {
        key += char(label.size());
        for (const char c : label) {
            key += asciiLower(c);
        }
    }
}

}  // namespace vireo_dnssd
