#include "platform/tune/tune_reader.h"

#include "platform/file_system.h"
#include "platform/midi_player.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <optional>
#include <utility>

namespace zentick::platform {

namespace {

// FluidSynth's player takes no more tracks than this.
constexpr std::int32_t kMaxTracks = 128;

constexpr int kNoteOn = 0x90;
constexpr int kControl = 0xB0;
constexpr int kProgram = 0xC0;
constexpr int kSysex = 0xF0;
constexpr int kMeta = 0xFF;
constexpr int kEndOfTrack = 0x2F;
constexpr int kEndOfExclusive = 0xF7;

// The file as FluidSynth walks it: a position that may be skipped past the
// end, one byte pushed back for running status, the bytes of the current
// track read so far, and whether a read has run past the end.
class Walk {
public:
    explicit Walk(std::string_view bytes) : m_bytes(bytes) {}

    // The next byte, or -1 past the end.
    int get()
    {
        if (m_pushed >= 0)
            return std::exchange(m_pushed, -1);
        if (m_at >= size()) {
            m_ended = true;
            return -1;
        }
        ++m_trackRead;
        return static_cast<unsigned char>(m_bytes[static_cast<std::size_t>(m_at++)]);
    }
    void pushBack(int byte) { m_pushed = byte; }

    // Where `count` bytes start, unless fewer are left.
    std::optional<std::int64_t> take(std::int64_t count)
    {
        if (m_at > size() || count > size() - m_at) {
            m_at = std::max(m_at, size());
            m_ended = true;
            return std::nullopt;
        }
        const std::int64_t start = m_at;
        m_at += count;
        m_trackRead += count;
        return start;
    }
    // A chunk's length: four bytes, big-endian, taken as a signed number.
    std::optional<std::int32_t> length()
    {
        const auto start = take(4);
        if (!start)
            return std::nullopt;
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = value << 8 | byteAt(*start + i);
        return static_cast<std::int32_t>(value);
    }
    // Skipping past the end is no failure until the next read; before the start it is.
    bool skip(std::int64_t count)
    {
        if (m_at + count < 0)
            return false;
        m_at += count;
        m_ended = false;
        return true;
    }
    // A variable-length quantity of at most four bytes.
    std::optional<std::int64_t> variableLength()
    {
        std::int64_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const int byte = get();
            if (byte < 0)
                return std::nullopt;
            if ((byte & 0x80) == 0)
                return value + byte;
            value = (value | (byte & 0x7F)) << 7;
        }
        return std::nullopt;
    }

    std::uint8_t byteAt(std::int64_t at) const { return static_cast<std::uint8_t>(m_bytes[static_cast<std::size_t>(at)]); }
    std::int64_t size() const { return static_cast<std::int64_t>(m_bytes.size()); }
    bool ended() const { return m_ended; }
    void startTrack() { m_trackRead = 0; }
    std::int64_t trackRead() const { return m_trackRead; }

private:
    std::string_view m_bytes;
    std::int64_t m_at = 0;
    std::int64_t m_trackRead = 0;
    int m_pushed = -1;
    bool m_ended = false;
};

// An event and where it falls, for merging the tracks as the player plays them.
struct Timed {
    std::int64_t tick = 0;
    TuneEvent event;
};

class TuneWalk {
public:
    explicit TuneWalk(std::string_view bytes) : m_walk(bytes) {}

    TuneReading read()
    {
        TuneReading reading;
        const auto header = m_walk.take(14);
        if (!header || m_walk.byteAt(0) != 'M' || m_walk.byteAt(1) != 'T' || m_walk.byteAt(2) != 'h'
            || m_walk.byteAt(3) != 'd' || m_walk.byteAt(7) != 6 || signedAt(9) > 2 || signedAt(12) < 0)
            return reading;  // not a MIDI file, or timed in SMPTE frames, which FluidSynth does not play
        // The track count as FluidSynth reads it: its high byte counts 65536.
        const auto tracks = static_cast<std::int32_t>(static_cast<std::uint32_t>(signedAt(11))
                                                      + (static_cast<std::uint32_t>(signedAt(10)) << 16));
        if (tracks > kMaxTracks)
            return reading;
        for (std::int32_t track = 0; track < tracks; ++track) {
            if (!readTrack())
                return reading;
        }
        // The player plays its tracks side by side, the earlier track first within a tick.
        std::stable_sort(m_events.begin(), m_events.end(),
                         [](const Timed& a, const Timed& b) { return a.tick < b.tick; });
        reading.verdict = m_sounding ? TuneVerdict::Sounding : TuneVerdict::Silent;
        reading.events.reserve(m_events.size());
        for (const auto& timed : m_events)
            reading.events.push_back(timed.event);
        return reading;
    }

private:
    int signedAt(std::int64_t at) const { return static_cast<signed char>(m_walk.byteAt(at)); }

