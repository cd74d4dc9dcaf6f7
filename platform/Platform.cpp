#include "Platform.h"
#include "QtPlatform.h"

namespace {
Platform* current = nullptr;
}

Platform& platform()
{
    static QtPlatform desktop;
    return current ? *current : desktop;
}

void setPlatform(Platform* p) { current = p; }
