// Helpers shared by the tests: temporary folders, generated audio, and the outside tools
// (ffmpeg, ffprobe) used as independent writers and readers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testutil {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

struct RunResult {
    int exitCode = -1;
    std::string out; // standard output
    std::string err; // standard error
};

// Runs a program with arguments (no shell), capturing both outputs.
RunResult run(const std::vector<std::string>& argv);

// Generates audio with the ffmpeg tool. `codecArgs` such as {"-c:a", "libmp3lame", "-b:a", "128k"}.
// The signal is a sine of `freq` Hz, `seconds` long, at `rate` Hz with `channels` channels.
// Fails the current test (and returns false) when ffmpeg fails.
bool makeTone(const fs::path& out, const std::vector<std::string>& codecArgs, double seconds = 1.0,
              int freq = 1000, int rate = 44100, int channels = 2,
              const std::vector<std::string>& extraArgs = {});

// ffprobe's view of the first audio stream and the format.
struct ProbeInfo {
    bool ok = false;
    std::string codec; // codec_name
    int sampleRate = 0;
    int channels = 0;
    double duration = 0; // seconds
    int64_t bitRate = 0; // bit/s of the stream, or of the format when the stream has none
    std::string formatName;
    std::vector<std::pair<std::string, std::string>> tags; // format and stream tags, keys lower-cased
    std::string tag(const std::string& key) const;
};
ProbeInfo probe(const fs::path& file);

// Decodes the first audio stream with ffmpeg to mono float samples at `rate`.
std::vector<float> decodeMono(const fs::path& file, int rate = 44100);

// Share of the signal's energy within +-`bandHz` of `freq` (0..1), by a plain DFT scan.
double energyShareAt(const std::vector<float>& samples, int rate, double freq, double bandHz = 30);

std::vector<uint8_t> readFile(const fs::path& file);
void writeFile(const fs::path& file, const std::vector<uint8_t>& bytes);

std::string toolPath(const std::string& name); // build/tools/<name>

} // namespace testutil
