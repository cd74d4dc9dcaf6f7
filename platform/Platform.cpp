#include "Platform.h"
#include "QtPlatform.h"

#include <QDir>

namespace {
Platform* current = nullptr;
}

Platform& platform()
{
    static QtPlatform desktop;
    return current ? *current : desktop;
}

void setPlatform(Platform* p) { current = p; }

QString workingDirectory()
{
    const QString dir = QDir::currentPath();
    return dir.isEmpty() ? QStringLiteral(".") : dir;
}
