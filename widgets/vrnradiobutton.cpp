#include "widgets/vrnradiobutton.h"

VRNRadioButton::VRNRadioButton(QWidget* parent) : QRadioButton(parent) {}

VRNRadioButton::VRNRadioButton(const QString& text, QWidget* parent) : QRadioButton(text, parent) {}
