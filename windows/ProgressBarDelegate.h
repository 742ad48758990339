#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

class DevList;

// Draws a row's progress in the loader's table as a progress bar.
class ProgressBarDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    ProgressBarDelegate(DevList* model, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    QPointer<DevList> m_model;
    QWidget* m_parent_widget;
};
