#include "ProgressBarDelegate.h"

#include <QApplication>
#include <QStyleOptionProgressBar>

#include <algorithm>

#include "UpdateContext.h"
#include "VireoDevice.h"
#include "VireoDevices.h"

namespace kolvo {

ProgressBarDelegate::ProgressBarDelegate(UpdateContext& context, QObject* parent)
    : QItemDelegate(parent), m_context(context) {}

void ProgressBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const VireoDevice* device = m_context.devices().visibleDevice(index.row());
    if (!device) {
        return;
    }
    // The progress value passes the block count by one at the last block, and stays -1 while
    // no update runs; the stored values are kept, only the bar is held within its range.
    const int blocks = m_context.imageBlockCount();
    const int progress = device->getProgressValue();
    const int percent = progress >= 1 && blocks > 0
                            ? int(std::min<qint64>(qint64(progress) * 100 / blocks, 100))
                            : 0;
    QStyleOptionProgressBar bar;
    bar.rect = option.rect;
    bar.minimum = 0;
    bar.maximum = std::max(blocks, 1);
    bar.progress = blocks > 0 ? std::clamp(progress, 0, blocks) : 0;
    bar.text = QStringLiteral("%1%").arg(percent, 0, 10, QLatin1Char(' '));
    bar.textAlignment = Qt::AlignHCenter | Qt::AlignVCenter;
    bar.textVisible = true;
    QApplication::style()->drawControl(QStyle::CE_ProgressBar, &bar, painter);
}

}  // namespace kolvo
