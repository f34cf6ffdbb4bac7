#include "app/link_label.h"

#include "app/platform.h"

#include <QMouseEvent>

namespace quillmoor {

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent) {
    // Plain text and no buddy: "&" stays a literal ampersand, not a mnemonic.
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignCenter);
    setCursor(Qt::PointingHandCursor);
    update_colour();
}

QColor LinkLabel::text_colour() const {
    if (hovered_) {
        return QColor(hover_colour);
    }
    return QColor(visited_ ? visited_colour : normal_colour);
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    if (!address_.isEmpty() && open_web_address(address_)) {
        // The after-click colour shows at once; the hover colour returns on the next visit.
        visited_ = true;
        hovered_ = false;
        update_colour();
    }
}

void LinkLabel::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update_colour();
    QLabel::enterEvent(event);
}

void LinkLabel::leaveEvent(QEvent* event) {
    hovered_ = false;
    update_colour();
    QLabel::leaveEvent(event);
}

void LinkLabel::update_colour() {
    // A style sheet of the widget's own wins over the program's skin.
    setStyleSheet(QStringLiteral("color: %1;").arg(text_colour().name()));
}

} // namespace quillmoor
