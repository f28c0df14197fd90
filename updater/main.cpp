// vmUpdate: the updater program (see UpdaterProgram.h for its command line).
#include "platform/DocumentsFolder.h"
#include "platform/ParentProcess.h"
#include "platform/Paths.h"
#include "updater/BuiltInKeys.h"
#include "updater/UpdaterProgram.h"

#include <csignal>
#include <cstdlib>
#include <curl/curl.h>
#include <iostream>

int main(int argc, char** argv)
{
    // Before anything else: the longer we wait, the likelier the client has ended and
    // we have been adopted.
    const pid_t parentId = platform::ParentProcess::currentParentId();
    // A client that closed our standard output must not end us half-way through apply.
    std::signal(SIGPIPE, SIG_IGN);

    updater::ProgramContext context;
    context.parentId = parentId;
    context.ownExecutable = platform::ExecutablePath().string();
    context.documentsFolder = platform::DocumentsFolder();
    context.out = &std::cout;
    context.err = &std::cerr;
    // The publisher's secret key; generate mode signs the manifest with it.
    if (const char* key = std::getenv("VMUPDATE_SIGNING_KEY"))
        context.signingKeyFile = key;
    context.validDays = updater::parseValidDays(std::getenv("VMUPDATE_VALID_DAYS"));
    if (updater::kHasBuiltInKeys)
        context.builtInKeys = updater::kBuiltInKeys;
#ifndef KAVREL_RELEASE
    // Tests serve https with a certificate authority of their own. A release build has
    // no such setting: it trusts the system's store alone.
    if (const char* ca = std::getenv("KAVREL_TEST_CA_FILE"); ca && *ca)
        context.caFile = ca;
#endif
    // For tests that run this program end to end: a shorter apply pause. Nothing in
    // production sets it.
    if (const char* pause = std::getenv("KAVREL_UPDATER_PAUSE_MS"); pause && *pause)
        context.applyPause = std::chrono::milliseconds(std::strtol(pause, nullptr, 10));

    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        std::cout << "错误: MFC 初始化失败\n" << std::flush;
        return 1;
    }
    const int code = updater::runUpdater(std::vector<std::string>(argv, argv + argc), context);
    curl_global_cleanup();
    return code;
}
