#include "BrowserArt.h"

#include <QtGlobal>

// Referencing the initialiser keeps the linker from dropping the pictures of this static
// library.
void initBrowserGuiResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(browser_gui);
        return true;
    }();
    Q_UNUSED(done);
}
