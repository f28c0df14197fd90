// Conversions between the client's narrow code page and UTF-8.
//
// The narrow code page is GBK (iconv's "CP936"): every text the client keeps, shows or
// writes to its settings is GBK bytes; the service speaks UTF-8. Characters GBK lacks
// become "?", and so does every byte of input that is not a valid sequence of the source
// encoding; a conversion never fails and never throws. Empty gives empty.
//
// Thread-safe: each thread converts with iconv handles of its own.
#pragma once

#include <string>

class CCodeLib {
public:
    static std::string AnsiToUtf8(const std::string& text);
    static std::string Utf8ToAnsi(const std::string& text);
};
