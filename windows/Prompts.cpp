#include "Prompts.h"

#include <QDialog>
#include <QFileDialog>

namespace {

class QtPrompts : public Prompts {
public:
    int runModal(QDialog& dialog) override { return dialog.exec(); }

    QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override {
        return QFileDialog::getOpenFileName(parent, caption, dir, filter);
    }

    QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override {
        return QFileDialog::getSaveFileName(parent, caption, dir, filter);
    }
};

}  // namespace

Prompts& Prompts::standard() {
    static QtPrompts prompts;
    return prompts;
}
