#include "widgets/vistaitemdelegate.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

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

} // namespace

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
    const QVariant check = index.data(Qt::CheckStateRole);
    if (!check.isValid())
        return;
    const QPixmap strip(boxPicture(check.value<Qt::CheckState>()));
    const int offset = static_cast<int>(boxState(option)) * kTickBoxSide;
    painter->drawPixmap(tickBoxRect(option.rect), strip,
                        QRect(offset, 0, kTickBoxSide, kTickBoxSide));
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
