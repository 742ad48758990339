// zeb-sim: a whole simulated Vireo network for ZEB_Control, from the fakes of this folder.
//   zeb-sim [--devices N] [--interface NAME] [--first-address A] [--status-period-ms MS]
//   zeb-sim --write-image PATH [--version MAJOR.MINOR]
// N amplifiers of the maker (default 8) of two models (one per page of the device window),
// and one of another maker, named "ZEB-AMP-01" on, at consecutive addresses from A (default
// 192.0.2.10; they must exist, e.g. on zeb0-p); the mDNS responder on NAME (default zeb0, the
// application's interface), the conmon and configuration services on 127.0.0.1. Every device
// announces its status every MS (default 5000), staggered, and its meters read about -20 dBFS.
// Prints a line per set request and text command (with its sender) and per answered "VERSION"
// (with the version). Standard input: status NAME a,b,c / leave NAME / join NAME / quit.
// --write-image writes a firmware image that the simulated devices take (default version
// 2.0) and exits.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "FakeFirmwareImage.h"
#include "FakeNetwork.h"
#include "SimConsole.h"

namespace {

struct Options {
    int devices = 8;
    std::string interface = "zeb0";
    std::string first_address = "192.0.2.10";
    int status_period_ms = 5000;
    std::string write_image;  // a path: write the image and exit
    int image_major = 2;
    int image_minor = 0;
    bool image_version_given = false;
};

struct Model {
    const char* name;
    bool full_bandwidth;  // the device window's second page
};
const Model kModels[] = {{"ZEB-2X100", false}, {"ZEB-4X50", true}};
const char kForeignMaker[] = "Sonarix";
const char kGreen[] = "amp 0,0,0";
constexpr int kMaxDevices = 2000;
constexpr float kMeterCentreDb = -20.0f;
constexpr float kMeterSwingDb = 3.0f;

int g_stop_pipe[2] = {-1, -1};
std::mutex g_print;

void print(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_print);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

[[noreturn]] void usage(const char* problem) {
    std::fprintf(stderr,
                 "zeb-sim: %s\nusage: zeb-sim [--devices N] [--interface NAME] "
                 "[--first-address A] [--status-period-ms MS]\n"
                 "       zeb-sim --write-image PATH [--version MAJOR.MINOR]\n",
                 problem);
    std::exit(2);
}

int number(const char* text, int min, int max, const char* what) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (!*text || *end || value < min || value > max) {
        usage(what);
    }
    return int(value);
}

// "MAJOR.MINOR", each 0 to 127.
void imageVersion(const std::string& text, Options& options) {
    const size_t dot = text.find('.');
    const char* problem = "--version takes MAJOR.MINOR, each 0 to 127";
    if (dot == std::string::npos) {
        usage(problem);
    }
    options.image_major = number(text.substr(0, dot).c_str(), 0, 127, problem);
    options.image_minor = number(text.substr(dot + 1).c_str(), 0, 127, problem);
    options.image_version_given = true;
}

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) {
            usage(("no value for " + option).c_str());
        }
        const char* value = argv[++i];
        if (option == "--devices") {
            options.devices =
                number(value, 1, kMaxDevices,
                       ("--devices takes 1 to " + std::to_string(kMaxDevices)).c_str());
        } else if (option == "--interface") {
            options.interface = value;
        } else if (option == "--first-address") {
            options.first_address = value;
        } else if (option == "--status-period-ms") {
            options.status_period_ms =
                number(value, 100, 3600000, "--status-period-ms takes 100 to 3600000");
        } else if (option == "--write-image") {
            options.write_image = value;
        } else if (option == "--version") {
            imageVersion(value, options);
        } else {
            usage(("unknown option " + option).c_str());
        }
    }
    if (options.image_version_given && options.write_image.empty()) {
        usage("--version goes with --write-image");
    }
    return options;
}

