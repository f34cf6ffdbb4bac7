// The few things that differ between the platforms the window runs on.
#pragma once

#include <QString>

#include <functional>

namespace quillmoor {

// The folder box's default text; it ends with the separator, so that folder text + file name
// is the file's path.
QString default_download_folder();

// Opens a web address in the user's default browser: the desktop's own way first, then the
// platform's opener command. Returns whether either way started.
bool open_web_address(const QString& address);

// Tests replace the opener; an empty function puts the real one back. Returns the old one.
using WebOpener = std::function<bool(const QString& address)>;
WebOpener set_web_opener(WebOpener opener);

} // namespace quillmoor
