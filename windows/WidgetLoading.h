#pragma once

#include <QAbstractButton>
#include <QSignalBlocker>

// Loads a check box or radio button without a signal, so loading never sends anything.
// True when its state changed; a missing widget is left alone.
inline bool loadChecked(QAbstractButton* button, bool checked) {
    if (!button || button->isChecked() == checked) {
        return false;
    }
    const QSignalBlocker blocker(button);
    button->setChecked(checked);
    return true;
}
