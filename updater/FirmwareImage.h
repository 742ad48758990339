#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace kolvo {

// A firmware image as loaded and checked: its bytes, pushed as they are, and its header.
struct FirmwareImage {
    QString path;
    QByteArray bytes;
    int major = 0;
    int minor = 0;
    QByteArray product_id;  // decimal text
    QByteArray vendor_id;   // 8 bytes, zero bytes kept

    // The text after the last "/" of the path.
    QString fileName() const;

    // Nothing when the file cannot be read, is shorter than the header or is too large to push.
    static std::optional<FirmwareImage> load(const QString& path);
};

}  // namespace kolvo
