#include "ProgressBarDelegate.h"

#include <QPainter>
#include <QProgressBar>

#include "DevList.h"
#include "MdslDev.h"

ProgressBarDelegate::ProgressBarDelegate(DevList* model, QObject* parent)
    : QStyledItemDelegate(parent),
      m_model(model),
      m_parent_widget(qobject_cast<QWidget*>(parent)) {}

void ProgressBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    MdslDev* dev = m_model ? m_model->row(index.row()) : nullptr;
    if (!dev) {
        return;
    }
    QProgressBar bar;
    bar.setStyleSheet(m_parent_widget ? m_parent_widget->styleSheet() : QString());
    bar.setRange(0, 100);
    bar.setValue(dev->getProgress());
    bar.resize(option.rect.width(), option.rect.height());
    painter->save();
    painter->translate(option.rect.topLeft());
    bar.render(painter, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    painter->restore();
}
