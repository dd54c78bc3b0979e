#pragma once

#include <QHash>
#include <QTreeWidget>
#include <QTreeWidgetItem>

// The kit's list view: a flat, dark tree with alternating rows, one selected row at a
// time and a picture tick box drawn by VistaItemDelegate. Only left presses and left
// double-clicks reach the view; other buttons do nothing, so a right click neither
// selects a row nor moves the current row.
class VistaTreeWidget : public QTreeWidget
{
    Q_OBJECT

public:
    // How VistaTreeWidgetItem orders two texts of a column.
    enum class CompareRule
    {
        Text,       // the toolkit's text order
        Integer,    // both texts read as decimal integers
        DottedQuad, // four dot-separated decimal numbers compared part by part
    };

    explicit VistaTreeWidget(QWidget* parent = nullptr);

    // Columns without a rule of their own sort as text.
    void setCompareRule(int column, CompareRule rule);
    CompareRule compareRule(int column) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QHash<int, CompareRule> compareRules_;
};

// A row of a VistaTreeWidget. Rows compare by the text of the tree's sort column under
// that column's CompareRule; in any other tree they compare as text.
class VistaTreeWidgetItem : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem& other) const override;
};
