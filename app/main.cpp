#include "TarloMainForm.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    // Answered before anything needs a display: a package's check, a user's question.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Tarlo01 %s\n", TARLO_VERSION);
        return 0;
    }
    return runProgram(argc, argv);
}
