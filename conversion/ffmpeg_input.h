// libavformat reading a SourceFile through our own I/O callbacks: it never opens a path itself, so
// the checks of SourceFile hold for every byte it reads.
#pragma once

#include "conversion/source_file.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace quillotone {

class FormatInput {
public:
    // `format` forces a demuxer; null lets libavformat probe (the file name's extension helps).
    explicit FormatInput(SourceFile& file, const AVInputFormat* format = nullptr);
    ~FormatInput();
    FormatInput(const FormatInput&) = delete;
    FormatInput& operator=(const FormatInput&) = delete;

    // The libavformat error of the open (0 when open).
    int OpenError() const { return openError_; }
    bool IsOpen() const { return context_ != nullptr; }
    AVFormatContext* Context() const { return context_; }
    // Bytes consumed so far.
    int64_t Position() const;

private:
    SourceFile& file_;
    AVIOContext* io_ = nullptr;
    AVFormatContext* context_ = nullptr;
    int64_t position_ = 0;
    int openError_ = 0;

    void release();
    static int read(void* opaque, uint8_t* buffer, int size);
    static int64_t seek(void* opaque, int64_t offset, int whence);
};

} // namespace quillotone
