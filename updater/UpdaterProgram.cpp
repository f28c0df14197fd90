#include "updater/UpdaterProgram.h"

#include "platform/NamedLock.h"
#include "platform/ParentProcess.h"
#include "platform/Process.h"
#include "updater/Generator.h"
#include "updater/UpdateProcedure.h"

#include <optional>
#include <thread>

namespace updater {
namespace {

void print(const ProgramContext& context, const std::string& line)
{
    if (context.out)
        *context.out << line << std::flush;
}

UpdateContext updateContext(const ProgramContext& context)
{
    UpdateContext update;
    update.documentsFolder = context.documentsFolder;
    update.out = context.out;
    update.transferTimeoutSeconds = context.transferTimeoutSeconds;
    update.connectTimeoutSeconds = context.connectTimeoutSeconds;
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

    std::string restartPath;
    if (parent) {
        restartPath = parent->executablePath();
        int error = 0;
        if (!parent->waitForExit(&error))
            print(context, "WaitForSingleObject fail err code:" + std::to_string(error) + " \r\n");
        parent.reset();
        print(context, "close parent\r\n");
    } else {
        // The client already ended (or we were adopted): restart the client beside us.
        print(context, "get Parent Handle fail!!!\r\n");
        const std::size_t slash = context.ownExecutable.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : context.ownExecutable.substr(0, slash);
        restartPath = folder + "/" + "Kavrel";
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

int generateMode(const std::vector<std::string>& arguments)
{
    if (arguments.size() < 6)
        return 0;
    generate(arguments[2], arguments[3], arguments[4], arguments[5]);
    return 0;
}

} // namespace

int runUpdater(const std::vector<std::string>& arguments, const ProgramContext& context)
{
    if (context.ownExecutable.empty()) {
        print(context, "错误: GetModuleHandle 失败\n");
        return 1;
    }
    // Held to the end of the mode's work; it only fails to exist when the lock file cannot
    // be made, and then we run unguarded rather than never.
    platform::NamedLock lock(kUpdaterLockName);
    if (lock.state() == platform::NamedLock::State::HeldElsewhere)
        return 1;

    const std::string mode = arguments.size() >= 2 ? arguments[1] : std::string("-");
    if (mode == "-c")
        return checkMode(arguments, context);
    if (mode == "-r")
        return applyMode(arguments, context);
    if (mode == "-g")
        return generateMode(arguments);
    return 0;
}

} // namespace updater
