#include "FirmwareImage.h"

#include <QFile>

#include "ImageHeader.h"
#include "TftpTransfer.h"

namespace kolvo {

QString FirmwareImage::fileName() const {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

std::optional<FirmwareImage> FirmwareImage::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    // One byte past the limit tells a file that is too large, without reading all of it.
    const QByteArray bytes = file.read(TftpTransfer::kMaxImageSize + 1);
    if (file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    const auto header =
        readImageHeader(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    if (!header) {
        return std::nullopt;
    }
    FirmwareImage image;
    image.path = path;
    image.bytes = bytes;
    image.major = header->major;
    image.minor = header->minor;
    image.product_id = QByteArray::fromStdString(header->product_id);
    image.vendor_id = QByteArray::fromStdString(header->vendor_id);
    return image;
}

}  // namespace kolvo
