// keyvale: the data-entry skill testing program.
#include "app/Application.h"
#include "app/Program.h"

int main(int argc, char** argv) {
    app::TApplication application(argc, argv);
    return app::RunProgram(application);
}
