#pragma once

#include <QPixmap>
#include <QWidget>

// A widget that shows one picture stretched over its whole area.
class BorderImage : public QWidget
{
    Q_OBJECT

public:
    explicit BorderImage(QWidget* parent = nullptr);

    // path is a resource or file path, such as ":/skin/info.png".
    void setPicture(const QString& path);
    QString picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString picture_;
    QPixmap pixmap_;
};