// The address `offset` after `first`, dotted; empty when it leaves the simulated ranges.
std::string addressAfter(const std::string& first, int offset) {
    in_addr address{};
    if (!sim::isSimAddress(first) || ::inet_pton(AF_INET, first.c_str(), &address) != 1) {
        return {};
    }
    address.s_addr = htonl(ntohl(address.s_addr) + uint32_t(offset));
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return sim::isSimAddress(text) ? std::string(text) : std::string();
}

// The first IPv4 address of the interface; empty when it has none.
std::string addressOf(const std::string& interface) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return {};
    }
    std::string address;
    for (const ifaddrs* entry = list; entry && address.empty(); entry = entry->ifa_next) {
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET &&
            interface == entry->ifa_name) {
            char text[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr,
                        text, sizeof text);
            address = text;
        }
    }
    ::freeifaddrs(list);
    return address;
}

std::string deviceName(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "ZEB-AMP-%02d", n);
    return name;
}

// Both channels with eight bands, as a device starts.
dsp_t initialDsp() {
    dsp_t dsp;
    dsp.set_dsp_id(0);
    for (uint32_t c = 0; c < 2; ++c) {
        channel_t* channel = dsp.add_channel();
        channel->set_channel_id(c);
        channel->mutable_input()->set_gain(0);
        channel->mutable_output()->set_gain(0);
        channel->mutable_output()->set_mute(false);
        channel->mutable_high_pass_filter()->set_freq(40);
        channel->mutable_low_pass_filter()->set_freq(20000);
        for (uint32_t b = 0; b < 8; ++b) {
            dsp_peq_t* band = channel->add_peq();
            band->set_band_id(b);
            band->set_freq(125u << b);
            band->set_gain(0);
            band->set_q(1.41421354f);
        }
    }
    return dsp;
}

std::vector<sim::FakeNetworkDevice> devicesOf(const Options& options) {
    std::vector<sim::FakeNetworkDevice> devices;
    for (int n = 1; n <= options.devices + 1; ++n) {
        const std::string address = addressAfter(options.first_address, n - 1);
        if (address.empty()) {
            usage("device addresses must lie in 127.0.0.0/8, 192.0.2.0/24 or 198.18.0.0/15");
        }
        const bool foreign = n > options.devices;
        sim::FakeNetworkDevice device = sim::FakeNetwork::amplifier(deviceName(n), address, n);
        device.model_name = kModels[(n - 1) % 2].name;
        if (foreign) {
            device.manufacturer = kForeignMaker;
        }
        devices.push_back(device);
    }
    return devices;
}

