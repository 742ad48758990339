#include "TableText.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <QStringList>

#include "IconNames.h"

namespace {

QString cellText(QString text) {
    for (QChar& c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}

QString line(const QStringList& cells) {
    QStringList clean;
    for (const QString& cell : cells) {
        clean << cellText(cell);
    }
    return clean.join(QLatin1Char('\t')) + QLatin1Char('\n');
}

}  // namespace

QString tableText(const QAbstractItemModel& model, IconNames& icons) {
    const int columns = model.columnCount();
    QStringList headers;
    for (int column = 0; column < columns; ++column) {
        headers << model.headerData(column, Qt::Horizontal).toString();
    }
    QString text = line(headers);
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < columns; ++column) {
            const QModelIndex index = model.index(row, column);
            QString cell = model.data(index).toString();
            if (cell.isEmpty()) {
                cell = icons.nameOf(model.data(index, Qt::DecorationRole).value<QIcon>());
            }
            cells << cell;
        }
        text += line(cells);
    }
    return text;
}
