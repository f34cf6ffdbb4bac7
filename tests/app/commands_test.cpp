// The window's two commands against a real resolver service: resolve a share link, then
// download the shared file; closing the window stops a transfer without losing a block.
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/program.h"
// moc cannot read the C++20 standard headers these pull in.
#ifndef Q_MOC_RUN
#include "app/globals.h"
#include "net/wait_hook.h"
#include "share_catalog.h"
#include "share_server.h"

#endif

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace qm = quillmoor;

namespace {

struct Box {
    QString text;
    QString title;
};

QByteArray random_bytes(int n) {
    QByteArray bytes(n, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char& b : bytes) {
        b = static_cast<char>(generator.bounded(256));
    }
    return bytes;
}

QByteArray read_file(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template <typename T = QWidget> T* child(const qm::MainWindow& w, const char* name) {
    return w.findChild<T*>(QString::fromUtf8(name));
}

} // namespace

class CommandsTest : public QObject {
    Q_OBJECT

    QTemporaryDir temp_;
    QString shared_;
    std::unique_ptr<qm::share::ShareServer> server_;
    int port_ = 0;
    std::vector<Box> boxes_;

    // The share link of a shared file, by its name.
    QString link_of(const QString& name) {
        for (const auto& [code, entry] : server_->catalog().entries()) {
            if (QString::fromStdString(entry.name) == name) {
                return QStringLiteral("http://pan.baidu.com/s/") + QString::fromStdString(code);
            }
        }
        return {};
    }
    const qm::share::ShareEntry& entry_of(const QString& name) {
        const QString link = link_of(name);
        return *server_->catalog().find(link.section(QLatin1Char('/'), -1).toStdString());
    }
    void put(const QString& name, const QByteArray& content) {
        QFile file(QDir(shared_).filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    void resolve(qm::MainWindow& w, const QString& name) {
        child<QLineEdit>(w, "编辑框_地址")->setText(link_of(name));
        QTest::mouseClick(child<QPushButton>(w, "按钮1"), Qt::LeftButton);
    }
    void click_download(qm::MainWindow& w) {
        QTest::mouseClick(child<QPushButton>(w, "下载"), Qt::LeftButton);
    }
    QString download_folder(const char* sub) {
        return QDir(temp_.path()).filePath(QString::fromUtf8(sub)) + QLatin1Char('/');
    }

private slots:
    void initTestCase() {
        QVERIFY(temp_.isValid());
        shared_ = QDir(temp_.path()).filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkpath(shared_));
        put(QStringLiteral("快速入门.txt"), QStringLiteral("欢迎使用 Quillmoor！\n").toUtf8());
        put(QStringLiteral("Tarrowin's notes.txt"), QByteArray("Notes about the demo share.\n"));
        // 15 whole blocks of 20 KB and a part block.
        put(QStringLiteral("demo.bin"), random_bytes(15 * 20480 + 1234));
        put(QStringLiteral("big.bin"), random_bytes(3 * 1024 * 1024));
        server_ = std::make_unique<qm::share::ShareServer>(
            qm::share::ShareCatalog::scan(shared_.toStdString()));
        port_ = server_->start("127.0.0.1", 0);
        QVERIFY(port_ > 0);
        qputenv("QUILLMOOR_RESOLVER", QByteArray("127.0.0.1:") + QByteArray::number(port_));
        qm::set_message_box_handler([this](const QString& text, const QString& title) {
            boxes_.push_back({text, title});
        });
    }
    void cleanupTestCase() {
        qm::set_message_box_handler({});
        server_->stop();
    }
    void init() {
        boxes_.clear();
        qm::create_globals();
    }
    void cleanup() { qm::release_globals(); }

    // While a command waits for the network, the window goes on handling its own events.
    void waiting_keeps_the_window_painting() {
        {
            qm::MainWindow w;
            QTest::qWait(20);
            bool ran = false;
            QTimer::singleShot(0, &w, [&] { ran = true; });
            qm::call_wait_hook();
            QVERIFY(ran);
        }
        // The window takes its hook away with it.
        QVERIFY(!qm::set_wait_hook({}));
    }

    void resolve_shows_the_facts_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("chinese name") << QStringLiteral("快速入门.txt");
        QTest::newRow("apostrophe and space") << QStringLiteral("Tarrowin's notes.txt");
        QTest::newRow("binary file") << QStringLiteral("demo.bin");
    }
    void resolve_shows_the_facts() {
        QFETCH(QString, name);
        const qm::share::ShareEntry& entry = entry_of(name);
        const QString block =
            QStringLiteral("\n文件名称：%1\n\n文件尺寸：%2\n\n文件 MD5：%3\n\n文件地址：%4\n")
                .arg(name)
                .arg(entry.size)
                .arg(QString::fromStdString(entry.md5))
                .arg(QStringLiteral("http://127.0.0.1:%1/d/%2")
                         .arg(port_)
                         .arg(QString::fromStdString(entry.code)));
        qm::MainWindow w;
        auto* results = child<QPlainTextEdit>(w, "编辑框_解析");
        resolve(w, name);
        QCOMPARE(results->toPlainText(), block);
        QCOMPARE(child<QLineEdit>(w, "编辑框_名称")->text(), name);
        QCOMPARE(results->textCursor().position(), results->toPlainText().size());
        // A second click appends a second block; the first one stays.
        resolve(w, name);
        QCOMPARE(results->toPlainText(), block + block);
        QCOMPARE(child<QLineEdit>(w, "编辑框_名称")->text(), name);
        QVERIFY(!qm::download_url.empty());
    }

