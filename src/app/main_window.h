// The program's one window: a tab control with the resolve, download and about pages, the
// download status label over it, and the clock.
#pragma once

#include <QWidget>

#include <array>
#include <memory>
#include <vector>

class QCloseEvent;
class QTimer;

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

class MainWindow : public QWidget {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The window and all its controls exist: starts the clock.
    void handle_window_created();
    // Writes the current date and time into the clock label.
    void handle_clock_tick();

    // Whether the window has been asked to close.
    bool closing() const { return closing_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void show_page(int index);

    std::unique_ptr<Ui::MainWindow> ui_;
    QTimer* clock_ = nullptr;
    std::array<std::vector<QWidget*>, 3> pages_;
    bool closing_ = false;
};

} // namespace quillmoor
