#pragma once

#include <QDialog>
#include <QMessageBox>

#include <functional>
#include <vector>

#include "Prompts.h"

// Answers the windows' dialogs from a script and records what they showed.
class FakePrompts : public Prompts {
public:
    struct Shown {
        QString title;
        QString text;
        QString informative;
    };

    // Called for each modal dialog; returns the dialog's result.
    std::function<int(QDialog&)> answer = [](QDialog&) { return int(QMessageBox::Ok); };
    QString file_name;
    std::vector<Shown> shown;
    std::vector<QString> file_captions;

    int runModal(QDialog& dialog) override {
        Shown seen{dialog.windowTitle(), {}, {}};
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
            seen.text = box->text();
            seen.informative = box->informativeText();
        }
        shown.push_back(seen);
        return answer(dialog);
    }

    QString openFileName(QWidget*, const QString& caption, const QString&,
                         const QString&) override {
        file_captions.push_back(caption);
        return file_name;
    }

    QString saveFileName(QWidget*, const QString& caption, const QString&,
                         const QString&) override {
        file_captions.push_back(caption);
        return file_name;
    }
};
