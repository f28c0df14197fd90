// The service answer's envelope and its routing by request kind. The first byte picks the
// kind; the rest is the answer text. The handlers here only take the text: each handler
// of the client gets a target of its own.
#include "FuzzInput.h"
#include "client/service/AnswerRouter.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::size_t seen = 0;
    const auto take = [&seen](const std::string& text) { seen += text.size(); };
    AnswerHandlers handlers;
    handlers.login = take;
    handlers.examAds = take;
    handlers.unreadMessages = take;
    handlers.forumNotice = take;
    handlers.connect = take;
    handlers.showNotice = [&seen](const std::string& text, int) { seen += text.size(); };
    handlers.logout = [&seen] { ++seen; };
    AnswerRouter router(std::move(handlers));
    router.OnHttpReturnSucc(std::make_unique<std::string>(fuzz::textOf(data + 1, size - 1)), data[0] % 10);
    return 0;
}
