// libopenmpt module music: load, render to 16-bit stereo, seek.
#include "audio/LibraryModuleMusic.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <vector>

#include "audio/LibraryMpegStream.h"
#include "audio/OptionalLibraries.h"

namespace corvane::audio {
namespace {

// Larger files are no module anyone plays; refusing them keeps a stray huge file out of memory.
constexpr int64_t kMaxModuleFileSize = 256LL * 1024 * 1024;

// Reads the whole regular file at path into data. False when it is no regular file, is
// empty or larger than kMaxModuleFileSize, or cannot be read to its end.
bool ReadModuleFile(const std::string& path, std::vector<char>& data) {
    struct stat st {};
    const int fd = OpenRegularFile(path, &st);
    if (fd < 0) return false;
    bool ok = st.st_size > 0 && st.st_size <= kMaxModuleFileSize;
    if (ok) data.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (ok && done < data.size()) {
        const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ::close(fd);
    return ok;
}

}  // namespace

CLibraryModuleMusic::CLibraryModuleMusic(const std::string& path, const OpenmptCalls& mpt, openmpt_module* module,
                                         uint32_t freq, int64_t frames)
    : CLibraryChannel(path, LibraryFileKind::kModule), mpt_(mpt), module_(module), freq_(freq), frames_(frames) {}

CLibraryModuleMusic::~CLibraryModuleMusic() {
    if (module_ != nullptr) mpt_.destroy(module_);
}

std::unique_ptr<CLibraryModuleMusic> CLibraryModuleMusic::Load(const std::string& path, uint32_t freq) {
    if (freq == 0) return nullptr;
    std::vector<char> data;
    if (!ReadModuleFile(path, data)) return nullptr;
    const OpenmptCalls* mpt = Openmpt();
    if (mpt == nullptr) return nullptr;

    openmpt_module* module = mpt->createFromMemory2(data.data(), data.size(), mpt->logFuncSilent, nullptr,
                                                    mpt->errorFuncIgnore, nullptr, nullptr, nullptr, nullptr);
    if (module == nullptr) return nullptr;
    const double seconds = mpt->getDurationSeconds(module);
    if (!(seconds > 0.0) || !std::isfinite(seconds)) {
        mpt->destroy(module);
        return nullptr;
    }
    const auto frames = static_cast<int64_t>(std::llround(seconds * freq));
    return std::unique_ptr<CLibraryModuleMusic>(new CLibraryModuleMusic(path, *mpt, module, freq, frames));
}

ChannelInfo CLibraryModuleMusic::Info() const {
    ChannelInfo info;
    info.freq = freq_;
    info.chans = 2;
    info.ctype = kCtypeModule;
    return info;
}

int32_t CLibraryModuleMusic::GetData(void* buffer, uint32_t bytes) {
    const int64_t wanted = std::min<int64_t>(bytes / kBlockAlign, frames_ - position_);
    if (wanted <= 0) return 0;
    const size_t got = mpt_.readInterleavedStereo(module_, static_cast<int32_t>(freq_), static_cast<size_t>(wanted),
                                                  static_cast<int16_t*>(buffer));
    position_ += static_cast<int64_t>(got);
    return static_cast<int32_t>(got * kBlockAlign);
}

bool CLibraryModuleMusic::SetPosition(int64_t bytes) {
    if (bytes < 0 || bytes > Length()) return false;
    const int64_t frame = bytes / kBlockAlign;
    mpt_.setPositionSeconds(module_, static_cast<double>(frame) / freq_);
    position_ = frame;
    return true;
}

}  // namespace corvane::audio
