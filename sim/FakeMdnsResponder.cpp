#include "FakeMdnsResponder.h"

#include <fcntl.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <tuple>

#include "FakeMdnsWire.h"

namespace sim {

namespace {

constexpr uint16_t kPort = 5353;
constexpr uint16_t kA = 1;
constexpr uint16_t kPtr = 12;
constexpr uint16_t kTxt = 16;
constexpr uint16_t kSrv = 33;
constexpr uint16_t kAny = 255;
constexpr size_t kMaxDatagram = 9000;

unsigned interfaceOf(const std::string& address) {
    in_addr wanted{};
    if (::inet_pton(AF_INET, address.c_str(), &wanted) != 1) {
        return 0;
    }
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return 0;
    }
    unsigned index = 0;
    for (const ifaddrs* item = list; item && index == 0; item = item->ifa_next) {
        if (item->ifa_addr && item->ifa_addr->sa_family == AF_INET &&
            reinterpret_cast<const sockaddr_in*>(item->ifa_addr)->sin_addr.s_addr ==
                wanted.s_addr) {
            index = ::if_nametoindex(item->ifa_name);
        }
    }
    ::freeifaddrs(list);
    return index;
}

mdns::Name serviceName(const FakeMdnsService& service) {
    mdns::Name name = mdns::parseName(service.type);
    name.push_back(service.domain);
    return name;
}

mdns::Name instanceName(const FakeMdnsService& service) {
    mdns::Name name = serviceName(service);
    name.insert(name.begin(), service.instance);
    return name;
}

// A name written uncompressed by this fake, from `at` on.
mdns::Name plainName(const std::vector<uint8_t>& bytes, size_t at) {
    mdns::Name name;
    while (at < bytes.size() && bytes[at] != 0 && at + 1 + bytes[at] <= bytes.size()) {
        name.emplace_back(reinterpret_cast<const char*>(bytes.data() + at + 1), bytes[at]);
        at += 1 + bytes[at];
    }
    return name;
}

mdns::Name hostName(const FakeMdnsDevice& device) {
    return {device.host, "local"};
}

FakeMdnsRecordSeen seen(const mdns::WireRecord& record) {
    FakeMdnsRecordSeen out;
    out.name = mdns::nameKey(record.name);
    out.type = record.type;
    out.ttl = record.ttl;
    if (record.type == kPtr) {
        out.target = mdns::nameKey(plainName(record.rdata, 0));
    } else if (record.type == kSrv) {
        out.target = mdns::nameKey(plainName(record.rdata, 6));
    }
    return out;
}

bool sameRecord(const mdns::WireRecord& a, const mdns::WireRecord& b) {
    return a.type == b.type && mdns::nameKey(a.name) == mdns::nameKey(b.name) && a.rdata == b.rdata;
}

}  // namespace

struct FakeMdnsResponder::Record : mdns::WireRecord {};

FakeMdnsResponder::FakeMdnsResponder(std::string interface_address)
    : FakeMdnsResponder(std::move(interface_address), Options()) {}

FakeMdnsResponder::FakeMdnsResponder(std::string interface_address, Options options)
    : m_address(std::move(interface_address)), m_options(options) {}

FakeMdnsResponder::~FakeMdnsResponder() {
    stop();
}

bool FakeMdnsResponder::start() {
    m_ifindex = interfaceOf(m_address);
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int on = 1;
    const int ttl = 255;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(kPort);
    ip_mreqn join{};
    ::inet_pton(AF_INET, "224.0.0.251", &join.imr_multiaddr);
    join.imr_ifindex = int(m_ifindex);
    ip_mreqn out{};
    out.imr_ifindex = int(m_ifindex);
    if (m_ifindex == 0 || m_socket < 0 ||
        ::setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::setsockopt(m_socket, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) != 0 ||
        ::setsockopt(m_socket, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
        ::setsockopt(m_socket, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0 ||
        ::setsockopt(m_socket, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl) != 0 ||
        ::setsockopt(m_socket, IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out) != 0 ||
        ::bind(m_socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::setsockopt(m_socket, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0 ||
        ::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        stop();
        return false;
    }
    m_stopping = false;
    m_thread = std::thread([this] { run(); });
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const FakeMdnsDevice& device : m_devices) {
        announce(device);
    }
    return true;
}

void FakeMdnsResponder::stop() {
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        const char byte = 0;
        (void)!::write(m_wake[1], &byte, 1);
        m_thread.join();
    }
    for (int* fd : {&m_socket, &m_wake[0], &m_wake[1]}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
    m_pending.clear();
    m_waiting.clear();
}

void FakeMdnsResponder::addDevice(const FakeMdnsDevice& device) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_devices.push_back(device);
    if (m_socket >= 0) {
        announce(device);
    }
}

void FakeMdnsResponder::removeDevice(const std::string& host) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = std::find_if(m_devices.begin(), m_devices.end(),
                                    [&](const FakeMdnsDevice& d) { return d.host == host; });
    if (found == m_devices.end()) {
        return;
    }
    std::vector<mdns::WireRecord> goodbyes;
    for (const Record& record : recordsOf(*found, true)) {
        if (!silent(record)) {
            goodbyes.push_back(record);
        }
    }
    m_devices.erase(found);
    m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(),
                                   [&](const Pending& p) { return p.host == host; }),
                    m_pending.end());
    if (m_socket >= 0) {
        send(mdns::encodeResponse(goodbyes, {}));
    }
}

