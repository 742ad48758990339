// References and their operations: the reply-running half of the interface.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Engine.h"
#include "Guarded.h"
#include "vireo_dns_sd.h"

using vireo_dnssd::Engine;
using vireo_dnssd::Labels;
using vireo_dnssd::Operation;
using vireo_dnssd::ResultChannel;

struct _DNSServiceRef_t {
    std::shared_ptr<ResultChannel> channel = std::make_shared<ResultChannel>();
    uint64_t operation = 0;
    std::mutex mutex;
    int processing = 0;     // DNSServiceProcessResult calls under way
    bool released = false;  // deallocated while processing: the last of them frees it
};

namespace {

std::optional<Labels> serviceType(const char* regtype, const char* domain) {
    if (!regtype) {
        return std::nullopt;
    }
    auto type = vireo_dnssd::parseNameText(regtype);
    auto in = vireo_dnssd::parseNameText(domain && *domain ? domain : "local.");
    if (!type || type->size() != 2 || !in || in->empty()) {
        return std::nullopt;
    }
    type->insert(type->end(), in->begin(), in->end());
    if (!vireo_dnssd::validName(*type)) {
        return std::nullopt;
    }
    return type;
}

DNSServiceErrorType start(DNSServiceRef* out, Operation operation) {
    auto ref = std::make_unique<_DNSServiceRef_t>();
    if (!ref->channel->open()) {
        return kDNSServiceErr_NoMemory;
    }
    operation.channel = ref->channel;
    const DNSServiceErrorType error = Engine::add(std::move(operation), &ref->operation);
    if (error != kDNSServiceErr_NoError) {
        return error;
    }
    *out = ref.release();
    return kDNSServiceErr_NoError;
}

}  // namespace

DNSServiceErrorType DNSServiceBrowse(DNSServiceRef* sdRef, DNSServiceFlags, uint32_t interfaceIndex,
                                     const char* regtype, const char* domain,
                                     DNSServiceBrowseReply callBack, void* context) {
    return vireo_dnssd::guarded([&]() -> DNSServiceErrorType {
        const auto name = serviceType(regtype, domain);
        if (!sdRef || !callBack || !name) {
            return kDNSServiceErr_BadParam;
        }
        Operation operation;
        operation.kind = Operation::Kind::kBrowse;
        operation.ifindex = interfaceIndex;
        operation.name = *name;
        operation.type = vireo_dnssd::kTypePtr;
        operation.browse = callBack;
        operation.context = context;
        return start(sdRef, std::move(operation));
    });
}

DNSServiceErrorType DNSServiceResolve(DNSServiceRef* sdRef, DNSServiceFlags,
                                      uint32_t interfaceIndex, const char* name,
                                      const char* regtype, const char* domain,
                                      DNSServiceResolveReply callBack, void* context) {
    return vireo_dnssd::guarded([&]() -> DNSServiceErrorType {
        auto type = serviceType(regtype, domain);
        if (!sdRef || !callBack || !name || !*name || !type ||
            std::char_traits<char>::length(name) > vireo_dnssd::kMaxLabel) {
            return kDNSServiceErr_BadParam;
        }
        Labels full{name};
        full.insert(full.end(), type->begin(), type->end());
        if (!vireo_dnssd::validName(full)) {
            return kDNSServiceErr_BadParam;
        }
        Operation operation;
        operation.kind = Operation::Kind::kResolve;
        operation.ifindex = interfaceIndex;
        operation.name = full;
        operation.type = vireo_dnssd::kTypeSrv;
        operation.resolve = callBack;
        operation.context = context;
        return start(sdRef, std::move(operation));
    });
}

DNSServiceErrorType DNSServiceQueryRecord(DNSServiceRef* sdRef, DNSServiceFlags,
                                          uint32_t interfaceIndex, const char* fullname,
                                          uint16_t rrtype, uint16_t rrclass,
                                          DNSServiceQueryRecordReply callBack, void* context) {
    return vireo_dnssd::guarded([&]() -> DNSServiceErrorType {
        const auto name = fullname ? vireo_dnssd::parseNameText(fullname) : std::nullopt;
        if (!sdRef || !callBack || !name || name->empty()) {
            return kDNSServiceErr_BadParam;
        }
        Operation operation;
        operation.kind = Operation::Kind::kQuery;
        operation.ifindex = interfaceIndex;
        operation.name = *name;
        operation.type = rrtype;
        operation.rrclass = rrclass;
        operation.query = callBack;
        operation.context = context;
        return start(sdRef, std::move(operation));
    });
}

int DNSServiceRefSockFD(DNSServiceRef sdRef) {
    return sdRef ? sdRef->channel->callerSocket() : -1;
}

DNSServiceErrorType DNSServiceProcessResult(DNSServiceRef sdRef) {
    if (!sdRef) {
        return kDNSServiceErr_BadParam;
    }
    {
        std::lock_guard<std::mutex> lock(sdRef->mutex);
        if (sdRef->released) {
            return kDNSServiceErr_BadReference;
        }
        ++sdRef->processing;
    }
    auto results = sdRef->channel->wait();
    DNSServiceErrorType error =
        results.empty() ? kDNSServiceErr_ServiceNotRunning : kDNSServiceErr_NoError;
    for (size_t i = 0; i < results.size(); ++i) {
        {
            std::lock_guard<std::mutex> lock(sdRef->mutex);
            if (sdRef->released) {
                break;
            }
        }
        results[i](sdRef, i + 1 < results.size() ? kDNSServiceFlagsMoreComing : 0);
    }
    bool release = false;
    {
        std::lock_guard<std::mutex> lock(sdRef->mutex);
        release = --sdRef->processing == 0 && sdRef->released;
    }
    if (release) {
        delete sdRef;
    }
    return error;
}

void DNSServiceRefDeallocate(DNSServiceRef sdRef) {
    if (!sdRef) {
        return;
    }
    try {
        Engine::remove(sdRef->operation);
    } catch (...) {
        // Out of memory: the operation may stay with the engine, its replies go nowhere.
    }
    sdRef->channel->close();
    {
        std::lock_guard<std::mutex> lock(sdRef->mutex);
        if (sdRef->processing > 0) {
            sdRef->released = true;
            return;
        }
    }
    delete sdRef;
}

DNSServiceErrorType DNSServiceReconfirmRecord(DNSServiceFlags, uint32_t interfaceIndex,
                                              const char* fullname, uint16_t rrtype,
                                              uint16_t rrclass, uint16_t rdlen, const void* rdata) {
    return vireo_dnssd::guarded([&]() -> DNSServiceErrorType {
        const auto name = fullname ? vireo_dnssd::parseNameText(fullname) : std::nullopt;
        if (!name || name->empty() || (rdlen > 0 && !rdata)) {
            return kDNSServiceErr_BadParam;
        }
        const auto* bytes = static_cast<const uint8_t*>(rdata);
        const vireo_dnssd::Bytes data =
            rdlen > 0 ? vireo_dnssd::Bytes(bytes, bytes + rdlen) : vireo_dnssd::Bytes();
        Engine::reconfirm(interfaceIndex, *name, rrtype, rrclass, data);
        return kDNSServiceErr_NoError;
    });
}
