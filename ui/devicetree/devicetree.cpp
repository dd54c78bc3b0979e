#include "ui/devicetree/devicetree.h"

#include "discovery/devicerecord.h"
#include "discovery/onlinedeviceinfo.h"
#include "discovery/searchinfo.h"
#include "ui/devicetree/devicecolumns.h"
#include "ui/devicetree/devicetreeheaderview.h"
#include "ui/uitext.h"
#include "widgets/vistatreewidget.h"

#include <QAbstractButton>

#include <memory>

namespace {

// The tree's column count before the titles widen it to all of its columns.
constexpr int kInitialColumnCount = 7;
constexpr Qt::Alignment kCentred = Qt::AlignHCenter | Qt::AlignVCenter;
const QString kVersion4Prefix = QStringLiteral("4.");

QStringList columnTitles()
{
    QStringList titles;
    for (const galvorn::DeviceColumnDefault& column : galvorn::kDeviceColumns) {
        titles << uiText(column.titleKey);
    }
    return titles;
}

QString runTimeText(const QString& runningTime)
{
    return RunningTimeText(runningTime, uiText("IDCS_DAY"), uiText("IDCS_HOUR"),
                           uiText("IDCS_MINUTE"));
}

void setCentredText(QTreeWidgetItem* row, int column, const QString& text)
{
    row->setText(column, text);
    row->setTextAlignment(column, kCentred);
}

// Columns 1 to 14 of a device row; the status and explanation columns belong to runs.
void setRowTexts(QTreeWidgetItem* row, const OnlineDeviceInfo& device)
{
    setCentredText(row, DeviceColumn::Name, device.devName);
    setCentredText(row, DeviceColumn::Series, device.productSeries);
    setCentredText(row, DeviceColumn::ProductModel, device.productModel);
    setCentredText(row, DeviceColumn::IpAddress, device.ipAddr);
    setCentredText(row, DeviceColumn::HttpPort, QString::number(device.httpPort));
    setCentredText(row, DeviceColumn::DataPort, QString::number(device.dataPort));
    setCentredText(row, DeviceColumn::SubnetMask, device.maskAddr);
    setCentredText(row, DeviceColumn::Gateway, device.route);
    setCentredText(row, DeviceColumn::SoftwareVersion, device.softwareVer);
    setCentredText(row, DeviceColumn::SoftwareDate, device.softwareBuildDate);
    setCentredText(row, DeviceColumn::Mac, device.mac);
    setCentredText(row, DeviceColumn::KernelVersion, device.kernelVer);
    setCentredText(row, DeviceColumn::BootTime, device.bootTime);
    setCentredText(row, DeviceColumn::RunTime, runTimeText(device.runningTime));
}

bool isTicked(const QTreeWidgetItem* row)
{
    return row->checkState(DeviceColumn::Tick) == Qt::Checked;
}

QString macOf(const QTreeWidgetItem* row)
{
    const OnlineDeviceInfo* device = DeviceTree::deviceOf(row);
    return device ? device->mac : QString();
}

} // namespace

DeviceTree::DeviceTree(QWidget* parent, const galvorn::LocalSettings& settings)
    : tree_(new VistaTreeWidget(parent))
{
    header_ = new DeviceTreeHeaderView(Qt::Horizontal, tree_, tree_, settings.columnShown);
    header_->setStretchLastSection(false);
    tree_->setHeader(header_);
    header_->setSortIndicatorShown(false);
    tree_->setColumnCount(kInitialColumnCount);
    tree_->setHeaderLabels(columnTitles());
    for (int column = 0; column < galvorn::kDeviceColumnCount; ++column) {
        tree_->setColumnWidth(column, settings.columnWidths[column]);
        tree_->setColumnHidden(column, settings.columnShown[column] == 0);
    }
    tree_->setSortingEnabled(false);
    // Addresses sort as numbers (192.168.1.9 before 192.168.1.10), and so do ports.
    tree_->setCompareRule(DeviceColumn::IpAddress, VistaTreeWidget::CompareRule::DottedQuad);
    tree_->setCompareRule(DeviceColumn::HttpPort, VistaTreeWidget::CompareRule::Integer);
}

DeviceTree::~DeviceTree()
{
    if (tree_)
        clearDevices();
}

void DeviceTree::setSameTypeButton(QAbstractButton* button)
{
    sameTypeButton_ = button;
}

OnlineDeviceInfo* DeviceTree::deviceOf(const QTreeWidgetItem* item)
{
    if (!item)
        return nullptr;
    return static_cast<OnlineDeviceInfo*>(
        item->data(DeviceColumn::Tick, Qt::UserRole).value<void*>());
}

void DeviceTree::itemClicked(QTreeWidgetItem* item, int column, bool importMode)
{
    // A disabled row (during a run) cannot change ticks, nor the Same Type button.
    if (!item || column != DeviceColumn::Tick || !(item->flags() & Qt::ItemIsEnabled))
        return;
    const bool sameType = sameTypeTest();
    if (importMode) {
        enableSameType(sameType);
        return;
    }
    if (!isTicked(item))
        return;
    const QString mac = macOf(item);
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = tree_->topLevelItem(i);
        if (macOf(row) != mac)
            row->setCheckState(DeviceColumn::Tick, Qt::Unchecked);
    }
}

void DeviceTree::selectAll()
{
    setAllTicks(true);
    enableSameType(sameTypeTest());
}

