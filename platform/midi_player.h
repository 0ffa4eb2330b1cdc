#pragma once

#include <filesystem>
#include <stdexcept>
#include <string_view>

namespace zentick::platform {

// A refused player step; what() names what failed, in Japanese.
class MidiError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What an open device is doing, as the tune's window shows it.
enum class MidiState {
    Closed,
    Opening,  // asked to open and play; the player has not said yet how that went
    Loading,  // open, with the sounds still loading; the tune starts once they are in
    Stopped,  // open and silent: not started yet, or played through (then no audio output is held)
    Playing,
};

// A MIDI sequencer device that plays one file. Steps that the player
// refuses throw MidiError, at once or, from a player that answers later, at
// the next poll() while the device is still Opening.
class MidiPlayer {
public:
    virtual ~MidiPlayer() = default;
    // `tune` may be wanted soon: start loading the sounds it needs in the
    // background, so that opening is quick when the alarm comes. Cheap to
    // call again.
    virtual void prepare(const std::filesystem::path& /*tune*/) {}
    // No tune is wanted for now: free the sounds, unless a device is open.
    // A load that failed is forgotten too, so the next prepare() tries anew.
    virtual void release() noexcept {}
    virtual void setDeviceType(std::string_view type) = 0;  // "Sequencer"
    virtual void setFileName(const std::filesystem::path& file) = 0;
    // Opens the named file on a device; fails when the file is missing,
    // unreadable or no Standard MIDI File, or no sound can be made. Sounds
    // that failed to load are tried again. Never waits long for sounds still
    // loading: the device then opens Loading.
    virtual void open() = 0;
    // Starts the tune from its beginning, or as soon as the sounds are in,
    // and returns at once. The tune plays once; the device stays open after.
    virtual void play() = 0;
    // Stops at once and frees the device.
    virtual void close() noexcept = 0;
    virtual bool isOpen() const noexcept = 0;
    // Moves an open device on: starts a tune that was Loading, and lets go
    // of the audio output once the tune has died away. Called now and then
    // while the device is open. Throws MidiError when a step was refused,
    // the sounds failed to load or took too long, or the tune stopped being
    // heard before its end.
    virtual MidiState poll() = 0;
};

}  // namespace zentick::platform
