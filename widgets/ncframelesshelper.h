#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>

class QMouseEvent;
class QWidget;

// Gives a frameless top-level window what a window frame would: dragging it by any
// part that does not take the mouse itself, and resizing it by its edges. The helper
// watches the window through an event filter and does not own it.
class NcFramelessHelper : public QObject
{
    Q_OBJECT

public:
    explicit NcFramelessHelper(QObject* parent = nullptr);
    ~NcFramelessHelper() override;

    void activateOn(QWidget* window);
    void removeFrom(QWidget* window);

    void setWidgetMovable(bool movable) { movable_ = movable; }
    bool widgetMovable() const { return movable_; }
    void setWidgetResizable(bool resizable);
    bool widgetResizable() const { return resizable_; }
    void setBorderWidth(int pixels) { border_ = pixels; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Edges under a point, as a combination of Qt::Edge flags.
    Qt::Edges edgesAt(const QPoint& localPos) const;
    void updateCursor(const QPoint& localPos);
    bool onPress(QMouseEvent* event);
    bool onMove(QMouseEvent* event);
    QRect resizedGeometry(const QPoint& globalPos) const;

    QPointer<QWidget> window_;
    bool movable_ = true;
    bool resizable_ = true;
    int border_ = 5;

    enum class Drag
    {
        None,
        Move,
        Resize
    };
    Drag drag_ = Drag::None;
    Qt::Edges dragEdges_;
    QPoint pressGlobal_;
    QRect pressGeometry_;
};
