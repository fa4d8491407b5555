#include "conversion/ffmpeg_input.h"

#include <new>

namespace quillotone {

namespace {
constexpr int kIoBuffer = 64 * 1024;
}

FormatInput::FormatInput(SourceFile& file, const AVInputFormat* format) : file_(file) {
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBuffer));
    if (!buffer) throw std::bad_alloc();
    io_ = avio_alloc_context(buffer, kIoBuffer, 0, this, &FormatInput::read, nullptr, &FormatInput::seek);
    if (!io_) {
        av_free(buffer);
        throw std::bad_alloc();
    }
    AVFormatContext* context = avformat_alloc_context();
    if (!context) {
        release();
        throw std::bad_alloc();
    }
    context->pb = io_;
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    // On failure avformat_open_input frees the context, but not our I/O context.
    openError_ = avformat_open_input(&context, file.Path().c_str(), format, nullptr);
    if (openError_ == AVERROR(ENOMEM)) {
        release();
        throw std::bad_alloc();
    }
    if (openError_ == 0) context_ = context;
}

FormatInput::~FormatInput() {
    release();
}

void FormatInput::release() {
    avformat_close_input(&context_);
    if (io_) av_freep(&io_->buffer);
    avio_context_free(&io_);
}

int64_t FormatInput::Position() const {
    return io_ ? avio_tell(io_) : 0;
}

int FormatInput::read(void* opaque, uint8_t* buffer, int size) {
    auto* self = static_cast<FormatInput*>(opaque);
    int64_t n = self->file_.ReadAt(buffer, static_cast<size_t>(size), self->position_);
    if (n < 0) return AVERROR(EIO);
    if (n == 0) return AVERROR_EOF;
    self->position_ += n;
    return static_cast<int>(n);
}

int64_t FormatInput::seek(void* opaque, int64_t offset, int whence) {
    auto* self = static_cast<FormatInput*>(opaque);
    const int64_t size = self->file_.Size();
    int64_t target;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return size;
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        if (__builtin_add_overflow(self->position_, offset, &target)) return AVERROR(EINVAL);
        break;
    case SEEK_END:
        if (__builtin_add_overflow(size, offset, &target)) return AVERROR(EINVAL);
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (target < 0) return AVERROR(EINVAL);
    self->position_ = target;
    return target;
}

} // namespace quillotone
