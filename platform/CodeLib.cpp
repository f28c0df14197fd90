#include "platform/CodeLib.h"

#include <cerrno>
#include <cstdint>
#include <iconv.h>
#include <vector>

namespace {

constexpr const char* kNarrowCodePage = "CP936";

// One pair of iconv handles per thread, opened on first use, closed at thread exit.
class Converters {
public:
    Converters()
        : m_toUtf8(iconv_open("UTF-8", kNarrowCodePage))
        , m_toNarrow(iconv_open(kNarrowCodePage, "UTF-32LE"))
    {
    }
    ~Converters()
    {
        if (m_toUtf8 != invalid())
            iconv_close(m_toUtf8);
        if (m_toNarrow != invalid())
            iconv_close(m_toNarrow);
    }
    Converters(const Converters&) = delete;
    Converters& operator=(const Converters&) = delete;

    iconv_t toUtf8() const { return m_toUtf8; }
    iconv_t toNarrow() const { return m_toNarrow; }
    static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }

private:
    iconv_t m_toUtf8;
    iconv_t m_toNarrow;
};

Converters& converters()
{
    thread_local Converters instance;
    return instance;
}

// Runs iconv over the whole input. At a sequence that cannot be converted, "?" is written
// and skipUnit bytes of input are skipped.
std::string convert(iconv_t cd, const char* data, std::size_t size, std::size_t skipUnit)
{
    std::string out;
    if (cd == Converters::invalid() || size == 0)
        return out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr); // fresh shift state

    char* in = const_cast<char*>(data);
    std::size_t inLeft = size;
    std::vector<char> chunk(4 * size + 16);
    while (inLeft > 0) {
        char* outPtr = chunk.data();
        std::size_t outLeft = chunk.size();
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(chunk.data(), chunk.size() - outLeft);
        if (rc != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG)
            continue;
        // EILSEQ (invalid or unmappable) or EINVAL (cut short at the end).
        out += '?';
        const std::size_t skip = inLeft < skipUnit ? inLeft : skipUnit;
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any pending state (none for these encodings, but harmless).
    char* outPtr = chunk.data();
    std::size_t outLeft = chunk.size();
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(chunk.data(), chunk.size() - outLeft);
    return out;
}

// Decodes UTF-8 into UTF-32LE code units; every byte that does not start a well-formed
// sequence (overlong forms, surrogates and values past U+10FFFF included) becomes "?".
std::vector<char> decodeUtf8(const std::string& text)
{
    std::vector<char> units;
    units.reserve(text.size() * 4);
    auto put = [&units](std::uint32_t cp) {
        for (int i = 0; i < 4; ++i)
            units.push_back(static_cast<char>((cp >> (8 * i)) & 0xff));
    };
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        std::uint32_t cp = 0;
        std::size_t len = 0;
        std::uint32_t min = 0;
        if (b < 0x80) {
            put(b);
            ++i;
            continue;
        } else if ((b & 0xe0) == 0xc0) {
            cp = b & 0x1f, len = 2, min = 0x80;
        } else if ((b & 0xf0) == 0xe0) {
            cp = b & 0x0f, len = 3, min = 0x800;
        } else if ((b & 0xf8) == 0xf0) {
            cp = b & 0x07, len = 4, min = 0x10000;
        } else {
            put('?');
            ++i;
            continue;
        }
        bool ok = i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            if ((p[i + k] & 0xc0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (p[i + k] & 0x3f);
        }
        if (!ok || cp < min || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) {
            put('?');
            ++i;
            continue;
        }
        put(cp);
        i += len;
    }
    return units;
}

} // namespace

std::string CCodeLib::AnsiToUtf8(const std::string& text)
{
    if (text.empty())
        return {};
    return convert(converters().toUtf8(), text.data(), text.size(), 1);
}

std::string CCodeLib::Utf8ToAnsi(const std::string& text)
{
    if (text.empty())
        return {};
    const std::vector<char> units = decodeUtf8(text);
    return convert(converters().toNarrow(), units.data(), units.size(), 4);
}
