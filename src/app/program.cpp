#include "app/program.h"

#include "app/globals.h"
#include "app/main_window.h"
#include "text/fatal.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>

namespace quillmoor {

namespace {

// A fatal stop shows its box while a window can still be shown; the process then ends without
// the orderly shutdown.
void show_fatal_box(std::string_view title, std::string_view message) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return;
    }
    QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox::critical(
        nullptr, QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())), text);
}

} // namespace

int install_skin(QApplication& app) {
    QFile sheet(QStringLiteral(":/quillmoor/skin.qss"));
    if (sheet.open(QIODevice::ReadOnly)) {
        app.setStyleSheet(QString::fromUtf8(sheet.readAll()));
    }
    return 0;
}

int program_main(int argc, char** argv) {
    install_out_of_memory_handler();
    set_fatal_hook(show_fatal_box);
    QApplication app(argc, argv);
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    create_globals();
    install_skin(app);
    {
        MainWindow window;
        window.show();
        QApplication::exec();
    }
    release_globals();
    return 0;
}

} // namespace quillmoor
