#pragma once

#include "config/languagetable.h"

#include <QString>

// The loaded language table's text of a key, so that expectations follow the table.
inline QString keyText(const char* key)
{
    return QString::fromStdString(galvorn::languageText(key));
}
