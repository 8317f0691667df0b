#include "ProgramCatalog.h"

#include "settings/Settings.h"
#include "settings/Startup.h"
#include "settings/gVars.h"
#include "util/AmbryError.h"

#include <QDir>
#include <QFileInfo>

namespace catalog {

namespace {

class SettingsNumberStore : public NumberStore
{
public:
    int lastNumber() const override { return settings::get(settings::LastArchiveNumber); }
    void setLastNumber(int number) override { settings::set(settings::LastArchiveNumber, number); }
};

} // namespace

std::shared_ptr<NumberStore> settingsNumberStore()
{
    static const std::shared_ptr<NumberStore> store = std::make_shared<SettingsNumberStore>();
    return store;
}

Catalog programCatalog()
{
    return Catalog(gVars().catalogFolder, settingsNumberStore());
}

Catalog commandLineCatalog(const QString &cliArg)
{
    QString folder;
    if (cliArg.isEmpty()) {
        QString error;
        if (!establishFolders(&error))
            throw AmbryError(error);
        folder = gVars().catalogFolder;
    } else {
        // A mistyped folder must not pass for an empty catalog, nor get one made for it.
        folder = QDir::cleanPath(QDir(cliArg).absolutePath());
        if (!QFileInfo(folder).isDir())
            throw AmbryError(QStringLiteral("the catalog folder \"%1\" does not exist").arg(cliArg));
    }
    Catalog catalog(folder, settingsNumberStore());
    if (!QDir().mkpath(catalog.folder()))
        throw AmbryError(QStringLiteral("Cannot create the catalog folder \"%1\".").arg(catalog.folder()));
    gVars().catalogFolder = catalog.folder();
    return catalog;
}

} // namespace catalog
