#pragma once

class VireoDevices;
class ZEB_Window;

// What the multi-device loader needs of the window that opens it and is its parent: the
// device list and the one device window it drives.
class MdslHost {
public:
    virtual ~MdslHost() = default;

    virtual VireoDevices* getVireoDevices() = 0;
    virtual ZEB_Window* getZEB_Window() = 0;
};
