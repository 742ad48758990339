#include <cstring>
#include <string>

#include "DnsName.h"
#include "Guarded.h"
#include "vireo_dns_sd.h"

namespace {

// Escaped text made a name of its own: "." added unless it ends so; empty for bad text.
std::string asName(const char* text) {
    const auto name = vireo_dnssd::parseNameText(text);
    if (!name || name->empty()) {
        return {};
    }
    return vireo_dnssd::nameText(*name);
}

}  // namespace

DNSServiceErrorType DNSServiceConstructFullName(char* fullName, const char* service,
                                                const char* regtype, const char* domain) {
    return vireo_dnssd::guarded([&]() -> DNSServiceErrorType {
        if (!fullName || !regtype || !domain) {
            return kDNSServiceErr_BadParam;
        }
        std::string text;
        if (service) {
            if (std::strlen(service) > vireo_dnssd::kMaxLabel) {
                return kDNSServiceErr_BadParam;
            }
            if (*service) {
                text = vireo_dnssd::escapeLabel(service) + ".";
            }
        }
        const std::string type = asName(regtype);
        const std::string in = asName(domain);
        if (type.empty() || in.empty()) {
            return kDNSServiceErr_BadParam;
        }
        text += type + in;
        if (text.size() >= kDNSServiceMaxDomainName) {
            return kDNSServiceErr_BadParam;
        }
        std::memcpy(fullName, text.c_str(), text.size() + 1);
        return kDNSServiceErr_NoError;
    });
}
