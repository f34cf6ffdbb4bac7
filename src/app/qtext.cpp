#include "app/qtext.h"

#include "text/codepage.h"

namespace quillmoor {

QString to_qstring(const Text& text) {
    return QString::fromStdU16String(cp936_to_utf16(text));
}

Text to_text(const QString& text) {
    return utf16_to_cp936(text.toStdU16String());
}

} // namespace quillmoor
