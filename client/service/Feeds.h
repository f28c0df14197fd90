// The account feeds: the texts the main window keeps from the service's small answers
// (examination countdown, advertisement and external-login addresses, unread messages,
// forum notice, the keep-alive's notices) and the readers that take them out of an answer.
//
// Every reader answers false (changing nothing) when the text is not a JSON object; a
// member of the wrong JSON type counts as absent. Texts are GBK unless a field says
// otherwise.
//
// Threads: pure functions; the texts belong to the user-interface thread.
#pragma once

#include <string>
#include <vector>

struct FeedTexts {
    // "examtime_ad_address"
    std::string examDays = "0"; // as sent
    std::string loginAdAddress;
    std::string topAdAddress;
    std::string renrenAddress;
    std::string weiboAddress;
    std::string qqAddress;
    // "msg_unread_count"
    std::string unreadCount; // decimal; empty for 0
    std::string latestSubject;
    std::string latestMessage;
    std::string latestMessageId;
    // "discussion_sys_publish"
    std::string forumAuthor;
    std::string forumSubject;
    std::string forumThreadId; // decimal; empty when absent
};

[[nodiscard]] bool ReadExamAds(const std::string& answerText, FeedTexts& texts);
[[nodiscard]] bool ReadUnreadMessages(const std::string& answerText, FeedTexts& texts);
[[nodiscard]] bool ReadForumNotice(const std::string& answerText, FeedTexts& texts);

// One notice of a "connect" answer.
struct ConnectNotice {
    std::string href;   // GBK: forum thread id, empty for a plain notice
    std::string notice; // GBK
    int type = 0;       // 10: the member is logged out
};

// The notices of a "connect" answer in order; false when the text does not parse or has
// no "content" (a "notices" member that is not an array holds no notices).
[[nodiscard]] bool ReadConnectNotices(const std::string& answerText, std::vector<ConnectNotice>& notices);

// The countdown's three digit characters: the day text padded on the left with "0" to
// three characters; of a longer text the first three.
[[nodiscard]] std::string CountdownDigits(const std::string& examDays);
