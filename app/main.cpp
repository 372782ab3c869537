// keyvale: the data-entry skill testing program.
#include "app/program/Program.h"
#include "app/services/Application.h"

int main(int argc, char** argv) {
    app::TApplication application(argc, argv);
    return app::RunProgram(application);
}
