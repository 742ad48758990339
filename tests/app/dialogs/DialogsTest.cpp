#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkInterface>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>

#include <algorithm>
#include <vector>

#include "AboutDialog.h"
#include "NetworkInterfaceDialog.h"

namespace {

// The namespace holds lo, zeb0 (192.0.2.1) with its peer zeb0-p (192.0.2.2), and zeb6 with
// an IPv6 address only, with its peer.
bool ip(const QStringList& arguments) {
    return QProcess::execute(QStringLiteral("ip"), arguments) == 0;
}

int indexOf(const char* name) {
    return QNetworkInterface::interfaceIndexFromName(QString::fromLatin1(name));
}

struct Entry {
    QString text;
    int index;
    bool operator==(const Entry& o) const { return text == o.text && index == o.index; }
};

std::ostream& operator<<(std::ostream& out, const Entry& e) {
    return out << '"' << e.text.toStdString() << "\" " << e.index;
}

std::vector<Entry> entriesOf(const NetworkInterfaceDialog& dialog) {
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("comboBox"));
    std::vector<Entry> entries;
    for (int i = 0; i < combo->count(); ++i) {
        entries.push_back({combo->itemText(i), combo->itemData(i).toInt()});
        EXPECT_TRUE(combo->itemIcon(i).isNull());
    }
    return entries;
}

void saveImage(QWidget& widget, const char* name) {
    const QDir folder(QStringLiteral(ZEB_SCREENSHOT_DIR));
    ASSERT_TRUE(folder.exists() || QDir().mkpath(folder.path()));
    widget.show();
    EXPECT_TRUE(widget.grab().save(folder.filePath(QLatin1String(name) + QStringLiteral(".png"))));
}

class InterfaceDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ip({"addr", "add", "192.0.2.3/24", "dev", "zeb0"}));
        ASSERT_GT(indexOf("zeb0"), 0);
        // Addresses the dialog must leave out are there to be left out.
        const auto hasAddress = [](const char* name, QAbstractSocket::NetworkLayerProtocol p) {
            const auto entries =
                QNetworkInterface::interfaceFromName(QString::fromLatin1(name)).addressEntries();
            return std::any_of(entries.begin(), entries.end(),
                               [p](const auto& e) { return e.ip().protocol() == p; });
        };
        ASSERT_TRUE(hasAddress("zeb6", QAbstractSocket::IPv6Protocol));
        ASSERT_FALSE(hasAddress("zeb6", QAbstractSocket::IPv4Protocol));
        ASSERT_TRUE(hasAddress("lo", QAbstractSocket::IPv4Protocol));
    }
};

TEST_F(InterfaceDialog, ListsEachIPv4AddressOfTheWiredInterfaces) {
    const int zeb0 = indexOf("zeb0");
    const int peer = indexOf("zeb0-p");
    std::vector<Entry> expected = {{QStringLiteral("[ 192.0.2.1 ]   zeb0"), zeb0},
                                   {QStringLiteral("[ 192.0.2.3 ]   zeb0"), zeb0}};
    const Entry peer_entry{QStringLiteral("[ 192.0.2.2 ]   zeb0-p"), peer};
    // In the order the system lists the interfaces: by index.
    expected.insert(peer < zeb0 ? expected.begin() : expected.end(), peer_entry);

    NetworkInterfaceDialog dialog(nullptr, -1);
    EXPECT_EQ(entriesOf(dialog), expected);
    EXPECT_EQ(dialog.getCurrentText(), expected[0].text);
    EXPECT_EQ(dialog.getSelectedIndex(), expected[0].index);
    saveImage(dialog, "network_interface_dialog");
}

