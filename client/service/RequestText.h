// Request texts of the service protocol and the check of the answer envelope.
#pragma once

// Carried with a request through the transport and handed back with its answer; selects
// the answer handler. Values 2 and 3 are not used.
enum RequestKind {
    RK_NONE = 0,
    RK_LOGIN = 1,
    RK_EXAM_ADS = 4,
    RK_UNREAD_MESSAGES = 5,
    RK_FORUM_NOTICE = 6,
    RK_CONNECT = 7,
    RK_LOGIN_INFO = 8,
};
