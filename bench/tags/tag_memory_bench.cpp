// tag_memory_bench WHAT FILE: reads (or plans a write of) the tags of FILE with one class and prints
// "items seconds peak-bytes", where peak-bytes is the growth of the process's peak resident memory
// over what it held before the read. WHAT: ape, ape-write (one item set, the file rewritten), id3v2,
// id3v2-write (one field set, the write planned in memory), mpeg (TMPEGaudio, as the information
// component reads a file).
// tag_memory_bench saves N FILE: saves a changed title N times with each writer (ID3v1 in place, APEv2
// in place, ID3v2 in place, ID3v2 rebuilt) and prints the mean milliseconds of each, one line each.
#include "tags/apev2/apetag.h"
#include "tags/id3v1/id3v1.h"
#include "tags/id3v2/id3v2.h"
#include "tags/mpeg/mpeg_audio.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>

namespace {

long PeakKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

} // namespace

// Mean milliseconds of n saves, each with another title.
template <typename Save> double MeanMs(int n, Save save) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i)
        if (!save("Title " + std::to_string(i))) {
            std::fprintf(stderr, "save failed\n");
            std::exit(1);
        }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count() / n;
}

int Saves(int n, const std::filesystem::path& file) {
    std::printf("ID3v1 in place     %.2f ms\n", MeanMs(n, [&](const std::string& title) {
                    tags::TID3v1 tag;
                    tag.ReadTags(file);
                    tag.SetTitle(title);
                    return tag.WriteTags(file);
                }));
    std::printf("APEv2 in place     %.2f ms\n", MeanMs(n, [&](const std::string& title) {
                    tags::TAPETag tag;
                    tag.ReadTags(file);
                    tag.SetItem("Title", title);
                    return tag.WriteTags(file);
                }));
    std::printf("ID3v2 in place     %.2f ms\n", MeanMs(n, [&](const std::string& title) {
                    tags::TID3v2 tag;
                    tag.ReadTags(file);
                    tag.SetTitle(title);
                    return tag.WriteTags(file);
                }));
    std::printf("ID3v2 rebuilt      %.2f ms\n", MeanMs(n, [&](const std::string& title) {
                    tags::TID3v2 tag;
                    tag.ReadTags(file);
                    tag.SetTitle(title);
                    tag.SetComment(std::string(5000 + title.size() % 2, 'c')); // over 4,096 bytes: rebuilt
                    return tag.WriteTags(file);
                }));
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "saves") == 0)
        return Saves(std::max(1, std::atoi(argv[2])), argv[3]);
    if (argc != 3) {
        std::fprintf(stderr, "usage: tag_memory_bench ape|ape-write|id3v2|id3v2-write|mpeg FILE\n");
        return 2;
    }
    const std::string what = argv[1];
    const std::filesystem::path file = argv[2];
    const long before = PeakKiB();
    const auto t0 = std::chrono::steady_clock::now();
    size_t items = 0;
    bool ok = false;
    if (what == "ape" || what == "ape-write") {
        tags::TAPETag ape;
        ok = ape.ReadTags(file);
        items = ape.ItemCount();
        if (ok && what == "ape-write") {
            ape.SetItem("Title", "A new title");
            ok = ape.WriteTags(file);
        }
        if (!ape.Error().empty()) std::fprintf(stderr, "%s\n", ape.Error().c_str());
    } else if (what == "id3v2" || what == "id3v2-write") {
        tags::TID3v2 tag;
        tags::TWideFileStream stream(file, tags::ModeReadShared);
        ok = tag.ReadTags(stream);
        items = tag.Size();
        if (ok && what == "id3v2-write") {
            tag.SetTitle("A new title");
            tags::TID3v2::TWritePlan plan;
            ok = tag.PlanWrite(stream, plan);
            items = plan.tag.size();
        }
    } else if (what == "mpeg") {
        tags::TMPEGaudio mpeg;
        ok = mpeg.ReadInfo(file) && mpeg.Valid();
        items = static_cast<size_t>(mpeg.AudioEnd - mpeg.AudioStart);
    } else {
        std::fprintf(stderr, "unknown: %s\n", what.c_str());
        return 2;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%zu %.3f %ld\n", items, seconds, (PeakKiB() - before) * 1024);
    return ok ? 0 : 1;
}