void FakeMdnsResponder::setSilent(const std::string& name, uint16_t type, bool silent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto key = std::make_pair(mdns::nameKey(mdns::parseName(name)), type);
    if (silent) {
        m_silent.insert(key);
    } else {
        m_silent.erase(key);
    }
}

void FakeMdnsResponder::setAllSilent(bool silent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_all_silent = silent;
    if (silent) {
        m_pending.clear();
        m_waiting.clear();
    }
}

std::vector<FakeMdnsQuery> FakeMdnsResponder::queries() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queries;
}

void FakeMdnsResponder::clearQueries() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queries.clear();
}

std::vector<FakeMdnsAnswer> FakeMdnsResponder::answers() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_answers;
}

size_t FakeMdnsResponder::queriesFor(const std::string& name, uint16_t type) const {
    const std::string key = mdns::nameKey(mdns::parseName(name));
    std::lock_guard<std::mutex> lock(m_mutex);
    return size_t(std::count_if(m_queries.begin(), m_queries.end(), [&](const FakeMdnsQuery& q) {
        return std::find(q.questions.begin(), q.questions.end(), std::make_pair(key, type)) !=
               q.questions.end();
    }));
}

bool FakeMdnsResponder::waitForQuery(const std::string& name, uint16_t type,
                                     std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const size_t before = queriesFor(name, type);
    while (queriesFor(name, type) == before) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        m_heard.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() +
                                                        std::chrono::milliseconds(20)));
    }
    return true;
}

std::vector<FakeMdnsResponder::Record> FakeMdnsResponder::recordsOf(const FakeMdnsDevice& device,
                                                                    bool goodbye) const {
    std::vector<Record> records;
    auto add = [&](mdns::Name name, uint16_t type, bool flush, uint32_t ttl,
                   std::vector<uint8_t> rdata) {
        Record record;
        record.name = std::move(name);
        record.type = type;
        record.cache_flush = flush;
        record.ttl = goodbye ? 0 : ttl;
        record.rdata = std::move(rdata);
        records.push_back(std::move(record));
    };
    const auto host = hostName(device);
    for (const FakeMdnsService& service : device.services) {
        add(serviceName(service), kPtr, false, m_options.service_ttl,
            mdns::nameBytes(instanceName(service)));
        std::vector<uint8_t> srv = {0, 0, 0, 0, uint8_t(service.port >> 8), uint8_t(service.port)};
        const auto target = mdns::nameBytes(host);
        srv.insert(srv.end(), target.begin(), target.end());
        add(instanceName(service), kSrv, true, m_options.host_ttl, srv);
        std::vector<uint8_t> txt;
        for (const std::string& item : service.txt) {
            txt.push_back(uint8_t(std::min<size_t>(item.size(), 255)));
            txt.insert(txt.end(), item.begin(), item.begin() + txt.back());
        }
        if (txt.empty()) {
            txt.push_back(0);
        }
        add(instanceName(service), kTxt, true, m_options.service_ttl, txt);
    }
    in_addr address{};
    ::inet_pton(AF_INET, device.address.c_str(), &address);
    std::vector<uint8_t> a(4);
    std::memcpy(a.data(), &address, 4);
    add(host, kA, true, m_options.host_ttl, a);
    return records;
}

std::vector<FakeMdnsResponder::Record> FakeMdnsResponder::allRecords() const {
    std::vector<Record> records;
    for (const FakeMdnsDevice& device : m_devices) {
        for (Record& record : recordsOf(device, false)) {
            if (!silent(record)) {
                records.push_back(std::move(record));
            }
        }
    }
    return records;
}

bool FakeMdnsResponder::silent(const Record& record) const {
    return m_silent.count({mdns::nameKey(record.name), record.type}) > 0;
}

