#pragma once

#include <QRect>
#include <QStyledItemDelegate>

// Draws the kit's picture tick box in every cell that has a check state, and owns the
// rule for changing it: only a left-button release inside the 13x13 box of an enabled,
// user-checkable row toggles it. Presses, double-clicks, other buttons and keys never
// change a tick. A cell whose kProgressRole data holds a share from 0 to 100 draws a bar
// filling that share of the cell from the left, behind its text, in the view's palette.
class VistaItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int kTickBoxSide = 13;
    static constexpr int kProgressRole = Qt::UserRole + 1;

    // The part of a cell the bar of a share fills; empty for 0 or without a share.
    static QRect progressRect(const QRect& cell, double percent);

    using QStyledItemDelegate::QStyledItemDelegate;

    // The tick box of a cell: its top-left corner sits at
    // (x + (w + 1) / 2, y + (h - 13) / 2) of the cell rectangle (x, y, w, h).
    static QRect tickBoxRect(const QRect& cell);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    static void paintProgress(QPainter* painter, const QStyleOptionViewItem& option,
                              double percent);
};
