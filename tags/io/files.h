// Whole-file helpers of the tag layer. Paths are UTF-8 (std::filesystem::path).
#pragma once

#include "tags/io/stream.h"

#include <cstdint>
#include <filesystem>
#include <functional>

namespace tags {

// True when the path names an existing file (anything but a folder).
bool WideFileExists(const std::filesystem::path& path);
// Gives the owner write permission (this platform's "no read-only attribute"); true on success.
bool ClearFileAttributes(const std::filesystem::path& path);
bool WideDeleteFile(const std::filesystem::path& path);
// Renames or moves a file; fails (false) when newPath exists.
bool WideRenameFile(const std::filesystem::path& oldPath, const std::filesystem::path& newPath);

// Size of an ID3v2 tag at the start of the stream (header, body and optional footer), or 0 when there
// is none or it claims more bytes than the stream has. Leaves the stream's position where it was.
int64_t LeadingTagSize(TStream& stream);

// Replaces the file's content with newHead followed by the file's bytes from keepFrom on. The new
// content is written to path + "~", synced, given the original's permission bits and renamed over the
// original, so the original is never deleted first. extraSteps, if given, runs on the finished
// temporary file before the sync (it may seek and patch). On any failure the original stays as it was,
// no "~" file remains, and the result is false. An existing path + "~" is never overwritten: the
// rewrite fails instead.
bool RewriteThroughTempFile(const std::filesystem::path& path, int64_t keepFrom, TStream& newHead,
                            const std::function<void(TWideFileStream& temp)>& extraSteps = {});

} // namespace tags
