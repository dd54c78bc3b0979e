#include "widgets/vrnlineedit.h"

VRNLineEdit::VRNLineEdit(QWidget* parent) : QLineEdit(parent) {}

VRNLineEdit::VRNLineEdit(const QString& text, QWidget* parent) : QLineEdit(text, parent) {}
