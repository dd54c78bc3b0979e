#include "widgets/ncframelesshelper.h"

#include <QHoverEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

NcFramelessHelper::NcFramelessHelper(QObject* parent) : QObject(parent) {}

NcFramelessHelper::~NcFramelessHelper()
{
    removeFrom(window_);
}

void NcFramelessHelper::activateOn(QWidget* window)
{
    if (!window || window == window_)
        return;
    removeFrom(window_);
    window_ = window;
    window_->setAttribute(Qt::WA_Hover);
    window_->installEventFilter(this);
}

void NcFramelessHelper::removeFrom(QWidget* window)
{
    if (!window || window != window_)
        return;
    window_->removeEventFilter(this);
    window_->unsetCursor();
    window_ = nullptr;
    drag_ = Drag::None;
}

void NcFramelessHelper::setWidgetResizable(bool resizable)
{
    resizable_ = resizable;
    if (!resizable_ && window_)
        window_->unsetCursor();
}

Qt::Edges NcFramelessHelper::edgesAt(const QPoint& pos) const
{
    Qt::Edges edges;
    if (!resizable_ || !window_)
        return edges;
    const QRect r = window_->rect();
    if (pos.x() < border_)
        edges |= Qt::LeftEdge;
    if (pos.x() >= r.width() - border_)
        edges |= Qt::RightEdge;
    if (pos.y() < border_)
        edges |= Qt::TopEdge;
    if (pos.y() >= r.height() - border_)
        edges |= Qt::BottomEdge;
    return edges;
}

void NcFramelessHelper::updateCursor(const QPoint& pos)
{
    const Qt::Edges e = edgesAt(pos);
    if (e == (Qt::LeftEdge | Qt::TopEdge) || e == (Qt::RightEdge | Qt::BottomEdge))
        window_->setCursor(Qt::SizeFDiagCursor);
    else if (e == (Qt::RightEdge | Qt::TopEdge) || e == (Qt::LeftEdge | Qt::BottomEdge))
        window_->setCursor(Qt::SizeBDiagCursor);
    else if (e & (Qt::LeftEdge | Qt::RightEdge))
        window_->setCursor(Qt::SizeHorCursor);
    else if (e & (Qt::TopEdge | Qt::BottomEdge))
        window_->setCursor(Qt::SizeVerCursor);
    else
        window_->unsetCursor();
}

bool NcFramelessHelper::onPress(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return false;
    const QPoint local = window_->mapFromGlobal(event->globalPosition().toPoint());
    dragEdges_ = edgesAt(local);
    QWindow* handle = window_->windowHandle();
    if (dragEdges_) {
        // The window manager does it best where there is one; otherwise we do it.
        if (handle && handle->startSystemResize(dragEdges_))
            return true;
        drag_ = Drag::Resize;
    } else if (movable_) {
        if (handle && handle->startSystemMove())
            return true;
        drag_ = Drag::Move;
    } else {
        return false;
    }
    pressGlobal_ = event->globalPosition().toPoint();
    pressGeometry_ = window_->geometry();
    return true;
}

QRect NcFramelessHelper::resizedGeometry(const QPoint& globalPos) const
{
    const QPoint d = globalPos - pressGlobal_;
    QRect g = pressGeometry_;
    const QSize min = window_->minimumSize();
    if (dragEdges_ & Qt::LeftEdge)
        g.setLeft(qMin(g.left() + d.x(), g.right() - min.width() + 1));
    if (dragEdges_ & Qt::RightEdge)
        g.setRight(qMax(g.right() + d.x(), g.left() + min.width() - 1));
    if (dragEdges_ & Qt::TopEdge)
        g.setTop(qMin(g.top() + d.y(), g.bottom() - min.height() + 1));
    if (dragEdges_ & Qt::BottomEdge)
        g.setBottom(qMax(g.bottom() + d.y(), g.top() + min.height() - 1));
    return g;
}

bool NcFramelessHelper::onMove(QMouseEvent* event)
{
    const QPoint global = event->globalPosition().toPoint();
    switch (drag_) {
    case Drag::Move:
        window_->move(pressGeometry_.topLeft() + global - pressGlobal_);
        return true;
    case Drag::Resize:
        window_->setGeometry(resizedGeometry(global));
        return true;
    case Drag::None:
        return false;
    }
    return false;
}

bool NcFramelessHelper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_)
        return false;
    switch (event->type()) {
    case QEvent::HoverMove:
        if (drag_ == Drag::None)
            updateCursor(static_cast<QHoverEvent*>(event)->position().toPoint());
        return false;
    case QEvent::MouseButtonPress:
        return onPress(static_cast<QMouseEvent*>(event));
    case QEvent::MouseMove:
        return onMove(static_cast<QMouseEvent*>(event));
    case QEvent::MouseButtonRelease:
        if (drag_ == Drag::None)
            return false;
        drag_ = Drag::None;
        return true;
    default:
        return false;
    }
}
