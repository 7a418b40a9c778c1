#pragma once

// Readers of values from the INI settings files.

#include <QColor>
#include <QVariant>

// A colour stored as "red,green,blue,alpha". The INI format hands the value
// back as one text when it was written quoted ("255,0,0,255") and as a list
// of four texts when it was written unquoted (255,0,0,255, as a person
// editing the file would); both read the same. The colour stays unchanged
// unless the value has exactly four parts.
void colorFromSetting(const QVariant& value, QColor& colour);
