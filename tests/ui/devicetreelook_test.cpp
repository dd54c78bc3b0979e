// What the operator sees of the device tree beyond its texts: titles cut to their
// columns, and the progress bar behind a transferring row's status.

#include "discovery/onlinedeviceinfo.h"
#include "discovery/searchinfo.h"
#include "ui/devicetree/devicecolumns.h"
#include "ui/devicetree/devicetree.h"
#include "ui/devicetree/devicetreeheaderview.h"
#include "widgets/vistaitemdelegate.h"
#include "widgets/vistatreewidget.h"

#include <QHelpEvent>
#include <QImage>
#include <QTest>
#include <QToolTip>
#include <QWidget>
#include <gtest/gtest.h>

#include <string>

namespace {

constexpr char kMac[] = "00:11:22:33:44:01";

class DeviceTreeLook : public ::testing::Test
{
protected:
    void SetUp() override
    {
        host.resize(1500, 400);
        view()->setGeometry(0, 0, 1500, 400);
        auto* device = new OnlineDeviceInfo;
        device->mac = kMac;
        device->productSeries = "VRN_IPC";
        device->productModel = "IPC-A";
        tree.recvOnlineDeviceInfo(device, SEARCH_STATUS_NEW);
        row()->setCheckState(DeviceColumn::Tick, Qt::Checked);
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    }

    VistaTreeWidget* view() const { return tree.widget(); }
    DeviceTreeHeaderView* header() const { return tree.header(); }
    QTreeWidgetItem* row() const { return view()->topLevelItem(0); }
    QString title(int column) const { return view()->headerItem()->text(column); }

    QRect statusCell() const
    {
        return view()->visualRect(view()->model()->index(0, DeviceColumn::Status));
    }

    // The tool tip a pause of the pointer over the middle of a column's title brings up;
    // empty when none shows.
    std::string toolTipOver(int column) const
    {
        // A tip goes a moment after it is told to.
        QToolTip::hideText();
        if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }))
            return "the last tip stays";
        const QPoint at(header()->sectionViewportPosition(column) +
                            header()->sectionSize(column) / 2,
                        header()->height() / 2);
        QHelpEvent event(QEvent::ToolTip, at, header()->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(header()->viewport(), &event);
        return QToolTip::isVisible() ? QToolTip::text().toStdString() : std::string();
    }

    QImage shot() const { return view()->viewport()->grab().toImage(); }

    QWidget host;
    DeviceTree tree{&host, galvorn::readLocalSettings("/nonexistent/Galvorn.ini", "en_US")};
};

// A title that does not fit keeps its start and ends in "…"; the whole title is its tool
// tip. A title that fits is drawn whole and has none.
TEST_F(DeviceTreeLook, ATitleThatDoesNotFitIsCutAtTheRightAndShownWholeAsToolTip)
{
    const int column = DeviceColumn::SoftwareDate;
    const QString whole = title(column);
    ASSERT_EQ(header()->shownTitle(column), whole);
    EXPECT_EQ(toolTipOver(column), "");

    header()->resizeSection(column, 60);
    const QString cut = header()->shownTitle(column);
    ASSERT_TRUE(cut.endsWith(QChar(0x2026))) << cut.toStdString();
    EXPECT_GT(cut.size(), 1) << "some of the title still shows";
    EXPECT_TRUE(whole.startsWith(cut.chopped(1))) << cut.toStdString();
    EXPECT_EQ(toolTipOver(column), whole.toStdString());

    header()->resizeSection(column, 400);
    EXPECT_EQ(header()->shownTitle(column), whole);
    EXPECT_EQ(toolTipOver(column), "");
    EXPECT_EQ(toolTipOver(DeviceColumn::Tick), "") << "the tick column has no title";
}

// The bar fills the share of the cell from the left behind the text: inside it the
// background changes, beyond it nothing does, and the text keeps its colour, in an idle
// row and in the disabled row of a run. A status without a share, and the cleared
// column, have none.
class ProgressBar : public DeviceTreeLook, public ::testing::WithParamInterface<bool>
{};

TEST_P(ProgressBar, FillsTheShareBehindTheUnchangedText)
{
    tree.applyRunState(GetParam());
    const QString text = "37.50%";
    ASSERT_EQ(tree.setTickedRowStatus(kMac, text), 1);
    const QImage plain = shot();
    ASSERT_EQ(tree.setTickedRowStatus(kMac, text, 50.0), 1);
    EXPECT_EQ(row()->text(DeviceColumn::Status), text);
    const QImage withBar = shot();

    const QRect cell = statusCell();
    const QRect bar = VistaItemDelegate::progressRect(cell, 50.0);
    const qreal scale = withBar.devicePixelRatio();
    const auto pixel = [&](const QImage& image, int x, int y) {
        return image.pixelColor(QPoint(x, y) * scale);
    };
    const QColor background = pixel(plain, cell.right() - 2, cell.center().y());
    // Lighten keeps a pixel at least as bright as the bar in every channel: the text's.
    const QColor barColour = pixel(withBar, bar.left(), bar.top());
    const auto overBar = [&](const QColor& c) {
        return c.red() >= barColour.red() && c.green() >= barColour.green() &&
               c.blue() >= barColour.blue();
    };
    ASSERT_NE(barColour, background);
    int barPixels = 0;
    int textPixels = 0;
    for (int x = cell.left(); x <= cell.right(); ++x) {
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            const QColor before = pixel(plain, x, y);
            const QColor after = pixel(withBar, x, y);
            if (!bar.contains(x, y)) {
                ASSERT_EQ(after, before) << x << "," << y << " is outside the bar";
            } else if (before == background) {
                ASSERT_EQ(after, barColour) << x << "," << y << " is inside the bar";
                ++barPixels;
            } else if (overBar(before)) {
                ASSERT_EQ(after, before) << x << "," << y << " is text";
                ++textPixels;
            }
        }
    }
    EXPECT_GT(barPixels, bar.width() * bar.height() / 2);
    EXPECT_GT(textPixels, 10) << "the text lies over the bar";

    tree.setTickedRowStatus(kMac, "Success");
    EXPECT_FALSE(row()->data(DeviceColumn::Status, VistaItemDelegate::kProgressRole).isValid());
    tree.setTickedRowStatus(kMac, text, 50.0);
    tree.clearStatusColumn();
    EXPECT_FALSE(row()->data(DeviceColumn::Status, VistaItemDelegate::kProgressRole).isValid());
    tree.setTickedRowStatus(kMac, text);
    EXPECT_TRUE(shot() == plain) << "no bar is left";
}

INSTANTIATE_TEST_SUITE_P(IdleAndRunning, ProgressBar, ::testing::Bool());

} // namespace
