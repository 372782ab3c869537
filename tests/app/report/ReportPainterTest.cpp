#include "app/report/ReportPainter.h"

#include <QFile>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "ReportTestSupport.h"

namespace report {
namespace {

using reporttest::PdfPages;
using reporttest::PdfText;

TEST(ReportPainter, TwoPagesOfRecordsMakeATwoPagePdf) {
    db_test::TMemDataSet data;
    reporttest::FillNames(data, reporttest::kFirstPageRows + 5);
    const TReportDefinition definition = reporttest::ListDefinition();
    QTemporaryDir directory;
    const QString file = directory.filePath(QStringLiteral("list.pdf"));
    {
        QPdfWriter writer(file);
        writer.setPageLayout(definition.PageLayout());
        const auto pages = LayOutReport(definition, data, writer.pageLayout());
        ASSERT_TRUE(PaintReport(pages, definition.font, writer));
    }
    QFile pdf(file);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
    const QString text = PdfText(file);
    const QStringList pages = PdfPages(text);
    ASSERT_EQ(pages.size(), 2);
    EXPECT_EQ(text.count(QStringLiteral("Name list")), 1);
    EXPECT_TRUE(pages[0].contains(QStringLiteral("Name list")));
    for (const QString& page : pages) EXPECT_EQ(page.count(QStringLiteral("Rate")), 1);
    for (int i = 1; i <= reporttest::kFirstPageRows + 5; ++i) {
        const QRegularExpression name(QStringLiteral("\\bName %1\\b").arg(i));
        EXPECT_EQ(text.count(name), 1) << i;
    }
    EXPECT_TRUE(pages[1].contains(QStringLiteral("Name 38")));
    EXPECT_TRUE(text.contains(QStringLiteral("38,019.00")));
}

TEST(ReportPainter, ADeviceThatCannotBeWrittenRefuses) {
    db_test::TMemDataSet data;
    reporttest::FillNames(data, 2);
    const TReportDefinition definition = reporttest::ListDefinition();
    QPdfWriter writer(QStringLiteral("/nonexistent-directory/list.pdf"));
    writer.setPageLayout(definition.PageLayout());
    const auto pages = LayOutReport(definition, data, writer.pageLayout());
    EXPECT_FALSE(PaintReport(pages, definition.font, writer));
}

}  // namespace
}  // namespace report
