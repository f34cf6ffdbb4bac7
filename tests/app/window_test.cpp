// The main window as the user meets it: its controls, pages, clock, keys and links.
#include "app/link_label.h"
#include "app/main_window.h"
#include "app/platform.h"
#include "app/program.h"
#include "app/qtext.h"
#include "text/text.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

using namespace quillmoor;

namespace {

enum Page { resolve_page = 0, download_page = 1, about_page = 2, no_page = -1 };

struct Control {
    const char* name;
    const char* kind;
    Page page;
    QRect geometry; // in the tab control's coordinates; window coordinates for no_page
    QString text;
};

QString start_text(QWidget* w) {
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        return e->text();
    }
    if (auto* e = qobject_cast<QPlainTextEdit*>(w)) {
        return e->toPlainText();
    }
    if (auto* l = qobject_cast<QLabel*>(w)) {
        return l->text();
    }
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        return b->text();
    }
    return {};
}

const std::vector<Control>& controls() {
    static const std::vector<Control> table = {
        {"编辑框_地址",
         "QLineEdit",
         resolve_page,
         {8, 32, 320, 24},
         "http://pan.baidu.com/s/K0XWRBMe"},
        {"按钮1", "QPushButton", resolve_page, {336, 32, 72, 24}, "一键解析"},
        {"编辑框_解析", "QPlainTextEdit", resolve_page, {8, 64, 400, 224}, ""},
        {"透明标签2", "QLabel", resolve_page, {8, 288, 192, 24}, ""},
        {"透明标签3", "QLabel", resolve_page, {216, 288, 88, 24}, "Power:Tarrowin"},
        {"超级链接框1", "quillmoor::LinkLabel", resolve_page, {310, 292, 98, 16}, "反馈&建议"},
        {"标签2", "QLabel", download_page, {16, 56, 64, 24}, "下载路径："},
        {"编辑框_路径", "QLineEdit", download_page, {94, 57, 290, 24}, default_download_folder()},
        {"标签3", "QLabel", download_page, {16, 98, 64, 24}, "文件名称："},
        {"编辑框_名称", "QLineEdit", download_page, {93, 98, 290, 24}, ""},
        {"进度条1", "QProgressBar", download_page, {23, 207, 369, 25}, ""},
        {"下载", "QPushButton", download_page, {96, 247, 224, 40}, "高速下载"},
        {"透明标签4",
         "QLabel",
         download_page,
         {52, 292, 312, 16},
         "本功能可能会出错，建议通过迅雷、旋风等下载引擎下载！"},
        {"超文本浏览框1", "QTextBrowser", about_page, {3, 24, 410, 283}, ""},
        {"透明标签1", "QLabel", no_page, {87, 138, 257, 64}, ""},
    };
    return table;
}

