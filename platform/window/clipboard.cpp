// The clipboard: GBK at our side, UTF-8 at the desktop's.
#include "platform/window/Clipboard.h"

#include "platform/CodeLib.h"
#include "platform/window/WindowCore.h"

#include <utility>

namespace platform {

bool SetClipboardText(Clipboard which, const std::string& gbk)
{
    detail::Backend* backend = detail::CurrentBackendObject();
    if (!backend || !detail::IsUiThread())
        return false;
    backend->setClipboardText(which, CCodeLib::AnsiToUtf8(gbk));
    return true;
}

void RequestClipboardText(Clipboard which, std::function<void(std::optional<std::string> gbk)> done)
{
    detail::Backend* backend = detail::CurrentBackendObject();
    if (!backend || !detail::IsUiThread() || !done)
        return;
    backend->requestClipboardText(which, [done = std::move(done)](std::optional<std::string> utf8) {
        if (utf8)
            done(CCodeLib::Utf8ToAnsi(*utf8));
        else
            done(std::nullopt);
    });
}

} // namespace platform
