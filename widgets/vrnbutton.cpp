#include "widgets/vrnbutton.h"

VRNButton::VRNButton(QWidget* parent) : QPushButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

QString VRNButton::skinStyleSheet(const QString& name)
{
    return QStringLiteral("VRNButton{border-image: url(:/skin/%1) 0 44 0 0;}"
                          "VRNButton:hover{border-image: url(:/skin/%1) 0 22 0 22;}"
                          "VRNButton:pressed{border-image: url(:/skin/%1) 0 0 0 44;}")
        .arg(name);
}

void VRNButton::setSkin(const QString& name)
{
    skin_ = name;
    setStyleSheet(skinStyleSheet(name));
}
