#include "TourShots.h"

#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QSaveFile>
#include <QWidget>

namespace e2etour {

namespace {

// The pictures' file names: "NN-", the name, ".png".
QString FileName(std::size_t number, const QString& name) {
    return QStringLiteral("%1-%2.png").arg(number, 2, 10, QLatin1Char('0')).arg(name);
}

}  // namespace

TourShots::TourShots(QString folder) : folder_(std::move(folder)) {
    QDir dir(folder_);
    if (!dir.mkpath(QStringLiteral("."))) {
        failures_ << QStringLiteral("cannot make the folder %1").arg(folder_);
        return;
    }
    const QStringList old =
        dir.entryList({QStringLiteral("[0-9][0-9]-*.png"), QStringLiteral("index.html")}, QDir::Files);
    for (const QString& file : old) dir.remove(file);
}

bool TourShots::Take(const QString& name, const QString& caption, QWidget& window) {
    const QString file = FileName(shots_.size() + 1, name);
    // The widget paints itself into the picture, whatever covers it on the screen; a window manager's
    // frame is not part of it.
    const QPixmap picture = window.grab();
    if (picture.isNull() || !picture.save(QDir(folder_).filePath(file), "PNG")) {
        failures_ << QStringLiteral("cannot save %1 in %2").arg(file, folder_);
        return false;
    }
    shots_.push_back({file, caption});
    return true;
}

bool TourShots::Has(const QString& name) const {
    const QString suffix = QLatin1Char('-') + name + QStringLiteral(".png");
    for (const Shot& shot : shots_) {
        if (shot.file.endsWith(suffix)) return true;
    }
    return false;
}

bool TourShots::WriteIndex() {
    QString html = QStringLiteral(
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>Keyvale: its windows</title>\n"
        "<style>body{font-family:sans-serif;margin:2em}figure{margin:0 0 3em}"
        "img{border:1px solid #888;max-width:100%}figcaption{font-weight:bold;margin:.5em 0}</style>\n"
        "</head>\n<body>\n<h1>Keyvale: its windows</h1>\n");
    for (const Shot& shot : shots_) {
        html += QStringLiteral("<figure>\n<figcaption>%1 &mdash; %2</figcaption>\n<img src=\"%1\" alt=\"%2\">\n</figure>\n")
                    .arg(shot.file.toHtmlEscaped(), shot.caption.toHtmlEscaped());
    }
    for (const QString& note : notes_) html += QStringLiteral("<p>%1</p>\n").arg(note.toHtmlEscaped());
    html += QStringLiteral("</body>\n</html>\n");

    QSaveFile index(QDir(folder_).filePath(QStringLiteral("index.html")));
    if (!index.open(QIODevice::WriteOnly) || index.write(html.toUtf8()) < 0 || !index.commit()) {
        failures_ << QStringLiteral("cannot write %1: %2").arg(index.fileName(), index.errorString());
        return false;
    }
    return true;
}

bool IsOneFlatColour(const QImage& image) {
    if (image.isNull()) return true;
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb first = pixels.pixel(0, 0);
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            if (line[x] != first) return false;
        }
    }
    return true;
}

}  // namespace e2etour
