#include "bench/ResultTable.h"

#include "bench/Figures.h"

namespace bench {

namespace {

// Milliseconds with three significant figures at least.
std::string Milliseconds(double seconds) {
    const double ms = seconds * 1000;
    return Fixed(ms, ms < 1 ? 3 : ms < 100 ? 2 : 0);
}

std::string Microseconds(double seconds, std::uint64_t records) {
    if (records == 0) return "-";
    const double us = seconds * 1e6 / static_cast<double>(records);
    return Fixed(us, us < 0.1 ? 4 : us < 10 ? 3 : 1);
}

std::string Ratio(double seconds, double otherSeconds) {
    if (otherSeconds <= 0) return "-";
    const double ratio = seconds / otherSeconds;
    return Fixed(ratio, ratio < 10 ? 2 : 0);
}

}  // namespace

std::string SizeText(std::int32_t n) {
    if (n >= 1000000 && n % 1000000 == 0) return std::to_string(n / 1000000) + "M";
    if (n >= 1000 && n % 1000 == 0) return std::to_string(n / 1000) + "k";
    return std::to_string(n);
}

ResultTable::ResultTable(std::ostream& out, std::vector<std::string> sides)
    : out_(out), sides_(std::move(sides)) {}

void ResultTable::PrintHeader() {
    std::string header = "| workload | records | found |";
    std::string rule = "|---|---:|---:|";
    const auto column = [&](const std::string& text) {
        header += " " + text + " |";
        rule += "---:|";
    };
    for (const std::string& side : sides_) column(side + " ms");
    for (std::size_t i = 1; i < sides_.size(); ++i) column("ratio to " + sides_[i]);
    for (const std::string& side : sides_) column(side + " us/rec");
    for (const std::string& side : sides_) column(side + " peak MB");
    out_ << header << " same |\n" << rule << "---|\n";
}

void ResultTable::PrintLine(const std::string& name, std::int32_t n, const std::vector<SideResult>& results,
                            bool same) {
    const SideResult& first = results.at(0);
    out_ << "| " << name << " | " << SizeText(n) << " | " << first.Found.Count + first.Checked.Count << " |";
    for (const SideResult& side : results) out_ << " " << Milliseconds(side.MedianSeconds) << " |";
    for (std::size_t i = 1; i < results.size(); ++i)
        out_ << " " << Ratio(first.MedianSeconds, results[i].MedianSeconds) << " |";
    for (const SideResult& side : results)
        out_ << " " << Microseconds(side.MedianSeconds, side.Records) << " |";
    for (const SideResult& side : results) out_ << " " << Fixed(side.PeakMegabytes, 1) << " |";
    out_ << " " << (same ? "yes" : "NO") << " |" << std::endl;
}

}  // namespace bench
