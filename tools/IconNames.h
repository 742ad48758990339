#pragma once

#include <QHash>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QPair>
#include <QString>

// Names an icon by the compiled-in image (":/images/NAME.png") it shows: "green_led",
// "checkbox_checked"; empty when it shows none of them.
class IconNames {
public:
    QString nameOf(const QIcon& icon);

private:
    void loadImages();

    bool m_loaded = false;
    QList<QPair<QString, QImage>> m_images;
    QHash<qint64, QString> m_names;  // by the icon's cache key
};
