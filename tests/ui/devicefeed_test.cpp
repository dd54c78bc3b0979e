// The device tree at site scale: the index of its rows by MAC, rewrites that set only
// the cells that change, batches of search records, and the feed that brings them.

#include "discovery/onlinedeviceinfo.h"
#include "discovery/searchinfo.h"
#include "ui/devicetree/devicecolumns.h"
#include "ui/devicetree/devicefeed.h"
#include "ui/devicetree/devicetree.h"
#include "widgets/vistatreewidget.h"

#include <QSet>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;

std::unique_ptr<OnlineDeviceInfo> device(const QString& mac, const QString& ip = "192.0.2.10",
                                         const QString& runningTime = "90061")
{
    auto info = std::make_unique<OnlineDeviceInfo>();
    info->devName = "cam " + mac;
    info->mac = mac;
    info->ipAddr = ip;
    info->productSeries = "VRN_IPC";
    info->productModel = "IPC-A";
    info->runningTime = runningTime;
    return info;
}

DeviceFeed::Record record(int change, const QString& mac, const QString& ip = "192.0.2.10",
                          const QString& runningTime = "90061")
{
    return {device(mac, ip, runningTime), change};
}

galvorn::LocalSettings settings()
{
    return galvorn::readLocalSettings("/nonexistent/Galvorn.ini", "en_US");
}

// Every row's texts, tick and flags, in tree order.
QStringList rowsOf(const DeviceTree& tree)
{
    QStringList rows;
    const VistaTreeWidget* view = tree.widget();
    for (int i = 0; i < view->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = view->topLevelItem(i);
        QStringList cells;
        for (int column = DeviceColumn::Name; column <= DeviceColumn::RunTime; ++column)
            cells << row->text(column);
        cells << QString::number(row->checkState(DeviceColumn::Tick))
              << QString::number(row->flags().toInt());
        rows << cells.join('|');
    }
    return rows;
}

class DeviceTreeIndex : public ::testing::Test
{
protected:
    // The index agrees with a search of the tree row by row: every row is found by its
    // MAC, and every MAC seen but no longer in the tree finds nothing.
    void expectIndexMatchesTree()
    {
        const VistaTreeWidget* view = tree.widget();
        QSet<QString> present;
        for (int i = 0; i < view->topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = view->topLevelItem(i);
            const QString mac = DeviceTree::deviceOf(row)->mac;
            present.insert(mac);
            EXPECT_EQ(tree.rowOf(mac), row) << mac.toStdString();
        }
        for (const QString& mac : seen) {
            if (!present.contains(mac)) {
                EXPECT_EQ(tree.rowOf(mac), nullptr) << mac.toStdString();
            }
        }
    }

    void apply(int change, const QString& mac, const QString& ip = "192.0.2.10")
    {
        seen.insert(mac);
        tree.recvOnlineDeviceInfo(device(mac, ip).release(), change);
    }

    QWidget host;
    DeviceTree tree{&host, settings()};
    QSet<QString> seen;
};

TEST_F(DeviceTreeIndex, FollowsTheTreeThroughInsertChangeRemoveSortAndARun)
{
    for (int i = 0; i < 6; ++i)
        apply(SEARCH_STATUS_NEW, QString("M%1").arg(i), QString("192.0.2.%1").arg(20 - i));
    expectIndexMatchesTree();

    apply(SEARCH_STATUS_CHANGED, "M2", "192.0.2.99");
    apply(SEARCH_STATUS_GONE, "M4");
    apply(SEARCH_STATUS_GONE, "M0");
    expectIndexMatchesTree();
    EXPECT_EQ(tree.rowOf("M2")->text(DeviceColumn::IpAddress), "192.0.2.99");

    // What a click on the address title does.
    tree.widget()->setSortingEnabled(true);
    tree.widget()->sortByColumn(DeviceColumn::IpAddress, Qt::AscendingOrder);
    expectIndexMatchesTree();

    tree.applyRunState(true);
    apply(SEARCH_STATUS_NEW, "M6");
    apply(SEARCH_STATUS_CHANGED, "M1", "192.0.2.50");
    apply(SEARCH_STATUS_GONE, "M3");
    expectIndexMatchesTree();
    EXPECT_FALSE(tree.rowOf("M6")->flags() & Qt::ItemIsEnabled);
    tree.applyRunState(false);
    expectIndexMatchesTree();

    apply(SEARCH_STATUS_NEW, "M4");
    expectIndexMatchesTree();
    tree.clearDevices();
    expectIndexMatchesTree();
    EXPECT_EQ(tree.deviceRowCount(), 0);
}

