#include "platform/fluidsynth/fluid_synth_api.h"

#include <QLibrary>

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
    return api;
}

std::optional<FluidSynthApi> loadLibrary()
{
    // The names FluidSynth 2's library has on Linux, Windows and macOS.
    for (const auto& [name, version] : {std::pair{QStringLiteral("fluidsynth"), 3},
                                       std::pair{QStringLiteral("libfluidsynth-3"), -1},
                                       std::pair{QStringLiteral("fluidsynth"), -1}}) {
        QLibrary library(name, version);
        library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
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
    // Thread-safe: the first tune may be prepared on a background thread.
    static const std::optional<FluidSynthApi> api = loadLibrary();
    return api ? &*api : nullptr;
}

}  // namespace zentick::platform
