#include "IconNames.h"

#include <QDirIterator>
#include <QFileInfo>

namespace {

constexpr int kSide = 16;

}  // namespace

void IconNames::loadImages() {
    m_loaded = true;
    QDirIterator files(QStringLiteral(":/images"), {QStringLiteral("*.png")}, QDir::Files);
    while (files.hasNext()) {
        const QString path = files.next();
        m_images.append({QFileInfo(path).completeBaseName(), QIcon(path).pixmap(kSide).toImage()});
    }
}

QString IconNames::nameOf(const QIcon& icon) {
    if (icon.isNull()) {
        return {};
    }
    const auto known = m_names.constFind(icon.cacheKey());
    if (known != m_names.constEnd()) {
        return *known;
    }
    if (!m_loaded) {
        loadImages();
    }
    const QImage image = icon.pixmap(kSide).toImage();
    QString name;
    for (const auto& candidate : qAsConst(m_images)) {
        if (candidate.second == image) {
            name = candidate.first;
            break;
        }
    }
    m_names.insert(icon.cacheKey(), name);
    return name;
}
