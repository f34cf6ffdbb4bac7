// The program's one window: a tab control with the resolve, download and about pages, the
// download status label over it, and the clock.
#pragma once

// moc cannot read the C++20 standard headers these pull in; it needs only the QObject base.
#ifndef Q_MOC_RUN
#include "download/download_command.h"
#include "net/wait_hook.h"
#endif

#include <QShortcut>
#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>
#include <vector>

class QCloseEvent;

namespace Ui {
class MainWindow;
}

namespace quillmoor {

// Client size chosen so that a usual frame (3 px borders, 26 px caption) gives the outer
// size 437 x 355.
inline constexpr int client_width = 431;
inline constexpr int client_height = 326;
inline constexpr int outer_width = 437;
inline constexpr int outer_height = 355;

// Sets a timer's period in milliseconds: a negative period counts as 0, the period it already
// has changes nothing, otherwise the timer stops and, above 0, starts again with it.
void set_timer_period(QTimer& timer, int ms);

// Where a window of the outer size sits centred on the given available screen area.
QPoint centred_position(const QRect& available);

// The window is also the download command's view: the command reads the boxes and shows its
// progress and outcome through it.
class MainWindow : public QWidget, public DownloadView {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The window and all its controls exist: starts the clock.
    void handle_window_created();
    // Writes the current date and time into the clock label.
    void handle_clock_tick();
    // 按钮1: asks the resolver about the share link and shows what it learnt.
    void handle_resolve_click();
    // 下载: fetches the resolved file into the folder box's folder.
    void handle_download_click();

    Text folder_text() override;
    Text file_name_text() override;
    void set_progress(int percent) override;
    void set_status_text(const Text& text) override;
    void show_message_box(const Text& text, const Text& title) override;

    // Whether the window has been asked to close.
    bool closing() const { return closing_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void show_page(int index);
    void append_result(const Text& piece);

    std::unique_ptr<Ui::MainWindow> ui_;
    QTimer clock_{this};     // 时钟2, a child of the window
    QShortcut escape_{this}; // Esc closes the window wherever the focus is
    std::array<std::vector<QWidget*>, 3> pages_;
    bool closing_ = false;
    WaitHook previous_wait_hook_;
};

} // namespace quillmoor
