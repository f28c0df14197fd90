// vmUpdate's command line, exit codes and process control.
//
//   vmUpdate -c <manifest URL> <version> <install folder> [<proxy> [force]]   check
//   vmUpdate -r <manifest URL> <version> <install folder>                     apply
//   vmUpdate -g <output folder> <manifest name> <version> <source folder>     generate
//   vmUpdate -k <folder>                                                      key pair
//
// Exit codes: 0 apply or generate finished, or no mode recognised; 1 another updater is
// running (nothing is printed); 2 check staged files; 3 check found nothing or failed.
// A mode given too few arguments does nothing (check then exits 3, the others 0).
//
// Signing: -k writes vmupdate.key and vmupdate.pub into the folder (0 done, 1 failed,
// with the reason on the error stream); it runs without the single-instance lock. Generate mode given a secret-key file also writes
// "<manifest name>.sig"; a key that cannot be read or is malformed publishes nothing and
// exits 1, and so does a signature that cannot be written (the manifest is removed, so
// nothing stays published unsigned). A signed publication carries every file's SHA-256
// and expires `validDays` days after it was made; a validDays of 0 publishes nothing
// (exit 1).
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <sys/types.h>
#include <vector>

namespace updater {

inline constexpr int kDefaultValidDays = 30;

// VMUPDATE_VALID_DAYS's text as a number of days: 1 to 3650, else 0.
[[nodiscard]] int parseValidDays(const char* text);

// The single-instance lock's name.
inline constexpr const char* kUpdaterLockName = "C58429A0-7E77-45DA-9C7D-E8F6F8F4489C";

struct ProgramContext {
    pid_t parentId = 0;                 // getppid() as read first thing at start
    std::string ownExecutable;          // the running updater; empty when unknown
    std::string documentsFolder;        // where staging folders live
    std::ostream* out = nullptr;        // diagnostic lines (standard output)
    std::ostream* err = nullptr;        // failures of signing and verification (standard error)
    std::string signingKeyFile;         // generate mode signs with it when not empty
    // Apply mode's pause between the client's end and the replacement.
    std::chrono::milliseconds applyPause{3500};
    std::function<void(std::chrono::milliseconds)> sleep; // empty: the thread sleeps
    long transferTimeoutSeconds = 10800;
    long connectTimeoutSeconds = 180;
    // How long a signed publication is accepted, from VMUPDATE_VALID_DAYS; 0 when that
    // text is not a number of days from 1 to 3650 (then nothing is signed).
    int validDays = kDefaultValidDays;
    std::optional<std::string> builtInKeys; // see UpdateContext::builtInKeys
    std::string caFile;                     // see CDownManager::setCaFile
};

// Runs one mode; `arguments` holds the whole vector, the program at position 0.
[[nodiscard]] int runUpdater(const std::vector<std::string>& arguments, const ProgramContext& context);

} // namespace updater
