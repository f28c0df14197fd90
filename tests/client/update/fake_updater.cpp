// Stands in for vmUpdate in the client's update tests. Writes its arguments, one a line,
// then "fds:" and every descriptor it inherited, to $FAKE_UPDATER_RECORD; waits while the
// file $FAKE_UPDATER_HOLD does not exist (at most 20 s); exits with $FAKE_UPDATER_EXIT.
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv)
{
    std::string fds;
    if (DIR* dir = opendir("/proc/self/fd")) {
        const int own = dirfd(dir);
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own)
                continue;
            fds += std::string(" ") + entry->d_name;
        }
        closedir(dir);
    }
    if (const char* hold = std::getenv("FAKE_UPDATER_HOLD")) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!std::filesystem::exists(hold) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (const char* record = std::getenv("FAKE_UPDATER_RECORD")) {
        std::ofstream out(record, std::ios::app);
        for (int i = 1; i < argc; ++i)
            out << argv[i] << "\n";
        out << "fds:" << fds << "\n";
    }
    const char* code = std::getenv("FAKE_UPDATER_EXIT");
    return code ? std::atoi(code) : 0;
}
