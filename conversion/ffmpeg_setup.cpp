#include "conversion/ffmpeg_setup.h"

extern "C" {
#include <libavutil/log.h>
}

namespace quillotone {
void QuietFfmpegLog() {
    av_log_set_level(AV_LOG_QUIET);
}
} // namespace quillotone
