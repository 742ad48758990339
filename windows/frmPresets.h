#pragma once

#include <QDialog>

class QComboBox;
class QPushButton;
class Prompts;

// Picks one of a device's ten preset slots to save into or load from.
class frmPresets : public QDialog {
    Q_OBJECT
public:
    enum Mode { Save, Load };

    // Connects the two signals to the parent's saveDevicePreset(int) and loadDevicePreset(int).
    explicit frmPresets(QWidget* parent, Prompts* prompts = nullptr);

    void setMode(Mode mode) { m_mode = mode; }
    Mode mode() const { return m_mode; }
    int selectedPreset() const { return m_selected; }

signals:
    void saveDevicePresetSignal(int);
    void loadDevicePresetSignal(int);

public slots:
    void presetSelected(int index);
    void OK();
    void CANCEL();

private:
    void buildForm();

    Prompts& m_prompts;
    int m_selected = 0;
    Mode m_mode = Save;
    QComboBox* m_combo = nullptr;
};
