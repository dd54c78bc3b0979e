#include "ui/dialogs/n12_messagebox.h"
#include "uitesthelpers.h"
#include "widgets/vrnbutton.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace {

using Box = N12_MessageBox;

// Acts on the message box that a static function runs modally, once it is shown. A
// watchdog closes any box that the action leaves open, so that a fault fails the test
// instead of hanging it.
class ModalAction
{
public:
    explicit ModalAction(std::function<void(Box*)> act)
    {
        QTimer::singleShot(0, [act] {
            auto* box = qobject_cast<Box*>(QApplication::activeModalWidget());
            if (!box) {
                ADD_FAILURE() << "no message box is shown";
                return;
            }
            act(box);
        });
        watchdog_.setSingleShot(true);
        QObject::connect(&watchdog_, &QTimer::timeout, [] {
            ADD_FAILURE() << "the message box stayed open";
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        watchdog_.start(10000);
    }

private:
    QTimer watchdog_;
};

QImage picture(const Box* box)
{
    for (const QLabel* label : box->findChildren<QLabel*>()) {
        if (!label->pixmap().isNull())
            return label->pixmap().toImage();
    }
    return {};
}

// The box's buttons from left to right.
QList<QPushButton*> buttonsInRow(const Box* box)
{
    QList<QPushButton*> buttons;
    for (QPushButton* b : box->findChildren<QPushButton*>()) {
        if (!qobject_cast<VRNButton*>(b))
            buttons << b;
    }
    std::sort(buttons.begin(), buttons.end(),
              [](const QPushButton* a, const QPushButton* b) { return a->x() < b->x(); });
    return buttons;
}

void pressKey(Box* box, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    QWidget* target = box->focusWidget() ? box->focusWidget() : box;
    QTest::keyClick(target, key, modifiers);
}

struct StaticCase
{
    const char* name;
    std::function<int(const QString&)> open;
    const char* picture;
    const char* titleKey;
    std::vector<std::pair<int, const char*>> buttons; // flag and text key, left to right
};

void PrintTo(const StaticCase& c, std::ostream* out)
{
    *out << c.name;
}

class StaticFunction : public ::testing::TestWithParam<StaticCase>
{};

TEST_P(StaticFunction, ShowsItsKindAndAnswersWithTheClickedButton)
{
    const StaticCase& c = GetParam();
    for (const auto& [flag, key] : c.buttons) {
        SCOPED_TRACE(key);
        ModalAction check([&c, flag = flag](Box* box) {
            EXPECT_EQ(box->size(), QSize(Box::kWidth, Box::kHeight));
            EXPECT_EQ(box->title(), keyText(c.titleKey));
            EXPECT_FALSE(box->title().isEmpty());
            EXPECT_EQ(box->text(), QStringLiteral("message text"));
            const QImage expected = QPixmap(QString::fromLatin1(c.picture)).toImage();
            EXPECT_FALSE(expected.isNull());
            EXPECT_TRUE(picture(box) == expected);
            const QList<QPushButton*> row = buttonsInRow(box);
            EXPECT_EQ(row.size(), static_cast<qsizetype>(c.buttons.size()));
            for (qsizetype i = 0; i < row.size() && i < qsizetype(c.buttons.size()); ++i) {
                EXPECT_EQ(row[i], box->button(Box::Button(c.buttons[i].first)));
                EXPECT_EQ(row[i]->text(), keyText(c.buttons[i].second));
                EXPECT_FALSE(row[i]->text().isEmpty());
            }
            EXPECT_EQ(box->defaultButton(), row.last());
            EXPECT_TRUE(row.last()->isDefault());
            EXPECT_EQ(box->focusWidget(), row.last());
            EXPECT_EQ(box->answer(), c.buttons.back().first);
            QTest::mouseClick(box->button(Box::Button(flag)), Qt::LeftButton);
        });
        EXPECT_EQ(c.open(QStringLiteral("message text")), flag);
    }
}

INSTANTIATE_TEST_SUITE_P(
    All, StaticFunction,
    ::testing::Values(StaticCase{"warning",
                                 [](const QString& t) { return Box::warning(t); },
                                 ":/skin/Warning.png",
                                 "IDCS_WARNING",
                                 {{Box::Ok, "IDCS_OK"}}},
                      StaticCase{"error",
                                 [](const QString& t) { return Box::error(t); },
                                 ":/skin/Error.png",
                                 "IDCS_ERROR",
                                 {{Box::Ok, "IDCS_OK"}}},
                      StaticCase{"information",
                                 [](const QString& t) { return Box::information(t); },
                                 ":/skin/Information.png",
                                 "IDCS_INFORMATION",
                                 {{Box::Ok, "IDCS_OK"}}},
                      StaticCase{"question",
                                 [](const QString& t) { return Box::question(t); },
                                 ":/skin/Question.png",
                                 "IDCS_QUESTION",
                                 {{Box::Ok, "IDCS_OK"}, {Box::Cancel, "IDCS_CANCEL"}}},
                      StaticCase{"questionYesNo",
                                 [](const QString& t) { return Box::questionYesNo(t); },
                                 ":/skin/Question.png",
                                 "IDCS_QUESTION",
                                 {{Box::Yes, "IDCS_YES"}, {Box::No, "IDCS_NO"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The quit question must not quit unless Yes is chosen.
TEST(MessageBox, QuitQuestionClosedAnyOtherWayAnswersNo)
{
    const std::vector<std::pair<const char*, std::function<void(Box*)>>> ways{
        {"escape", [](Box* box) { pressKey(box, Qt::Key_Escape); }},
        {"return", [](Box* box) { pressKey(box, Qt::Key_Return); }},
        {"enter", [](Box* box) { pressKey(box, Qt::Key_Enter, Qt::KeypadModifier); }},
        {"title bar close",
         [](Box* box) { QTest::mouseClick(box->closeButton(), Qt::LeftButton); }},
    };
    for (const auto& [name, way] : ways) {
        SCOPED_TRACE(name);
        ModalAction act(way);
        EXPECT_EQ(Box::questionYesNo(QStringLiteral("Quit?")), Box::No);
    }
}

TEST(MessageBox, WarningClosedByAnyWayAnswersOk)
{
    const std::vector<std::function<void(Box*)>> ways{
        [](Box* box) { pressKey(box, Qt::Key_Escape); },
        [](Box* box) { pressKey(box, Qt::Key_Return); },
        [](Box* box) { QTest::mouseClick(box->closeButton(), Qt::LeftButton); },
    };
    for (const auto& way : ways) {
        ModalAction act(way);
        EXPECT_EQ(Box::warning(QStringLiteral("Refused")), Box::Ok);
    }
}

struct EscapeCase
{
    int buttons;
    int onEscape;
    int onEnter;
};

void PrintTo(const EscapeCase& c, std::ostream* out)
{
    *out << "buttons 0x" << std::hex << c.buttons;
}

class Escape : public ::testing::TestWithParam<EscapeCase>
{};

TEST_P(Escape, AnswersTheLastRefusalOfferedAndCloses)
{
    const EscapeCase c = GetParam();
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        SCOPED_TRACE(key == Qt::Key_Escape ? "escape" : "return");
        Box box(Box::Question, QStringLiteral("?"), c.buttons);
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        pressKey(&box, key);
        EXPECT_EQ(box.answer(), key == Qt::Key_Escape ? c.onEscape : c.onEnter);
        EXPECT_FALSE(box.isVisible());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Escape,
    ::testing::Values(EscapeCase{Box::Ok, Box::Ok, Box::Ok},
                      EscapeCase{Box::Ok | Box::Cancel, Box::Cancel, Box::Cancel},
                      EscapeCase{Box::Yes | Box::No, Box::No, Box::No},
                      EscapeCase{Box::AllYes | Box::AllNot, Box::AllNot, Box::AllNot},
                      EscapeCase{Box::AllYes | Box::AllNot | Box::Yes, Box::AllNot, Box::Yes},
                      EscapeCase{Box::AllNot | Box::No, Box::No, Box::No},
                      EscapeCase{Box::AllNot | Box::No | Box::Cancel | Box::Yes, Box::Cancel,
                                 Box::No},
                      EscapeCase{Box::Ok | Box::Yes, Box::Yes, Box::Yes},
                      EscapeCase{0x3F, Box::Cancel, Box::No}));

TEST(MessageBox, EscapeWithAModifierNeitherClosesNorAnswers)
{
    Box box(Box::Question, QStringLiteral("?"), Box::Yes | Box::No | Box::Cancel);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    pressKey(&box, Qt::Key_Escape, Qt::ShiftModifier);
    EXPECT_EQ(box.answer(), Box::No);
    EXPECT_TRUE(box.isVisible());
}

TEST(MessageBox, ButtonsAreCreatedInTableOrderAlongTheBottom)
{
    Box box(Box::Warning, QStringLiteral("?"), 0x3F);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    const QList<QPushButton*> row = buttonsInRow(&box);
    const std::vector<int> order{Box::AllYes, Box::AllNot, Box::Ok, Box::Cancel, Box::Yes, Box::No};
    ASSERT_EQ(row.size(), 6);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(row[i], box.button(Box::Button(order[i])));
        EXPECT_EQ(row[i]->size(), QSize(70, 23));
        EXPECT_EQ(row[i]->y(), Box::kHeight - 27);
        EXPECT_GE(row[i]->x(), 0);
        EXPECT_LE(row[i]->geometry().right(), box.width() - 1);
        if (i > 0) {
            EXPECT_GT(row[i]->x(), row[i - 1]->geometry().right());
        }
    }
    EXPECT_EQ(box.defaultButton(), box.button(Box::No));
    EXPECT_EQ(box.answer(), Box::No);
    EXPECT_EQ(box.height(), Box::kHeight);
    EXPECT_GT(box.width(), Box::kWidth);
}

TEST(MessageBox, PictureAndTextSitWhereTheLayoutSays)
{
    Box box(Box::Information,
            QStringLiteral("a long message that has to wrap onto more than "
                           "one line inside the text area of the box"),
            Box::Ok);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    if (const QByteArray dir = qgetenv("GALVORN_SNAPSHOT_DIR"); !dir.isEmpty())
        box.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/messagebox.png"));
    const QLabel* pictureLabel = nullptr;
    const QLabel* textLabel = nullptr;
    for (const QLabel* label : box.findChildren<QLabel*>()) {
        if (!label->pixmap().isNull())
            pictureLabel = label;
        else if (label->text() == box.text())
            textLabel = label;
    }
    ASSERT_NE(pictureLabel, nullptr);
    ASSERT_NE(textLabel, nullptr);
    EXPECT_EQ(pictureLabel->geometry(), QRect(20, 70, 50, 50));
    EXPECT_EQ(textLabel->x(), 80);
    EXPECT_EQ(textLabel->y(), 40);
    EXPECT_EQ(textLabel->height(), 110);
    EXPECT_TRUE(textLabel->wordWrap());
    EXPECT_LE(textLabel->geometry().right(), Box::kWidth - 1);
}

TEST(MessageBox, TitleBarDragMovesTheBox)
{
    Box box(Box::Warning, QStringLiteral("?"), Box::Ok);
    box.move(100, 100);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    const QPoint start = box.pos();
    const QPoint grip(60, CustomDialog::kTitleBarHeight / 2);
    QWidget* under = box.childAt(grip);
    QWidget* target = under ? under : &box;
    const QPoint local = target->mapFrom(&box, grip);
    QTest::mousePress(target, Qt::LeftButton, {}, local);
    QTest::mouseMove(target, local + QPoint(40, 25));
    QTest::mouseRelease(target, Qt::LeftButton, {}, local + QPoint(40, 25));
    EXPECT_EQ(box.pos(), start + QPoint(40, 25));
    // Moving without a button held no longer drags.
    QTest::mouseMove(target, local + QPoint(80, 80));
    EXPECT_EQ(box.pos(), start + QPoint(40, 25));
    EXPECT_TRUE(box.isVisible());
}

} // namespace
