#include "HostageFile.h"

#include "settings/Settings.h"

namespace {

class SettingsHostageFile : public HostageFile
{
public:
    QString path() const override { return settings::get(settings::HostageFile); }
    void set(const QString &path) override { settings::set(settings::HostageFile, path); }
};

} // namespace

HostageFile &settingsHostageFile()
{
    static SettingsHostageFile hostage;
    return hostage;
}
