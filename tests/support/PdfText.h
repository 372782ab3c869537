// PdfText: the text of a PDF file as pdftotext reads it, for the tests of what the program prints. A test
// program that includes it defines KEYVALE_PDFTOTEXT, the path of pdftotext.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace testsupport {

// The file's text laid out as on the page, pages separated by form feeds; empty when pdftotext cannot
// read it.
inline QString PdfText(const QString& file) {
    QProcess process;
    process.start(QStringLiteral(KEYVALE_PDFTOTEXT), {QStringLiteral("-layout"), file, QStringLiteral("-")});
    if (!process.waitForFinished(20000) || process.exitCode() != 0) return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The pages of pdftotext's text (it ends every page with a form feed).
inline QStringList PdfPages(const QString& text) {
    QStringList pages = text.split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty()) pages.removeLast();
    return pages;
}

}  // namespace testsupport
