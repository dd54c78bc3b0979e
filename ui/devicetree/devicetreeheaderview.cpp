#include "ui/devicetree/devicetreeheaderview.h"

#include "discovery/devicelist.h"
#include "ui/devicetree/devicecolumns.h"
#include "ui/dialogs/n12_messagebox.h"
#include "ui/uitext.h"

#include <QAction>
#include <QActionGroup>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QSaveFile>
#include <QStyleOptionHeader>
#include <QToolTip>
#include <QTreeWidget>

#include <algorithm>
#include <string>
#include <vector>

namespace {

bool isSortable(int column)
{
    return std::find(kSortableDeviceColumns.begin(), kSortableDeviceColumns.end(), column) !=
           kSortableDeviceColumns.end();
}

} // namespace

DeviceTreeHeaderView::DeviceTreeHeaderView(
    Qt::Orientation orientation, QWidget* parent, QTreeWidget* tree,
    const std::array<std::uint8_t, galvorn::kDeviceColumnCount>& shown)
    : QHeaderView(orientation, parent), tree_(tree), menu_(new QMenu(this)),
      group_(new QActionGroup(this))
{
    setTextElideMode(Qt::ElideRight);
    group_->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    for (int column = 1; column < galvorn::kDeviceColumnCount; ++column) {
        const char* key = galvorn::kDeviceColumns[column].titleKey;
        auto* action = new QAction(uiText(key), menu_);
        action->setCheckable(true);
        action->setChecked(shown[column] != 0);
        menu_->addAction(action);
        group_->addAction(action);
        actions_.insert(column, action);
    }
    connect(menu_, &QMenu::triggered, this, &DeviceTreeHeaderView::slot_columnMenuTriggered);
    menu_->addSeparator();
    saveList_ = menu_->addAction(uiText("IDCS_SAVE_LIST"));
    connect(saveList_, &QAction::triggered, this, &DeviceTreeHeaderView::slot_saveListTriggered);
}

bool DeviceTreeHeaderView::saveList(const QString& path) const
{
    std::vector<int> columns;
    for (int column = DeviceColumn::Tick + 1; column < galvorn::kDeviceColumnCount; ++column)
        if (!tree_->isColumnHidden(column))
            columns.push_back(column);
    std::vector<std::vector<std::string>> rows;
    const auto addRow = [&](const QTreeWidgetItem* item) {
        std::vector<std::string>& row = rows.emplace_back();
        for (const int column : columns)
            row.push_back(item->text(column).toStdString());
    };
    addRow(tree_->headerItem());
    for (int i = 0; i < tree_->topLevelItemCount(); ++i)
        addRow(tree_->topLevelItem(i));
    const std::string table = galvorn::DeviceListCsv(rows);
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(table.data(), qint64(table.size())) == qint64(table.size()) && file.commit();
}

QString DeviceTreeHeaderView::shownTitle(int column) const
{
    QStyleOptionHeader option;
    initStyleOption(&option);
    initStyleOptionForIndex(&option, column);
    return option.text;
}

// The style centres a title in its section and clips what does not fit on both sides;
// cut to the width of the section's label, less the header's margin, it fits.
void DeviceTreeHeaderView::initStyleOptionForIndex(QStyleOptionHeader* option,
                                                   int logicalIndex) const
{
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    option->rect =
        QRect(sectionViewportPosition(logicalIndex), 0, sectionSize(logicalIndex), height());
    const int width = style()->subElementRect(QStyle::SE_HeaderLabel, option, this).width() -
                      style()->pixelMetric(QStyle::PM_HeaderMargin, option, this);
    option->text = option->fontMetrics.elidedText(option->text, textElideMode(), width);
}

void DeviceTreeHeaderView::slot_saveListTriggered()
{
    const QString path = QFileDialog::getSaveFileName(window(), uiText("IDCS_SAVE_LIST"), {},
                                                      QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty() && !saveList(path))
        N12_MessageBox::warning(uiText("IDCS_SAVE_LIST_FAIL"), window());
}

void DeviceTreeHeaderView::slot_columnMenuTriggered(QAction* action)
{
    const int column = actions_.key(action, -1);
    if (column < 0)
        return;
    const bool allUnchecked = std::none_of(actions_.cbegin(), actions_.cend(),
                                           [](const QAction* a) { return a->isChecked(); });
    if (allUnchecked) {
        action->setChecked(true);
        return;
    }
    tree_->setColumnHidden(column, !action->isChecked());
}

void DeviceTreeHeaderView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QHeaderView::mousePressEvent(event);
        return;
    }
    const int section = logicalIndex(visualIndexAt(event->position().toPoint().x()));
    if (isSortable(section)) {
        // Sorting and clicking are on only for the length of this click.
        tree_->setSortingEnabled(true);
        setSectionsClickable(true);
        setSortIndicator(section, sortIndicatorOrder());
        setSortIndicatorShown(false);
    } else {
        setSortIndicatorShown(false);
        relayOutWithoutSorting();
    }
    QHeaderView::mousePressEvent(event);
}

void DeviceTreeHeaderView::mouseReleaseEvent(QMouseEvent* event)
{
    QHeaderView::mouseReleaseEvent(event);
    setSectionsClickable(false);
}

void DeviceTreeHeaderView::contextMenuEvent(QContextMenuEvent* event)
{
    QHeaderView::contextMenuEvent(event);
    menu_->exec(event->globalPos());
    event->accept();
}

// Only a title the header had to cut has a tool tip: the whole title.
bool DeviceTreeHeaderView::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QHeaderView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const int column = logicalIndexAt(help->pos());
    const QString title = column < 0 ? QString() : tree_->headerItem()->text(column);
    if (title.isEmpty() || shownTitle(column) == title) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    const QRect section(sectionViewportPosition(column), 0, sectionSize(column), height());
    QToolTip::showText(help->globalPos(), title, viewport(), section);
    return true;
}

// Lays the header out and repaints it, as a click on a sortable title would, without
// touching the order. A hidden name column keeps its remembered width untouched.
void DeviceTreeHeaderView::relayOutWithoutSorting()
{
    const int width = sectionSize(DeviceColumn::Name);
    if (isSectionHidden(DeviceColumn::Name) || width < 1)
        return;
    resizeSection(DeviceColumn::Name, width - 1);
    resizeSection(DeviceColumn::Name, width);
}
