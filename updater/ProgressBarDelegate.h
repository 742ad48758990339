#pragma once

#include <QItemDelegate>

namespace kolvo {

class UpdateContext;

// Paints a row's push progress as a progress bar: its progress value of the image's block
// count, and the percentage.
class ProgressBarDelegate : public QItemDelegate {
    Q_OBJECT
public:
    ProgressBarDelegate(UpdateContext& context, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    UpdateContext& m_context;
};

}  // namespace kolvo