// Writes the image; the process's exit status.
int writeImage(const Options& options) {
    const sim::FakeFirmwareImage image =
        sim::FakeFirmwareImage::forSimDevices(options.image_major, options.image_minor);
    const sim::Bytes bytes = image.bytes();
    FILE* file = std::fopen(options.write_image.c_str(), "wb");
    const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (!file || std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "zeb-sim: cannot write %s: %s\n", options.write_image.c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::string product_id;
    for (uint8_t byte : image.product_id) {
        product_id += std::to_string(byte);
    }
    print("zeb-sim: wrote " + options.write_image + ": version " + std::to_string(image.major) +
          "." + std::to_string(image.minor) + ", product id " + product_id + ", manufacturer " +
          image.manufacturer);
    return 0;
}

void onSignal(int) {
    const char byte = 0;
    (void)::write(g_stop_pipe[1], &byte, 1);
}

// Runs one line of standard input; false for quit. `statuses`: what each device announces.
bool runCommand(sim::FakeNetwork& network, const std::string& line,
                std::chrono::milliseconds period, std::vector<std::string>& statuses) {
    const sim::SimCommand command = sim::parseSimCommand(line);
    if (command.kind == sim::SimCommand::kNone) {
        return true;
    }
    if (command.kind == sim::SimCommand::kQuit) {
        return false;
    }
    if (command.kind == sim::SimCommand::kInvalid) {
        print("zeb-sim: " + command.error);
        return true;
    }
    const int index = network.indexOf(command.device);
    if (index < 0) {
        print("zeb-sim: no device " + command.device);
        return true;
    }
    const size_t at = size_t(index);
    if (command.kind == sim::SimCommand::kStatus) {
        statuses[at] = command.status;
        if (!network.hasLeft(at)) {
            network.device(at).sendStatusEvery(period, command.status);
        }
        print(command.device + " status \"" + command.status + "\"");
    } else if (command.kind == sim::SimCommand::kLeave) {
        print(command.device + (network.leave(at) ? " left" : " has left already"));
    } else if (network.join(at)) {
        network.device(at).sendStatusEvery(period, statuses[at]);
        print(command.device + " joined");
    } else {
        print(command.device + " has not left");
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    if (!options.write_image.empty()) {
        return writeImage(options);
    }
    const std::string interface_address = addressOf(options.interface);
    if (!sim::isSimAddress(interface_address)) {
        usage(("interface " + options.interface +
               " needs an address in 127.0.0.0/8, 192.0.2.0/24 or 198.18.0.0/15")
                  .c_str());
    }

    sim::FakeNetworkOptions network_options;
    network_options.controller_interface = options.interface;
    network_options.mdns_address = interface_address;
    sim::FakeNetwork network(devicesOf(options), network_options);
    const dsp_t dsp = initialDsp();
    for (size_t i = 0; i < network.size(); ++i) {
        const std::string name = network.spec(i).name;
        sim::FakeDevice& device = network.device(i);
        qz_msgs::system_t system = device.system();
        system.set_full_bandwidth(kModels[i % 2].full_bandwidth);
        system.set_num_channels(2);
        device.setSystem(system);
        device.setDsp(dsp);
        device.setMeterLevels(kMeterCentreDb, kMeterSwingDb, uint32_t(i + 1));
        device.setObserver([name, &device](const sim::LoggedDatagram& datagram, bool answered) {
            for (const std::string& line :
                 sim::reportLines(name, datagram, answered, device.versionText())) {
                print(line);
            }
        });
    }

    if (::pipe(g_stop_pipe) != 0) {
        std::perror("zeb-sim: pipe");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    if (!network.start()) {
        std::fprintf(stderr,
                     "zeb-sim: the network could not start (are the device addresses on an "
                     "interface, and ports 5353, 8850, 8900 and 49494 free?)\n");
        return 1;
    }
    const auto period = std::chrono::milliseconds(options.status_period_ms);
    std::vector<std::string> statuses(network.size(), kGreen);
    for (size_t i = 0; i < network.size(); ++i) {
        network.device(i).sendStatusEvery(period, kGreen, period * int(i) / int(network.size()));
    }
    print("zeb-sim: " + std::to_string(options.devices) + " devices from " +
          network.spec(0).address + " and " + network.spec(network.size() - 1).name +
          " of another maker; mDNS on " + options.interface + " (" + interface_address + ")");

    std::string pending;
    bool reading = true;
    for (;;) {
        pollfd fds[2] = {{g_stop_pipe[0], POLLIN, 0}, {reading ? 0 : -1, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            continue;
        }
        if (fds[0].revents) {
            break;
        }
        if (!fds[1].revents) {
            continue;
        }
        char buffer[512];
        const ssize_t length = ::read(0, buffer, sizeof buffer);
        if (length <= 0) {
            reading = false;  // no more commands; run on until a signal
            continue;
        }
        pending.append(buffer, size_t(length));
        bool quit = false;
        for (size_t end; !quit && (end = pending.find('\n')) != std::string::npos;) {
            quit = !runCommand(network, pending.substr(0, end), period, statuses);
            pending.erase(0, end + 1);
        }
        if (quit) {
            break;
        }
        if (pending.size() > 4096) {
            pending.clear();
        }
    }
    network.stop();
    print("zeb-sim: stopped");
    return 0;
}
