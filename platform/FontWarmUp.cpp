#include "FontWarmUp.h"

#ifdef TARLO_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

FontWarmUp::FontWarmUp()
{
#ifdef TARLO_HAVE_FONTCONFIG
    // Loads the configuration once for the process; Qt's own call later finds it loaded.
    thread_ = std::thread([] { FcInit(); });
#endif
}

FontWarmUp::~FontWarmUp() { wait(); }

void FontWarmUp::wait()
{
    if (thread_.joinable())
        thread_.join();
}
