#include "windowtest.h"

#include "platform/desktop_qt.h"

#include <QApplication>
#include <QTimer>

ModalAnswer::ModalAnswer(std::function<void(QWidget*)> answer) : poll_(new QTimer)
{
    poll_->setInterval(10);
    QObject::connect(poll_, &QTimer::timeout, [this, answer] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        poll_->stop();
        answer(modal);
    });
    poll_->start();
}

ModalAnswer::~ModalAnswer()
{
    delete poll_;
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    galvorn::platform::installDesktopUrlOpener();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
