#pragma once

#include <QHash>
#include <QHostAddress>
#include <QString>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>

// The kinds of log line about what a peer sent.
enum class PeerLine {
    EmptyReply,       // an empty datagram on the command socket
    StrayReply,       // a reply from an address that no record has
    MalformedReply,   // a reply that does not read as one
    EmptyStatus,      // an empty status datagram
    StrayStatus,      // a status datagram from an address that no record has
    MalformedStatus,  // status lines of another shape
};

// Keeps peers from flooding the log: at most one line of a kind from one sender per window;
// the next line written after some were left out says how many. The senders remembered are
// bounded: past the capacity the one heard from least recently is forgotten.
class PeerLogLimit {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::milliseconds kWindow{10000};
    static constexpr std::size_t kCapacity = 4096;

    // `clock`: a monotonic clock; none gives the steady clock.
    explicit PeerLogLimit(std::chrono::milliseconds window = kWindow, Clock clock = {},
                          std::size_t capacity = kCapacity);

    // The line to write for `text`, a line of `kind` about what `sender` sent: `text` itself,
    // followed by " (N more left out)" when N lines were left out since the last one written;
    // a null string when this one is left out.
    QString admit(const QHostAddress& sender, PeerLine kind, const QString& text);

    // The number of sender and kind pairs remembered.
    std::size_t size() const { return m_entries.size(); }

private:
    struct Key {
        Q_IPV6ADDR address;
        PeerLine kind;
        bool operator==(const Key& other) const;
    };
    friend uint qHash(const Key& key, uint seed);

    struct Entry {
        Key key;
        std::chrono::steady_clock::time_point written;
        std::uint64_t left_out = 0;
    };

    const std::chrono::milliseconds m_window;
    const Clock m_clock;
    const std::size_t m_capacity;
    std::list<Entry> m_entries;  // least recently heard from first
    QHash<Key, std::list<Entry>::iterator> m_index;
};
