#include "DataFolder.h"
#include "TarloMainForm.h"

#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] = "Usage: Tarlo01 [--help | --version]\n"
                      "Configures and monitors a Tarlo-02 aquarium pH controller on a serial port.\n"
                      "Started without arguments it opens its window; its preferences and logs go\n"
                      "in the working directory.\n"
                      "\n"
                      "  --version   print the version\n"
                      "  --help, -h  this text\n";

bool isHelp(const char* a) { return std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0; }

// The window takes no arguments. The questions a user or a package's check asks are answered,
// and anything else refused, before Qt starts: without a display Qt would abort instead.
// Returns the exit code, or -1 to start the window.
int answerCommandLine(int argc, char** argv)
{
    if (argc < 2)
        return -1;
    const char* a = argv[1];
    if (argc == 2 && isHelp(a)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(a, "--version") == 0) {
        std::printf("Tarlo01 %s\n", TARLO_VERSION);
        return 0;
    }
    if (argc > 2 && (isHelp(a) || std::strcmp(a, "--version") == 0))
        a = argv[2];
    std::fprintf(stderr,
                 a[0] == '-' ? "Tarlo01: unknown option %s\n%s" : "Tarlo01: unexpected argument '%s'\n%s", a,
                 kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (const int code = answerCommandLine(argc, argv); code >= 0)
        return code;
    enterDataFolder();
    return runProgram(argc, argv);
}
