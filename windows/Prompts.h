#pragma once

#include <QString>

class QDialog;
class QWidget;

// The one seam through which the windows run modal dialogs and file choosers, so tests can
// answer them without a modal loop.
class Prompts {
public:
    virtual ~Prompts() = default;

    // Runs a dialog (message box, slot dialog) modally and returns its result.
    virtual int runModal(QDialog& dialog) = 0;
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter) = 0;

    // The Qt dialogs themselves.
    static Prompts& standard();
};
