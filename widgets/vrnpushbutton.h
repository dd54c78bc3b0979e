#pragma once

#include <QPushButton>

// A push button styled by the application style sheet under its class name.
class VRNPushButton : public QPushButton
{
    Q_OBJECT

public:
    explicit VRNPushButton(QWidget* parent = nullptr);
    explicit VRNPushButton(const QString& text, QWidget* parent = nullptr);
};
