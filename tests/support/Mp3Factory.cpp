// Test helpers that make MP3 files and run programs.
#include "support/Mp3Factory.h"

#include <lame/lame.h>

#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

#include "audio/MpegFrameHeader.h"

namespace corvane::test {
namespace fs = std::filesystem;

std::vector<int16_t> SynthesizePcm(int sampleRate, int channels, double seconds, double amplitude) {
    const int64_t frames = static_cast<int64_t>(seconds * sampleRate);
    std::vector<int16_t> pcm(static_cast<size_t>(frames * channels));
    const double twoPi = 6.283185307179586;
    for (int64_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const double f = 220.0 + 110.0 * std::sin(twoPi * 0.25 * t);  // slow sweep
        const double left = amplitude * std::sin(twoPi * f * t);
        const double right = amplitude * std::sin(twoPi * f * 1.5 * t);
        pcm[static_cast<size_t>(i * channels)] = static_cast<int16_t>(left * 32767);
        if (channels == 2) pcm[static_cast<size_t>(i * 2 + 1)] = static_cast<int16_t>(right * 32767);
    }
    return pcm;
}

Bytes EncodePcm(const EncodeOptions& o, const std::vector<int16_t>& pcm) {
    lame_global_flags* gf = lame_init();
    lame_set_in_samplerate(gf, o.sampleRate);
    lame_set_out_samplerate(gf, o.sampleRate);
    lame_set_num_channels(gf, o.channels);
    lame_set_mode(gf, static_cast<MPEG_mode>(o.mode));
    lame_set_write_id3tag_automatic(gf, 0);
    lame_set_bWriteVbrTag(gf, o.infoFrame ? 1 : 0);
    if (o.vbr) {
        lame_set_VBR(gf, vbr_default);
        lame_set_VBR_q(gf, o.vbrQuality);
    } else {
        lame_set_VBR(gf, vbr_off);
        lame_set_brate(gf, o.kbps);
    }
    if (lame_init_params(gf) < 0) {
        lame_close(gf);
        throw std::runtime_error("lame_init_params refused the test parameters");
    }
    const int frames = static_cast<int>(pcm.size() / static_cast<size_t>(o.channels));
    Bytes out(static_cast<size_t>(frames) * 5 / 4 + 7200 + 16384);
    std::vector<int16_t> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        left[static_cast<size_t>(i)] = pcm[static_cast<size_t>(i * o.channels)];
        right[static_cast<size_t>(i)] = pcm[static_cast<size_t>(i * o.channels + (o.channels - 1))];
    }
    int n = lame_encode_buffer(gf, left.data(), right.data(), frames, out.data(), static_cast<int>(out.size()));
    if (n < 0) throw std::runtime_error("lame_encode_buffer failed");
    size_t used = static_cast<size_t>(n);
    n = lame_encode_flush(gf, out.data() + used, static_cast<int>(out.size() - used));
    if (n < 0) throw std::runtime_error("lame_encode_flush failed");
    used += static_cast<size_t>(n);
    out.resize(used);
    if (o.infoFrame) {
        uint8_t tag[4096];
        const size_t tagLength = lame_get_lametag_frame(gf, tag, sizeof tag);
        if (tagLength > 0 && tagLength <= out.size()) std::memcpy(out.data(), tag, tagLength);
    }
    lame_close(gf);
    return out;
}

Bytes EncodeMp3(const EncodeOptions& o) { return EncodePcm(o, SynthesizePcm(o.sampleRate, o.channels, o.seconds)); }

namespace {

void AppendSyncsafe(Bytes& b, uint32_t v) {
    b.push_back(uint8_t((v >> 21) & 0x7F));
    b.push_back(uint8_t((v >> 14) & 0x7F));
    b.push_back(uint8_t((v >> 7) & 0x7F));
    b.push_back(uint8_t(v & 0x7F));
}

void AppendBig32(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v >> 24));
    b.push_back(uint8_t(v >> 16));
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}