void FakeMdnsResponder::announce(const FakeMdnsDevice& device) {
    std::vector<mdns::WireRecord> records;
    for (const Record& record : recordsOf(device, false)) {
        if (!silent(record)) {
            records.push_back(record);
        }
    }
    const auto datagram = mdns::encodeResponse(records, {});
    for (int i = 0; i < m_options.announcements; ++i) {
        schedule(datagram, m_options.announce_interval * i, device.host);
    }
}

void FakeMdnsResponder::schedule(std::vector<uint8_t> datagram, std::chrono::milliseconds delay,
                                 const std::string& host) {
    m_pending.push_back({std::chrono::steady_clock::now() + delay, std::move(datagram), host});
    const char byte = 0;
    (void)!::write(m_wake[1], &byte, 1);
}

void FakeMdnsResponder::send(const std::vector<uint8_t>& datagram) {
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(kPort);
    ::inet_pton(AF_INET, "224.0.0.251", &group.sin_addr);
    ::sendto(m_socket, datagram.data(), datagram.size(), MSG_NOSIGNAL,
             reinterpret_cast<sockaddr*>(&group), sizeof group);
}

void FakeMdnsResponder::run() {
    std::vector<uint8_t> buffer(kMaxDatagram);
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        const auto now = std::chrono::steady_clock::now();
        int timeout = -1;
        for (auto it = m_pending.begin(); it != m_pending.end();) {
            if (it->when <= now) {
                send(it->datagram);
                it = m_pending.erase(it);
                continue;
            }
            const auto wait =
                std::chrono::duration_cast<std::chrono::milliseconds>(it->when - now).count() + 1;
            timeout = timeout < 0 ? int(wait) : std::min(timeout, int(wait));
            ++it;
        }
        for (auto it = m_waiting.begin(); it != m_waiting.end();) {
            if (it->when <= now) {
                const Waiting waiting = std::move(*it);
                it = m_waiting.erase(it);
                answer(waiting.questions, waiting.known);
                continue;
            }
            const auto wait =
                std::chrono::duration_cast<std::chrono::milliseconds>(it->when - now).count() + 1;
            timeout = timeout < 0 ? int(wait) : std::min(timeout, int(wait));
            ++it;
        }
        lock.unlock();
        pollfd fds[2] = {{m_socket, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        ::poll(fds, 2, timeout);
        lock.lock();
        char bytes[64];
        while (::read(m_wake[0], bytes, sizeof bytes) > 0) {
        }
        for (;;) {
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
            iovec part{buffer.data(), buffer.size()};
            sockaddr_in from{};
            msghdr message{};
            message.msg_name = &from;
            message.msg_namelen = sizeof from;
            message.msg_iov = &part;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            const ssize_t length = ::recvmsg(m_socket, &message, 0);
            if (length < 0) {
                break;
            }
            unsigned arrived = 0;
            for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                    in_pktinfo info;
                    std::memcpy(&info, CMSG_DATA(c), sizeof info);
                    arrived = unsigned(info.ipi_ifindex);
                }
            }
            if (arrived == m_ifindex && !(message.msg_flags & MSG_TRUNC)) {
                char address[INET_ADDRSTRLEN] = {};
                ::inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
                handle(buffer.data(), size_t(length),
                       std::string(address) + ":" + std::to_string(ntohs(from.sin_port)));
            }
        }
    }
}

void FakeMdnsResponder::handle(const uint8_t* data, size_t length, const std::string& source) {
    const auto query = mdns::decodeQuery(data, length);
    if (!query) {
        return;
    }
    FakeMdnsQuery heard;
    heard.truncated = query->truncated;
    heard.size = length;
    heard.source = source;
    heard.when = std::chrono::steady_clock::now();
    for (const auto& question : query->questions) {
        heard.questions.emplace_back(mdns::nameKey(question.first), question.second);
    }
    for (const auto& known : query->known_answers) {
        heard.known_answers.push_back(seen(known));
    }
    m_queries.push_back(heard);
    m_heard.notify_all();
    if (m_all_silent) {
        return;
    }
    std::vector<Record> known;
    for (const auto& record : query->known_answers) {
        known.push_back(Record{record});
    }
    auto waiting = std::find_if(m_waiting.begin(), m_waiting.end(),
                                [&](const Waiting& w) { return w.source == source; });
    if (!query->questions.empty() && !query->truncated) {
        answer(query->questions, known);
        return;
    }
    if (query->questions.empty() && waiting == m_waiting.end()) {
        return;  // known answers continuing no query
    }
    if (waiting == m_waiting.end()) {
        waiting = m_waiting.insert(m_waiting.end(), Waiting{source, heard.when, {}, {}});
    }
    if (query->truncated) {
        // More to come: answer 400-500 ms after the last packet flagged TC.
        const long long low = m_options.truncated_wait_min.count();
        const long long high = m_options.truncated_wait_max.count();
        std::uniform_int_distribution<long long> pause(low, std::max(low, high));
        waiting->when =
            std::max(waiting->when, heard.when + std::chrono::milliseconds(pause(m_random)));
    }
    waiting->questions.insert(waiting->questions.end(), query->questions.begin(),
                              query->questions.end());
    waiting->known.insert(waiting->known.end(), known.begin(), known.end());
}

