#pragma once

namespace quillotone {
// FFmpeg's own console chatter is not for our users: errors reach them as codes and messages.
void QuietFfmpegLog();
} // namespace quillotone
