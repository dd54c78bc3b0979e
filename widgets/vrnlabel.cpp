#include "widgets/vrnlabel.h"

VRNLabel::VRNLabel(QWidget* parent) : QLabel(parent) {}

VRNLabel::VRNLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}
