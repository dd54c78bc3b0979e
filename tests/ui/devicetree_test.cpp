#include "discovery/devicelist.h"
#include "discovery/onlinedeviceinfo.h"
#include "discovery/searchinfo.h"
#include "support/csvreader.h"
#include "ui/devicetree/devicecolumns.h"
#include "ui/devicetree/devicetree.h"
#include "ui/devicetree/devicetreeheaderview.h"
#include "uitesthelpers.h"
#include "widgets/vistaitemdelegate.h"
#include "widgets/vistatreewidget.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

galvorn::LocalSettings defaultSettings()
{
    return galvorn::readLocalSettings("/nonexistent/Galvorn.ini", "en_US");
}

struct Device
{
    QString mac;
    QString ip = QStringLiteral("192.0.2.10");
    QString model = QStringLiteral("IPC-A");
    QString version = QStringLiteral("4.1.0");
    QString runningTime = QStringLiteral("90061");
};

OnlineDeviceInfo* record(const Device& d)
{
    auto* info = new OnlineDeviceInfo;
    info->devName = QStringLiteral("cam-") + d.mac.right(2);
    info->ipAddr = d.ip;
    info->maskAddr = QStringLiteral("255.255.255.0");
    info->route = QStringLiteral("192.0.2.1");
    info->mac = d.mac;
    info->productSeries = QStringLiteral("VRN_IPC");
    info->softwareVer = d.version;
    info->softwareBuildDate = QStringLiteral("2023-05-01");
    info->kernelVer = QStringLiteral("k1");
    info->productModel = d.model;
    info->runningTime = d.runningTime;
    info->bootTime = QStringLiteral("2023-06-01 08:00:00");
    info->dataPort = 9008;
    info->httpPort = 80;
    return info;
}

// A device tree in a shown window, with its rows' clicks wired to the tick rules as
// the main window wires them.
class DeviceTreeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        host.resize(1500, 600);
        view()->setGeometry(0, 0, 1500, 600);
        tree.setSameTypeButton(&sameTypeButton);
        QObject::connect(view(), &QTreeWidget::itemClicked,
                         [this](QTreeWidgetItem* item, int column) {
                             tree.itemClicked(item, column, importMode);
                         });
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    }

    VistaTreeWidget* view() const { return tree.widget(); }
    DeviceTreeHeaderView* header() const { return tree.header(); }

    void add(const Device& d) { tree.recvOnlineDeviceInfo(record(d), SEARCH_STATUS_NEW); }

    QTreeWidgetItem* row(const QString& mac) const
    {
        for (int i = 0; i < view()->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = view()->topLevelItem(i);
            if (item->text(DeviceColumn::Mac) == mac)
                return item;
        }
        return nullptr;
    }

    QRect cell(QTreeWidgetItem* item, int column) const
    {
        const int r = view()->indexOfTopLevelItem(item);
        return view()->visualRect(view()->model()->index(r, column));
    }

    QPoint boxCorner(QTreeWidgetItem* item) const
    {
        return VistaItemDelegate::tickBoxRect(cell(item, DeviceColumn::Tick)).topLeft();
    }

    void clickBox(QTreeWidgetItem* item, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(view()->viewport(), button, {}, boxCorner(item) + QPoint(6, 6));
    }

    bool ticked(const QString& mac) const
    {
        return row(mac)->checkState(DeviceColumn::Tick) == Qt::Checked;
    }

    QStringList column(int c) const
    {
        QStringList texts;
        for (int i = 0; i < view()->topLevelItemCount(); ++i)
            texts << view()->topLevelItem(i)->text(c);
        return texts;
    }

    void clickHeader(int section, Qt::MouseButton button = Qt::LeftButton)
    {
        const QPoint at(header()->sectionViewportPosition(section) +
                            header()->sectionSize(section) / 2,
                        header()->height() / 2);
        QTest::mouseClick(header()->viewport(), button, {}, at);
    }

    QWidget host;
    DeviceTree tree{&host, defaultSettings()};
    QPushButton sameTypeButton;
    bool importMode = true;
};

// ------------------------------------------------------------------ set-up

