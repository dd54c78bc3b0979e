#include "widgets/vistaitemdelegate.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace {

// The tick-box pictures hold four 13-pixel states side by side.
enum class BoxState
{
    Normal = 0,
    Hover = 1,
    Disabled = 3,
};

QString boxPicture(Qt::CheckState state)
{
    return state == Qt::Checked ? QStringLiteral(":/skin/ckb_checked.png")
                                : QStringLiteral(":/skin/ckb_unchecked.png");
}

BoxState boxState(const QStyleOptionViewItem& option)
{
    if (!(option.state & QStyle::State_Enabled))
        return BoxState::Disabled;
    if (option.state & QStyle::State_MouseOver)
        return BoxState::Hover;
    return BoxState::Normal;
}

bool isTickable(const QModelIndex& index)
{
    const Qt::ItemFlags flags = index.flags();
    return (flags & Qt::ItemIsUserCheckable) && (flags & Qt::ItemIsEnabled);
}

// Space between a progress bar and its cell's edges, above and below and at both ends.
constexpr int kProgressMargin = 2;
// How much darker than the palette's highlight a progress bar is drawn.
constexpr int kProgressDarkness = 200;

} // namespace

QRect VistaItemDelegate::progressRect(const QRect& cell, double percent)
{
    // Written so that a NaN gives no bar.
    if (!(percent > 0))
        return {};
    const QRect inner =
        cell.adjusted(kProgressMargin, kProgressMargin, -kProgressMargin, -kProgressMargin);
    const double share = std::min(percent, 100.0) / 100.0;
    return QRect(inner.topLeft(), QSize(qRound(inner.width() * share), inner.height()));
}

QRect VistaItemDelegate::tickBoxRect(const QRect& cell)
{
    return QRect(cell.x() + (cell.width() + 1) / 2, cell.y() + (cell.height() - kTickBoxSide) / 2,
                 kTickBoxSide, kTickBoxSide);
}

void VistaItemDelegate::initStyleOption(QStyleOptionViewItem* option,
                                        const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    // The box is this delegate's picture, not the style's indicator.
    option->features &= ~QStyleOptionViewItem::HasCheckIndicator;
}

void VistaItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    const QVariant progress = index.data(kProgressRole);
    if (progress.isValid())
        paintProgress(painter, option, progress.toDouble());
    const QVariant check = index.data(Qt::CheckStateRole);
    if (!check.isValid())
        return;
    const QPixmap strip(boxPicture(check.value<Qt::CheckState>()));
    const int offset = static_cast<int>(boxState(option)) * kTickBoxSide;
    painter->drawPixmap(tickBoxRect(option.rect), strip,
                        QRect(offset, 0, kTickBoxSide, kTickBoxSide));
}

// The bar goes over the cell the style has drawn, in the Lighten mode: each pixel takes
// the brighter of the bar and what is there. The bar is the palette's highlight darkened
// below the texts of the dark list, so the row's background takes the bar's colour while
// the text, brighter, stays exactly as the style drew it. The rows of a run are disabled,
// and their bars still show the run's progress: the highlight is the active one.
void VistaItemDelegate::paintProgress(QPainter* painter, const QStyleOptionViewItem& option,
                                      double percent)
{
    const QRect bar = progressRect(option.rect, percent);
    if (bar.isEmpty())
        return;
    painter->save();
    painter->setCompositionMode(QPainter::CompositionMode_Lighten);
    painter->fillRect(
        bar, option.palette.color(QPalette::Active, QPalette::Highlight).darker(kProgressDarkness));
    painter->restore();
}

bool VistaItemDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                    const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() != QEvent::MouseButtonRelease)
        return false;
    const QVariant check = index.data(Qt::CheckStateRole);
    if (!check.isValid() || !isTickable(index))
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton ||
        !tickBoxRect(option.rect).contains(mouse->position().toPoint()))
        return false;
    const Qt::CheckState next =
        check.value<Qt::CheckState>() == Qt::Checked ? Qt::Unchecked : Qt::Checked;
    return model->setData(index, next, Qt::CheckStateRole);
}
