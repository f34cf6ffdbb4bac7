#include "app/message_box.h"

#include <QMessageBox>

#include <utility>

namespace quillmoor {

namespace {

MessageBoxHandler& handler() {
    static MessageBoxHandler h;
    return h;
}

void show_real_box(const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace

void show_message_box(const QString& text, const QString& title) {
    const MessageBoxHandler& h = handler();
    if (h) {
        h(text, title);
    } else {
        show_real_box(text, title);
    }
}

MessageBoxHandler set_message_box_handler(MessageBoxHandler h) {
    return std::exchange(handler(), std::move(h));
}

} // namespace quillmoor
