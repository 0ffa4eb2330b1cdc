#pragma once

#include <fluidsynth.h>

#include <memory>

namespace zentick::platform {

// The part of FluidSynth the player uses, resolved from the shared library
// at run time. FluidSynth and the audio libraries behind it are large; a
// clock that never plays a tune never loads them, and a machine without
// FluidSynth still runs the clock.
struct FluidSynthApi {
#define ZENTICK_FLUID_FUNCTIONS(X)                                                                                      \
    X(new_fluid_settings)                                                                                              \
    X(delete_fluid_settings)                                                                                           \
    X(fluid_settings_get_type)                                                                                         \
    X(fluid_settings_getnum)                                                                                           \
    X(fluid_settings_setnum)                                                                                           \
    X(fluid_settings_setint)                                                                                           \
    X(fluid_settings_setstr)                                                                                           \
    X(fluid_settings_copystr)                                                                                          \
    X(new_fluid_synth)                                                                                                 \
    X(delete_fluid_synth)                                                                                              \
    X(fluid_synth_sfload)                                                                                              \
    X(fluid_synth_add_sfloader)                                                                                        \
    X(new_fluid_defsfloader)                                                                                           \
    X(fluid_sfloader_set_callbacks)                                                                                    \
    X(fluid_synth_system_reset)                                                                                        \
    X(fluid_synth_all_sounds_off)                                                                                      \
    X(fluid_synth_set_bank_offset)                                                                                     \
    X(fluid_synth_cc)                                                                                                  \
    X(fluid_synth_program_change)                                                                                      \
    X(fluid_synth_program_select)                                                                                      \
    X(fluid_synth_get_program)                                                                                         \
    X(fluid_synth_sysex)                                                                                               \
    X(fluid_synth_count_midi_channels)                                                                                 \
    X(fluid_synth_get_channel_preset)                                                                                  \
    X(fluid_preset_get_sfont)                                                                                          \
    X(fluid_preset_get_banknum)                                                                                        \
    X(fluid_preset_get_num)                                                                                            \
    X(fluid_sfont_get_id)                                                                                              \
    X(fluid_synth_process)                                                                                             \
    X(fluid_synth_get_active_voice_count)                                                                              \
    X(new_fluid_player)                                                                                                \
    X(delete_fluid_player)                                                                                             \
    X(fluid_player_add_mem)                                                                                            \
    X(fluid_player_play)                                                                                               \
    X(fluid_player_get_status)                                                                                         \
    X(fluid_player_get_current_tick)                                                                                   \
    X(fluid_player_get_total_ticks)                                                                                    \
    X(new_fluid_audio_driver)                                                                                          \
    X(new_fluid_audio_driver2)                                                                                         \
    X(delete_fluid_audio_driver)
// Since FluidSynth 2.2: without them, every sample is loaded with the SoundFont.
#define ZENTICK_FLUID_OPTIONAL_FUNCTIONS(X)                                                                             \
    X(fluid_synth_pin_preset)                                                                                          \
    X(fluid_synth_unpin_preset)
#define ZENTICK_FLUID_POINTER(name) decltype(&::name) name = nullptr;
    ZENTICK_FLUID_FUNCTIONS(ZENTICK_FLUID_POINTER)
    ZENTICK_FLUID_OPTIONAL_FUNCTIONS(ZENTICK_FLUID_POINTER)
#undef ZENTICK_FLUID_POINTER

    // The library, loaded once it has been found; null while it cannot be.
    // A library that was missing is looked for again on the next call, so
    // installing FluidSynth takes effect without a restart. Thread-safe.
    static const FluidSynthApi* load();
};

// The loaded library. Handles exist only once it has loaded, so their
// deleters, and whatever holds a handle, can rely on it.
inline const FluidSynthApi& fluid()
{
    return *FluidSynthApi::load();
}

struct FluidDelete {
    void operator()(fluid_settings_t* settings) const noexcept { fluid().delete_fluid_settings(settings); }
    void operator()(fluid_synth_t* synth) const noexcept { fluid().delete_fluid_synth(synth); }
    void operator()(fluid_player_t* player) const noexcept { fluid().delete_fluid_player(player); }
    void operator()(fluid_audio_driver_t* driver) const noexcept { fluid().delete_fluid_audio_driver(driver); }
};
using SettingsPtr = std::unique_ptr<fluid_settings_t, FluidDelete>;
using SynthPtr = std::unique_ptr<fluid_synth_t, FluidDelete>;
using PlayerPtr = std::unique_ptr<fluid_player_t, FluidDelete>;
using DriverPtr = std::unique_ptr<fluid_audio_driver_t, FluidDelete>;

}  // namespace zentick::platform
