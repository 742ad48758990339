#include "PeerLogLimit.h"

#include <cstring>

bool PeerLogLimit::Key::operator==(const Key& other) const {
    return kind == other.kind && std::memcmp(address.c, other.address.c, sizeof address.c) == 0;
}

uint qHash(const PeerLogLimit::Key& key, uint seed) {
    return qHashBits(key.address.c, sizeof key.address.c, seed) ^ uint(key.kind);
}

PeerLogLimit::PeerLogLimit(std::chrono::milliseconds window, Clock clock, std::size_t capacity)
    : m_window(window),
      m_clock(clock ? std::move(clock) : Clock(&std::chrono::steady_clock::now)),
      m_capacity(qMax<std::size_t>(capacity, 1)) {}

QString PeerLogLimit::admit(const QHostAddress& sender, PeerLine kind, const QString& text) {
    const auto now = m_clock();
    // IPv4 senders as their IPv4-mapped IPv6 form, the null address as all zeros.
    const Key key{sender.isNull() ? Q_IPV6ADDR{} : sender.toIPv6Address(), kind};
    const auto found = m_index.find(key);
    if (found == m_index.end()) {
        if (m_entries.size() >= m_capacity) {
            m_index.remove(m_entries.front().key);
            m_entries.pop_front();
        }
        m_entries.push_back({key, now, 0});
        m_index.insert(key, std::prev(m_entries.end()));
        return text;
    }
    const auto entry = found.value();
    m_entries.splice(m_entries.end(), m_entries, entry);
    if (now - entry->written < m_window) {
        ++entry->left_out;
        return QString();
    }
    const std::uint64_t left_out = entry->left_out;
    entry->left_out = 0;
    entry->written = now;
    return left_out == 0 ? text : text + QStringLiteral(" (%1 more left out)").arg(left_out);
}