    bool readTrack()
    {
        const auto id = m_walk.take(4);
        // Another chunk where a track belongs: FluidSynth reads on from its
        // length and never finds the track, failing at the file's end or
        // circling for ever.
        if (!id || m_walk.byteAt(*id) != 'M' || m_walk.byteAt(*id + 1) != 'T' || m_walk.byteAt(*id + 2) != 'r'
            || m_walk.byteAt(*id + 3) != 'k')
            return false;
        const auto length = m_walk.length();
        if (!length)
            return false;
        m_walk.startTrack();
        m_endOfTrack = false;
        m_noted.fill(false);  // the earliest note on a channel may be in any track
        std::int64_t tick = 0;
        while (!m_endOfTrack && m_walk.trackRead() < *length) {
            if (!readEvent(tick))
                return false;
        }
        if (m_walk.trackRead() < *length && !m_walk.skip(*length - m_walk.trackRead()))
            return false;
        return !m_walk.ended();
    }

    bool readEvent(std::int64_t& tick)
    {
        const auto delta = m_walk.variableLength();
        if (!delta)
            return false;
        tick += *delta;
        int status = m_walk.get();
        if (status < 0)
            return false;
        // Running status, which FluidSynth keeps across tracks and after
        // meta and system exclusive events too.
        if ((status & 0x80) == 0) {
            if ((m_running & 0x80) == 0)
                return false;
            m_walk.pushBack(status);
            status = m_running;
        }
        m_running = status;

        if (status == kSysex) {
            const auto length = m_walk.variableLength();
            if (!length)
                return false;
            if (*length == 0)
                return true;
            const auto at = m_walk.take(*length);
            if (!at)
                return false;
            const bool closed = m_walk.byteAt(*at + *length - 1) == kEndOfExclusive;
            add(tick, {TuneEvent::Kind::Sysex, 0, 0, 0, static_cast<std::uint32_t>(*at),
                       static_cast<std::uint32_t>(*length - (closed ? 1 : 0))});
            m_noted.fill(false);  // a reset may have changed every channel's instrument
            return true;
        }
        if (status == kMeta)
            return readMeta();

        const int type = status & 0xF0;
        const auto channel = static_cast<std::uint8_t>(status & 0x0F);
        const int first = m_walk.get();
        if (first < 0)
            return false;
        int second = 0;
        switch (type) {
        case 0x80:
        case kNoteOn:
        case 0xA0:
        case kControl:
        case 0xE0:
            second = m_walk.get();
            if (second < 0)
                return false;
            break;
        case kProgram:
        case 0xD0:
            break;
        default:
            return false;  // system messages have no place in a file
        }
        const auto number = static_cast<std::uint8_t>(first);
        const auto value = static_cast<std::uint8_t>(second);
        // FluidSynth refuses a key or a velocity past 127: such a note is silent.
        if (type == kNoteOn && value > 0 && value <= 127 && number <= 127) {
            m_sounding = true;
            if (!std::exchange(m_noted[channel], true))
                add(tick, {TuneEvent::Kind::NoteOn, channel, number, value, 0, 0});
        } else if (type == kControl && (number == 0 || number == 32)) {
            add(tick, {TuneEvent::Kind::BankSelect, channel, number, value, 0, 0});
        } else if (type == kProgram) {
            add(tick, {TuneEvent::Kind::Program, channel, number, 0, 0, 0});
            m_noted[channel] = false;
        }
        return true;
    }

    // FluidSynth refuses a few meta events of the wrong length.
    bool readMeta()
    {
        const int type = m_walk.get();
        if (type < 0)
            return false;
        const auto length = m_walk.variableLength();
        if (!length || (*length > 0 && !m_walk.take(*length)))
            return false;
        switch (type) {
        case kEndOfTrack:
            m_endOfTrack = true;
            return *length == 0;
        case 0x51:  // tempo
            return *length == 3;
        case 0x54:  // SMPTE offset
            return *length == 5;
        case 0x58:  // time signature
            return *length == 4;
        case 0x59:  // key signature
            return *length == 2;
        default:
            return true;
        }
    }

    void add(std::int64_t tick, TuneEvent event) { m_events.push_back({tick, event}); }

    Walk m_walk;
    int m_running = -1;
    bool m_endOfTrack = false;
    bool m_sounding = false;
    std::array<bool, 16> m_noted{};  // a note since the channel's instrument last changed
    std::vector<Timed> m_events;
};

}  // namespace

TuneReading readTune(std::string_view bytes)
{
    return TuneWalk(bytes).read();
}

std::string readTuneBytes(const std::filesystem::path& file)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error)
        throw MidiError("曲のファイルが見つかりません: " + utf8(file));
    if (size > kMaxTuneBytes)
        throw MidiError("曲のファイルが大きすぎます: " + utf8(file));
    // As far as the file reached when it was looked at: one still being
    // written is read no further.
    std::ifstream in(file, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!in.is_open() || in.bad())
        throw MidiError("曲のファイルを読み込めません: " + utf8(file));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

Tune Tune::parse(std::string bytes, const std::filesystem::path& file)
{
    Tune tune;
    tune.bytes = std::move(bytes);
    // Read as the sequencer will: a chunk layout can be sound while its
    // events are not (a first event without a status byte), and the
    // sequencer then ends at once without a note, silence that looks like a tune.
    tune.reading = readTune(tune.bytes);
    switch (tune.reading.verdict) {
    case TuneVerdict::Unreadable:
        throw MidiError("曲のファイルが MIDI ファイルではないか、壊れています: " + utf8(file));
    case TuneVerdict::Silent:
        throw MidiError("曲のファイルに鳴らす音符がありません: " + utf8(file));
    case TuneVerdict::Sounding:
        break;
    }
    return tune;
}

}  // namespace zentick::platform
