#include "ui/uitext.h"

#include "config/languagetable.h"

QString uiText(const char* key)
{
    return key ? QString::fromStdString(galvorn::languageText(key)) : QString();
}
