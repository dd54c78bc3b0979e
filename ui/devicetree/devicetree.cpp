#include "ui/devicetree/devicetree.h"

#include "discovery/devicerecord.h"
#include "discovery/onlinedeviceinfo.h"
#include "discovery/searchinfo.h"
#include "ui/devicetree/devicecolumns.h"
#include "ui/devicetree/devicetreeheaderview.h"
#include "ui/uitext.h"
#include "widgets/vistaitemdelegate.h"
#include "widgets/vistatreewidget.h"

#include <QAbstractButton>

#include <array>
#include <memory>
#include <optional>

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

// Records of one device share the texts of unchanged fields (OnlineDeviceInfoMaker), and
// shared texts are equal without comparing their characters.
bool sameText(const QString& a, const QString& b)
{
    return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
}

// The texts of columns 1 to 14 of a device row, in column order; the status and
// explanation columns belong to runs. Each text is computed only when its fields differ
// from those of `shown`, the record the row shows now (nullptr for a new row); an empty
// optional means the cell keeps its text.
struct RowTexts
{
    static constexpr int kFirst = DeviceColumn::Name;
    static constexpr int kLast = DeviceColumn::RunTime;
    std::array<std::optional<QString>, kLast - kFirst + 1> texts;

    std::optional<QString>& operator[](int column) { return texts[column - kFirst]; }
};

// The columns that show a field of the record as it is, and those that show a number.
template <typename Field>
struct FieldColumn
{
    int column;
    Field OnlineDeviceInfo::*field;
};

constexpr FieldColumn<QString> kTextColumns[] = {
    {DeviceColumn::Name, &OnlineDeviceInfo::devName},
    {DeviceColumn::Series, &OnlineDeviceInfo::productSeries},
    {DeviceColumn::ProductModel, &OnlineDeviceInfo::productModel},
    {DeviceColumn::IpAddress, &OnlineDeviceInfo::ipAddr},
    {DeviceColumn::SubnetMask, &OnlineDeviceInfo::maskAddr},
    {DeviceColumn::Gateway, &OnlineDeviceInfo::route},
    {DeviceColumn::SoftwareVersion, &OnlineDeviceInfo::softwareVer},
    {DeviceColumn::SoftwareDate, &OnlineDeviceInfo::softwareBuildDate},
    {DeviceColumn::Mac, &OnlineDeviceInfo::mac},
    {DeviceColumn::KernelVersion, &OnlineDeviceInfo::kernelVer},
    {DeviceColumn::BootTime, &OnlineDeviceInfo::bootTime},
};

constexpr FieldColumn<int> kNumberColumns[] = {
    {DeviceColumn::HttpPort, &OnlineDeviceInfo::httpPort},
    {DeviceColumn::DataPort, &OnlineDeviceInfo::dataPort},
};

RowTexts rowTexts(const OnlineDeviceInfo& device, const OnlineDeviceInfo* shown)
{
    RowTexts row;
    for (const auto& [column, field] : kTextColumns) {
        if (!shown || !sameText(shown->*field, device.*field))
            row[column] = device.*field;
    }
    for (const auto& [column, field] : kNumberColumns) {
        if (!shown || shown->*field != device.*field)
            row[column] = QString::number(device.*field);
    }
    if (!shown || !sameText(shown->runningTime, device.runningTime))
        row[DeviceColumn::RunTime] = runTimeText(device.runningTime);
    return row;
}

// Sets the cells whose text differs, centred. Equal texts are not set again: every set
// would be a change of the model and a repaint of the cell.
void setRowTexts(QTreeWidgetItem* row, RowTexts texts)
{
    for (int column = RowTexts::kFirst; column <= RowTexts::kLast; ++column) {
        std::optional<QString>& text = texts[column];
        if (!text || row->text(column) == *text)
            continue;
        row->setText(column, *text);
        row->setTextAlignment(column, kCentred);
    }
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
        switchSortingOff();
        if (row)
            rewriteRow(row, std::move(record));
        return;
    case SEARCH_STATUS_GONE:
        if (row)
            removeRow(row);
        return;
    default:
        return;
    }
}