// UTF-8 to UTF-16LE code units (with surrogate pairs).
std::u16string Utf16(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        int extra;
        if (c < 0x80) { cp = c; extra = 0; }
        else if ((c >> 5) == 6) { cp = c & 0x1F; extra = 1; }
        else if ((c >> 4) == 14) { cp = c & 0x0F; extra = 2; }
        else { cp = c & 0x07; extra = 3; }
        ++i;
        for (int k = 0; k < extra && i < s.size(); ++k, ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

Bytes EncodeText(int version, bool latin1, const std::string& text, bool terminate) {
    Bytes b;
    if (latin1) {
        b.push_back(0);
        b.insert(b.end(), text.begin(), text.end());
        if (terminate) b.push_back(0);
    } else if (version >= 4) {
        b.push_back(3);
        b.insert(b.end(), text.begin(), text.end());
        if (terminate) b.push_back(0);
    } else {
        b.push_back(1);
        b.push_back(0xFF);
        b.push_back(0xFE);
        for (char16_t u : Utf16(text)) {
            b.push_back(uint8_t(u & 0xFF));
            b.push_back(uint8_t(u >> 8));
        }
        if (terminate) { b.push_back(0); b.push_back(0); }
    }
    return b;
}

}  // namespace

Bytes MakeId3v2Tag(int version, const std::vector<Id3Frame>& frames, bool footer, bool latin1, size_t padding) {
    Bytes body;
    for (const Id3Frame& f : frames) {
        Bytes content;
        if (f.id == "COMM") {
            Bytes enc = EncodeText(version, latin1, "", true);  // encoding byte + empty description
            content.push_back(enc[0]);
            content.insert(content.end(), {'e', 'n', 'g'});
            content.insert(content.end(), enc.begin() + 1, enc.end());
            Bytes text = EncodeText(version, latin1, f.text, false);
            content.insert(content.end(), text.begin() + 1, text.end());
        } else {
            content = EncodeText(version, latin1, f.text, false);
        }
        body.insert(body.end(), f.id.begin(), f.id.end());
        if (version >= 4) AppendSyncsafe(body, static_cast<uint32_t>(content.size()));
        else AppendBig32(body, static_cast<uint32_t>(content.size()));
        body.push_back(0);
        body.push_back(0);
        body.insert(body.end(), content.begin(), content.end());
    }
    body.resize(body.size() + padding, 0);
    Bytes tag = {'I', 'D', '3', static_cast<uint8_t>(version), 0, static_cast<uint8_t>(footer ? 0x10 : 0)};
    AppendSyncsafe(tag, static_cast<uint32_t>(body.size()));
    tag.insert(tag.end(), body.begin(), body.end());
    if (footer) {
        Bytes foot = {'3', 'D', 'I', static_cast<uint8_t>(version), 0, 0x10};
        AppendSyncsafe(foot, static_cast<uint32_t>(body.size()));
        tag.insert(tag.end(), foot.begin(), foot.end());
    }
    return tag;
}

Bytes MakeId3v1Tag(const std::string& title, const std::string& artist, const std::string& album,
                   const std::string& year, int track, int genre) {
    Bytes tag(128, 0);
    std::memcpy(tag.data(), "TAG", 3);
    auto put = [&](size_t at, const std::string& s, size_t n) { std::memcpy(tag.data() + at, s.data(), std::min(n, s.size())); };
    put(3, title, 30);
    put(33, artist, 30);
    put(63, album, 30);
    put(93, year, 4);
    tag[125] = 0;
    tag[126] = static_cast<uint8_t>(track);
    tag[127] = static_cast<uint8_t>(genre);
    return tag;
}

Bytes MakeFrameHeader(int version, int layer, int bitrateIndex, int sampleRateIndex, int padding, int channelMode,
                      int emphasis) {
    const int layerBits = 4 - layer;  // Layer I 3, II 2, III 1
    return {0xFF, static_cast<uint8_t>(0xE0 | (version << 3) | (layerBits << 1) | 1),
            static_cast<uint8_t>((bitrateIndex << 4) | (sampleRateIndex << 2) | (padding << 1)),
            static_cast<uint8_t>((channelMode << 6) | emphasis)};
}

Bytes MakeFrame(int version, int layer, int bitrateIndex, int sampleRateIndex, int padding, int channelMode,
                int emphasis, size_t freeFormatLength) {
    Bytes frame = MakeFrameHeader(version, layer, bitrateIndex, sampleRateIndex, padding, channelMode, emphasis);
    size_t length = freeFormatLength;
    if (bitrateIndex != 0 && IsFrameHeader(frame.data())) length = static_cast<size_t>(DecodeFrameHeader(frame.data()).frameLength);
    frame.resize(std::max<size_t>(length, 4), 0);
    return frame;
}

Bytes RepeatFrame(const Bytes& frame, int count) {
    Bytes out;
    out.reserve(frame.size() * static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) out.insert(out.end(), frame.begin(), frame.end());
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<size_t> FrameOffsets(const Bytes& data, size_t start) {
    std::vector<size_t> offsets;
    size_t at = start;
    while (at + 4 <= data.size() && IsFrameHeader(data.data() + at)) {
        const size_t length = static_cast<size_t>(DecodeFrameHeader(data.data() + at).frameLength);
        if (at + length > data.size()) break;
        offsets.push_back(at);
        at += length;
    }
    return offsets;
}

void WriteFile(const fs::path& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "corvane-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

ProcessResult RunProcess(const std::vector<std::string>& argv) {
    ProcessResult result;
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return result;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        const int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        close(outPipe[0]);
        close(errPipe[0]);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

namespace {

// The WAV file a decoder wrote (as p ran), read into a result.
DecodeResult ReadDecodedWav(const ProcessResult& p, const std::string& wav) {
    DecodeResult r;
    r.messages = p.err;
    const Bytes data = ReadFile(wav);
    if (p.exitCode != 0 || data.size() < 44) return r;
    // Walk the RIFF chunks for "fmt " and "data".
    size_t at = 12;
    while (at + 8 <= data.size()) {
        const uint32_t size = data[at + 4] | (data[at + 5] << 8) | (data[at + 6] << 16) | (uint32_t(data[at + 7]) << 24);
        if (std::memcmp(&data[at], "fmt ", 4) == 0 && at + 16 <= data.size()) {
            r.channels = data[at + 10] | (data[at + 11] << 8);
            r.sampleRate = static_cast<int>(data[at + 12] | (data[at + 13] << 8) | (data[at + 14] << 16) | (uint32_t(data[at + 15]) << 24));
        } else if (std::memcmp(&data[at], "data", 4) == 0) {
            const size_t bytes = std::min<size_t>(size, data.size() - at - 8);
            r.pcm.resize(bytes / 2);
            std::memcpy(r.pcm.data(), &data[at + 8], r.pcm.size() * 2);
            break;
        }
        at += 8 + size + (size & 1);
    }
    if (r.channels > 0) r.samples = static_cast<int64_t>(r.pcm.size()) / r.channels;
    return r;
}

}  // namespace

DecodeResult DecodeWithMpg123(const std::string& path) {
    TempDir dir;
    const std::string wav = dir / "out.wav";
    DecodeResult r = ReadDecodedWav(RunProcess({"mpg123", "-q", "--no-gapless", "-w", wav, path}), wav);
    r.ok = r.channels > 0 && r.messages.find("rror") == std::string::npos;
    return r;
}

DecodeResult DecodeGapless(const std::string& path) {
    TempDir dir;
    const std::string wav = dir / "out.wav";
    DecodeResult r = ReadDecodedWav(RunProcess({"ffmpeg", "-loglevel", "error", "-i", path, wav}), wav);
    r.ok = r.channels > 0 && r.messages.empty();
    return r;
}

std::string CliPath() { return CORVANE_CLI_PATH; }

Bytes MakeWav(int rate, int channels, double seconds) {
    const std::vector<int16_t> pcm = SynthesizePcm(rate, channels, seconds);
    const uint32_t dataBytes = static_cast<uint32_t>(pcm.size() * 2);
    const uint32_t byteRate = static_cast<uint32_t>(rate * channels * 2);
    constexpr uint32_t kHeaderBytes = 44;
    Bytes wav;
    wav.reserve(kHeaderBytes + dataBytes);
    auto text = [&](const char* t) {
        for (int i = 0; i < 4; ++i) wav.push_back(static_cast<uint8_t>(t[i]));
    };
    auto number = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) wav.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    text("RIFF");
    number(kHeaderBytes - 8 + dataBytes, 4);
    text("WAVE");
    text("fmt ");
    number(16, 4);
    number(1, 2);
    number(static_cast<uint32_t>(channels), 2);
    number(static_cast<uint32_t>(rate), 4);
    number(byteRate, 4);
    number(static_cast<uint32_t>(channels * 2), 2);
    number(16, 2);
    text("data");
    number(dataBytes, 4);
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    wav.insert(wav.end(), bytes, bytes + dataBytes);
    return wav;
}

}  // namespace corvane::test
