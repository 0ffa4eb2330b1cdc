#include "platform/tune/pulse_output.h"

#include "platform/installation.h"

#include <QLibrary>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace zentick::platform {

// The part of libpulse the output uses, resolved from the shared library.
struct PulseApi {
#define ZENTICK_PULSE_FUNCTIONS(X)                                                                                      \
    X(pa_threaded_mainloop_new)                                                                                        \
    X(pa_threaded_mainloop_free)                                                                                       \
    X(pa_threaded_mainloop_start)                                                                                      \
    X(pa_threaded_mainloop_stop)                                                                                       \
    X(pa_threaded_mainloop_lock)                                                                                       \
    X(pa_threaded_mainloop_unlock)                                                                                     \
    X(pa_threaded_mainloop_wait)                                                                                       \
    X(pa_threaded_mainloop_signal)                                                                                     \
    X(pa_threaded_mainloop_get_api)                                                                                    \
    X(pa_mainloop_api_once)                                                                                            \
    X(pa_proplist_new)                                                                                                 \
    X(pa_proplist_sets)                                                                                                \
    X(pa_proplist_free)                                                                                                \
    X(pa_context_new_with_proplist)                                                                                    \
    X(pa_context_set_state_callback)                                                                                   \
    X(pa_context_connect)                                                                                              \
    X(pa_context_get_state)                                                                                            \
    X(pa_context_disconnect)                                                                                           \
    X(pa_context_unref)                                                                                                \
    X(pa_stream_new_with_proplist)                                                                                     \
    X(pa_stream_set_state_callback)                                                                                    \
    X(pa_stream_set_write_callback)                                                                                    \
    X(pa_stream_connect_playback)                                                                                      \
    X(pa_stream_get_state)                                                                                             \
    X(pa_stream_begin_write)                                                                                           \
    X(pa_stream_write)                                                                                                 \
    X(pa_stream_disconnect)                                                                                            \
    X(pa_stream_unref)
#define ZENTICK_PULSE_POINTER(name) decltype(&::name) name = nullptr;
    ZENTICK_PULSE_FUNCTIONS(ZENTICK_PULSE_POINTER)
#undef ZENTICK_PULSE_POINTER

    // Null while libpulse cannot be loaded. Thread-safe.
    static const PulseApi* load();
};

