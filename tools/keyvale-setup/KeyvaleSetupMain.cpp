// keyvale-setup [--force] [--seed N] [--invsort-records N] DIR [TABLE...]: creates the program's four tables
// (config, results, invsort, numeric) in DIR, keeping those that exist. Exit 0 done, 1 a table failed, 2 bad
// arguments.
#include <iostream>
#include <string>
#include <vector>

#include "tools/keyvale-setup/SetupCommand.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const int status = keyvalesetup::SetupMain(arguments, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
