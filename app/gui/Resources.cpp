#include <QtGlobal>

// The artwork is compiled into this static library; referencing its initialiser keeps the
// linker from dropping it from the program.
void initAppGuiResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(ambrylog_gui);
        return true;
    }();
    Q_UNUSED(done);
}
