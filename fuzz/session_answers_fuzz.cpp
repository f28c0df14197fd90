// The member session's answer readers: login (and external-login information), the three
// feeds and the keep-alive's notices, with the texts the face is then built from. The
// first byte picks the reader; the rest is the answer text.
#include "FuzzInput.h"
#include "client/service/Feeds.h"
#include "client/service/SessionRecord.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string text(fuzz::textOf(data + 1, size - 1));
    switch (data[0] % 5) {
    case 0: {
        SessionRecord record;
        if (ReadLoginAnswer(text, record, "2026-12-10 08:00:00")) {
            (void)MemberNameLine(record);
            (void)MemberLevelLine(record);
            (void)MemberCoinsLine(record);
        }
        break;
    }
    case 1: {
        FeedTexts texts;
        if (ReadExamAds(text, texts))
            (void)CountdownDigits(texts.examDays);
        break;
    }
    case 2: {
        FeedTexts texts;
        (void)ReadUnreadMessages(text, texts);
        break;
    }
    case 3: {
        FeedTexts texts;
        (void)ReadForumNotice(text, texts);
        break;
    }
    default: {
        std::vector<ConnectNotice> notices;
        (void)ReadConnectNotices(text, notices);
        break;
    }
    }
    return 0;
}
