// Tprintresultsform: the printed results list, a report over the results window's table; never shown itself.
#pragma once

#include <QObject>
#include <QPageLayout>

#include <functional>
#include <vector>

#include "app/report/ReportDefinition.h"
#include "app/report/ReportLayout.h"

namespace db {
class TDataSet;
}

namespace app {

class MessageService;
class PrintService;

// The list's design: Letter landscape, half-inch margins, one 10-point line per result under the title
// and the 12 column headers; rates with two decimals and thousands separators, numbers right-aligned.
report::TReportDefinition ResultsListReport();

// Report1 follows the dataset it is given (the results window's resultsdb, looked up at each use): its
// order, its filter and its current record, which the layout leaves as it found it. Creating it sets the
// short date format "mm/dd/yy".
class Tprintresultsform : public QObject {
    Q_OBJECT

public:
    // The dataset the list reports; raises when there is none.
    using TResultsSource = std::function<db::TDataSet&()>;

    Tprintresultsform(TResultsSource results, PrintService& print, MessageService& messages,
                      QObject* parent = nullptr);

    report::TReportDefinition Report1;

    // The pages of the list for a page layout.
    std::vector<report::TLaidOutPage> LayOut(const QPageLayout& page) const;
    // The list in the print preview, from which the user prints it; a device that refuses the pages
    // gives "Printing failed.".
    void Preview();

private:
    void FormCreate();

    TResultsSource results_;
    PrintService& print_;
    MessageService& messages_;
};

}  // namespace app