TEST_F(DeviceTreeTest, ColumnsFollowTheSettings)
{
    const galvorn::LocalSettings settings = defaultSettings();
    ASSERT_EQ(view()->columnCount(), galvorn::kDeviceColumnCount);
    EXPECT_EQ(view()->headerItem()->text(0), QString());
    EXPECT_EQ(view()->headerItem()->text(DeviceColumn::IpAddress), keyText("IDCS_IP_ADDRESS"));
    EXPECT_FALSE(view()->headerItem()->text(DeviceColumn::IpAddress).isEmpty());
    for (int c = 0; c < galvorn::kDeviceColumnCount; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(view()->isColumnHidden(c), settings.columnShown[c] == 0);
        if (settings.columnShown[c]) {
            EXPECT_EQ(view()->columnWidth(c), settings.columnWidths[c]);
        }
    }
    EXPECT_EQ(view()->header(), header());
    EXPECT_FALSE(header()->stretchLastSection());
    EXPECT_FALSE(header()->isSortIndicatorShown());
    EXPECT_FALSE(view()->isSortingEnabled());
    EXPECT_EQ(view()->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(view()->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(view()->indentation(), 0);
    EXPECT_EQ(view()->iconSize(), QSize(32, 32));
    EXPECT_TRUE(view()->alternatingRowColors());
}

TEST_F(DeviceTreeTest, HiddenColumnKeepsItsWidthForWhenItIsShown)
{
    galvorn::LocalSettings settings = defaultSettings();
    settings.columnShown[DeviceColumn::Gateway] = 0;
    settings.columnWidths[DeviceColumn::Gateway] = 77;
    QWidget other;
    DeviceTree second(&other, settings);
    EXPECT_TRUE(second.widget()->isColumnHidden(DeviceColumn::Gateway));
    second.widget()->setColumnHidden(DeviceColumn::Gateway, false);
    EXPECT_EQ(second.widget()->columnWidth(DeviceColumn::Gateway), 77);
}

// ------------------------------------------------------------------ tick box

// Offsets from the box's top-left corner: the 13x13 box and the pixels just outside it.
struct HitCase
{
    int dx;
    int dy;
    bool toggles;
};

class TickBoxHit : public DeviceTreeTest, public ::testing::WithParamInterface<HitCase>
{};

TEST_P(TickBoxHit, OnlyALeftReleaseInsideTheBoxToggles)
{
    // An odd width tells (w + 1) / 2 from w / 2.
    view()->setColumnWidth(DeviceColumn::Tick, 41);
    add({QStringLiteral("00:11:22:33:44:01")});
    QTreeWidgetItem* item = row(QStringLiteral("00:11:22:33:44:01"));
    const QRect c = cell(item, DeviceColumn::Tick);
    EXPECT_EQ(VistaItemDelegate::tickBoxRect(c),
              QRect(c.x() + (c.width() + 1) / 2, c.y() + (c.height() - 13) / 2, 13, 13));

    const HitCase hit = GetParam();
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, {},
                      boxCorner(item) + QPoint(hit.dx, hit.dy));
    EXPECT_EQ(item->checkState(0), hit.toggles ? Qt::Checked : Qt::Unchecked);
    if (!hit.toggles)
        return;
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, {},
                      boxCorner(item) + QPoint(hit.dx, hit.dy));
    EXPECT_EQ(item->checkState(0), Qt::Unchecked);
}

INSTANTIATE_TEST_SUITE_P(Edges, TickBoxHit,
                         ::testing::Values(HitCase{0, 0, true}, HitCase{12, 12, true},
                                           HitCase{12, 0, true}, HitCase{0, 12, true},
                                           HitCase{6, 6, true}, HitCase{-1, 6, false},
                                           HitCase{13, 6, false}, HitCase{6, -1, false},
                                           HitCase{6, 13, false}, HitCase{-8, 6, false}));

TEST_F(DeviceTreeTest, RightButtonNeitherTicksNorSelects)
{
    add({QStringLiteral("00:11:22:33:44:01")});
    add({QStringLiteral("00:11:22:33:44:02")});
    QTreeWidgetItem* item = row(QStringLiteral("00:11:22:33:44:01"));
    clickBox(item, Qt::RightButton);
    EXPECT_EQ(item->checkState(0), Qt::Unchecked);
    EXPECT_FALSE(item->isSelected());
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, {},
                      cell(item, DeviceColumn::Name).center());
    EXPECT_TRUE(item->isSelected());
    EXPECT_EQ(item->checkState(0), Qt::Unchecked);

    // After a left click on the box, a right click there neither unticks it nor
    // moves the selection.
    QTreeWidgetItem* other = row(QStringLiteral("00:11:22:33:44:02"));
    clickBox(other);
    ASSERT_EQ(other->checkState(0), Qt::Checked);
    clickBox(item, Qt::RightButton);
    clickBox(other, Qt::RightButton);
    EXPECT_EQ(other->checkState(0), Qt::Checked);
    EXPECT_EQ(item->checkState(0), Qt::Unchecked);
    EXPECT_TRUE(other->isSelected());
    QTest::mouseDClick(view()->viewport(), Qt::RightButton, {}, boxCorner(other) + QPoint(6, 6));
    EXPECT_EQ(other->checkState(0), Qt::Checked);
}

TEST(TickBox, SitsRightOfTheCellCentreAndIsCentredVertically)
{
    EXPECT_EQ(VistaItemDelegate::tickBoxRect(QRect(10, 20, 41, 30)), QRect(31, 28, 13, 13));
    EXPECT_EQ(VistaItemDelegate::tickBoxRect(QRect(0, 0, 40, 27)), QRect(20, 7, 13, 13));
    EXPECT_EQ(VistaItemDelegate::tickBoxRect(QRect(5, 100, 1, 13)), QRect(6, 100, 13, 13));
}

TEST_F(DeviceTreeTest, KeysNeverTick)
{
    add({QStringLiteral("00:11:22:33:44:01")});
    QTreeWidgetItem* item = row(QStringLiteral("00:11:22:33:44:01"));
    view()->setFocus();
    view()->setCurrentItem(item, DeviceColumn::Tick);
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Select, Qt::Key_Return, Qt::Key_Enter})
        QTest::keyClick(view(), key);
    EXPECT_EQ(item->checkState(0), Qt::Unchecked);
}

