#pragma once

#include <QLineEdit>

// A line edit styled by the application style sheet under its class name.
class VRNLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit VRNLineEdit(QWidget* parent = nullptr);
    explicit VRNLineEdit(const QString& text, QWidget* parent = nullptr);
};
