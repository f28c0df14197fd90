// Rendering a layout without a window (the render tool, tests): builds the layout's face,
// draws it into an image and writes a PNG.
#pragma once

#include "dulib/dulib.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace dulib {

class View;

struct RenderOptions {
    int width = 0; // 0: the layout's own size
    int height = 0;
    std::vector<std::pair<std::string, bool>> visibility; // element shown or hidden, in order
    std::vector<std::pair<std::string, std::string>> texts; // element texts (GBK)
    std::string hover; // element drawn in its hover look
    std::function<void(View&)> layoutHook; // last adjustments before drawing
};

// Switches every style item to its colour variant: known is removed from each value first,
// then suffix appended where the description has a paint of that name ("" = blue default).
// "window_back_change" gets "back" + suffix, as the client's colour change does.
void ApplyColourSuffix(SkinManager* manager, const std::string& suffix, const std::string& known);

[[nodiscard]] bool RenderLayout(SkinManager* manager, const std::string& layout, const RenderOptions& options,
                  const std::string& pngPath, std::string* error);

} // namespace dulib