TEST_F(DeviceTreeTest, RowsOfARunAreDisabledAndKeepTheirTicks)
{
    add({QStringLiteral("00:11:22:33:44:01")});
    QTreeWidgetItem* first = row(QStringLiteral("00:11:22:33:44:01"));
    clickBox(first);
    ASSERT_TRUE(ticked(QStringLiteral("00:11:22:33:44:01")));

    sameTypeButton.setEnabled(false);
    tree.applyRunState(true);
    add({QStringLiteral("00:11:22:33:44:02")});
    QTreeWidgetItem* found = row(QStringLiteral("00:11:22:33:44:02"));
    EXPECT_EQ(found->flags(), Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    EXPECT_EQ(first->flags(), Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    clickBox(found);
    clickBox(first);
    EXPECT_FALSE(ticked(QStringLiteral("00:11:22:33:44:02")));
    EXPECT_TRUE(ticked(QStringLiteral("00:11:22:33:44:01")));
    EXPECT_FALSE(sameTypeButton.isEnabled());

    tree.applyRunState(false);
    const Qt::ItemFlags idle = Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled;
    EXPECT_EQ(found->flags(), idle);
    clickBox(found);
    EXPECT_TRUE(ticked(QStringLiteral("00:11:22:33:44:02")));
}

TEST_F(DeviceTreeTest, TickBoxIsDrawnWhereItIsHit)
{
    add({QStringLiteral("00:11:22:33:44:01")});
    add({QStringLiteral("00:11:22:33:44:02"), QStringLiteral("192.0.2.11"), QStringLiteral("IPC-B"),
         QStringLiteral("5.2.0"), QStringLiteral("59")});
    add({QStringLiteral("00:11:22:33:44:03"), QStringLiteral("198.51.100.23"), QStringLiteral(" "),
         QStringLiteral("4.0.1"), QStringLiteral("3700")});
    add({QStringLiteral("00:11:22:33:44:04"), QStringLiteral("203.0.113.200")});
    row(QStringLiteral("00:11:22:33:44:04"))->setCheckState(0, Qt::Checked);
    row(QStringLiteral("00:11:22:33:44:03"))
        ->setText(DeviceColumn::Status, keyText("IDCS_SUCCESS"));
    QTreeWidgetItem* item = row(QStringLiteral("00:11:22:33:44:01"));
    clickBox(item);
    const QImage shot = view()->viewport()->grab().toImage();
    if (const QByteArray dir = qgetenv("GALVORN_SNAPSHOT_DIR"); !dir.isEmpty())
        host.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/devicetree.png"));

    const QImage checked(QStringLiteral(":/skin/ckb_checked.png"));
    const QImage unchecked(QStringLiteral(":/skin/ckb_unchecked.png"));
    ASSERT_FALSE(checked.isNull());
    const QRect box = VistaItemDelegate::tickBoxRect(cell(item, 0));
    const qreal scale = shot.devicePixelRatio();
    auto at = [&](const QPoint& p) { return shot.pixelColor((p * scale)); };
    // The box's centre shows the ticked picture; the unticked row shows the other.
    EXPECT_EQ(at(box.center()), checked.pixelColor(6, 6));
    const QRect other =
        VistaItemDelegate::tickBoxRect(cell(row(QStringLiteral("00:11:22:33:44:02")), 0));
    EXPECT_EQ(at(other.center()), unchecked.pixelColor(6, 6));
    EXPECT_NE(checked.pixelColor(6, 6), unchecked.pixelColor(6, 6));
}

// ------------------------------------------------------------------ tick rules

TEST_F(DeviceTreeTest, ExportKeepsOneTickImportKeepsAll)
{
    for (bool import : {false, true}) {
        SCOPED_TRACE(import ? "import" : "export");
        tree.clearDevices();
        importMode = import;
        add({QStringLiteral("00:11:22:33:44:01")});
        add({QStringLiteral("00:11:22:33:44:02")});
        add({QStringLiteral("00:11:22:33:44:03")});
        clickBox(row(QStringLiteral("00:11:22:33:44:01")));
        clickBox(row(QStringLiteral("00:11:22:33:44:02")));
        EXPECT_EQ(ticked(QStringLiteral("00:11:22:33:44:01")), import);
        EXPECT_TRUE(ticked(QStringLiteral("00:11:22:33:44:02")));
        EXPECT_FALSE(ticked(QStringLiteral("00:11:22:33:44:03")));
        EXPECT_EQ(tree.tickedRowCount(), import ? 2 : 1);
    }
}

TEST_F(DeviceTreeTest, ExportUntickingTheOnlyTickLeavesNoneAndLeavesSameTypeAlone)
{
    importMode = false;
    add({QStringLiteral("00:11:22:33:44:01")});
    sameTypeButton.setEnabled(false);
    clickBox(row(QStringLiteral("00:11:22:33:44:01")));
    clickBox(row(QStringLiteral("00:11:22:33:44:01")));
    EXPECT_EQ(tree.tickedRowCount(), 0);
    EXPECT_FALSE(sameTypeButton.isEnabled());
}

TEST_F(DeviceTreeTest, ClickOutsideTheTickColumnRunsNoRule)
{
    importMode = false;
    add({QStringLiteral("00:11:22:33:44:01")});
    add({QStringLiteral("00:11:22:33:44:02")});
    row(QStringLiteral("00:11:22:33:44:01"))->setCheckState(0, Qt::Checked);
    row(QStringLiteral("00:11:22:33:44:02"))->setCheckState(0, Qt::Checked);
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, {},
                      cell(row(QStringLiteral("00:11:22:33:44:02")), DeviceColumn::Name).center());
    EXPECT_EQ(tree.tickedRowCount(), 2);
}

struct SameTypeCase
{
    const char* name;
    std::vector<Device> ticked;
    bool same;
    const char* key;
};

class SameType : public DeviceTreeTest, public ::testing::WithParamInterface<SameTypeCase>
{};

TEST_P(SameType, TestAndButtonAgreeOnClicksAndSelectAll)
{
    const SameTypeCase& c = GetParam();
    for (const Device& d : c.ticked)
        add(d);
    // An unticked device of another kind must not matter to the clicks.
    add({QStringLiteral("AA:00:00:00:00:99"), QStringLiteral("192.0.2.99"), QStringLiteral("OTHER"),
         QStringLiteral("9.0")});
    sameTypeButton.setEnabled(!c.same);
    for (const Device& d : c.ticked)
        clickBox(row(d.mac));
    if (!c.ticked.empty()) {
        EXPECT_EQ(sameTypeButton.isEnabled(), c.same);
    }
    EXPECT_EQ(tree.sameTypeTest(), c.same);
    EXPECT_EQ(tree.sameTypeKey(), QString::fromUtf8(c.key));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SameType,
    ::testing::Values(
        SameTypeCase{"none", {}, false, ""},
        SameTypeCase{"one", {{"M1", "192.0.2.1", "IPC-A", "4.1"}}, true, "IPC-A"},
        SameTypeCase{"bothFour",
                     {{"M1", "192.0.2.1", "IPC-A", "4.1"}, {"M2", "192.0.2.2", "IPC-A", "4.2.7"}},
                     true,
                     "IPC-A"},
        SameTypeCase{"bothFive",
                     {{"M1", "192.0.2.1", "IPC-A", "5.1"}, {"M2", "192.0.2.2", "IPC-A", "5.0"}},
                     true,
                     "IPC-A"},
        SameTypeCase{"fourAndFive",
                     {{"M1", "192.0.2.1", "IPC-A", "4.1"}, {"M2", "192.0.2.2", "IPC-A", "5.1"}},
                     false,
                     "IPC-A"},
        SameTypeCase{"fourtyIsNotFour",
                     {{"M1", "192.0.2.1", "IPC-A", "4.1"}, {"M2", "192.0.2.2", "IPC-A", "40.1"}},
                     false,
                     "IPC-A"},
        SameTypeCase{"otherModel",
                     {{"M1", "192.0.2.1", "IPC-A", "4.1"}, {"M2", "192.0.2.2", "IPC-B", "4.1"}},
                     false,
                     "IPC-B"},
        SameTypeCase{"noModel", {{"M1", "192.0.2.1", " ", "4.1"}}, false, " "},
        SameTypeCase{"noModelTwice",
                     {{"M1", "192.0.2.1", " ", "4.1"}, {"M2", "192.0.2.2", " ", "4.1"}},
                     false,
                     " "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DeviceTreeTest, SameTypeKeyIsTheFirstTickedRowInTreeOrder)
{
    add({QStringLiteral("M1"), QStringLiteral("192.0.2.1"), QStringLiteral("IPC-A")});
    add({QStringLiteral("M2"), QStringLiteral("192.0.2.2"), QStringLiteral("IPC-B")});
    tree.selectAll();
    // M2 was inserted last and is therefore the top row.
    EXPECT_FALSE(tree.sameTypeTest());
    EXPECT_EQ(tree.sameTypeKey(), QStringLiteral("IPC-B"));
}

TEST_F(DeviceTreeTest, SelectAllTicksEveryRowAndJudgesSameType)
{
    add({QStringLiteral("M1"), QStringLiteral("192.0.2.1"), QStringLiteral("IPC-A")});
    add({QStringLiteral("M2"), QStringLiteral("192.0.2.2"), QStringLiteral("IPC-A")});
    tree.selectAll();
    EXPECT_EQ(tree.tickedRowCount(), 2);
    EXPECT_TRUE(sameTypeButton.isEnabled());

    add({QStringLiteral("M3"), QStringLiteral("192.0.2.3"), QStringLiteral("IPC-B")});
    tree.selectAll();
    EXPECT_EQ(tree.tickedRowCount(), 3);
    EXPECT_FALSE(sameTypeButton.isEnabled());

    tree.clearTicks();
    EXPECT_EQ(tree.tickedRowCount(), 0);
    EXPECT_FALSE(sameTypeButton.isEnabled());
}

TEST_F(DeviceTreeTest, SameTypeTicksEveryDeviceOfTheTickedModel)
{
    add({QStringLiteral("M1"), QStringLiteral("192.0.2.1"), QStringLiteral("IPC-A")});
    add({QStringLiteral("M2"), QStringLiteral("192.0.2.2"), QStringLiteral("IPC-B")});
    add({QStringLiteral("M3"), QStringLiteral("192.0.2.3"), QStringLiteral("IPC-A"),
         QStringLiteral("5.0")});
    add({QStringLiteral("M4"), QStringLiteral("192.0.2.4"), QStringLiteral("IPC-A ")});
    clickBox(row(QStringLiteral("M1")));
    ASSERT_TRUE(sameTypeButton.isEnabled());
    tree.tickSameType();
    EXPECT_TRUE(ticked(QStringLiteral("M1")));
    EXPECT_TRUE(ticked(QStringLiteral("M3")));
    EXPECT_FALSE(ticked(QStringLiteral("M2")));
    EXPECT_FALSE(ticked(QStringLiteral("M4")));
}

// ------------------------------------------------------------------ column menu

TEST_F(DeviceTreeTest, MenuListsSixteenColumnsCheckedAsShownThenSaveList)
{
    const QList<QAction*> actions = header()->columnMenu()->actions();
    ASSERT_EQ(actions.size(), 18);
    EXPECT_TRUE(actions[16]->isSeparator());
    EXPECT_EQ(actions[17], header()->saveListAction());
    EXPECT_EQ(actions[17]->text(), keyText("IDCS_SAVE_LIST"));
    EXPECT_FALSE(actions[17]->isCheckable());
    EXPECT_EQ(header()->columnAction(0), nullptr);
    const std::set<int> shown{1, 3, 4, 9, 10, 11, 12, 15};
    for (int c = 1; c <= 16; ++c) {
        SCOPED_TRACE(c);
        QAction* action = header()->columnAction(c);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(actions[c - 1], action);
        EXPECT_TRUE(action->isCheckable());
        EXPECT_EQ(action->isChecked(), shown.count(c) == 1);
        EXPECT_EQ(action->text(), keyText(galvorn::kDeviceColumns[c].titleKey));
    }
}

TEST_F(DeviceTreeTest, RightClickMenuHidesAndShowsAColumn)
{
    QAction* ip = header()->columnAction(DeviceColumn::IpAddress);
    // The menu runs modally; pick the entry with the mouse once it is open.
    auto pick = [&] {
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(ip).center());
        });
        const QPoint at(header()->sectionViewportPosition(DeviceColumn::Name) + 5, 5);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at,
                                header()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(header()->viewport(), &event);
    };
    pick();
    EXPECT_FALSE(ip->isChecked());
    EXPECT_TRUE(view()->isColumnHidden(DeviceColumn::IpAddress));
    pick();
    EXPECT_TRUE(ip->isChecked());
    EXPECT_FALSE(view()->isColumnHidden(DeviceColumn::IpAddress));
}

