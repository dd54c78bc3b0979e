#pragma once

#include "config/localsettings.h"

#include <QHeaderView>
#include <QMap>

class QAction;
class QActionGroup;
class QMenu;
class QTreeWidget;

// The device tree's header. A right click opens a menu that shows or hides columns 1
// to 16 (column 0, the tick box, is always shown, and at least one of the others
// stays shown) and saves the device list as a CSV table. A left click sorts the tree only on the
// sortable columns (kSortableDeviceColumns); a click on any other title never reorders the rows.
// The sort indicator is never shown. Menu choices last until the program ends. A title
// wider than its column is cut at the right with "…", and shows whole as the column's
// tool tip.
class DeviceTreeHeaderView : public QHeaderView
{
    Q_OBJECT

public:
    // tree is the tree this header is installed on; shown gives each column's
    // visibility at start, as the menu's initial check marks.
    DeviceTreeHeaderView(Qt::Orientation orientation, QWidget* parent, QTreeWidget* tree,
                         const std::array<std::uint8_t, galvorn::kDeviceColumnCount>& shown);

    QMenu* columnMenu() const { return menu_; }
    // The menu entry of a column 1 to 16; nullptr for any other column.
    QAction* columnAction(int column) const { return actions_.value(column, nullptr); }
    // "Save list…": asks for a file and saves the list there (saveList()).
    QAction* saveListAction() const { return saveList_; }

    // Writes the tree's visible columns (the tick box aside) as a CSV table: their titles,
    // then one line per row in tree order, with the texts the rows show. The file is
    // replaced only once it is whole. False when it cannot be written.
    bool saveList(const QString& path) const;

    // A column's title as the header draws it in the column's width.
    QString shownTitle(int column) const;

public slots:
    void slot_columnMenuTriggered(QAction* action);
    void slot_saveListTriggered();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override;

private:
    void relayOutWithoutSorting();

    QTreeWidget* tree_;
    QMenu* menu_;
    QActionGroup* group_;
    QMap<int, QAction*> actions_;
    QAction* saveList_;
};
