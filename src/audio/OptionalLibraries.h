// libsndfile and libopenmpt, loaded when a file first needs them, and libresample when a
// conversion first changes the sample rate (and the loader the playback library uses for
// SDL in the same way).
//
// Most sources are MPEG audio, which neither library reads. Linked in the usual way, both
// would be loaded into every process at start together with everything they need (FLAC,
// Vorbis, Opus, mpg123 and LAME again...), a few milliseconds of the dynamic loader for each
// corvane-cli run. Instead each is opened by its soname with dlopen the first time a file
// is offered to it, and the few functions the layer calls are looked up then, once per
// process. The library stays loaded until the process ends. libresample is small, but
// loading it still cost every run of corvane-cli about 35 microseconds it never used.
//
// A library that is not installed decodes nothing: its formats are then not recognised,
// like any content no decoder accepts, and the caller reports the file as unreadable;
// without libresample no conversion changes the sample rate (CPcmConverter::Prepare). The
// Debian package still depends on them (packaging/Packaging.cmake adds them, since
// dpkg-shlibdeps sees only the libraries a program links).
#pragma once

#include <libopenmpt/libopenmpt.h>
#include <libresample.h>
#include <sndfile.h>

#include <functional>

namespace corvane::audio {

// Opens soname with dlopen and calls resolveAll with its handle, which looks every function
// up with ResolveFunction. True when both succeed; otherwise the library is closed again.
// The library stays loaded until the process ends.
bool LoadOptionalLibrary(const char* soname, const std::function<bool(void* library)>& resolveAll);

// dlsym(library, symbol); nullptr when missing.
void* FindLibrarySymbol(void* library, const char* symbol);

// Looks symbol up in library into function (typed by the library's own header); false when
// it is missing.
template <typename Function>
bool ResolveFunction(void* library, const char* symbol, Function& function) {
    function = reinterpret_cast<Function>(FindLibrarySymbol(library, symbol));
    return function != nullptr;
}

// Sonames opened; the major versions of the headers compiled against.
constexpr char kSndfileSoname[] = "libsndfile.so.1";
constexpr char kOpenmptSoname[] = "libopenmpt.so.0";
constexpr char kResampleSoname[] = "libresample.so.1";

// The libsndfile functions the layer calls, with the header's own signatures.
struct SndfileCalls {
    decltype(&sf_open_fd) openFd = nullptr;
    decltype(&sf_close) close = nullptr;
    decltype(&sf_command) command = nullptr;
    decltype(&sf_readf_short) readfShort = nullptr;
    decltype(&sf_error) error = nullptr;
    decltype(&sf_seek) seek = nullptr;
};

// The libopenmpt functions the layer calls (the silent log and ignoring error functions are
// the library's own).
struct OpenmptCalls {
    decltype(&openmpt_module_create_from_memory2) createFromMemory2 = nullptr;
    decltype(&openmpt_module_destroy) destroy = nullptr;
    decltype(&openmpt_module_get_duration_seconds) getDurationSeconds = nullptr;
    decltype(&openmpt_module_read_interleaved_stereo) readInterleavedStereo = nullptr;
    decltype(&openmpt_module_set_position_seconds) setPositionSeconds = nullptr;
    decltype(&openmpt_log_func_silent) logFuncSilent = nullptr;
    decltype(&openmpt_error_func_ignore) errorFuncIgnore = nullptr;
};

// The libresample functions the converter calls.
struct ResampleCalls {
    decltype(&resample_open) open = nullptr;
    decltype(&resample_process) process = nullptr;
    decltype(&resample_close) close = nullptr;
};

// The loaded library's functions, every one set; nullptr when the library cannot be loaded
// or lacks one of them. The first call loads it (thread-safe); later calls return the same
// pointer, valid until the process ends.
const SndfileCalls* Sndfile();
const OpenmptCalls* Openmpt();
const ResampleCalls* Resample();

}  // namespace corvane::audio