TEST_F(DeviceTreeTest, LastShownColumnCannotBeHidden)
{
    std::vector<int> shown;
    for (int c = 1; c <= 16; ++c) {
        if (header()->columnAction(c)->isChecked())
            shown.push_back(c);
    }
    ASSERT_GT(shown.size(), 1u);
    for (int c : shown)
        header()->columnAction(c)->trigger();
    const int last = shown.back();
    EXPECT_TRUE(header()->columnAction(last)->isChecked());
    EXPECT_FALSE(view()->isColumnHidden(last));
    for (int c = 1; c <= 16; ++c) {
        if (c != last) {
            EXPECT_TRUE(view()->isColumnHidden(c)) << c;
        }
    }
    EXPECT_FALSE(view()->isColumnHidden(DeviceColumn::Tick));
    // Showing another column frees the last one again.
    header()->columnAction(DeviceColumn::Mac)->trigger();
    header()->columnAction(last)->trigger();
    EXPECT_TRUE(view()->isColumnHidden(last));
    EXPECT_FALSE(view()->isColumnHidden(DeviceColumn::Mac));
}

// ------------------------------------------------------------------ sorting

class Sorting : public DeviceTreeTest
{
protected:
    void SetUp() override
    {
        DeviceTreeTest::SetUp();
        // Inserted in this order, shown in reverse: 5, 4, 3, 2, 1.
        add({QStringLiteral("M1"), QStringLiteral("192.168.1.10"), QStringLiteral("B-2")});
        add({QStringLiteral("M2"), QStringLiteral("192.168.1.9"), QStringLiteral("A-1")});
        add({QStringLiteral("M3"), QStringLiteral("10.0.0.1"), QStringLiteral("C-3")});
        add({QStringLiteral("M4"), QStringLiteral("192.168.1.100"), QStringLiteral("B-2")});
        add({QStringLiteral("M5"), QStringLiteral("192.168.2.1"), QStringLiteral("A-1")});
    }

