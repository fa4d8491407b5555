#include "common/test_files.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace testutil {

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = fs::temp_directory_path() / ("quillotone-test-" + std::to_string(rd()));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; give them back write permission first.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

static std::string readAll(int fd) {
    std::string s;
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        s.append(buf, static_cast<size_t>(n));
    return s;
}

RunResult run(const std::vector<std::string>& argv) {
    RunResult result;
    // Outputs go to temporary files so that a chatty program cannot fill a pipe and block.
    char outName[] = "/tmp/quillotone-run-outXXXXXX";
    char errName[] = "/tmp/quillotone-run-errXXXXXX";
    int outFd = mkstemp(outName);
    int errFd = mkstemp(errName);
    if (outFd < 0 || errFd < 0) return result;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, 1);
        dup2(errFd, 2);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    lseek(outFd, 0, SEEK_SET);
    lseek(errFd, 0, SEEK_SET);
    result.out = readAll(outFd);
    result.err = readAll(errFd);
    close(outFd);
    close(errFd);
    unlink(outName);
    unlink(errName);
    return result;
}

bool makeTone(const fs::path& out, const std::vector<std::string>& codecArgs, double seconds, int freq,
              int rate, int channels, const std::vector<std::string>& extraArgs) {
    std::vector<std::string> argv = {"ffmpeg",
                                     "-nostdin",
                                     "-hide_banner",
                                     "-loglevel",
                                     "error",
                                     "-y",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "sine=frequency=" + std::to_string(freq) + ":sample_rate=" +
                                         std::to_string(rate) + ":duration=" + std::to_string(seconds),
                                     "-ac",
                                     std::to_string(channels)};
    argv.insert(argv.end(), codecArgs.begin(), codecArgs.end());
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    argv.push_back(out.string());
    RunResult r = run(argv);
    EXPECT_EQ(r.exitCode, 0) << "ffmpeg failed for " << out << ": " << r.err;
    return r.exitCode == 0;
}

static std::string lower(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string ProbeInfo::tag(const std::string& key) const {
    for (const auto& [k, v] : tags)
        if (k == lower(key)) return v;
    return {};
}

ProbeInfo probe(const fs::path& file) {
    ProbeInfo info;
    // flat output: one key=value per line, simple to parse without a JSON library
    RunResult r = run({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                       "stream=codec_name,sample_rate,channels,bit_rate,duration:stream_tags:format="
                       "format_name,duration,bit_rate:format_tags",
                       "-of", "flat=s=_", file.string()});
    if (r.exitCode != 0) return info;
    std::istringstream in(r.out);
    std::string line;
    double streamDuration = 0, formatDuration = 0;
    int64_t streamRate = 0, formatRate = 0;
    while (std::getline(in, line)) {
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        // flat output escapes quotes and backslashes
        std::string unescaped;
        for (size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) {
                ++i;
                unescaped += value[i] == 'n' ? '\n' : value[i];
            } else {
                unescaped += value[i];
            }
        }
        value = unescaped;
        auto num = [&](auto fallback) {
            try {
                return static_cast<decltype(fallback)>(std::stod(value));
            } catch (...) {
                return fallback;
            }
        };
        if (key == "streams_stream_0_codec_name")
            info.codec = value;
        else if (key == "streams_stream_0_sample_rate")
            info.sampleRate = num(0);
        else if (key == "streams_stream_0_channels")
            info.channels = num(0);
        else if (key == "streams_stream_0_duration")
            streamDuration = num(0.0);
        else if (key == "streams_stream_0_bit_rate")
            streamRate = num(int64_t{0});
        else if (key == "format_format_name")
            info.formatName = value;
        else if (key == "format_duration")
            formatDuration = num(0.0);
        else if (key == "format_bit_rate")
            formatRate = num(int64_t{0});
        else if (key.rfind("format_tags_", 0) == 0)
            info.tags.emplace_back(lower(key.substr(12)), value);
        else if (key.rfind("streams_stream_0_tags_", 0) == 0)
            info.tags.emplace_back(lower(key.substr(22)), value);
    }
    info.duration = streamDuration > 0 ? streamDuration : formatDuration;
    info.bitRate = streamRate > 0 ? streamRate : formatRate;
    info.ok = !info.codec.empty();
    return info;
}

std::vector<float> decodeMono(const fs::path& file, int rate) {
    TempDir dir;
    fs::path raw = dir / "decoded.f32";
    RunResult r = run({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-i", file.string(),
                       "-ac", "1", "-ar", std::to_string(rate), "-f", "f32le", raw.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<uint8_t> bytes = readFile(raw);
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

double energyShareAt(const std::vector<float>& samples, int rate, double freq, double bandHz) {
    // The middle half avoids encoder delay and fades at the ends.
    size_t begin = samples.size() / 4, end = samples.size() * 3 / 4;
    size_t n = end - begin;
    if (n < 1000) return 0;
    double total = 0;
    for (size_t i = begin; i < end; ++i)
        total += double(samples[i]) * samples[i];
    if (total <= 0) return 0;
    double best = 0;
    for (double f = freq - bandHz; f <= freq + bandHz; f += 1.0) {
        // Goertzel power at f
        double w = 2 * M_PI * f / rate, coeff = 2 * std::cos(w), s1 = 0, s2 = 0;
        for (size_t i = begin; i < end; ++i) {
            double s0 = samples[i] + coeff * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
        best = std::max(best, 2 * power / (double(n) * total));
    }
    return std::min(best, 1.0);
}

std::vector<uint8_t> readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string toolPath(const std::string& name) {
    return std::string(QUILLOTONE_TOOLS_DIR) + "/" + name;
}

} // namespace testutil