void DeviceTree::clearTicks()
{
    setAllTicks(false);
    enableSameType(false);
}

void DeviceTree::tickSameType()
{
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = tree_->topLevelItem(i);
        const OnlineDeviceInfo* device = deviceOf(row);
        if (device && device->productModel == sameTypeKey_)
            row->setCheckState(DeviceColumn::Tick, Qt::Checked);
    }
}

bool DeviceTree::sameTypeTest()
{
    sameTypeKey_.clear();
    bool same = true;
    bool firstIsVersion4 = false;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = tree_->topLevelItem(i);
        const OnlineDeviceInfo* device = deviceOf(row);
        if (!device || !isTicked(row))
            continue;
        const bool isVersion4 = device->softwareVer.startsWith(kVersion4Prefix);
        if (sameTypeKey_.isEmpty()) {
            sameTypeKey_ = device->productModel;
            firstIsVersion4 = isVersion4;
        } else if (isVersion4 != firstIsVersion4 || device->productModel != sameTypeKey_) {
            same = false;
        }
    }
    return same && !sameTypeKey_.isEmpty() && sameTypeKey_ != QStringLiteral(" ");
}

void DeviceTree::recvOnlineDeviceInfo(OnlineDeviceInfo* device, int change)
{
    std::unique_ptr<OnlineDeviceInfo> record(device);
    if (!record)
        return;
    QTreeWidgetItem* row = rowOf(record->mac);
    switch (change) {
    case SEARCH_STATUS_NEW:
        if (!row)
            insertRow(record.release());
        return;
    case SEARCH_STATUS_CHANGED:
        tree_->setSortingEnabled(false);
        if (row) {
            setRowTexts(row, *record);
            *deviceOf(row) = *record;
        }
        return;
    case SEARCH_STATUS_GONE:
        if (row)
            removeRow(row);
        return;
    default:
        return;
    }
}

void DeviceTree::applyRunState(bool running)
{
    running_ = running;
    const Qt::ItemFlags flags = rowFlags();
    for (int i = 0; i < tree_->topLevelItemCount(); ++i)
        tree_->topLevelItem(i)->setFlags(flags);
}

int DeviceTree::setTickedRowStatus(const QString& mac, const QString& text)
{
    int written = 0;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = tree_->topLevelItem(i);
        if (isTicked(row) && macOf(row).compare(mac, Qt::CaseInsensitive) == 0) {
            row->setText(DeviceColumn::Status, text);
            ++written;
        }
    }
    return written;
}

void DeviceTree::clearStatusColumn()
{
    for (int i = 0; i < tree_->topLevelItemCount(); ++i)
        tree_->topLevelItem(i)->setText(DeviceColumn::Status, QString());
}

QStringList DeviceTree::tickedStatusTexts() const
{
    QStringList texts;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = tree_->topLevelItem(i);
        if (isTicked(row))
            texts << row->text(DeviceColumn::Status);
    }
    return texts;
}

QList<OnlineDeviceInfo*> DeviceTree::tickedDevices() const
{
    QList<OnlineDeviceInfo*> devices;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = tree_->topLevelItem(i);
        OnlineDeviceInfo* device = deviceOf(row);
        if (device && isTicked(row))
            devices << device;
    }
    return devices;
}

int DeviceTree::deviceRowCount() const
{
    return tree_->topLevelItemCount();
}

int DeviceTree::tickedRowCount() const
{
    int ticked = 0;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        if (isTicked(tree_->topLevelItem(i)))
            ++ticked;
    }
    return ticked;
}

void DeviceTree::clearDevices()
{
    for (int i = 0; i < tree_->topLevelItemCount(); ++i)
        delete deviceOf(tree_->topLevelItem(i));
    tree_->clear();
}

QTreeWidgetItem* DeviceTree::rowOf(const QString& mac) const
{
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = tree_->topLevelItem(i);
        const OnlineDeviceInfo* device = deviceOf(row);
        if (device && device->mac == mac)
            return row;
    }
    return nullptr;
}

void DeviceTree::insertRow(OnlineDeviceInfo* device)
{
    tree_->setSortingEnabled(false);
    auto* row = new VistaTreeWidgetItem(QTreeWidgetItem::Type);
    row->setFlags(rowFlags());
    row->setCheckState(DeviceColumn::Tick, Qt::Unchecked);
    setRowTexts(row, *device);
    row->setTextAlignment(DeviceColumn::Explain, kCentred);
    row->setData(DeviceColumn::Tick, Qt::UserRole, QVariant::fromValue<void*>(device));
    tree_->insertTopLevelItem(0, row);
}

void DeviceTree::removeRow(QTreeWidgetItem* row)
{
    const std::unique_ptr<OnlineDeviceInfo> record(deviceOf(row));
    delete tree_->takeTopLevelItem(tree_->indexOfTopLevelItem(row));
}

void DeviceTree::setAllTicks(bool ticked)
{
    const Qt::CheckState state = ticked ? Qt::Checked : Qt::Unchecked;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i)
        tree_->topLevelItem(i)->setCheckState(DeviceColumn::Tick, state);
}

void DeviceTree::enableSameType(bool enabled)
{
    if (sameTypeButton_)
        sameTypeButton_->setEnabled(enabled);
}

Qt::ItemFlags DeviceTree::rowFlags() const
{
    const Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
    return running_ ? flags : flags | Qt::ItemIsEnabled;
}