    const QStringList inserted{QStringLiteral("M5"), QStringLiteral("M4"), QStringLiteral("M3"),
                               QStringLiteral("M2"), QStringLiteral("M1")};
    const QStringList ipAscending{QStringLiteral("10.0.0.1"), QStringLiteral("192.168.1.9"),
                                  QStringLiteral("192.168.1.10"), QStringLiteral("192.168.1.100"),
                                  QStringLiteral("192.168.2.1")};

    static QStringList reversed(QStringList list)
    {
        std::reverse(list.begin(), list.end());
        return list;
    }
};

TEST_F(Sorting, IpAddressTitleSortsNumericallyAndTogglesTheOrder)
{
    clickHeader(DeviceColumn::IpAddress);
    const Qt::SortOrder first = header()->sortIndicatorOrder();
    EXPECT_EQ(header()->sortIndicatorSection(), DeviceColumn::IpAddress);
    EXPECT_EQ(column(DeviceColumn::IpAddress),
              first == Qt::AscendingOrder ? ipAscending : reversed(ipAscending));
    EXPECT_FALSE(header()->isSortIndicatorShown());
    EXPECT_FALSE(header()->sectionsClickable());

    clickHeader(DeviceColumn::IpAddress);
    EXPECT_NE(header()->sortIndicatorOrder(), first);
    EXPECT_EQ(column(DeviceColumn::IpAddress),
              first == Qt::AscendingOrder ? reversed(ipAscending) : ipAscending);
}

TEST_F(Sorting, UnsortableTitlesNeverReorder)
{
    for (int section :
         {DeviceColumn::Name, DeviceColumn::Mac, DeviceColumn::Status, DeviceColumn::Tick}) {
        SCOPED_TRACE(section);
        clickHeader(section);
        EXPECT_EQ(column(DeviceColumn::Mac), inserted);
    }
    const int nameWidth = header()->sectionSize(DeviceColumn::Name);
    clickHeader(DeviceColumn::Name);
    EXPECT_EQ(header()->sectionSize(DeviceColumn::Name), nameWidth);

    // Nor after a sort: the order stays the sorted one.
    clickHeader(DeviceColumn::IpAddress);
    const QStringList sorted = column(DeviceColumn::Mac);
    ASSERT_NE(sorted, inserted);
    clickHeader(DeviceColumn::Name);
    clickHeader(DeviceColumn::Mac);
    EXPECT_EQ(column(DeviceColumn::Mac), sorted);
}

TEST_F(Sorting, EveryShownSortableTitleSorts)
{
    for (int section : kSortableDeviceColumns) {
        SCOPED_TRACE(section);
        view()->setColumnHidden(section, false);
        view()->setSortingEnabled(false);
        clickHeader(section);
        EXPECT_EQ(header()->sortIndicatorSection(), section);
        EXPECT_TRUE(view()->isSortingEnabled());
        if (section == DeviceColumn::IpAddress)
            continue;
        QStringList texts = column(section);
        if (header()->sortIndicatorOrder() == Qt::DescendingOrder)
            std::reverse(texts.begin(), texts.end());
        EXPECT_TRUE(std::is_sorted(texts.begin(), texts.end())) << texts.join(',').toStdString();
    }
}

TEST_F(Sorting, RightPressOnATitleDoesNotSort)
{
    clickHeader(DeviceColumn::IpAddress, Qt::RightButton);
    EXPECT_EQ(column(DeviceColumn::Mac), inserted);
}

