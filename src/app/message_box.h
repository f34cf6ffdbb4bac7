// Every message box of the window goes through here, so that tests can answer them.
#pragma once

#include <QString>

#include <functional>

namespace quillmoor {

// A task-modal box with an OK button and no owner window; returns when it has been closed.
void show_message_box(const QString& text, const QString& title);

// Replaces how boxes are shown; an empty function puts the real box back. Returns the old one.
using MessageBoxHandler = std::function<void(const QString& text, const QString& title)>;
MessageBoxHandler set_message_box_handler(MessageBoxHandler handler);

} // namespace quillmoor
