// Routing of service answers to their handlers by request kind: the main window's
// HTTP_RETURN_SUCC and HTTP_RETURN_FAIL messages.
//
// The main window plugs its handlers in; a handler that is not set is skipped. Handlers
// receive a copy of the answer text and parse it again themselves.
//
// Thread: the user-interface thread (the router runs inside message handlers). Nothing
// here throws.
#pragma once

#include <functional>
#include <memory>
#include <string>

// "\r\n服务器通信失败！\r\n" in GBK: the notice shown when a request failed.
extern const char kServiceFailureNotice[];

struct AnswerHandlers {
    using TextHandler = std::function<void(const std::string& answerText)>;

    TextHandler login;          // RK_LOGIN and RK_LOGIN_INFO
    TextHandler examAds;        // RK_EXAM_ADS
    TextHandler unreadMessages; // RK_UNREAD_MESSAGES
    TextHandler forumNotice;    // RK_FORUM_NOTICE
    TextHandler connect;        // RK_CONNECT: the notices of the keep-alive

    // The main window's ShowNotice(text, delay); text in GBK.
    std::function<void(const std::string& text, int delay)> showNotice;
    // The main window's Logout.
    std::function<void()> logout;
};

class AnswerRouter {
public:
    // Every caller of the notice passes this delay.
    static constexpr int kNoticeDelay = 100;

    explicit AnswerRouter(AnswerHandlers handlers);

    // HTTP_RETURN_SUCC. The answer text passes to the router and is released when this
    // returns. A text that is not a JSON object is dropped silently; "success" false shows
    // the service's "message" (UTF-8, shown in GBK) when there is one and goes no further;
    // otherwise the handler of the kind gets a copy (kinds without one: nothing).
    void OnHttpReturnSucc(std::unique_ptr<std::string> answer, int kind);

    // HTTP_RETURN_FAIL, for every kind alike: the failure notice, then Logout.
    void OnHttpReturnFail(int kind);

private:
    AnswerHandlers m_handlers;
};
