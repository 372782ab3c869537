// tarnis-check TABLE: validates a table's files (the base name or any of its file names) and prints one
// finding per line. Exits 0 without errors, 1 with errors, 2 when the table cannot be read.
#include <iostream>
#include <string_view>
#include <vector>

#include "tools/tarnis-check/TableCheck.h"

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    return tarnischeck::RunTarnisCheck(arguments, std::cout, std::cerr);
}