template <typename T = QWidget> T* child(const MainWindow& w, const char* name) {
    return w.findChild<T*>(QString::fromUtf8(name));
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void window_frame() {
        MainWindow w;
        QCOMPARE(w.size(), QSize(client_width, client_height));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QCOMPARE(w.windowTitle(), QStringLiteral("Quillmoor — tarrowin.example"));
        const Qt::WindowFlags flags = w.windowFlags();
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QCOMPARE(w.pos(), centred_position(w.screen()->availableGeometry()));
        QCOMPARE(centred_position(QRect(0, 0, 1024, 768)), QPoint(293, 206));
        QCOMPARE(centred_position(QRect(100, 30, 1000, 700)), QPoint(381, 202));

        auto* tabs = child(w, "选择夹1");
        QVERIFY(tabs);
        QCOMPARE(tabs->geometry(), QRect(8, 8, 416, 312));
        auto* bar = tabs->findChild<QTabBar*>();
        QVERIFY(bar);
        QCOMPARE(bar->count(), 3);
        QCOMPARE(bar->tabText(0), QStringLiteral("解析中心"));
        QCOMPARE(bar->tabText(1), QStringLiteral("下载中心"));
        QCOMPARE(bar->tabText(2), QStringLiteral("关于作者"));
        QCOMPARE(bar->currentIndex(), 0);
        QVERIFY(!qApp->styleSheet().isEmpty());
    }

    void control_data() {
        QTest::addColumn<int>("index");
        for (std::size_t i = 0; i < controls().size(); ++i) {
            QTest::newRow(controls()[i].name) << static_cast<int>(i);
        }
    }
    void control() {
        QFETCH(int, index);
        const Control& c = controls()[static_cast<std::size_t>(index)];
        MainWindow w;
        QWidget* widget = child(w, c.name);
        QVERIFY(widget);
        QVERIFY(widget->inherits(c.kind));
        QWidget* expected_parent = c.page == no_page ? &w : child(w, "选择夹1");
        QCOMPARE(widget->parentWidget(), expected_parent);
        QCOMPARE(widget->geometry(), c.geometry);
        QCOMPARE(start_text(widget), c.text);
    }

    void start_properties() {
        MainWindow w;
        auto* bar = child<QProgressBar>(w, "进度条1");
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(bar->value(), 0);
        for (const char* name : {"按钮1", "下载"}) {
            QVERIFY(!child<QPushButton>(w, name)->autoDefault());
            QVERIFY(!child<QPushButton>(w, name)->isDefault());
        }
        QVERIFY(default_download_folder().endsWith(QLatin1Char('/')) ||
                default_download_folder().endsWith(QLatin1Char('\\')));
        QCOMPARE(child<QLabel>(w, "透明标签1")->alignment(), Qt::AlignLeft | Qt::AlignTop);
        // The status label lies over the tab control and lets clicks through.
        QVERIFY(child(w, "透明标签1")->testAttribute(Qt::WA_TransparentForMouseEvents));
        const QObjectList& order = w.children();
        QVERIFY(order.indexOf(child(w, "透明标签1")) > order.indexOf(child(w, "选择夹1")));
    }

    void page_switching() {
        MainWindow w;
        w.show();
        auto* bar = child(w, "选择夹1")->findChild<QTabBar*>();
        auto* results = child<QPlainTextEdit>(w, "编辑框_解析");
        results->setPlainText(QStringLiteral("第一行\n第二行"));
        for (int page : {1, 2, 0, 2, 1, 0}) {
            bar->setCurrentIndex(page);
            for (const Control& c : controls()) {
                const bool shown = c.page == no_page || c.page == page;
                QVERIFY2(child(w, c.name)->isVisible() == shown,
                         qPrintable(QStringLiteral("%1 on page %2").arg(c.name).arg(page)));
            }
        }
        QCOMPARE(results->toPlainText(), QStringLiteral("第一行\n第二行"));
    }

    void clock() {
        MainWindow w;
        auto* label = child<QLabel>(w, "透明标签2");
        auto* timer = w.findChild<QTimer*>(QStringLiteral("时钟2"));
        QVERIFY(timer);
        QCOMPARE(timer->interval(), 500);
        QVERIFY(timer->isActive());
        QVERIFY(label->text().isEmpty());
        const QString before = to_qstring(datetime_to_text(now()));
        QTRY_VERIFY_WITH_TIMEOUT(!label->text().isEmpty(), 2000);
        const QString after = to_qstring(datetime_to_text(now()));
        QVERIFY2(label->text() == before || label->text() == after, qPrintable(label->text()));
        QVERIFY(label->text().contains(QStringLiteral("年")));
    }

    void timer_period_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("set");
        QTest::addColumn<int>("period");
        QTest::addColumn<bool>("active");
        QTest::newRow("stopped clock starts") << 0 << false << 500 << 500 << true;
        QTest::newRow("new period restarts") << 500 << true << 200 << 200 << true;
        QTest::newRow("zero stops") << 500 << true << 0 << 0 << false;
        QTest::newRow("negative counts as zero") << 500 << true << -7 << 0 << false;
        QTest::newRow("negative on stopped") << 0 << false << -1 << 0 << false;
        // The same period changes nothing: a stopped timer stays stopped.
        QTest::newRow("same period, stopped") << 500 << false << 500 << 500 << false;
        QTest::newRow("same period, running") << 500 << true << 500 << 500 << true;
    }
    void timer_period() {
        QFETCH(int, start);
        QFETCH(bool, running);
        QFETCH(int, set);
        QFETCH(int, period);
        QFETCH(bool, active);
        QTimer timer;
        timer.setInterval(start);
        if (running) {
            timer.start();
        }
        set_timer_period(timer, set);
        QCOMPARE(timer.interval(), period);
        QCOMPARE(timer.isActive(), active);
    }

    void escape_closes_data() {
        QTest::addColumn<QString>("focus");
        QTest::newRow("window") << QString();
        QTest::newRow("results box") << QStringLiteral("编辑框_解析");
        QTest::newRow("share-link box") << QStringLiteral("编辑框_地址");
    }
    void escape_closes() {
        QFETCH(QString, focus);
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QWidget* target = &w;
        if (!focus.isEmpty()) {
            target = w.findChild<QWidget*>(focus);
            target->setFocus();
        }
        QTest::keyClick(target, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
        QVERIFY(w.closing());
    }

    void feedback_link_data() {
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QRgb>("after");
        QTest::newRow("opened") << true << LinkLabel::visited_colour;
        QTest::newRow("could not open") << false << LinkLabel::normal_colour;
    }
    void feedback_link() {
        QFETCH(bool, opens);
        QFETCH(QRgb, after);
        QStringList opened;
        const WebOpener old = set_web_opener([&](const QString& address) {
            opened << address;
            return opens;
        });
        MainWindow w;
        w.show();
        auto* link = child<LinkLabel>(w, "超级链接框1");
        QCOMPARE(link->textFormat(), Qt::PlainText);
        QVERIFY(!link->buddy());
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(link->text_colour().rgb(), LinkLabel::normal_colour);
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(link, &enter);
        QCOMPARE(link->text_colour().rgb(), LinkLabel::hover_colour);
        QTest::mouseClick(link, Qt::RightButton);
        QVERIFY(opened.isEmpty());
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(opened, QStringList{QStringLiteral("https://tarrowin.example/feedback")});
        QCOMPARE(link->text_colour().rgb(), opens ? after : LinkLabel::hover_colour);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(link, &leave);
        QCOMPARE(link->text_colour().rgb(), after);
        QCOMPARE(link->palette().color(QPalette::WindowText).rgb(), after);
        set_web_opener(old);
    }

    void about_view_works_offline() {
        QStringList opened;
        const WebOpener old = set_web_opener([&](const QString& address) {
            opened << address;
            return true;
        });
        MainWindow w;
        auto* view = child<QTextBrowser>(w, "超文本浏览框1");
        QCOMPARE(view->source().scheme(), QStringLiteral("qrc"));
        QVERIFY(view->toPlainText().contains(QStringLiteral("Tarrowin")));
        QVERIFY(!view->openLinks());
        emit view->anchorClicked(QUrl(QStringLiteral("https://tarrowin.example/about")));
        QCOMPARE(opened, QStringList{QStringLiteral("https://tarrowin.example/about")});
        set_web_opener(old);
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    install_skin(app);
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_test.moc"
