#include "platform/tune/fluid_synth_api.h"

#include <QLibrary>

#include <atomic>
#include <mutex>
#include <optional>

namespace zentick::platform {

namespace {

FluidSynthApi resolve(QLibrary& library)
{
    FluidSynthApi api;
#define ZENTICK_FLUID_RESOLVE(name)                                                                                     \
    api.name = reinterpret_cast<decltype(api.name)>(library.resolve(#name));                                          \
    if (!api.name)                                                                                                     \
        return {};
    ZENTICK_FLUID_FUNCTIONS(ZENTICK_FLUID_RESOLVE)
#undef ZENTICK_FLUID_RESOLVE
#define ZENTICK_FLUID_RESOLVE_OPTIONAL(name) api.name = reinterpret_cast<decltype(api.name)>(library.resolve(#name));
    ZENTICK_FLUID_OPTIONAL_FUNCTIONS(ZENTICK_FLUID_RESOLVE_OPTIONAL)
#undef ZENTICK_FLUID_RESOLVE_OPTIONAL
    return api;
}

std::optional<FluidSynthApi> loadLibrary()
{
    // FluidSynth 2's library: libfluidsynth.so.3 on Linux, libfluidsynth-3.dll
    // on Windows (as its own installer and MSYS2 name it), and
    // libfluidsynth.3.dylib or an unversioned name elsewhere.
    for (const auto& [name, version] : {std::pair{QStringLiteral("fluidsynth"), 3},
                                       std::pair{QStringLiteral("libfluidsynth-3"), -1},
                                       std::pair{QStringLiteral("fluidsynth-3"), -1},
                                       std::pair{QStringLiteral("fluidsynth"), -1}}) {
        QLibrary library(name, version);
        // Qt would unload it at exit, under a SoundFont load that may still
        // run on its own thread.
        library.setLoadHints(QLibrary::PreventUnloadHint);
        if (!library.load())
            continue;
        FluidSynthApi api = resolve(library);
        if (api.new_fluid_settings)
            return api;  // stays loaded for the life of the process
        library.unload();
    }
    return std::nullopt;
}

}  // namespace

const FluidSynthApi* FluidSynthApi::load()
{
    // The audio thread reaches the library through here too, so the common
    // case takes no lock.
    static std::atomic<const FluidSynthApi*> loaded{nullptr};
    if (const auto* api = loaded.load(std::memory_order_acquire))
        return api;
    static std::mutex searching;
    static std::optional<FluidSynthApi> found;
    const std::lock_guard lock(searching);
    if (!found) {
        found = loadLibrary();
        if (found)
            loaded.store(&*found, std::memory_order_release);
    }
    return loaded.load(std::memory_order_acquire);
}

}  // namespace zentick::platform
