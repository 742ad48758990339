#pragma once

#include <string>
#include <vector>

#include "FakeDevice.h"
#include "FakeWire.h"

// What zeb-sim reads from its standard input and what it prints of the devices' traffic.
namespace sim {

struct SimCommand {
    enum Kind {
        kNone,     // an empty line
        kStatus,   // status NAME a,b,c: the device announces "amp a,b,c" from now on
        kLeave,    // leave NAME: goodbye, then silence
        kJoin,     // join NAME: a device that left comes back
        kQuit,     // quit
        kInvalid,  // anything else; `error` says why
    };
    Kind kind = kNone;
    std::string device;
    std::string status;  // the status text, for kStatus
    std::string error;
};

SimCommand parseSimCommand(const std::string& line);

// The lines printed for a datagram a device received: a set request (its payload in hex and
// decoded) and a text command, each with its sender, and "answered VERSION" with `version`
// when the device answered that one.
std::vector<std::string> reportLines(const std::string& device, const LoggedDatagram& datagram,
                                     bool answered, const std::string& version);

// Whether zeb-sim may put a device or service at this IPv4 address: 127.0.0.0/8, 192.0.2.0/24
// and 198.18.0.0/15 only.
bool isSimAddress(const std::string& dotted);

}  // namespace sim
