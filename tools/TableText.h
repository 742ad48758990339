#pragma once

#include <QString>

class IconNames;
class QAbstractItemModel;

// A table as tab-separated text: a line of its column headers, then a line per row, each cell
// its display text or, when it has none, the name of its icon (tabs and line breaks in a cell
// become blanks).
QString tableText(const QAbstractItemModel& model, IconNames& icons);