TEST_F(Sorting, NewAndChangedDevicesSwitchSortingOff)
{
    clickHeader(DeviceColumn::IpAddress);
    ASSERT_TRUE(view()->isSortingEnabled());
    add({QStringLiteral("M6"), QStringLiteral("192.168.1.50")});
    EXPECT_FALSE(view()->isSortingEnabled());
    EXPECT_EQ(column(DeviceColumn::Mac).first(), QStringLiteral("M6"));

    clickHeader(DeviceColumn::IpAddress);
    ASSERT_TRUE(view()->isSortingEnabled());
    const QStringList sorted = column(DeviceColumn::Mac);
    tree.recvOnlineDeviceInfo(record({QStringLiteral("M3"), QStringLiteral("203.0.113.9")}),
                              SEARCH_STATUS_CHANGED);
    EXPECT_FALSE(view()->isSortingEnabled());
    EXPECT_EQ(column(DeviceColumn::Mac), sorted);
}

// How each column compares when it is sorted, whether a click may sort it or not: the
// five rows' texts, and texts that must come out in this order, ascending.
struct CompareCase
{
    const char* what;
    int column;
    QStringList texts;
    QStringList ascending;
};

class ColumnCompare : public Sorting, public ::testing::WithParamInterface<CompareCase>
{};

TEST_P(ColumnCompare, SortsByTheColumnsRule)
{
    const CompareCase& c = GetParam();
    ASSERT_EQ(c.texts.size(), view()->topLevelItemCount());
    for (int i = 0; i < c.texts.size(); ++i)
        view()->topLevelItem(i)->setText(c.column, c.texts[i]);
    view()->sortItems(c.column, Qt::AscendingOrder);
    const QStringList sorted = column(c.column);
    for (int i = 1; i < c.ascending.size(); ++i)
        EXPECT_LT(sorted.indexOf(c.ascending[i - 1]), sorted.indexOf(c.ascending[i]))
            << sorted.join(',').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ColumnCompare,
    ::testing::Values(
        // The HTTP port is never sorted by a click, but sorts by value when asked.
        CompareCase{"HttpPortByValue",
                    DeviceColumn::HttpPort,
                    {"8080", "80", "443", "9", "abc"},
                    {"abc", "9", "80", "443", "8080"}},
        // Texts that are not four numbers fall back to text order among themselves.
        CompareCase{"IpAddressOtherwiseAsText",
                    DeviceColumn::IpAddress,
                    {"1.2.3", "10.0.0.2", "9.0.0.1", "x.1.1.1", "1.2.3.4.5"},
                    {"1.2.3", "1.2.3.4.5"}},
        CompareCase{"IpAddressQuadsAmongOtherTexts",
                    DeviceColumn::IpAddress,
                    {"1.2.3", "10.0.0.2", "9.0.0.1", "x.1.1.1", "1.2.3.4.5"},
                    {"9.0.0.1", "10.0.0.2"}},
        // Other columns compare as text: "10" before "9".
        CompareCase{"DataPortAsText",
                    DeviceColumn::DataPort,
                    {"9", "10", "9008", "9008", "9008"},
                    {"10", "9"}}),
    [](const auto& info) { return std::string(info.param.what); });

// ------------------------------------------------------------------ device rows

TEST_F(DeviceTreeTest, NewDeviceIsTheTopRowUntickedWithItsTexts)
{
    add({QStringLiteral("00:11:22:33:44:01"), QStringLiteral("192.0.2.10")});
    Device second{QStringLiteral("00:11:22:33:44:02"), QStringLiteral("192.0.2.11")};
    OnlineDeviceInfo* info = record(second);
    tree.recvOnlineDeviceInfo(info, SEARCH_STATUS_NEW);

    ASSERT_EQ(tree.deviceRowCount(), 2);
    QTreeWidgetItem* top = view()->topLevelItem(0);
    EXPECT_EQ(DeviceTree::deviceOf(top), info);
    EXPECT_EQ(top->data(0, Qt::UserRole).value<void*>(), static_cast<void*>(info));
    EXPECT_EQ(top->type(), QTreeWidgetItem::Type);
    EXPECT_NE(dynamic_cast<VistaTreeWidgetItem*>(top), nullptr);
    EXPECT_EQ(top->checkState(0), Qt::Unchecked);
    EXPECT_EQ(top->flags(), Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);

    const QStringList expected{QString(),
                               QStringLiteral("cam-02"),
                               QStringLiteral("VRN_IPC"),
                               QStringLiteral("IPC-A"),
                               QStringLiteral("192.0.2.11"),
                               QStringLiteral("80"),
                               QStringLiteral("9008"),
                               QStringLiteral("255.255.255.0"),
                               QStringLiteral("192.0.2.1"),
                               QStringLiteral("4.1.0"),
                               QStringLiteral("2023-05-01"),
                               QStringLiteral("00:11:22:33:44:02"),
                               QStringLiteral("k1"),
                               QStringLiteral("2023-06-01 08:00:00"),
                               QStringLiteral("1") + keyText("IDCS_DAY") + QStringLiteral("1") +
                                   keyText("IDCS_HOUR") + QStringLiteral("1") +
                                   keyText("IDCS_MINUTE"),
                               QString(),
                               QString()};
    for (int c = 0; c < galvorn::kDeviceColumnCount; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(top->text(c), expected[c]);
        if ((c >= 1 && c <= 14) || c == DeviceColumn::Explain) {
            EXPECT_EQ(top->textAlignment(c), Qt::AlignHCenter | Qt::AlignVCenter);
        }
    }
    EXPECT_FALSE(top->text(DeviceColumn::RunTime).isEmpty());
}

