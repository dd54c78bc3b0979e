#include "widgets/vistatreewidget.h"

#include "widgets/vistaitemdelegate.h"

#include <QMouseEvent>
#include <QPalette>

#include <array>
#include <optional>

namespace {

constexpr int kIconSide = 32;

using Quad = std::array<uint, 4>;

// Four dot-separated unsigned decimal numbers, or nothing when the text is not
// of that shape.
std::optional<Quad> dottedQuad(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    Quad quad{};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        quad[i] = parts[i].toUInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    return quad;
}

} // namespace

VistaTreeWidget::VistaTreeWidget(QWidget* parent) : QTreeWidget(parent)
{
    setAlternatingRowColors(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setIconSize(QSize(kIconSide, kIconSide));
    setUniformRowHeights(true);
    setIndentation(0);
    setRootIsDecorated(false);

    QPalette colors = palette();
    colors.setColor(QPalette::Base, QColor(19, 20, 24));
    colors.setColor(QPalette::AlternateBase, QColor(30, 31, 35));
    colors.setColor(QPalette::Window, QColor(70, 80, 84));
    colors.setColor(QPalette::Text, QColor(185, 185, 185));
    setPalette(colors);

    setFrameShape(QFrame::StyledPanel);
    // Square cells, so that a selected or hovered row reads as one band.
    setStyleSheet(QStringLiteral("VistaTreeWidget { border: 1px solid rgb(78,83,90);}"
                                 "VistaTreeWidget::item { border-radius: 0px;}"));
    setItemDelegate(new VistaItemDelegate(this));
}

void VistaTreeWidget::setCompareRule(int column, CompareRule rule)
{
    compareRules_.insert(column, rule);
}

VistaTreeWidget::CompareRule VistaTreeWidget::compareRule(int column) const
{
    return compareRules_.value(column, CompareRule::Text);
}

void VistaTreeWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void VistaTreeWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

bool VistaTreeWidgetItem::operator<(const QTreeWidgetItem& other) const
{
    const auto* tree = qobject_cast<const VistaTreeWidget*>(treeWidget());
    if (!tree)
        return QTreeWidgetItem::operator<(other);
    const int column = tree->sortColumn();
    const QString mine = text(column);
    const QString theirs = other.text(column);
    switch (tree->compareRule(column)) {
    case VistaTreeWidget::CompareRule::Integer:
        return mine.toLongLong() < theirs.toLongLong();
    case VistaTreeWidget::CompareRule::DottedQuad: {
        const auto a = dottedQuad(mine);
        const auto b = dottedQuad(theirs);
        if (a && b)
            return *a < *b;
        break;
    }
    case VistaTreeWidget::CompareRule::Text:
        break;
    }
    return QTreeWidgetItem::operator<(other);
}
