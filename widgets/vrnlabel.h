#pragma once

#include <QLabel>

// A label styled by the application style sheet under its class name.
class VRNLabel : public QLabel
{
    Q_OBJECT

public:
    explicit VRNLabel(QWidget* parent = nullptr);
    explicit VRNLabel(const QString& text, QWidget* parent = nullptr);
};
