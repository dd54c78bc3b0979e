#pragma once

#include "config/localsettings.h"
#include "ui/devicetree/devicefeed.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class DeviceTreeHeaderView;
class QAbstractButton;
class QTreeWidgetItem;
class QWidget;
class VistaTreeWidget;
struct OnlineDeviceInfo;

// The device list of the main window: one row per device the search sees, a tick box
// per row that chooses the devices of the next run, and a status column for the run's
// progress. DeviceTree creates the tree widget and its header as children of the
// given parent (Qt owns them through that parent) and owns every row's
// OnlineDeviceInfo: a record is deleted when its row is removed or the rows are
// cleared. Destroy the DeviceTree before the tree widget, so that it can free the
// records the rows still hold. GUI thread only.
class DeviceTree
{
public:
    DeviceTree(QWidget* parent, const galvorn::LocalSettings& settings);
    ~DeviceTree();
    DeviceTree(const DeviceTree&) = delete;
    DeviceTree& operator=(const DeviceTree&) = delete;

    VistaTreeWidget* widget() const { return tree_; }
    DeviceTreeHeaderView* header() const { return header_; }

    // The Same Type button, enabled and disabled by the tick rules; not owned.
    void setSameTypeButton(QAbstractButton* button);

    // The record a row shows; nullptr for a row without one. The row keeps ownership.
    static OnlineDeviceInfo* deviceOf(const QTreeWidgetItem* item);

    // Tick rules for a click on a row, after the tick box has taken the click. Only a
    // click in column 0 counts. In import mode every tick stays and the Same Type
    // button follows sameTypeTest(); otherwise a ticked row unticks every other device.
    void itemClicked(QTreeWidgetItem* item, int column, bool importMode);
    // Ticks every row, then enables Same Type exactly when sameTypeTest() holds.
    void selectAll();
    // Unticks every row and disables Same Type.
    void clearTicks();
    // Ticks every row whose product model is sameTypeKey(); ticked rows stay ticked.
    void tickSameType();
    // True when at least one row is ticked, every ticked row has the same product
    // model (not the " " of a device without one) and either all or none of their
    // software versions start with "4.". Leaves the first ticked row's model in
    // sameTypeKey(), or clears it when nothing is ticked.
    bool sameTypeTest();
    QString sameTypeKey() const { return sameTypeKey_; }

    // Applies a search record: change is its SearchStatus; takes ownership of device in
    // every case. A new MAC is inserted unticked as the top row; a known MAC's row is
    // rewritten in place by a changed record and removed by a gone record; any other
    // record is dropped. Rows are matched by exact MAC text. Inserting and rewriting
    // switch sorting off, so new rows stay on top until the operator sorts again. A
    // rewrite sets only the cells whose text differs, so a record that changes nothing
    // visible (a running time within the same minute) repaints nothing.
    void recvOnlineDeviceInfo(OnlineDeviceInfo* device, int change);

    // Applies records from the front of the batch in their order, as recvOnlineDeviceInfo
    // would one by one, until `until` has passed (at least one record), and removes the
    // applied ones from the batch. New devices that follow each other go into the tree
    // together, which costs the tree one change instead of one for each.
    void recvOnlineDeviceInfos(DeviceFeed::Records& records, DeviceFeed::Clock::time_point until);

    // The row of the device with exactly this MAC text, or nullptr. Constant time: an
    // index beside the tree follows every insert and removal.
    QTreeWidgetItem* rowOf(const QString& mac) const;

    // While running, rows (also rows inserted later) are shown but disabled, so their
    // ticks cannot change; when idle they are selectable, tickable and enabled.
    void applyRunState(bool running);

    // Writes text into the status column of every ticked row whose MAC equals mac
    // without regard to case; returns the number of rows written. With a progress share
    // (0 to 100) the cell draws a bar of that share behind the text; without, none.
    int setTickedRowStatus(const QString& mac, const QString& text,
                           std::optional<double> progress = std::nullopt);
    // Empties the status column of every row and takes its progress bars away.
    void clearStatusColumn();
    // The status texts of the ticked rows, in tree order.
    QStringList tickedStatusTexts() const;
    // The records of the ticked rows, in tree order; the rows keep ownership.
    QList<OnlineDeviceInfo*> tickedDevices() const;

    int deviceRowCount() const;
    int tickedRowCount() const;

    // Removes every row and deletes their records.
    void clearDevices();

private:
    void insertRow(OnlineDeviceInfo* device);
    QTreeWidgetItem* makeRow(OnlineDeviceInfo* device);
    void rewriteRow(QTreeWidgetItem* row, std::unique_ptr<OnlineDeviceInfo> device);
    void removeRow(QTreeWidgetItem* row);
    void switchSortingOff();
    void setAllTicks(bool ticked);
    void enableSameType(bool enabled);
    Qt::ItemFlags rowFlags() const;

    QPointer<VistaTreeWidget> tree_;
    DeviceTreeHeaderView* header_ = nullptr;
    QPointer<QAbstractButton> sameTypeButton_;
    QString sameTypeKey_;
    bool running_ = false;
    // Every row that holds a record, by its record's MAC.
    QHash<QString, QTreeWidgetItem*> rows_;
};
