// Replacing a file safely: the new bytes go to a temporary file next to the target, which is
// synced and then renamed over it, so the target is either untouched or wholly replaced.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <sys/types.h>

#include "base/bytes.h"

namespace orvel::metadata::edit {

using base::ByteView;

// The temporary name used for a target: target + ".orvel-" + process id + ".tmp".
std::string temporaryPathFor(const std::string& target);

// Writes bytes to the target through its temporary file, keeping an existing target's
// permission bits. A target that is a symbolic link is followed: the file it names is replaced,
// through a temporary file beside that file, and the link is left as it was. False, with the
// target untouched and no temporary file left behind, on any failure; an existing temporary
// file is a failure and is left alone.
bool replaceFile(const std::string& target, ByteView bytes);
// The same for a file given as pieces, written one after the other.
bool replaceFileWithPieces(const std::string& target, std::span<const ByteView> pieces);

// Moves a complete, synced file onto the target by rename. Across file systems (EXDEV) the
// bytes are copied into a new temporary file beside the target (with `mode`), synced and
// renamed over it, and the source is removed. False, with the target untouched, on failure;
// the source is then left for the caller to remove.
bool moveIntoPlace(const std::string& source, const std::string& target, mode_t mode);

}  // namespace orvel::metadata::edit
