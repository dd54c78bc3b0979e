#include "widgets/borderimage.h"

#include <QPainter>
#include <QPixmap>

BorderImage::BorderImage(QWidget* parent) : QWidget(parent) {}

void BorderImage::setPicture(const QString& path)
{
    picture_ = path;
    pixmap_ = QPixmap(path);
    update();
}

void BorderImage::paintEvent(QPaintEvent*)
{
    if (pixmap_.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), pixmap_);
}