    void unknown_link_empties_the_facts() {
        qm::MainWindow w;
        resolve(w, QStringLiteral("demo.bin"));
        QVERIFY(!qm::download_url.empty());
        child<QLineEdit>(w, "编辑框_地址")
            ->setText(QStringLiteral("http://pan.baidu.com/s/00000000"));
        QTest::mouseClick(child<QPushButton>(w, "按钮1"), Qt::LeftButton);
        QVERIFY(child<QPlainTextEdit>(w, "编辑框_解析")
                    ->toPlainText()
                    .endsWith(QStringLiteral(
                        "\n文件名称：\n\n文件尺寸：\n\n文件 MD5：\n\n文件地址：\n")));
        QVERIFY(child<QLineEdit>(w, "编辑框_名称")->text().isEmpty());
        QVERIFY(qm::download_url.empty());
        // Without an address the download command only warns.
        click_download(w);
        QCOMPARE(boxes_.size(), 1u);
        QCOMPARE(boxes_[0].title, QStringLiteral("友情提醒："));
    }

    void download_before_resolve_warns() {
        qm::MainWindow w;
        const QString folder = download_folder("never-resolved");
        child<QLineEdit>(w, "编辑框_路径")->setText(folder);
        click_download(w);
        QVERIFY(QDir(folder).exists()); // made before the warning
        QCOMPARE(boxes_.size(), 1u);
        QCOMPARE(boxes_[0].text, QStringLiteral("下载地址不正确，请检查地址是否已经解析！"));
        QCOMPARE(boxes_[0].title, QStringLiteral("友情提醒："));
        QCOMPARE(child<QProgressBar>(w, "进度条1")->value(), 0);
        QVERIFY(child<QLabel>(w, "透明标签1")->text().isEmpty());
    }

    void download_fetches_the_whole_file() {
        const QString name = QStringLiteral("demo.bin");
        const QByteArray original = read_file(QDir(shared_).filePath(name));
        const QString folder = download_folder("下载");
        const QString path = folder + name;
        qm::MainWindow w;
        resolve(w, name);
        child<QLineEdit>(w, "编辑框_路径")->setText(folder);

        click_download(w);
        QCOMPARE(boxes_.size(), 1u);
        QCOMPARE(boxes_[0].text, QStringLiteral("下载完毕"));
        QCOMPARE(boxes_[0].title, QStringLiteral("信息："));
        QVERIFY(read_file(path) == original);
        QCOMPARE(child<QProgressBar>(w, "进度条1")->value(), 100);
        const QStringList lines = child<QLabel>(w, "透明标签1")->text().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 4);
        // The path line shows whole, or without its middle when it is too long for the label.
        const QStringList ends = lines[0].split(QStringLiteral("…"));
        QVERIFY(ends.size() <= 2);
        QVERIFY2(path.startsWith(ends.first()) && path.endsWith(ends.last()), qPrintable(lines[0]));
        QCOMPARE(lines[1], QStringLiteral("文件尺寸：%1Bit").arg(original.size()));
        QCOMPARE(lines[2], QStringLiteral("下载进度：100%"));
        QVERIFY(lines[3].startsWith(QStringLiteral("下载速度：")));
        QVERIFY(lines[3].endsWith(QStringLiteral(" KB/S")));

        // The file is already whole: the server answers 416 and the file stays as it is.
        boxes_.clear();
        click_download(w);
        QCOMPARE(boxes_.size(), 1u);
        QCOMPARE(boxes_[0].text, QStringLiteral("下载完毕"));
        QVERIFY(read_file(path) == original);
        qm::set_message_box_handler([this](const QString& text, const QString& title) {
            boxes_.push_back({text, title});
        });
    }

    void closing_stops_the_transfer_and_keeps_its_blocks() {
        const QString name = QStringLiteral("big.bin");
        const QByteArray original = read_file(QDir(shared_).filePath(name));
        const QString folder = download_folder("closed");
        const QString path = folder + name;
        {
            qm::MainWindow w;
            w.show();
            resolve(w, name);
            child<QLineEdit>(w, "编辑框_路径")->setText(folder);
            auto* bar = child<QProgressBar>(w, "进度条1");
            // The user closes the window a little way into the transfer.
            connect(bar, &QProgressBar::valueChanged, &w, [&w](int value) {
                if (value >= 10 && !w.closing()) {
                    w.close();
                }
            });
            click_download(w);
            QVERIFY(w.closing());
            QVERIFY(!w.isVisible());
            QVERIFY(!qm::downloader->downloading());
            QVERIFY(boxes_.empty());
        }
        const QByteArray part = read_file(path);
        QVERIFY(part.size() > 0);
        QVERIFY(part.size() < original.size());
        QVERIFY(part == original.left(part.size()));

        // A later start resumes after the blocks already in the file.
        qm::MainWindow again;
        child<QLineEdit>(again, "编辑框_路径")->setText(folder);
        child<QLineEdit>(again, "编辑框_名称")->setText(name);
        click_download(again);
        QCOMPARE(boxes_.size(), 1u);
        QCOMPARE(boxes_[0].text, QStringLiteral("下载完毕"));
        QVERIFY(read_file(path) == original);
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    qm::install_skin(app);
    CommandsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "commands_test.moc"
