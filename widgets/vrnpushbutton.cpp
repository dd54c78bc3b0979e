#include "widgets/vrnpushbutton.h"

VRNPushButton::VRNPushButton(QWidget* parent) : QPushButton(parent) {}

VRNPushButton::VRNPushButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}
