// Test helpers that make MP3 files: LAME-encoded synthesized PCM, ID3v2 tags built byte by
// byte, hand-made frames, and small file and process utilities.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace corvane::test {

using Bytes = std::vector<uint8_t>;

// A tone with a slow sweep, so that neighbouring frames differ; interleaved when stereo.
std::vector<int16_t> SynthesizePcm(int sampleRate, int channels, double seconds, double amplitude = 0.5);

enum class Mode { Stereo = 0, JointStereo = 1, Mono = 3 };

struct EncodeOptions {
    int sampleRate = 44100;   // input and output rate
    int channels = 2;
    Mode mode = Mode::JointStereo;
    int kbps = 128;           // CBR bit rate
    bool vbr = false;         // VBR (quality vbrQuality) instead of CBR
    int vbrQuality = 4;
    bool infoFrame = false;   // write LAME's Xing/Info frame first
    double seconds = 5.0;
};

// Encodes SynthesizePcm audio with LAME; the result holds only MPEG frames (no tag).
Bytes EncodeMp3(const EncodeOptions& options);
// Encodes given interleaved PCM.
Bytes EncodePcm(const EncodeOptions& options, const std::vector<int16_t>& pcm);

// A 16-bit PCM WAV file of SynthesizePcm audio.
Bytes MakeWav(int rate, int channels, double seconds);

struct Id3Frame {
    std::string id;    // "TIT2", "TPE1", "COMM", ...
    std::string text;  // UTF-8
};

// An ID3v2 tag of version 3 (texts as UTF-16 with BOM, or Latin-1 when latin1 is set) or
// version 4 (texts as UTF-8). COMM frames get language "eng" and an empty description.
Bytes MakeId3v2Tag(int version, const std::vector<Id3Frame>& frames, bool footer = false, bool latin1 = false,
                   size_t padding = 0);

// A 128-byte ID3v1.1 tag.
Bytes MakeId3v1Tag(const std::string& title, const std::string& artist, const std::string& album,
                   const std::string& year, int track, int genre);

// The four header bytes of a frame. version: 0 MPEG 2.5, 2 MPEG 2, 3 MPEG 1; layer 1..3.
Bytes MakeFrameHeader(int version, int layer, int bitrateIndex, int sampleRateIndex, int padding,
                      int channelMode, int emphasis = 0);
// A whole frame of that header with zeroed data (silence for Layer III); free format
// (bitrateIndex 0) gets length bytes.
Bytes MakeFrame(int version, int layer, int bitrateIndex, int sampleRateIndex, int padding, int channelMode,
                int emphasis = 0, size_t freeFormatLength = 0);
// count copies of MakeFrame.
Bytes RepeatFrame(const Bytes& frame, int count);

Bytes Concat(std::initializer_list<Bytes> parts);

// Byte offsets of the frames of data found by walking frame lengths from start.
std::vector<size_t> FrameOffsets(const Bytes& data, size_t start);

void WriteFile(const std::filesystem::path& path, const Bytes& data);
Bytes ReadFile(const std::filesystem::path& path);

// A fresh folder under the system's temporary folder, removed when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs argv (no shell) and collects its output. stdinText is written to its stdin.
ProcessResult RunProcess(const std::vector<std::string>& argv);

// Decodes path with the mpg123 program (no gapless trimming) and returns the number of
// sample frames per channel; ok is false when mpg123 failed or reported an error.
struct DecodeResult {
    bool ok = false;
    int64_t samples = 0;  // per channel
    int channels = 0;
    int sampleRate = 0;
    std::vector<int16_t> pcm;  // interleaved
    std::string messages;
};
DecodeResult DecodeWithMpg123(const std::string& path);
// The same by ffmpeg, which plays a file as gapless players do: without the samples its LAME
// tag's encoder delay and padding name (and the decoder's own delay with them). ok is false
// when ffmpeg failed or reported anything.
DecodeResult DecodeGapless(const std::string& path);

// The path of the built corvane-cli.
std::string CliPath();

}  // namespace corvane::test
