#include "app/main_window.h"

#include "app/globals.h"
#include "app/message_box.h"
#include "app/platform.h"
#include "app/qtext.h"
#include "resolve/resolve.h"
#include "text/text.h"
#include "ui_main_window.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QScreen>

#include <algorithm>

namespace quillmoor {

namespace {

const QString feedback_address = QStringLiteral("https://tarrowin.example/feedback");
// The maker's about page (https://tarrowin.example/about) is built into the program, so the
// view works offline; its links open in the default browser.
const QString about_page = QStringLiteral("qrc:/quillmoor/about.html");

// The window shows texts with "\n" line breaks; the program's texts break lines with "\r\n".
QString display_text(const Text& text) {
    return to_qstring(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// While a request or a transfer waits for the network, the window keeps painting and its
// timers keep running, but user input waits until the command has ended.
void keep_painting() {
    static QElapsedTimer since_last;
    if (since_last.isValid() && since_last.elapsed() < 15) {
        return;
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    since_last.start();
}

} // namespace

void set_timer_period(QTimer& timer, int ms) {
    ms = std::max(ms, 0);
    if (ms == timer.interval()) {
        return;
    }
    timer.stop();
    timer.setInterval(ms);
    if (ms > 0) {
        timer.start();
    }
}

QPoint centred_position(const QRect& available) {
    return {available.x() + (available.width() - outer_width) / 2,
            available.y() + (available.height() - outer_height) / 2};
}

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      ui_(std::make_unique<Ui::MainWindow>()) {
    ui_->setupUi(this);
    setFixedSize(client_width, client_height);

    clock_.setObjectName(QStringLiteral("时钟2"));
    clock_.setInterval(0);
    connect(&clock_, &QTimer::timeout, this, &MainWindow::handle_clock_tick);

    ui_->tab_bar->setDrawBase(false);
    ui_->tab_bar->setExpanding(false);
    ui_->tab_bar->addTab(QStringLiteral("解析中心"));
    ui_->tab_bar->addTab(QStringLiteral("下载中心"));
    ui_->tab_bar->addTab(QStringLiteral("关于作者"));
    ui_->page_pane->lower();
    pages_[0] = {ui_->编辑框_地址, ui_->按钮1,     ui_->编辑框_解析,
                 ui_->透明标签2,   ui_->透明标签3, ui_->超级链接框1};
    pages_[1] = {ui_->标签2,   ui_->编辑框_路径, ui_->标签3,    ui_->编辑框_名称,
                 ui_->进度条1, ui_->下载,        ui_->透明标签4};
    pages_[2] = {ui_->超文本浏览框1};
    connect(ui_->tab_bar, &QTabBar::currentChanged, this, &MainWindow::show_page);
    ui_->tab_bar->setCurrentIndex(0);
    show_page(0);

    // The status label lies over the tab control on no page; clicks go through it.
    ui_->透明标签1->setAttribute(Qt::WA_TransparentForMouseEvents);
    ui_->透明标签1->raise();

    ui_->编辑框_路径->setText(default_download_folder());
    for (QLineEdit* box : {ui_->编辑框_地址, ui_->编辑框_路径, ui_->编辑框_名称}) {
        box->setCursorPosition(0);
    }
    ui_->进度条1->setRange(0, 100);
    ui_->进度条1->setValue(0);

    ui_->超级链接框1->set_address(feedback_address);
    ui_->超文本浏览框1->setOpenLinks(false);
    connect(ui_->超文本浏览框1, &QTextBrowser::anchorClicked, this,
            [](const QUrl& url) { open_web_address(url.toString()); });
    ui_->超文本浏览框1->setSource(QUrl(about_page));

    escape_.setKey(QKeySequence(Qt::Key_Escape));
    escape_.setContext(Qt::WindowShortcut);
    connect(&escape_, &QShortcut::activated, this, &QWidget::close);

    connect(ui_->按钮1, &QPushButton::clicked, this, &MainWindow::handle_resolve_click);
    connect(ui_->下载, &QPushButton::clicked, this, &MainWindow::handle_download_click);
    previous_wait_hook_ = set_wait_hook(keep_painting);

    if (const QScreen* screen = this->screen()) {
        move(centred_position(screen->availableGeometry()));
    }

    handle_window_created();
}

MainWindow::~MainWindow() {
    set_wait_hook(std::move(previous_wait_hook_));
}

void MainWindow::handle_window_created() {
    set_timer_period(clock_, 500);
}

void MainWindow::handle_clock_tick() {
    ui_->透明标签2->setText(to_qstring(datetime_to_text(now())));
}

void MainWindow::handle_resolve_click() {
    const ShareFacts facts =
        resolve_share(resolver_host_from_environment(), to_text(ui_->编辑框_地址->text()));
    response_text = facts.response_text;
    file_name = facts.file_name;
    file_size = facts.file_size;
    download_url = facts.download_url;
    file_md5 = facts.file_md5;
    for (const Text& piece : result_lines(facts)) {
        append_result(piece);
    }
    ui_->编辑框_名称->setText(QString());
    ui_->编辑框_名称->setText(to_qstring(safe_file_name(file_name)));
}

void MainWindow::handle_download_click() {
    if (downloader) {
        quillmoor::handle_download_click(*downloader, download_url, *this);
    }
}

Text MainWindow::folder_text() {
    return to_text(ui_->编辑框_路径->text());
}

Text MainWindow::file_name_text() {
    return to_text(ui_->编辑框_名称->text());
}

void MainWindow::set_progress(int percent) {
    ui_->进度条1->setValue(percent);
}

void MainWindow::set_status_text(const Text& text) {
    // Each line of the text is one line of the label. A line too long for the label (a deep
    // download folder) loses its middle rather than pushing the speed line out of sight.
    QLabel* label = ui_->透明标签1;
    QStringList lines = display_text(text).split(QLatin1Char('\n'));
    for (QString& line : lines) {
        line = label->fontMetrics().elidedText(line, Qt::ElideMiddle, label->width());
    }
    label->setText(lines.join(QLatin1Char('\n')));
}

void MainWindow::show_message_box(const Text& text, const Text& title) {
    // A transfer stopped by closing the window ends without a box over a window that is gone.
    if (closing_) {
        return;
    }
    quillmoor::show_message_box(display_text(text), display_text(title));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    closing_ = true;
    // A transfer in progress stops after its current block; the file keeps every block.
    if (downloader && downloader->downloading()) {
        downloader->stop();
    }
    event->accept();
}

void MainWindow::append_result(const Text& piece) {
    QPlainTextEdit* box = ui_->编辑框_解析;
    box->moveCursor(QTextCursor::End);
    box->insertPlainText(display_text(piece));
    box->ensureCursorVisible();
}

void MainWindow::show_page(int index) {
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        for (QWidget* w : pages_[i]) {
            w->setVisible(static_cast<int>(i) == index);
        }
    }
}

} // namespace quillmoor
