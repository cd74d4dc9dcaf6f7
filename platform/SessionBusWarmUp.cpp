#include "SessionBusWarmUp.h"

#include <QGuiApplication>

#ifdef TARLO_HAVE_QTDBUS
#include <QDBusConnection>
#endif

std::jthread joinSessionBusEarly()
{
#ifdef TARLO_HAVE_QTDBUS
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland")))
        // Qt keeps the connection for the whole process; asking for it makes it.
        return std::jthread([] { QDBusConnection::sessionBus(); });
#endif
    return {};
}