// A record that changes nothing the row shows changes no cell; one that does changes
// exactly its cells.
TEST_F(DeviceTreeIndex, RewritesOnlyTheCellsThatChange)
{
    tree.recvOnlineDeviceInfo(device("M1", "192.0.2.10", "90061").release(), SEARCH_STATUS_NEW);
    QList<int> changedColumns;
    QObject::connect(tree.widget()->model(), &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& from, const QModelIndex& to) {
                         for (int column = from.column(); column <= to.column(); ++column)
                             changedColumns << column;
                     });
    struct Row
    {
        const char* name;
        QString ip;
        QString runningTime;
        QList<int> columns;
    };
    const Row rows[] = {
        {"the same record", "192.0.2.10", "90061", {}},
        {"seconds later, same minute", "192.0.2.10", "90100", {}},
        {"the next minute", "192.0.2.10", "90125", {DeviceColumn::RunTime}},
        {"another address", "192.0.2.11", "90125", {DeviceColumn::IpAddress}},
    };
    for (const Row& row : rows) {
        changedColumns.clear();
        tree.recvOnlineDeviceInfo(device("M1", row.ip, row.runningTime).release(),
                                  SEARCH_STATUS_CHANGED);
        EXPECT_EQ(changedColumns, row.columns) << row.name;
        EXPECT_EQ(DeviceTree::deviceOf(tree.rowOf("M1"))->runningTime, row.runningTime) << row.name;
    }
}

// The records of a site's first answers and of the rounds after, with repeats, changes
// and removals in between.
DeviceFeed::Records mixedRecords()
{
    DeviceFeed::Records records;
    for (int i = 0; i < 5; ++i)
        records.push_back(record(SEARCH_STATUS_NEW, QString("M%1").arg(i)));
    records.push_back(record(SEARCH_STATUS_NEW, "M2", "192.0.2.77"));
    records.push_back(record(SEARCH_STATUS_CHANGED, "M3", "192.0.2.33"));
    records.push_back(record(SEARCH_STATUS_NEW, "M5"));
    records.push_back(record(SEARCH_STATUS_GONE, "M1"));
    records.push_back(record(SEARCH_STATUS_NEW, "M1", "192.0.2.11"));
    records.push_back(record(SEARCH_STATUS_NEW, "M6"));
    records.push_back(record(SEARCH_STATUS_NEW, "M6", "192.0.2.66"));
    records.push_back(record(SEARCH_STATUS_CHANGED, "M9"));
    records.push_back(record(7, "M0"));
    records.push_back({nullptr, SEARCH_STATUS_NEW});
    records.push_back(record(SEARCH_STATUS_NEW, "M7"));
    return records;
}

// Applying a batch gives the tree that applying its records one by one gives.
TEST_F(DeviceTreeIndex, ABatchGivesWhatItsRecordsGiveOneByOne)
{
    QWidget otherHost;
    DeviceTree oneByOne(&otherHost, settings());
    for (DeviceFeed::Record& each : mixedRecords())
        oneByOne.recvOnlineDeviceInfo(each.device.release(), each.change);

    DeviceFeed::Records batch = mixedRecords();
    tree.recvOnlineDeviceInfos(batch, DeviceFeed::Clock::now() + 1h);
    EXPECT_TRUE(batch.empty());
    EXPECT_EQ(rowsOf(tree), rowsOf(oneByOne));
    EXPECT_EQ(tree.deviceRowCount(), 8);
    for (int i = 0; i <= 7; ++i)
        seen.insert(QString("M%1").arg(i));
    expectIndexMatchesTree();
}

