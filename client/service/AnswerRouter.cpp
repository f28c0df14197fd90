#include "client/service/AnswerRouter.h"

#include "client/service/RequestText.h"
#include "platform/CodeLib.h"

#include <utility>

// 服务器通信失败！, written as its GBK bytes.
const char kServiceFailureNotice[] = "\r\n\xb7\xfe\xce\xf1\xc6\xf7\xcd\xa8\xd0\xc5\xca\xa7\xb0\xdc\xa3\xa1\r\n";

namespace {

void call(const AnswerHandlers::TextHandler& handler, const std::string& text)
{
    if (handler)
        handler(text);
}

} // namespace

AnswerRouter::AnswerRouter(AnswerHandlers handlers)
    : m_handlers(std::move(handlers))
{
}

void AnswerRouter::OnHttpReturnSucc(std::unique_ptr<std::string> answer, int kind)
{
    if (!answer)
        return;
    const std::optional<Json::Value> root = ParseAnswer(*answer);
    if (!root)
        return;

    if (!ReadBool(*root, "success", true)) {
        const Json::Value& message = (*root)["message"];
        if (message.isString() && m_handlers.showNotice)
            m_handlers.showNotice(CCodeLib::Utf8ToAnsi(message.asString()), kNoticeDelay);
        return;
    }

    switch (kind) {
    case RK_LOGIN:
    case RK_LOGIN_INFO: call(m_handlers.login, *answer); break;
    case RK_EXAM_ADS: call(m_handlers.examAds, *answer); break;
    case RK_UNREAD_MESSAGES: call(m_handlers.unreadMessages, *answer); break;
    case RK_FORUM_NOTICE: call(m_handlers.forumNotice, *answer); break;
    case RK_CONNECT: call(m_handlers.connect, *answer); break;
    default: break; // RK_NONE and unused kinds: released without effect
    }
}

void AnswerRouter::OnHttpReturnFail(int /*kind*/)
{
    if (m_handlers.showNotice)
        m_handlers.showNotice(kServiceFailureNotice, kNoticeDelay);
    if (m_handlers.logout)
        m_handlers.logout();
}
