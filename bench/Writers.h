// Writers: the four-writers figure: separate processes inserting into one shared table together, against one
// process inserting as many records alone, on the engine and on SQLite in both its journal modes (the
// engine measured against WAL).
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace bench {

// Writers run as copies of engine-bench started with this option and the arguments of WriterArguments.
inline constexpr const char* WriterOption = "--writer";

// Measures and prints the figure: total records inserted by one writer alone and by four writers a quarter
// each, every table new and empty, the median of the runs given. The writer processes run this executable.
// False when a writer failed or the sides' tables disagree afterwards.
bool RunWriters(std::int32_t total, int runs, const std::filesystem::path& directory, std::ostream& out);

// The writer process's work (after WriterOption, its arguments): opens the side's table shared in the
// directory, says it is ready, waits for the start and inserts its records; the process's exit code.
int WriterMain(const std::vector<std::string>& arguments);

}  // namespace bench
