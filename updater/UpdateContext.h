#pragma once

class Prompts;
class QString;
class QWidget;

namespace kolvo {

class VireoDevices;

// What the device table, its progress bars and the push read and write of the update run
// that owns them: the device table, the run's flags, the image's block count, the status
// line, the end of a run, and the seam for message boxes.
class UpdateContext {
public:
    virtual VireoDevices& devices() = 0;
    // From the start of a run until the user goes back to discovery.
    virtual bool isUpdateRunning() const = 0;
    // An image file is chosen.
    virtual bool hasImage() const = 0;
    // The image size / 256, without the remainder; what the progress bars count to.
    virtual int imageBlockCount() const = 0;
    virtual void setImageBlockCount(int count) = 0;
    virtual void reportStatus(const QString& status) = 0;
    // The push has processed every selected device, or was cancelled or stopped.
    virtual void finishedFirmwareUpdates() = 0;
    virtual Prompts& prompts() = 0;
    // The parent of message boxes.
    virtual QWidget* dialogParent() = 0;

protected:
    ~UpdateContext() = default;
};

}  // namespace kolvo