void FakeMdnsResponder::answer(
    const std::vector<std::pair<std::vector<std::string>, uint16_t>>& questions,
    const std::vector<Record>& known) {
    const std::vector<Record> records = allRecords();
    std::map<std::string, std::vector<const Record*>> named;  // by name key
    for (const Record& record : records) {
        named[mdns::nameKey(record.name)].push_back(&record);
    }
    // The longest TTL listed for each known answer, by (name key, type, data).
    std::map<std::tuple<std::string, uint16_t, std::vector<uint8_t>>, uint32_t> listed;
    for (const Record& record : known) {
        uint32_t& ttl = listed[{mdns::nameKey(record.name), record.type, record.rdata}];
        ttl = std::max(ttl, record.ttl);
    }
    // Listed with at least half its TTL left.
    auto knownAlready = [&](const std::string& key, const Record& record) {
        const auto found = listed.find({key, record.type, record.rdata});
        return found != listed.end() && uint64_t(found->second) * 2 >= record.ttl;
    };
    // Each answer with the records its reader asks for next: the instance's SRV and TXT, the
    // host's A record.
    struct Group {
        Record answer;
        std::vector<Record> additionals;
    };
    std::vector<Group> groups;
    std::set<std::tuple<std::string, uint16_t, std::vector<uint8_t>>> answered;
    std::function<void(Group&, const mdns::Name&)> addFollowing = [&](Group& group,
                                                                      const mdns::Name& name) {
        const auto found = named.find(mdns::nameKey(name));
        if (found == named.end()) {
            return;
        }
        for (const Record* record : found->second) {
            if (record->type != kPtr &&
                std::none_of(group.additionals.begin(), group.additionals.end(),
                             [&](const Record& there) { return sameRecord(there, *record); })) {
                group.additionals.push_back(*record);
                if (record->type == kSrv) {
                    addFollowing(group, plainName(record->rdata, 6));
                }
            }
        }
    };
    for (const auto& question : questions) {
        const std::string key = mdns::nameKey(question.first);
        const auto found = named.find(key);
        if (found == named.end()) {
            continue;
        }
        for (const Record* record : found->second) {
            if ((question.second != record->type && question.second != kAny) ||
                knownAlready(key, *record) ||
                !answered.emplace(key, record->type, record->rdata).second) {
                continue;
            }
            Group group{*record, {}};
            if (record->type == kPtr) {
                addFollowing(group, plainName(record->rdata, 0));
            } else if (record->type == kSrv) {
                addFollowing(group, plainName(record->rdata, 6));
            }
            groups.push_back(std::move(group));
        }
    }
    // As many groups per datagram as fit; an additional record goes once per datagram.
    std::vector<mdns::WireRecord> answers;
    std::vector<mdns::WireRecord> additionals;
    size_t size = 12;
    auto flush = [&] {
        if (!answers.empty()) {
            send(mdns::encodeResponse(answers, additionals));
        }
        answers.clear();
        additionals.clear();
        size = 12;
    };
    // The group's additional records not yet in the datagram, and the bytes it adds.
    auto extraOf = [&](const Group& group, std::vector<const Record*>& extra) {
        extra.clear();
        size_t more = mdns::recordSize(group.answer);
        for (const Record& record : group.additionals) {
            if (std::none_of(
                    additionals.begin(), additionals.end(),
                    [&](const mdns::WireRecord& there) { return sameRecord(there, record); })) {
                extra.push_back(&record);
                more += mdns::recordSize(record);
            }
        }
        return more;
    };
    for (const Group& group : groups) {
        std::vector<const Record*> extra;
        size_t more = extraOf(group, extra);
        if (!answers.empty() && size + more > m_options.max_response) {
            flush();
            more = extraOf(group, extra);
        }
        answers.push_back(group.answer);
        for (const Record* record : extra) {
            additionals.push_back(*record);
        }
        size += more;
        m_answers.push_back({seen(group.answer), std::chrono::steady_clock::now()});
    }
    flush();
}

}  // namespace sim