namespace {

using namespace std::chrono_literals;

// A server that has not answered by then is taken for a hung one.
constexpr auto kHandshakePatience = 1000ms;

// The server asks for audio this far ahead: well within an alarm's first
// moment, and in blocks large enough not to keep the helper busy.
constexpr auto kTargetLatency = 40ms;

// The sound server sees the alarm as an alarm, not as a desktop alert sound
// whose volume the desktop's alert slider turns down.
constexpr const char* kMediaRole = "alarm";

std::optional<PulseApi> resolve()
{
    QLibrary library(QStringLiteral("pulse"), 0);
    // Streams may be playing as the process ends.
    library.setLoadHints(QLibrary::PreventUnloadHint);
    if (!library.load())
        return std::nullopt;
    PulseApi api;
#define ZENTICK_PULSE_RESOLVE(name)                                                                                     \
    api.name = reinterpret_cast<decltype(api.name)>(library.resolve(#name));                                          \
    if (!api.name)                                                                                                     \
        return std::nullopt;
    ZENTICK_PULSE_FUNCTIONS(ZENTICK_PULSE_RESOLVE)
#undef ZENTICK_PULSE_RESOLVE
    return api;
}

// Holds the connection's thread off pa_ calls from the calling thread.
class Locked {
public:
    Locked(const PulseApi& api, pa_threaded_mainloop* loop) : m_api(api), m_loop(loop) { m_api.pa_threaded_mainloop_lock(m_loop); }
    ~Locked() { m_api.pa_threaded_mainloop_unlock(m_loop); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    const PulseApi& m_api;
    pa_threaded_mainloop* m_loop;
};

}  // namespace

const PulseApi* PulseApi::load()
{
    static const std::optional<PulseApi> api = resolve();
    return api ? &*api : nullptr;
}

PulseConnection::PulseConnection(const PulseApi& api, pa_threaded_mainloop* loop) : m_api(api), m_loop(loop) {}

PulseConnection::~PulseConnection()
{
    {
        const Locked locked(m_api, m_loop);
        if (m_context) {
            m_api.pa_context_set_state_callback(m_context, nullptr, nullptr);
            m_api.pa_context_disconnect(m_context);
            m_api.pa_context_unref(m_context);
        }
    }
    m_api.pa_threaded_mainloop_stop(m_loop);
    m_api.pa_threaded_mainloop_free(m_loop);
}

std::shared_ptr<PulseConnection> PulseConnection::connect(std::chrono::milliseconds patience)
{
    const PulseApi* api = PulseApi::load();
    if (!api)
        return nullptr;
    const auto until = std::chrono::steady_clock::now() + patience;
    for (;;) {
        pa_threaded_mainloop* loop = api->pa_threaded_mainloop_new();
        if (!loop)
            return nullptr;
        std::shared_ptr<PulseConnection> connection(new PulseConnection(*api, loop));
        if (api->pa_threaded_mainloop_start(loop) < 0)
            return nullptr;
        {
            const Locked locked(*api, loop);
            pa_proplist* properties = api->pa_proplist_new();
            api->pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Zentick");
            api->pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, std::string(kAppId).c_str());
            api->pa_proplist_sets(properties, PA_PROP_APPLICATION_ICON_NAME, std::string(kAppId).c_str());
            connection->m_context =
                api->pa_context_new_with_proplist(api->pa_threaded_mainloop_get_api(loop), "Zentick", properties);
            api->pa_proplist_free(properties);
            if (!connection->m_context)
                return nullptr;
            api->pa_context_set_state_callback(connection->m_context, &PulseConnection::stateChanged, connection.get());
            // The server is named in the environment; none is ever started.
            if (api->pa_context_connect(connection->m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
                return nullptr;
        }
        // Handshake done, or refused; a server that answers nothing is
        // given up on.
        const auto answerBy = std::chrono::steady_clock::now() + kHandshakePatience;
        for (;;) {
            pa_context_state_t state;
            {
                const Locked locked(*api, loop);
                state = api->pa_context_get_state(connection->m_context);
            }
            if (state == PA_CONTEXT_READY)
                return connection;
            if (!PA_CONTEXT_IS_GOOD(state) || std::chrono::steady_clock::now() >= answerBy)
                break;
            std::this_thread::sleep_for(5ms);
        }
        if (std::chrono::steady_clock::now() >= until)
            return nullptr;
        std::this_thread::sleep_for(100ms);  // a server starting again, as after a restart
    }
}

void PulseConnection::stateChanged(pa_context* context, void* self)
{
    auto& connection = *static_cast<PulseConnection*>(self);
    connection.m_alive.store(connection.m_api.pa_context_get_state(context) == PA_CONTEXT_READY,
                             std::memory_order_relaxed);
}

bool PulseConnection::alive() const
{
    return m_alive.load(std::memory_order_relaxed);
}

void PulseConnection::runOnItsThread(const std::function<void()>& call)
{
    struct Job {
        PulseConnection& connection;
        const std::function<void()>& call;
        bool done = false;
    } job{*this, call};
    const Locked locked(m_api, m_loop);
    m_api.pa_mainloop_api_once(
        m_api.pa_threaded_mainloop_get_api(m_loop),
        [](pa_mainloop_api*, void* data) {
            auto& running = *static_cast<Job*>(data);
            running.call();
            running.done = true;
            running.connection.m_api.pa_threaded_mainloop_signal(running.connection.m_loop, 0);
        },
        &job);
    while (!job.done)
        m_api.pa_threaded_mainloop_wait(m_loop);
}

std::unique_ptr<PulseStream> PulseConnection::play(RenderAudio render, void* data, unsigned sampleRate)
{
    if (!alive())
        return nullptr;
    std::unique_ptr<PulseStream> stream(new PulseStream(shared_from_this(), render, data));
    const Locked locked(m_api, m_loop);
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, sampleRate, 2};
    pa_proplist* properties = m_api.pa_proplist_new();
    m_api.pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, kMediaRole);
    m_api.pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, "アラーム");
    stream->m_stream = m_api.pa_stream_new_with_proplist(m_context, "アラーム", &format, nullptr, properties);
    m_api.pa_proplist_free(properties);
    if (!stream->m_stream)
        return nullptr;
    m_api.pa_stream_set_state_callback(stream->m_stream, &PulseStream::stateChanged, stream.get());
    m_api.pa_stream_set_write_callback(stream->m_stream, &PulseStream::wanted, stream.get());
    const auto ahead = static_cast<std::uint32_t>(sampleRate * kTargetLatency.count() / 1000 * 2 * sizeof(float));
    const pa_buffer_attr buffering{static_cast<std::uint32_t>(-1), ahead, static_cast<std::uint32_t>(-1),
                                   static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1)};
    if (m_api.pa_stream_connect_playback(stream->m_stream, nullptr, &buffering, PA_STREAM_ADJUST_LATENCY, nullptr,
                                         nullptr)
        < 0)
        return nullptr;
    return stream;
}

PulseStream::PulseStream(std::shared_ptr<PulseConnection> connection, RenderAudio render, void* data)
    : m_connection(std::move(connection)), m_render(render), m_data(data)
{
}

PulseStream::~PulseStream()
{
    if (!m_stream)
        return;
    const PulseApi& api = m_connection->m_api;
    const Locked locked(api, m_connection->m_loop);
    api.pa_stream_set_write_callback(m_stream, nullptr, nullptr);
    api.pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    api.pa_stream_disconnect(m_stream);
    api.pa_stream_unref(m_stream);
}

void PulseStream::stateChanged(pa_stream* stream, void* self)
{
    auto& output = *static_cast<PulseStream*>(self);
    const pa_stream_state_t state = output.m_connection->m_api.pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
        output.m_failed.store(true, std::memory_order_relaxed);
}

// On the connection's thread: as much audio as the server asks for.
void PulseStream::wanted(pa_stream* stream, std::size_t bytes, void* self)
{
    auto& output = *static_cast<PulseStream*>(self);
    const PulseApi& api = output.m_connection->m_api;
    void* buffer = nullptr;
    if (api.pa_stream_begin_write(stream, &buffer, &bytes) < 0 || !buffer)
        return;
    const std::size_t frames = bytes / (2 * sizeof(float));
    if (output.m_left.size() < frames) {
        output.m_left.resize(frames);
        output.m_right.resize(frames);
    }
    std::fill_n(output.m_left.begin(), frames, 0.0f);
    std::fill_n(output.m_right.begin(), frames, 0.0f);
    float* planes[] = {output.m_left.data(), output.m_right.data()};
    output.m_render(output.m_data, static_cast<int>(frames), 0, nullptr, 2, planes);
    auto* interleaved = static_cast<float*>(buffer);
    for (std::size_t i = 0; i < frames; ++i) {
        interleaved[2 * i] = output.m_left[i];
        interleaved[2 * i + 1] = output.m_right[i];
    }
    api.pa_stream_write(stream, buffer, frames * 2 * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE);
}

}  // namespace zentick::platform
