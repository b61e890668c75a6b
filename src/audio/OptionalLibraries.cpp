// libsndfile, libopenmpt and libresample opened by soname on first use.
#include "audio/OptionalLibraries.h"

#include <dlfcn.h>

namespace corvane::audio {

bool LoadOptionalLibrary(const char* soname, const std::function<bool(void* library)>& resolveAll) {
    void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return false;
    if (resolveAll(library)) return true;
    dlclose(library);
    return false;
}

void* FindLibrarySymbol(void* library, const char* symbol) { return dlsym(library, symbol); }

const SndfileCalls* Sndfile() {
    static SndfileCalls c;
    static const bool loaded = LoadOptionalLibrary(kSndfileSoname, [](void* library) {
        return ResolveFunction(library, "sf_open_fd", c.openFd) && ResolveFunction(library, "sf_close", c.close) &&
               ResolveFunction(library, "sf_command", c.command) &&
               ResolveFunction(library, "sf_readf_short", c.readfShort) &&
               ResolveFunction(library, "sf_error", c.error) && ResolveFunction(library, "sf_seek", c.seek);
    });
    return loaded ? &c : nullptr;
}

const OpenmptCalls* Openmpt() {
    static OpenmptCalls c;
    static const bool loaded = LoadOptionalLibrary(kOpenmptSoname, [](void* library) {
        return ResolveFunction(library, "openmpt_module_create_from_memory2", c.createFromMemory2) &&
               ResolveFunction(library, "openmpt_module_destroy", c.destroy) &&
               ResolveFunction(library, "openmpt_module_get_duration_seconds", c.getDurationSeconds) &&
               ResolveFunction(library, "openmpt_module_read_interleaved_stereo", c.readInterleavedStereo) &&
               ResolveFunction(library, "openmpt_module_set_position_seconds", c.setPositionSeconds) &&
               ResolveFunction(library, "openmpt_log_func_silent", c.logFuncSilent) &&
               ResolveFunction(library, "openmpt_error_func_ignore", c.errorFuncIgnore);
    });
    return loaded ? &c : nullptr;
}

const ResampleCalls* Resample() {
    static ResampleCalls c;
    static const bool loaded = LoadOptionalLibrary(kResampleSoname, [](void* library) {
        return ResolveFunction(library, "resample_open", c.open) &&
               ResolveFunction(library, "resample_process", c.process) &&
               ResolveFunction(library, "resample_close", c.close);
    });
    return loaded ? &c : nullptr;
}

}  // namespace corvane::audio