TEST_F(DeviceTreeTest, KnownMacIsNotInsertedAgainNorRefreshed)
{
    add({QStringLiteral("00:11:22:33:44:01"), QStringLiteral("192.0.2.10")});
    add({QStringLiteral("00:11:22:33:44:01"), QStringLiteral("192.0.2.99")});
    EXPECT_EQ(tree.deviceRowCount(), 1);
    EXPECT_EQ(view()->topLevelItem(0)->text(DeviceColumn::IpAddress), QStringLiteral("192.0.2.10"));
    // MACs are matched exactly: another case is another device.
    add({QStringLiteral("00:11:22:33:44:0a")});
    add({QStringLiteral("00:11:22:33:44:0A")});
    EXPECT_EQ(tree.deviceRowCount(), 3);
}

TEST_F(DeviceTreeTest, ChangedDeviceIsRewrittenInPlaceKeepingItsTick)
{
    add({QStringLiteral("M1")});
    add({QStringLiteral("M2")});
    add({QStringLiteral("M3")});
    QTreeWidgetItem* middle = row(QStringLiteral("M2"));
    OnlineDeviceInfo* kept = DeviceTree::deviceOf(middle);
    clickBox(middle);
    ASSERT_TRUE(ticked(QStringLiteral("M2")));

    Device changed{QStringLiteral("M2"), QStringLiteral("198.51.100.7"), QStringLiteral("IPC-Z"),
                   QStringLiteral("5.0"), QStringLiteral("59")};
    tree.recvOnlineDeviceInfo(record(changed), SEARCH_STATUS_CHANGED);

    EXPECT_EQ(view()->indexOfTopLevelItem(middle), 1);
    EXPECT_TRUE(ticked(QStringLiteral("M2")));
    EXPECT_EQ(DeviceTree::deviceOf(middle), kept);
    EXPECT_EQ(kept->ipAddr, QStringLiteral("198.51.100.7"));
    EXPECT_EQ(kept->productModel, QStringLiteral("IPC-Z"));
    EXPECT_EQ(middle->text(DeviceColumn::IpAddress), QStringLiteral("198.51.100.7"));
    EXPECT_EQ(middle->text(DeviceColumn::SoftwareVersion), QStringLiteral("5.0"));
    EXPECT_EQ(middle->text(DeviceColumn::RunTime), QStringLiteral("0") + keyText("IDCS_MINUTE"));
    EXPECT_EQ(tree.deviceRowCount(), 3);
    EXPECT_EQ(tree.tickedRowCount(), 1);
}

TEST_F(DeviceTreeTest, GoneDeviceRemovesItsRowAndCounts)
{
    add({QStringLiteral("M1")});
    add({QStringLiteral("M2")});
    add({QStringLiteral("M3")});
    tree.selectAll();
    row(QStringLiteral("M3"))->setCheckState(0, Qt::Unchecked);
    ASSERT_EQ(tree.deviceRowCount(), 3);
    ASSERT_EQ(tree.tickedRowCount(), 2);

    tree.recvOnlineDeviceInfo(record({QStringLiteral("M2")}), SEARCH_STATUS_GONE);
    EXPECT_EQ(tree.deviceRowCount(), 2);
    EXPECT_EQ(tree.tickedRowCount(), 1);
    EXPECT_EQ(row(QStringLiteral("M2")), nullptr);

    tree.recvOnlineDeviceInfo(record({QStringLiteral("M3")}), SEARCH_STATUS_GONE);
    EXPECT_EQ(tree.deviceRowCount(), 1);
    EXPECT_EQ(tree.tickedRowCount(), 1);
    EXPECT_EQ(column(DeviceColumn::Mac), QStringList{QStringLiteral("M1")});
}

TEST_F(DeviceTreeTest, RecordsForUnknownMacsAndOtherStatesChangeNothing)
{
    add({QStringLiteral("AA:BB")});
    tree.recvOnlineDeviceInfo(record({QStringLiteral("aa:bb")}), SEARCH_STATUS_GONE);
    tree.recvOnlineDeviceInfo(record({QStringLiteral("CC:DD"), QStringLiteral("192.0.2.5")}),
                              SEARCH_STATUS_CHANGED);
    tree.recvOnlineDeviceInfo(record({QStringLiteral("CC:DD")}), SEARCH_STATUS_GONE);
    tree.recvOnlineDeviceInfo(record({QStringLiteral("AA:BB"), QStringLiteral("192.0.2.5")}), 3);
    tree.recvOnlineDeviceInfo(record({QStringLiteral("EE:FF")}), -1);
    tree.recvOnlineDeviceInfo(nullptr, SEARCH_STATUS_GONE);
    tree.recvOnlineDeviceInfo(nullptr, SEARCH_STATUS_CHANGED);
    EXPECT_EQ(tree.deviceRowCount(), 1);
    EXPECT_EQ(column(DeviceColumn::IpAddress), QStringList{QStringLiteral("192.0.2.10")});
}

TEST_F(DeviceTreeTest, RemovedRowReappearsAsNew)
{
    add({QStringLiteral("M1")});
    add({QStringLiteral("M2")});
    tree.recvOnlineDeviceInfo(record({QStringLiteral("M1")}), SEARCH_STATUS_GONE);
    add({QStringLiteral("M1"), QStringLiteral("192.0.2.77")});
    EXPECT_EQ(column(DeviceColumn::Mac), (QStringList{QStringLiteral("M1"), QStringLiteral("M2")}));
    EXPECT_EQ(row(QStringLiteral("M1"))->checkState(0), Qt::Unchecked);
}

