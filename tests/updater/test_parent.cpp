// A stand-in for the client in the updater's process tests.
//
//   test_parent -finup [...]                 record the arguments (the restarted client)
//   test_parent [--hold] <program> [args...] start the program and end without waiting
//                                            for it; with --hold, first read standard
//                                            input to its end (the test says when)
//
// Records go to the file named by KAVREL_TEST_RECORD, one line per start: the arguments
// separated by blanks.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "-finup") == 0) {
        const char* record = std::getenv("KAVREL_TEST_RECORD");
        std::FILE* file = record ? std::fopen(record, "a") : nullptr;
        if (!file)
            return 2;
        for (int i = 1; i < argc; ++i)
            std::fprintf(file, i == 1 ? "%s" : " %s", argv[i]);
        std::fputc('\n', file);
        std::fclose(file);
        return 0;
    }
    int first = 1;
    const bool hold = argc >= 2 && std::strcmp(argv[1], "--hold") == 0;
    if (hold)
        ++first;
    if (first >= argc)
        return 2;
    pid_t child = 0;
    if (posix_spawn(&child, argv[first], nullptr, nullptr, argv + first, environ) != 0)
        return 3;
    if (hold) {
        char buffer[256];
        while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
        }
    }
    return 0;
}