void DeviceTree::recvOnlineDeviceInfos(DeviceFeed::Records& records,
                                       DeviceFeed::Clock::time_point until)
{
    // The new rows waiting to go in, the last one first: inserting them together at the
    // top leaves the order that inserting each at the top would.
    QList<QTreeWidgetItem*> newRows;
    const auto insertNewRows = [&] {
        if (newRows.isEmpty())
            return;
        switchSortingOff();
        tree_->insertTopLevelItems(0, newRows);
        newRows.clear();
    };
    auto record = records.begin();
    for (; record != records.end(); ++record) {
        if (record != records.begin() && DeviceFeed::Clock::now() >= until)
            break;
        if (record->change != SEARCH_STATUS_NEW || !record->device) {
            insertNewRows();
            recvOnlineDeviceInfo(record->device.release(), record->change);
        } else if (!rowOf(record->device->mac)) {
            newRows.prepend(makeRow(record->device.release()));
        }
    }
    insertNewRows();
    records.erase(records.begin(), record);
}

void DeviceTree::applyRunState(bool running)
{
    running_ = running;
    const Qt::ItemFlags flags = rowFlags();
    for (int i = 0; i < tree_->topLevelItemCount(); ++i)
        tree_->topLevelItem(i)->setFlags(flags);
}

int DeviceTree::setTickedRowStatus(const QString& mac, const QString& text,
                                   std::optional<double> progress)
{
    const QVariant share = progress ? QVariant(*progress) : QVariant();
    int written = 0;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = tree_->topLevelItem(i);
        if (isTicked(row) && macOf(row).compare(mac, Qt::CaseInsensitive) == 0) {
            row->setText(DeviceColumn::Status, text);
            row->setData(DeviceColumn::Status, VistaItemDelegate::kProgressRole, share);
            ++written;
        }
    }
    return written;
}

void DeviceTree::clearStatusColumn()
{
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = tree_->topLevelItem(i);
        row->setText(DeviceColumn::Status, QString());
        row->setData(DeviceColumn::Status, VistaItemDelegate::kProgressRole, QVariant());
    }
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
    rows_.clear();
    tree_->clear();
}

QTreeWidgetItem* DeviceTree::rowOf(const QString& mac) const
{
    return rows_.value(mac, nullptr);
}

void DeviceTree::insertRow(OnlineDeviceInfo* device)
{
    switchSortingOff();
    tree_->insertTopLevelItem(0, makeRow(device));
}

// A new row holding the record, entered in the index; the caller puts it into the tree.
QTreeWidgetItem* DeviceTree::makeRow(OnlineDeviceInfo* device)
{
    auto* row = new VistaTreeWidgetItem(QTreeWidgetItem::Type);
    row->setFlags(rowFlags());
    row->setCheckState(DeviceColumn::Tick, Qt::Unchecked);
    setRowTexts(row, rowTexts(*device, nullptr));
    row->setTextAlignment(DeviceColumn::Explain, kCentred);
    row->setData(DeviceColumn::Tick, Qt::UserRole, QVariant::fromValue<void*>(device));
    rows_.insert(device->mac, row);
    return row;
}

// The record's MAC is the row's: the row was found by it. The row takes the record's
// texts by exchange, and the record leaves with the old ones.
void DeviceTree::rewriteRow(QTreeWidgetItem* row, std::unique_ptr<OnlineDeviceInfo> device)
{
    OnlineDeviceInfo* shown = deviceOf(row);
    setRowTexts(row, rowTexts(*device, shown));
    std::swap(*shown, *device);
}

void DeviceTree::removeRow(QTreeWidgetItem* row)
{
    const std::unique_ptr<OnlineDeviceInfo> record(deviceOf(row));
    rows_.remove(record->mac);
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

// Switching sorting off costs the tree a disconnection looked up by its signature; a tree
// that does not sort is left as it is, which is the same state.
void DeviceTree::switchSortingOff()
{
    if (tree_->isSortingEnabled())
        tree_->setSortingEnabled(false);
}

Qt::ItemFlags DeviceTree::rowFlags() const
{
    const Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
    return running_ ? flags : flags | Qt::ItemIsEnabled;
}