TEST_F(DeviceTreeTest, ClearDevicesEmptiesTheTree)
{
    add({QStringLiteral("M1")});
    add({QStringLiteral("M2")});
    tree.selectAll();
    tree.clearDevices();
    EXPECT_EQ(tree.deviceRowCount(), 0);
    EXPECT_EQ(tree.tickedRowCount(), 0);
    EXPECT_TRUE(tree.tickedDevices().isEmpty());
    tree.clearDevices();
    add({QStringLiteral("M1")});
    EXPECT_EQ(tree.deviceRowCount(), 1);
}

// ------------------------------------------------------------------ run status

TEST_F(DeviceTreeTest, StatusGoesToTickedRowsOfTheMacInAnyCase)
{
    add({QStringLiteral("aa:bb:cc:00:00:01")});
    add({QStringLiteral("aa:bb:cc:00:00:02")});
    add({QStringLiteral("aa:bb:cc:00:00:03")});
    row(QStringLiteral("aa:bb:cc:00:00:01"))->setCheckState(0, Qt::Checked);
    row(QStringLiteral("aa:bb:cc:00:00:03"))->setCheckState(0, Qt::Checked);

    EXPECT_EQ(tree.setTickedRowStatus(QStringLiteral("AA:BB:CC:00:00:01"), QStringLiteral("done")),
              1);
    EXPECT_EQ(tree.setTickedRowStatus(QStringLiteral("aa:bb:cc:00:00:02"), QStringLiteral("x")), 0);
    EXPECT_EQ(tree.setTickedRowStatus(QStringLiteral("aa:bb:cc:00:00:09"), QStringLiteral("x")), 0);
    EXPECT_EQ(row(QStringLiteral("aa:bb:cc:00:00:01"))->text(DeviceColumn::Status),
              QStringLiteral("done"));
    EXPECT_TRUE(row(QStringLiteral("aa:bb:cc:00:00:02"))->text(DeviceColumn::Status).isEmpty());
    // Tree order: 03 is on top.
    EXPECT_EQ(tree.tickedStatusTexts(), (QStringList{QString(), QStringLiteral("done")}));
    const QList<OnlineDeviceInfo*> devices = tree.tickedDevices();
    ASSERT_EQ(devices.size(), 2);
    EXPECT_EQ(devices[0]->mac, QStringLiteral("aa:bb:cc:00:00:03"));
    EXPECT_EQ(devices[1]->mac, QStringLiteral("aa:bb:cc:00:00:01"));

    row(QStringLiteral("aa:bb:cc:00:00:02"))->setText(DeviceColumn::Status, QStringLiteral("old"));
    tree.clearStatusColumn();
    EXPECT_EQ(column(DeviceColumn::Status), (QStringList{QString(), QString(), QString()}));
}

} // namespace

// ------------------------------------------------------------------ save list

TEST_F(DeviceTreeTest, SaveListWritesTheVisibleColumnsAsTheRowsShowThem)
{
    Device quoted{QStringLiteral("00:1A:2B:00:00:01")};
    quoted.model = QStringLiteral("IPC \"North\", gate");
    add(quoted);
    add({QStringLiteral("00:1A:2B:00:00:02"), QStringLiteral("192.0.2.11")});
    row(QStringLiteral("00:1A:2B:00:00:01"))->setCheckState(DeviceColumn::Tick, Qt::Checked);
    tree.setTickedRowStatus(QStringLiteral("00:1a:2b:00:00:01"), QStringLiteral("Done"));
    header()->columnAction(DeviceColumn::KernelVersion)->trigger(); // hidden from now on
    header()->columnAction(DeviceColumn::RunTime)->trigger();       // shown from now on

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("devices.csv"));
    ASSERT_TRUE(header()->saveList(path));
    galvorn::CsvReader reader;
    ASSERT_EQ(reader.openFile(path.toStdString()), galvorn::CsvStatus::Ok);
    std::vector<std::vector<std::string>> rows;
    for (galvorn::CsvRow row; reader.readRow(row);)
        rows.push_back(row.cells);

    std::vector<int> shown;
    for (int c = 1; c < galvorn::kDeviceColumnCount; ++c)
        if (!view()->isColumnHidden(c))
            shown.push_back(c);
    ASSERT_EQ(rows.size(), 3u);
    const galvorn::UpTimeUnits units{keyText("IDCS_DAY"), keyText("IDCS_HOUR"),
                                     keyText("IDCS_MINUTE")};
    for (std::size_t r = 0; r < rows.size(); ++r) {
        ASSERT_EQ(rows[r].size(), shown.size()) << r;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const int c = shown[i];
            if (r == 0) {
                EXPECT_EQ(rows[r][i], keyText(galvorn::kDeviceColumns[c].titleKey).toStdString());
                continue;
            }
            const QTreeWidgetItem* item = view()->topLevelItem(int(r) - 1);
            EXPECT_EQ(rows[r][i], item->text(c).toStdString()) << r << " " << c;
            // The device columns are the command-line program's table too.
            if (c <= galvorn::kLastDeviceListColumn) {
                EXPECT_EQ(item->text(c),
                          galvorn::DeviceListCell(*DeviceTree::deviceOf(item), c, units))
                    << c;
            }
        }
    }
    EXPECT_EQ(rows[2][0], "cam-01");
    EXPECT_NE(std::find(rows[2].begin(), rows[2].end(), "IPC \"North\", gate"), rows[2].end());
    EXPECT_NE(std::find(rows[2].begin(), rows[2].end(), "Done"), rows[2].end());
    EXPECT_EQ(
        std::find(rows[0].begin(), rows[0].end(), keyText("IDCS_KERNEL_VERSION").toStdString()),
        rows[0].end());

    // Lines end in CR LF, also inside the file as a whole.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_EQ(bytes.count("\r\n"), 3);
    EXPECT_EQ(bytes.count('\n'), 3);
    EXPECT_FALSE(header()->saveList(dir.filePath(QStringLiteral("missing/devices.csv"))));
}
