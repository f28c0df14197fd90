// platform::DocumentsFolder: the user's documents folder, as `xdg-user-dir DOCUMENTS`
// resolves it.
//
// The XDG_DOCUMENTS_DIR entry of $XDG_CONFIG_HOME/user-dirs.dirs ($HOME/.config when that
// variable is unset or empty), with a leading "$HOME" expanded; without such an entry the
// home folder itself. The folder is neither created nor checked. The client and the
// updater both derive the staging folder from this one function, so they always agree.
#pragma once

#include <string>

namespace platform {

// Without a trailing "/". Reads the environment on every call.
[[nodiscard]] std::string DocumentsFolder();

// The download folder, as `xdg-user-dir DOWNLOAD` resolves it (the XDG_DOWNLOAD_DIR entry
// of the same file, else the home folder), by the same rules. Where the web views save
// what a page hands out.
[[nodiscard]] std::string DownloadFolder();

} // namespace platform
