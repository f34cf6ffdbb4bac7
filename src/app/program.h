// The program's start and end.
#pragma once

class QApplication;

namespace quillmoor {

// The start sequence: working folder, globals, skin, window, event loop; then the globals are
// released. Returns the process's exit code.
int program_main(int argc, char** argv);

// Applies the program's built-in style sheet to the whole application. Writes no files.
int install_skin(QApplication& app);

} // namespace quillmoor
