#include <gtest/gtest.h>

#include "PresetFile.h"

namespace {

QByteArray padded(const QByteArray& name, int size = presetfile::kHeaderSize) {
    return name + QByteArray(size - name.size(), '\0');
}

TEST(PresetFile, ModelNameIsTheHeaderUpToItsFirstZeroByte) {
    struct {
        QByteArray file;
        QString model;
    } const cases[] = {
        {padded("ZEB-2X100") + "\x08\x00", QStringLiteral("ZEB-2X100")},
        {QByteArray(32, 'M') + "\x08\x00", QString(32, QLatin1Char('M'))},
        {QByteArray("ZEB\0junk", 8) + QByteArray(24, 'x'), QStringLiteral("ZEB")},
        {QByteArray("ZEB-2X"), QStringLiteral("ZEB-2X")},  // shorter than a header
        {QByteArray(), QString()},
        {QByteArray("Mod\xe8le", 6), QStringLiteral("Mod\u00e8le")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(presetfile::modelName(c.file), c.model) << c.file.toHex().toStdString();
    }
}

TEST(PresetFile, MatchesOnlyTheWholePaddedName) {
    const QString model = QStringLiteral("ZEB-2X100");
    EXPECT_TRUE(presetfile::isFor(padded("ZEB-2X100"), model));
    EXPECT_TRUE(presetfile::isFor(padded("ZEB-2X100") + "rest", model));
    EXPECT_FALSE(presetfile::isFor(padded("ZEB-2X100", 31), model));
    EXPECT_FALSE(presetfile::isFor(padded("ZEB-2X10"), model));
    EXPECT_FALSE(presetfile::isFor(padded("zeb-2x100"), model));
    const QString longest(32, QLatin1Char('M'));
    EXPECT_TRUE(presetfile::isFor(QByteArray(32, 'M'), longest));
    EXPECT_FALSE(presetfile::isFor(QByteArray(40, 'M'), QString(40, QLatin1Char('M'))));
    EXPECT_EQ(presetfile::headerFor(QString(40, QLatin1Char('M'))), QByteArray(32, 'M'));
    EXPECT_EQ(presetfile::headerFor(model), padded("ZEB-2X100"));
}

}  // namespace
