// The client's version text: sent in the login request, shown by the About window, and
// passed to the updater (command lines, staging folder name).
#pragma once

inline constexpr const char kClientVersion[] = "3.0.0.25";
