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

// A MIDI sequencer device that plays one file. Steps that the player
// refuses throw MidiError.
class MidiPlayer {
public:
    virtual ~MidiPlayer() = default;
    // A tune may be wanted soon: get ready without blocking, so that opening
    // is quick when the alarm comes. Cheap to call again.
    virtual void prepare() {}
    virtual void setDeviceType(std::string_view type) = 0;  // "Sequencer"
    virtual void setFileName(const std::filesystem::path& file) = 0;
    // Opens the named file on a device; fails when the file is missing,
    // unreadable or no Standard MIDI File, or no sound can be made.
    virtual void open() = 0;
    // Starts the tune from its beginning and returns at once. The tune plays
    // once; the device stays open after it ends.
    virtual void play() = 0;
    // Stops at once and frees the device.
    virtual void close() noexcept = 0;
    virtual bool isOpen() const noexcept = 0;
    virtual bool isPlaying() const noexcept = 0;
};

}  // namespace zentick::platform
