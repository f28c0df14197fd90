#include "updater/UpdaterProgram.h"

#include "platform/NamedLock.h"
#include "platform/ParentProcess.h"
#include "platform/Process.h"
#include "updater/Generator.h"
#include "updater/Signature.h"
#include "updater/UpdateProcedure.h"

#include <ctime>
#include <optional>
#include <sodium.h>
#include <thread>

namespace updater {
namespace {

void print(const ProgramContext& context, const std::string& line)
{
    if (context.out)
        *context.out << line << std::flush;
}

void complain(const ProgramContext& context, const std::string& line)
{
    if (context.err)
        *context.err << line << std::flush;
}

UpdateContext updateContext(const ProgramContext& context)
{
    UpdateContext update;
    update.documentsFolder = context.documentsFolder;
    update.out = context.out;
    update.err = context.err;
    update.transferTimeoutSeconds = context.transferTimeoutSeconds;
    update.connectTimeoutSeconds = context.connectTimeoutSeconds;
    update.builtInKeys = context.builtInKeys;
    update.caFile = context.caFile;
    return update;
}

int checkMode(const std::vector<std::string>& arguments, const ProgramContext& context)
{
    if (arguments.size() < 5)
        return 3;
    std::optional<std::string> proxy;
    if (arguments.size() >= 6)
        proxy = arguments[5];
    const bool force = arguments.size() >= 7 && arguments[6] == "force";
    const int result = check(updateContext(context), arguments[2], arguments[3], arguments[4], proxy, force);
    return result >= 1 ? 2 : 3;
}

int applyMode(const std::vector<std::string>& arguments, const ProgramContext& context)
{
    if (arguments.size() < 5)
        return 0;
    // Held before the first line goes out, so whoever sees that line may end the parent.
    std::optional<platform::ParentProcess> parent = platform::ParentProcess::open(context.parentId);
    print(context, "wait for close parent\r\n");

    // The client beside us: what is restarted when the parent's own program is not known.
    const std::size_t slash = context.ownExecutable.rfind('/');
    const std::string besideUs =
        (slash == std::string::npos ? std::string() : context.ownExecutable.substr(0, slash)) + "/" + "Kavrel";

    std::string restartPath = besideUs;
    if (parent) {
        // A client already on its way out has no executable to read any more; the one
        // beside us is the same program.
        if (!parent->executablePath().empty())
            restartPath = parent->executablePath();
        int error = 0;
        if (!parent->waitForExit(&error))
            print(context, "WaitForSingleObject fail err code:" + std::to_string(error) + " \r\n");
        parent.reset();
        print(context, "close parent\r\n");
    } else {
        // The client already ended (or we were adopted): restart the client beside us.
        print(context, "get Parent Handle fail!!!\r\n");
    }

    if (context.sleep)
        context.sleep(context.applyPause);
    else
        std::this_thread::sleep_for(context.applyPause);

    (void)apply(updateContext(context), arguments[2], arguments[3], arguments[4]);

    if (!platform::Process::start(restartPath, {"-finup"}))
        print(context, "fail createprocess \"" + restartPath + "\" -finup\r\n");
    return 0;
}

int generateMode(const std::vector<std::string>& arguments, const ProgramContext& context)
{
    if (arguments.size() < 6)
        return 0;
    std::optional<SecretKey> key;
    if (!context.signingKeyFile.empty()) {
        // Checked before anything is written, so a bad key publishes nothing at all.
        const std::optional<std::string> text = readSmallFile(context.signingKeyFile, 4096);
        key = text ? parseSecretKey(*text) : std::nullopt;
        if (!key) {
            complain(context, "vmUpdate: " + context.signingKeyFile + " is not a readable secret key; nothing is published\n");
            return 1;
        }
        if (context.validDays <= 0) {
            sodium_memzero(key->data(), key->size());
            complain(context, "vmUpdate: VMUPDATE_VALID_DAYS must be a number of days from 1 to 3650; nothing is published\n");
            return 1;
        }
    }
    PublicationTimes times;
    times.signedAt = static_cast<std::int64_t>(std::time(nullptr));
    times.expires = times.signedAt + std::int64_t{86400} * context.validDays;
    generate(arguments[2], arguments[3], arguments[4], arguments[5], key ? &times : nullptr);
    if (!key)
        return 0;
    const std::string manifest = arguments[2] + "/" + arguments[3];
    std::string error;
    const bool signedOk = signFile(manifest, *key, &error);
    sodium_memzero(key->data(), key->size());
    if (!signedOk) {
        std::error_code ignored;
        std::filesystem::remove(manifest, ignored);
        complain(context, "vmUpdate: " + error + "; the manifest is withdrawn\n");
        return 1;
    }
    return 0;
}

int keyMode(const std::vector<std::string>& arguments, const ProgramContext& context)
{
    if (arguments.size() < 3) {
        complain(context, "vmUpdate: -k needs the folder to write the key pair into\n");
        return 1;
    }
    std::string error;
    if (!generateKeyPair(arguments[2], &error)) {
        complain(context, "vmUpdate: " + error + "\n");
        return 1;
    }
    return 0;
}

} // namespace

int parseValidDays(const char* text)
{
    if (!text || !*text)
        return kDefaultValidDays;
    long days = 0;
    for (const char* at = text; *at; ++at) {
        if (*at < '0' || *at > '9' || days > 3650)
            return 0;
        days = days * 10 + (*at - '0');
    }
    return days >= 1 && days <= 3650 ? static_cast<int>(days) : 0;
}

int runUpdater(const std::vector<std::string>& arguments, const ProgramContext& context)
{
    if (context.ownExecutable.empty()) {
        print(context, "错误: GetModuleHandle 失败\n");
        return 1;
    }
    const std::string mode = arguments.size() >= 2 ? arguments[1] : std::string("-");
    // Making keys touches no installation: it needs no lock, and a publisher whose own
    // client is checking for updates must not be turned away without a word.
    if (mode == "-k")
        return keyMode(arguments, context);

    // Held to the end of the mode's work; it only fails to exist when the lock file cannot
    // be made, and then we run unguarded rather than never.
    platform::NamedLock lock(kUpdaterLockName);
    if (lock.state() == platform::NamedLock::State::HeldElsewhere)
        return 1;

    if (mode == "-c")
        return checkMode(arguments, context);
    if (mode == "-r")
        return applyMode(arguments, context);
    if (mode == "-g")
        return generateMode(arguments, context);
    return 0;
}

} // namespace updater
