#include "platform/qt/window_activation.h"

#include <QApplication>
#include <QString>
#include <QWidget>
#include <QWindow>

#ifdef ZENTICK_XDG_ACTIVATION
#include <qpa/qplatformnativeinterface.h>

#include "xdg-activation-v1-client-protocol.h"

#include "platform/installation.h"

#include <cstring>
#include <string>
#endif

namespace zentick::platform {

#ifdef ZENTICK_XDG_ACTIVATION
// The compositor's xdg_activation_v1, bound on a queue of our own so that
// Qt's events are neither taken nor held up.
class WindowActivation::Wayland {
public:
    explicit Wayland(wl_display* display) : m_display(display), m_queue(wl_display_create_queue(display))
    {
        auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), m_queue);
        wl_registry* registry = wl_display_get_registry(wrapper);
        wl_proxy_wrapper_destroy(wrapper);
        static const wl_registry_listener listener{&Wayland::global, [](void*, wl_registry*, uint32_t) {}};
        wl_registry_add_listener(registry, &listener, this);
        wl_display_roundtrip_queue(m_display, m_queue);
        // The compositor keeps a registry for as long as the connection
        // lasts; this one's only use was the bind.
        wl_registry_destroy(registry);
    }
    ~Wayland()
    {
        if (m_activation)
            xdg_activation_v1_destroy(m_activation);
        wl_event_queue_destroy(m_queue);
    }
    Wayland(const Wayland&) = delete;
    Wayland& operator=(const Wayland&) = delete;

    bool activate(const QString& token, wl_surface* surface)
    {
        if (!m_activation)
            return false;
        xdg_activation_v1_activate(m_activation, token.toUtf8().constData(), surface);
        return wl_display_flush(m_display) >= 0;
    }

    // A token of the window's own, with no user's click behind it.
    QString token(wl_surface* surface)
    {
        if (!m_activation)
            return {};
        xdg_activation_token_v1* request = xdg_activation_v1_get_activation_token(m_activation);
        QString issued;
        static const xdg_activation_token_v1_listener listener{[](void* data, xdg_activation_token_v1*, const char* token) {
            *static_cast<QString*>(data) = QString::fromUtf8(token);
        }};
        xdg_activation_token_v1_add_listener(request, &listener, &issued);
        xdg_activation_token_v1_set_app_id(request, std::string(kAppId).c_str());
        xdg_activation_token_v1_set_surface(request, surface);
        xdg_activation_token_v1_commit(request);
        wl_display_roundtrip_queue(m_display, m_queue);
        xdg_activation_token_v1_destroy(request);
        return issued;
    }

private:
    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
    {
        auto* self = static_cast<Wayland*>(data);
        if (std::strcmp(interface, xdg_activation_v1_interface.name) == 0 && !self->m_activation)
            self->m_activation =
                static_cast<xdg_activation_v1*>(wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
    }

    wl_display* m_display;
    wl_event_queue* m_queue;
    xdg_activation_v1* m_activation = nullptr;
};

bool WindowActivation::activateOnWayland(QWidget& window, const QString& token)
{
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    QWindow* handle = window.windowHandle();
    if (!native || !handle)
        return false;
    auto* display = static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display"));
    auto* surface = static_cast<wl_surface*>(native->nativeResourceForWindow("surface", handle));
    if (!display || !surface)
        return false;
    if (!m_wayland)
        m_wayland = std::make_unique<Wayland>(display);
    const QString granted = token.isEmpty() ? m_wayland->token(surface) : token;
    return !granted.isEmpty() && m_wayland->activate(granted, surface);
}
#else
class WindowActivation::Wayland {};

bool WindowActivation::activateOnWayland(QWidget&, const QString&)
{
    return false;  // built without Wayland's activation protocol
}
#endif

namespace {

bool onWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

}  // namespace

WindowActivation::WindowActivation() = default;
WindowActivation::~WindowActivation() = default;

void WindowActivation::bringForward(QWidget& window, const QString& activationToken)
{
    if (window.isMinimized())
        window.showNormal();
    window.raise();
    if (!onWayland()) {
        window.activateWindow();
        return;
    }
    if (activationToken.isEmpty() || !activateOnWayland(window, activationToken))
        askForAttention(window);
}

void WindowActivation::askForAttention(QWidget& window)
{
    if (!onWayland() || !activateOnWayland(window, {}))
        QApplication::alert(&window);
}

}  // namespace zentick::platform
