#include "SessionBusWarmUp.h"

#include <QGuiApplication>

#ifdef TARLO_HAVE_QTDBUS
#include <QDBusConnection>
#endif

SessionBusWarmUp::SessionBusWarmUp()
{
#ifdef TARLO_HAVE_QTDBUS
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && !platform.startsWith(QLatin1String("wayland")))
        return;
    // Qt keeps the connection for the whole process; asking for it makes it.
    thread_ = std::thread([] { QDBusConnection::sessionBus(); });
#endif
}

SessionBusWarmUp::~SessionBusWarmUp()
{
    if (thread_.joinable())
        thread_.join();
}
