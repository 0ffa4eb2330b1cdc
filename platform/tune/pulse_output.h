#pragma once

// The tune's audio through the desktop's sound server: PulseAudio, or
// PipeWire, which serves PulseAudio's clients. The connection is made once,
// as the helper starts and before it contains itself, since a contained
// helper opens no connection; each tune plays on a stream of its own on it.
// libpulse is loaded at run time, as FluidSynth is: the clock never loads it.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

namespace zentick::platform {

struct PulseApi;
class PulseStream;

// Renders `frames` frames into `out[0]` and `out[1]`, which come zeroed; as
// FluidSynth's audio callbacks are called.
using RenderAudio = int (*)(void* data, int frames, int effects, float* fx[], int outputs, float* out[]);

class PulseConnection : public std::enable_shared_from_this<PulseConnection> {
public:
    // Connects to the server the environment names (PULSE_SERVER, else the
    // user's own), never starting one, and waits up to `patience` for one
    // that is starting. Null where there is none, or no libpulse.
    static std::shared_ptr<PulseConnection> connect(std::chrono::milliseconds patience);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Whether the server is still there.
    bool alive() const;
    // Runs `call` on the connection's own thread, and waits for it: for
    // what must hold on every thread of the process.
    void runOnItsThread(const std::function<void()>& call);
    // A stream, played as an alarm, that calls `render` for each block of
    // audio the server asks for, on the connection's thread.
    std::unique_ptr<PulseStream> play(RenderAudio render, void* data, unsigned sampleRate);

private:
    PulseConnection(const PulseApi& api, pa_threaded_mainloop* loop);
    static void stateChanged(pa_context* context, void* self);

    friend class PulseStream;
    const PulseApi& m_api;
    pa_threaded_mainloop* m_loop;
    pa_context* m_context = nullptr;
    std::atomic<bool> m_alive{false};
};

class PulseStream {
public:
    ~PulseStream();  // stops it at once: no render call comes after
    PulseStream(const PulseStream&) = delete;
    PulseStream& operator=(const PulseStream&) = delete;

    // The stream, or the connection it plays on, has gone.
    bool failed() const { return m_failed.load(std::memory_order_relaxed) || !m_connection->alive(); }

private:
    friend class PulseConnection;
    PulseStream(std::shared_ptr<PulseConnection> connection, RenderAudio render, void* data);
    static void stateChanged(pa_stream* stream, void* self);
    static void wanted(pa_stream* stream, std::size_t bytes, void* self);

    std::shared_ptr<PulseConnection> m_connection;
    RenderAudio m_render;
    void* m_data;
    pa_stream* m_stream = nullptr;
    std::atomic<bool> m_failed{false};
    std::vector<float> m_left;  // the planar blocks render fills, kept between calls
    std::vector<float> m_right;
};

}  // namespace zentick::platform
