// libsndfile and libopenmpt opened by soname on first use.
#include "audio/OptionalLibraries.h"

#include <dlfcn.h>

namespace corvane::audio {
namespace {

// Looks symbol up in library and stores it in slot; false when it is missing.
template <typename Function>
bool Resolve(void* library, const char* symbol, Function& slot) {
    slot = reinterpret_cast<Function>(dlsym(library, symbol));
    return slot != nullptr;
}

// Opens soname and fills calls through resolve; false (and the library closed again) when
// it cannot be opened or a function is missing.
template <typename Calls, typename ResolveAll>
bool Load(const char* soname, Calls& calls, ResolveAll resolveAll) {
    void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return false;
    if (resolveAll(library, calls)) return true;
    dlclose(library);
    return false;
}

}  // namespace

const SndfileCalls* Sndfile() {
    static SndfileCalls calls;
    static const bool loaded = Load(kSndfileSoname, calls, [](void* library, SndfileCalls& c) {
        return Resolve(library, "sf_open_fd", c.openFd) && Resolve(library, "sf_close", c.close) &&
               Resolve(library, "sf_command", c.command) && Resolve(library, "sf_readf_short", c.readfShort) &&
               Resolve(library, "sf_error", c.error) && Resolve(library, "sf_seek", c.seek);
    });
    return loaded ? &calls : nullptr;
}

const OpenmptCalls* Openmpt() {
    static OpenmptCalls calls;
    static const bool loaded = Load(kOpenmptSoname, calls, [](void* library, OpenmptCalls& c) {
        return Resolve(library, "openmpt_module_create_from_memory2", c.createFromMemory2) &&
               Resolve(library, "openmpt_module_destroy", c.destroy) &&
               Resolve(library, "openmpt_module_get_duration_seconds", c.getDurationSeconds) &&
               Resolve(library, "openmpt_module_read_interleaved_stereo", c.readInterleavedStereo) &&
               Resolve(library, "openmpt_module_set_position_seconds", c.setPositionSeconds) &&
               Resolve(library, "openmpt_log_func_silent", c.logFuncSilent) &&
               Resolve(library, "openmpt_error_func_ignore", c.errorFuncIgnore);
    });
    return loaded ? &calls : nullptr;
}

}  // namespace corvane::audio
