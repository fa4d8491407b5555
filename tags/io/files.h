// Whole-file helpers of the tag layer. Paths are UTF-8 (std::filesystem::path).
#pragma once

#include "tags/io/stream.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

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

// A change of a file's bytes, worked out from its current content.
struct TFileChange {
    enum class Kind {
        InPlace, // from `offset` on the file holds `data`; with cutAfter it ends there, else the rest stays
        Rewrite, // the file becomes `data` followed by its own bytes from `keepFrom` on
    };
    Kind kind = Kind::InPlace;
    int64_t offset = 0;
    std::vector<uint8_t> data;
    bool cutAfter = true;
    int64_t keepFrom = 0;
    // Rewrite only: runs on the finished new content before it replaces the file (it may seek and patch).
    std::function<void(TWideFileStream& content)> extraSteps;
};

// Applies an in-place change to a stream. When a write fails, the old bytes are put back and the error
// is thrown again.
void ApplyInPlace(TStream& stream, const TFileChange& change);

// Changes a file so that a failure or a kill never leaves it damaged:
// - The file is opened for writing under an exclusive lock, after symbolic links were followed (the
//   link stays, its target changes); only regular files are taken. A file of the user's own without
//   write permission gets it (and keeps it); any other file we may not write is refused, so it is
//   never replaced through a folder that happens to be writable.
// - An interrupted change of an earlier run is finished first, and stale temporary files of ours in the
//   folder are removed.
// - plan sees the file's current bytes and says what to change (nothing: no change).
// - A rewrite builds the new content in an unnamed temporary file in the same folder and renames it over
//   the file (permission bits, owner and extended attributes kept). A file with several hard links, or
//   one whose owner a new file could not keep, is instead copied back in place through a journal.
// - An in-place change is journaled too (when the folder lets us write one), and undone on an error.
// A journal is a hidden file in the folder that holds the new bytes; once it is complete, the change
// counts as made, and a change cut short by a kill is finished by the next change of the file.
// Throws TFileError with a message for the user.
void ChangeFile(const std::filesystem::path& path,
                const std::function<std::optional<TFileChange>(TStream& file)>& plan);

// Finishes a change of the file that a kill cut short (see ChangeFile). True when one was finished,
// which means that what was read from the file before is out of date.
bool FinishInterruptedChanges(const std::filesystem::path& path);

// Replaces the file's content with newHead followed by the file's bytes from keepFrom on, through
// ChangeFile. False on any failure, with the file as it was; also false, writing nothing, when an
// interrupted change had to be finished first (the caller's plan was made from older bytes).
bool RewriteThroughTempFile(const std::filesystem::path& path, int64_t keepFrom, TStream& newHead,
                            const std::function<void(TWideFileStream& temp)>& extraSteps = {});

// What our temporary files and journals are called; nothing else in a folder is ever removed.
bool IsOurTemporaryName(std::string_view name);
bool IsOurJournalName(std::string_view name);

} // namespace tags
