#include "app/platform.h"

#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <utility>

namespace quillmoor {

namespace {

bool open_with_system(const QString& address) {
    if (QDesktopServices::openUrl(QUrl(address))) {
        return true;
    }
#if defined(Q_OS_WIN)
    return QProcess::startDetached(
        QStringLiteral("cmd"), {QStringLiteral("/c"), QStringLiteral("start"), QString(), address});
#else
    return QProcess::startDetached(QStringLiteral("xdg-open"), {address});
#endif
}

WebOpener& web_opener() {
    static WebOpener opener;
    return opener;
}

} // namespace

QString default_download_folder() {
#if defined(Q_OS_WIN)
    return QStringLiteral("D:\\Tarrowin\\");
#else
    // The download command creates one folder level only, so the base must exist already.
    QString base = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (base.isEmpty() || !QDir(base).exists()) {
        base = QDir::homePath();
    }
    return QDir::cleanPath(base) + QStringLiteral("/Tarrowin/");
#endif
}

bool open_web_address(const QString& address) {
    const WebOpener& opener = web_opener();
    return opener ? opener(address) : open_with_system(address);
}

WebOpener set_web_opener(WebOpener opener) {
    return std::exchange(web_opener(), std::move(opener));
}

} // namespace quillmoor
