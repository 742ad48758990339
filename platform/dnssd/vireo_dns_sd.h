/* vireo_dnssd: a DNS-SD querier that speaks multicast DNS itself (no daemon).
 * Plain C interface; every function returns kDNSServiceErr_NoError (0) on success. */
#ifndef VIREO_DNS_SD_H
#define VIREO_DNS_SD_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _DNSServiceRef_t* DNSServiceRef;
typedef uint32_t DNSServiceFlags;
typedef int32_t DNSServiceErrorType;

enum {
    kDNSServiceFlagsMoreComing = 0x1, /* more results follow in this batch */
    kDNSServiceFlagsAdd = 0x2,        /* the record was added (else removed) */
    kDNSServiceFlagsLongLivedQuery = 0x100,
    kDNSServiceFlagsForceMulticast = 0x400
};

enum {
    kDNSServiceErr_NoError = 0,
    kDNSServiceErr_Unknown = -65537,
    kDNSServiceErr_NoSuchName = -65538,
    kDNSServiceErr_NoMemory = -65539,
    kDNSServiceErr_BadParam = -65540,
    kDNSServiceErr_BadReference = -65541,
    kDNSServiceErr_BadState = -65542,
    kDNSServiceErr_ServiceNotRunning = -65563
};

enum {
    kDNSServiceType_A = 1,
    kDNSServiceType_PTR = 12,
    kDNSServiceType_TXT = 16,
    kDNSServiceType_SRV = 33
};
enum { kDNSServiceClass_IN = 1 };

/* Any interface; the size of a buffer for DNSServiceConstructFullName and host names. */
enum { kDNSServiceInterfaceIndexAny = 0, kDNSServiceMaxDomainName = 1009 };

typedef void (*DNSServiceBrowseReply)(DNSServiceRef sdRef, DNSServiceFlags flags,
                                      uint32_t interfaceIndex, DNSServiceErrorType errorCode,
                                      const char* serviceName, const char* regtype,
                                      const char* replyDomain, void* context);

/* port is in network byte order; txtRecord holds txtLen bytes of TXT record data. */
typedef void (*DNSServiceResolveReply)(DNSServiceRef sdRef, DNSServiceFlags flags,
                                       uint32_t interfaceIndex, DNSServiceErrorType errorCode,
                                       const char* fullname, const char* hosttarget, uint16_t port,
                                       uint16_t txtLen, const unsigned char* txtRecord,
                                       void* context);

typedef void (*DNSServiceQueryRecordReply)(DNSServiceRef sdRef, DNSServiceFlags flags,
                                           uint32_t interfaceIndex, DNSServiceErrorType errorCode,
                                           const char* fullname, uint16_t rrtype, uint16_t rrclass,
                                           uint16_t rdlen, const void* rdata, uint32_t ttl,
                                           void* context);

/* Browses for instances of regtype (e.g. "_vireo-arc._udp.") in domain (e.g. "local"). */
DNSServiceErrorType DNSServiceBrowse(DNSServiceRef* sdRef, DNSServiceFlags flags,
                                     uint32_t interfaceIndex, const char* regtype,
                                     const char* domain, DNSServiceBrowseReply callBack,
                                     void* context);

/* Gives the SRV target and port and the TXT record of one instance (name unescaped). */
DNSServiceErrorType DNSServiceResolve(DNSServiceRef* sdRef, DNSServiceFlags flags,
                                      uint32_t interfaceIndex, const char* name,
                                      const char* regtype, const char* domain,
                                      DNSServiceResolveReply callBack, void* context);

/* Asks for the records of one full (escaped) name, type and class. */
DNSServiceErrorType DNSServiceQueryRecord(DNSServiceRef* sdRef, DNSServiceFlags flags,
                                          uint32_t interfaceIndex, const char* fullname,
                                          uint16_t rrtype, uint16_t rrclass,
                                          DNSServiceQueryRecordReply callBack, void* context);

/* Readable exactly while results of this reference wait. */
int DNSServiceRefSockFD(DNSServiceRef sdRef);

/* Runs the waiting reply handlers on the calling thread; blocks while none wait. */
DNSServiceErrorType DNSServiceProcessResult(DNSServiceRef sdRef);

/* Ends the operation and closes its socket; allowed inside the reference's own handler. */
void DNSServiceRefDeallocate(DNSServiceRef sdRef);

/* Writes the escaped "instance.type.domain." (service may be NULL) into fullName, which
 * holds kDNSServiceMaxDomainName bytes. */
DNSServiceErrorType DNSServiceConstructFullName(char* fullName, const char* service,
                                                const char* regtype, const char* domain);

/* Asks again for a cached record (rdata NULL or rdlen 0: every record of that name and
 * type) and removes it when nobody answers. */
DNSServiceErrorType DNSServiceReconfirmRecord(DNSServiceFlags flags, uint32_t interfaceIndex,
                                              const char* fullname, uint16_t rrtype,
                                              uint16_t rrclass, uint16_t rdlen, const void* rdata);

/* The value of key (not terminated), its length in *valueLen; NULL when the key is absent
 * or the record is malformed. A key without "=" gives a non-NULL pointer and length 0. */
const void* TXTRecordGetValuePtr(uint16_t txtLen, const void* txtRecord, const char* key,
                                 uint8_t* valueLen);

/* Non-zero when key is present, with or without a value. Keys ignore case. */
int TXTRecordContainsKey(uint16_t txtLen, const void* txtRecord, const char* key);

#ifdef __cplusplus
}
#endif

#endif
