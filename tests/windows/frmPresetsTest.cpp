#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "FakePrompts.h"
#include "frmPresets.h"

namespace {

// Stands in for the device window: records the slot commands the dialog reaches.
class SlotOwner : public QWidget {
    Q_OBJECT
public:
    std::vector<int> saved, loaded;
    bool dialog_visible_at_save = false;
    frmPresets* dialog = nullptr;

public slots:
    void saveDevicePreset(int slot) {
        saved.push_back(slot);
        dialog_visible_at_save = dialog && dialog->isVisible();
    }
    void loadDevicePreset(int slot) { loaded.push_back(slot); }
};

class Presets : public ::testing::Test {
protected:
    SlotOwner owner;
    FakePrompts prompts;
    frmPresets* dialog = new frmPresets(&owner, &prompts);

    QComboBox* combo() { return dialog->findChild<QComboBox*>(QStringLiteral("cbPresetSelect")); }
};

TEST_F(Presets, Form) {
    EXPECT_EQ(dialog->objectName(), QStringLiteral("frmPresets"));
    EXPECT_EQ(dialog->size(), QSize(515, 137));
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Dialog"));
    ASSERT_TRUE(combo());
    ASSERT_EQ(combo()->count(), 10);
    EXPECT_EQ(combo()->itemText(0), QStringLiteral("Preset 0    (default)"));
    EXPECT_EQ(combo()->itemText(9), QStringLiteral("Preset 9"));
    EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("label"))->text(),
              QStringLiteral("Select Preset:"));
    EXPECT_EQ(dialog->findChild<QPushButton*>(QStringLiteral("btnOk"))->text(),
              QStringLiteral("Ok"));
    EXPECT_EQ(dialog->findChild<QPushButton*>(QStringLiteral("btnCancel"))->text(),
              QStringLiteral("Cancel"));
    for (const char* name : {"selectWidget", "verticalLayout", "verticalLayout_2",
                             "horizontalLayout", "horizontalLayout_2"}) {
        EXPECT_TRUE(dialog->findChild<QObject*>(QString::fromLatin1(name))) << name;
    }
}

TEST_F(Presets, SavingIntoSlotZeroAsksAndDecliningKeepsTheDialogOpen) {
    dialog->setMode(frmPresets::Save);
    dialog->show();
    prompts.answer = [](QDialog&) { return int(QMessageBox::Cancel); };
    dialog->OK();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].title, QStringLiteral("Save Device Default"));
    EXPECT_EQ(prompts.shown[0].text,
              QStringLiteral("Are you sure you want to overwrite the device's default settings?"));
    EXPECT_EQ(
        prompts.shown[0].informative,
        QStringLiteral("These are the settings that are loaded when the device is powered on."));
    EXPECT_TRUE(owner.saved.empty());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->selectedPreset(), 0);

    prompts.answer = [](QDialog&) { return int(QMessageBox::Save); };
    owner.dialog = dialog;
    dialog->OK();
    EXPECT_EQ(owner.saved, std::vector<int>{0});
    EXPECT_TRUE(owner.dialog_visible_at_save);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

TEST_F(Presets, OtherSlotsAndLoadingAskNothing) {
    dialog->setMode(frmPresets::Save);
    combo()->setCurrentIndex(3);
    dialog->OK();
    dialog->setMode(frmPresets::Load);
    combo()->setCurrentIndex(0);
    dialog->OK();
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(owner.saved, std::vector<int>{3});
    EXPECT_EQ(owner.loaded, std::vector<int>{0});
}

TEST_F(Presets, CancelRejects) {
    dialog->show();
    dialog->CANCEL();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_TRUE(owner.saved.empty() && owner.loaded.empty());
}

}  // namespace

#include "frmPresetsTest.moc"
