// Writes galvorn-cli's manual page, made from the texts of its --help, to standard output.
#include "app/cli/clihelp.h"

#include <iostream>

int main()
{
    std::cout << galvorn::cli::manPage(GALVORN_VERSION);
    return 0;
}
