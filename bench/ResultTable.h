// ResultTable: prints the benchmark's main table, one line per workload and size, the first side measured
// against each of the others.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "bench/BenchStore.h"

namespace bench {

// What one side did for one workload and size.
struct SideResult {
    double MedianSeconds = 0;
    // The records the work handled (inserted, changed, looked up or read), for the cost per record.
    std::uint64_t Records = 0;
    double PeakMegabytes = 0;
    Digest Found;
    Digest Checked;
};

class ResultTable {
public:
    // The sides' names in the order of every line's results; the first is the one the ratios are of.
    ResultTable(std::ostream& out, std::vector<std::string> sides);

    void PrintHeader();
    // One line: each side's median, the first side's ratio to each other side, each side's cost per record
    // and peak memory, and whether all sides found the same.
    void PrintLine(const std::string& name, std::int32_t n, const std::vector<SideResult>& results,
                   bool same);

private:
    std::ostream& out_;
    std::vector<std::string> sides_;
};

// The size as the table prints it: 10k, 1M, 250.
std::string SizeText(std::int32_t n);

}  // namespace bench