TEST_F(InterfaceDialog, Preselection) {
    const int zeb0 = indexOf("zeb0");
    const int peer = indexOf("zeb0-p");
    const int first = std::min(zeb0, peer);
    struct {
        int stored;
        int selected;
        QString text;
    } const cases[] = {
        {peer, peer, QStringLiteral("[ 192.0.2.2 ]   zeb0-p")},
        {zeb0, zeb0, QStringLiteral("[ 192.0.2.1 ]   zeb0")},
        {9999, first, QString()},             // no longer there: the first entry
        {-1, first, QString()},               // none stored
        {indexOf("zeb6"), first, QString()},  // IPv6 only: not offered
        {indexOf("lo"), first, QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        NetworkInterfaceDialog dialog(nullptr, c.stored);
        EXPECT_EQ(dialog.getSelectedIndex(), c.selected);
        if (!c.text.isEmpty()) {
            EXPECT_EQ(dialog.getCurrentText(), c.text);
        }
    }

    // Another entry chosen: its interface is the selection.
    NetworkInterfaceDialog dialog(nullptr, zeb0);
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("comboBox"));
    const int peer_entry = combo->findData(peer);
    combo->setCurrentIndex(peer_entry);
    EXPECT_EQ(dialog.getSelectedIndex(), peer);
    combo->setCurrentIndex(combo->findText(QStringLiteral("[ 192.0.2.3 ]   zeb0")));
    EXPECT_EQ(dialog.getSelectedIndex(), zeb0);
}

TEST_F(InterfaceDialog, NoWiredIPv4InterfaceOffersNothingAndOkYieldsZero) {
    ASSERT_TRUE(ip({"addr", "flush", "dev", "zeb0"}));
    ASSERT_TRUE(ip({"addr", "flush", "dev", "zeb0-p"}));
    NetworkInterfaceDialog dialog(nullptr, indexOf("zeb0"));
    EXPECT_TRUE(entriesOf(dialog).empty());
    EXPECT_EQ(dialog.getSelectedIndex(), 0);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))
        ->button(QDialogButtonBox::Ok)
        ->click();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished[0][0].toInt(), int(QDialog::Accepted));
    EXPECT_EQ(dialog.getSelectedIndex(), 0);
}

TEST_F(InterfaceDialog, FormAndButtons) {
    NetworkInterfaceDialog dialog(nullptr, -1);
    EXPECT_EQ(dialog.objectName(), QStringLiteral("NetworkInterfaceDialog"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Network Interface Selection"));
    auto* group = dialog.findChild<QGroupBox*>(QStringLiteral("groupBox"));
    ASSERT_TRUE(group);
    EXPECT_EQ(group->title(), QStringLiteral("Choose Network Interface"));
    EXPECT_EQ(group->alignment(), int(Qt::AlignCenter));
    EXPECT_TRUE(group->findChild<QComboBox*>(QStringLiteral("comboBox")));
    EXPECT_TRUE(dialog.isModal());
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowContextHelpButtonHint);

    QSignalSpy finished(&dialog, &QDialog::finished);
    auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_TRUE(buttons);
    EXPECT_EQ(buttons->orientation(), Qt::Horizontal);
    dialog.show();
    buttons->button(QDialogButtonBox::Cancel)->click();
    dialog.show();
    buttons->button(QDialogButtonBox::Ok)->click();
    ASSERT_EQ(finished.count(), 2);
    EXPECT_EQ(finished[0][0].toInt(), int(QDialog::Rejected));
    EXPECT_EQ(finished[1][0].toInt(), int(QDialog::Accepted));
}

TEST(InterfaceFilter, OnlyWiredIPv4AddressesOutsideLoopback) {
    struct {
        const char* address;
        const char* name;
        bool wireless_or_bluetooth;
        bool listed;
    } const cases[] = {
        {"192.0.2.1", "eth0", false, true},
        {"10.1.2.3", "Ethernet 2", false, true},
        {"127.0.0.1", "lo", false, false},
        {"127.1.2.3", "eth0", false, false},
        {"fe80::1", "eth0", false, false},
        {"::ffff:192.0.2.1", "eth0", false, false},
        {"192.0.2.1", "wlan0", true, false},  // classed wireless by the interface list
        {"192.0.2.1", "bnep0", true, false},  // classed Bluetooth
        {"192.0.2.1", "Wireless Network Connection", false, false},
        {"192.0.2.1", "Bluetooth Network Connection", false, false},
        {"192.0.2.1", "wireless-bridge", false, true},  // letter case counts
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            NetworkInterfaceDialog::isListed(QString::fromLatin1(c.address),
                                             QString::fromLatin1(c.name), c.wireless_or_bluetooth),
            c.listed)
            << c.address << " " << c.name;
    }
}

