// platform::MoveFileReplacing: moves a file over another one, durably.
//
// rename(2), then fsync of the moved file and of the target's folder, so that after a
// power cut the target is either the old or the new file, never a mixture or neither.
// When the two lie on different file systems the content is copied over the target by the
// atomic writer (AtomicFile.h: a temporary file beside the target, synced, renamed onto
// it, the folder synced), and only then is the source removed. A running executable may be the target: its old content lives on
// until the program ends.
#pragma once

#include <filesystem>

namespace platform {

// True when `target` holds the content of `source` and `source` is gone. On failure the
// target is unchanged, `error` (when given) holds the errno value, and the source is left
// where it was.
[[nodiscard]] bool MoveFileReplacing(const std::filesystem::path& source, const std::filesystem::path& target,
                                     int* error = nullptr);

} // namespace platform
