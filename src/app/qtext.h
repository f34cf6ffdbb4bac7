// The window's texts are QStrings; the program's texts are code page 936 bytes.
#pragma once

#include "text/text.h"

#include <QString>

namespace quillmoor {

QString to_qstring(const Text& text);
Text to_text(const QString& text);

} // namespace quillmoor