// The label and line edit of each row of the grid, in order.
std::vector<std::pair<QString, QString>> rowsOf(const AboutDialog& dialog) {
    auto* grid = dialog.findChild<QGridLayout*>(QStringLiteral("gridLayout"));
    std::vector<std::pair<QString, QString>> rows;
    for (int row = 0; row < grid->rowCount(); ++row) {
        auto* label = qobject_cast<QLabel*>(grid->itemAtPosition(row, 0)->widget());
        auto* edit = qobject_cast<QLineEdit*>(grid->itemAtPosition(row, 1)->widget());
        EXPECT_TRUE(label->font().bold());
        EXPECT_EQ(label->font().pointSize(), 11);
        rows.emplace_back(label->objectName() + QLatin1Char('=') + label->text(),
                          edit->objectName() + QLatin1Char('=') + edit->text());
    }
    return rows;
}

TEST(About, ControlApplication) {
    AboutDialog dialog(nullptr);
    EXPECT_EQ(dialog.objectName(), QStringLiteral("AboutDialog"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(dialog.windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(dialog.size(), QSize(629, 344));
    const std::vector<std::pair<QString, QString>> expected = {
        {QStringLiteral("label_2=Application:"), QStringLiteral("app_lineEdit=ZEB Control")},
        {QStringLiteral("label_3=Company:"), QStringLiteral("company_lineEdit=Corvantix")},
        {QStringLiteral("label=Version:"), QStringLiteral("version_lineEdit=1.5.3")},
    };
    EXPECT_EQ(rowsOf(dialog), expected);
    EXPECT_EQ(dialog.findChild<QGridLayout*>()->contentsMargins(), QMargins());

    auto* logo = dialog.findChild<QPushButton*>(QStringLiteral("pushButton"));
    ASSERT_TRUE(logo);
    EXPECT_TRUE(logo->isFlat());
    EXPECT_TRUE(logo->text().isEmpty());
    EXPECT_EQ(logo->iconSize(), QSize(256, 256));
    EXPECT_FALSE(logo->icon().isNull());

    QSignalSpy finished(&dialog, &QDialog::finished);
    auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    EXPECT_EQ(buttons->standardButtons(), QDialogButtonBox::Ok);
    dialog.show();
    buttons->button(QDialogButtonBox::Ok)->click();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished[0][0].toInt(), int(QDialog::Accepted));
    saveImage(dialog, "about");
}

TEST(About, UpdateUtilityHasNoCompanyRow) {
    AboutDialog dialog(nullptr, QStringLiteral("Kolvo Firmware Update"), QStringLiteral("1.3"));
    const std::vector<std::pair<QString, QString>> expected = {
        {QStringLiteral("label_2=Application:"),
         QStringLiteral("app_lineEdit=Kolvo Firmware Update")},
        {QStringLiteral("label=Version:"), QStringLiteral("version_lineEdit=1.3")},
    };
    EXPECT_EQ(rowsOf(dialog), expected);
    EXPECT_FALSE(dialog.findChild<QLineEdit*>(QStringLiteral("company_lineEdit")));
    EXPECT_FALSE(dialog.findChild<QLabel*>(QStringLiteral("label_3")));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About"));
    saveImage(dialog, "about_update_utility");
}

}  // namespace
