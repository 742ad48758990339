// A ".pset" file as the multi-device loader and the device window read it: the header and the
// model name it shows, then the settings for that model on either page of the window.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "PresetFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray file = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const QByteArray header = presetfile::header(file);
    const QString model = presetfile::modelName(file);
    if (header.size() > presetfile::kHeaderSize || model.size() > header.size()) {
        __builtin_trap();
    }
    // The one-channel page, and the two-channel page with its input type.
    const presetfile::Controls pages[] = {{{8}, false}, {{8, 8}, true}};
    for (const presetfile::Controls& page : pages) {
        dsp_t settings;
        if (!presetfile::read(file, model, page, &settings)) {
            continue;
        }
        const std::vector<int>& bands = page.band_counts;
        if (presetfile::headerFor(model) != header) {
            __builtin_trap();
        }
        // Read by position, as the window applies them: every level and Q is a number.
        bool finite = std::isfinite(settings.pink_gen().level());
        for (int c = 0; c < int(bands.size()); ++c) {
            const channel_t& channel = settings.channel(c);
            finite = finite && std::isfinite(channel.input().gain()) &&
                     std::isfinite(channel.output().gain());
            for (int b = 0; b < bands[c]; ++b) {
                finite = finite && std::isfinite(channel.peq(b).gain()) &&
                         std::isfinite(channel.peq(b).q());
            }
        }
        if (!finite) {
            __builtin_trap();
        }
    }
    return 0;
}