// A batch whose time is spent applies one record and leaves the rest, in order.
TEST_F(DeviceTreeIndex, ABatchWithoutTimeLeftAppliesOneRecordAndKeepsTheRest)
{
    DeviceFeed::Records batch = mixedRecords();
    const std::size_t size = batch.size();
    tree.recvOnlineDeviceInfos(batch, DeviceFeed::Clock::now() - 1s);
    ASSERT_EQ(batch.size(), size - 1);
    EXPECT_EQ(batch.front().device->mac, "M1");
    EXPECT_EQ(tree.deviceRowCount(), 1);
    tree.recvOnlineDeviceInfos(batch, DeviceFeed::Clock::now() + 1h);
    EXPECT_TRUE(batch.empty());
    EXPECT_EQ(tree.deviceRowCount(), 8);
}

// What a feed's sink saw: the MACs of every record, and the size of each batch.
struct Deliveries
{
    QStringList macs;
    QList<int> batches;
};

TEST(DeviceFeedTest, RecordsArriveInTheirOrderABatchAtATime)
{
    Deliveries seen;
    DeviceFeed feed([&](DeviceFeed::Records& records, DeviceFeed::Clock::time_point) {
        seen.batches << static_cast<int>(records.size());
        for (const DeviceFeed::Record& each : records)
            seen.macs << each.device->mac;
        records.clear();
    });
    QStringList pushed;
    // Nothing is delivered before the GUI thread runs its events: these form one batch.
    for (int i = 0; i < 100; ++i) {
        pushed << QString("A%1").arg(i);
        feed.push(device(pushed.back()), SEARCH_STATUS_NEW);
    }
    feed.push(nullptr, SEARCH_STATUS_NEW);
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen.macs.size() == 100; }));

    // Pushed by another thread, all before the GUI thread looks again.
    std::thread search([&] {
        for (int i = 0; i < 300; ++i)
            feed.push(device(QString("B%1").arg(i)), SEARCH_STATUS_CHANGED);
    });
    search.join();
    for (int i = 0; i < 300; ++i)
        pushed << QString("B%1").arg(i);
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen.macs.size() == 400; }));
    EXPECT_EQ(seen.macs, pushed);
    EXPECT_EQ(seen.batches, (QList<int>{100, 300}));
}

TEST(DeviceFeedTest, WhatTheSinkLeavesComesFirstInTheNextBatch)
{
    Deliveries seen;
    DeviceFeed feed(
        [&](DeviceFeed::Records& records, DeviceFeed::Clock::time_point) {
            seen.batches << static_cast<int>(records.size());
            seen.macs << records.front().device->mac;
            records.erase(records.begin());
        },
        1ms);
    for (int i = 0; i < 4; ++i)
        feed.push(device(QString("M%1").arg(i)), SEARCH_STATUS_NEW);
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen.macs.size() == 4; }));
    EXPECT_EQ(seen.macs, (QStringList{"M0", "M1", "M2", "M3"}));
    EXPECT_EQ(seen.batches, (QList<int>{4, 3, 2, 1}));
}

// The interval is kept between the end of one batch, after which the tree repaints, and
// the start of the next, however long the sink takes.
TEST(DeviceFeedTest, BatchesAreAnIntervalApartFromTheEndOfTheLast)
{
    constexpr auto kInterval = 60ms;
    constexpr auto kSinkTime = 30ms;
    std::vector<std::pair<DeviceFeed::Clock::time_point, DeviceFeed::Clock::time_point>> batches;
    DeviceFeed feed(
        [&](DeviceFeed::Records& records, DeviceFeed::Clock::time_point) {
            const auto start = DeviceFeed::Clock::now();
            // A sink that takes long, as a tree applying a site's first answers does.
            std::this_thread::sleep_for(kSinkTime);
            records.erase(records.begin());
            batches.emplace_back(start, DeviceFeed::Clock::now());
        },
        kInterval);
    for (int i = 0; i < 4; ++i)
        feed.push(device(QString("M%1").arg(i)), SEARCH_STATUS_NEW);
    ASSERT_TRUE(QTest::qWaitFor([&] { return batches.size() == 4; }));
    for (std::size_t i = 1; i < batches.size(); ++i)
        EXPECT_GE(batches[i].first - batches[i - 1].second, kInterval) << i;
}

} // namespace
