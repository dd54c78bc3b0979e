#pragma once

#include <QString>

// The operator-visible text of a message key from the loaded language table;
// empty for an unknown key.
QString uiText(const char* key);
