// libFuzzer target for the settings file reader and writer: any bytes must read without a
// crash, and when they read as a settings file, setting a value must give bytes that read
// back with that value (or be refused with a reason for a name that cannot be stored).
#include "settings/gRegistry.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Up to the first two NULs: the value name and the text; the rest is the file.
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype a = input.indexOf('\0');
    const qsizetype b = a < 0 ? -1 : input.indexOf('\0', a + 1);
    const QString name = a < 0 ? QStringLiteral("HostageFile") : QString::fromUtf8(input.left(a));
    const QString value = b < 0 ? QStringLiteral("x") : QString::fromUtf8(input.mid(a + 1, b - a - 1));
    const QByteArray file = b < 0 ? input : input.mid(b + 1);
    const QString key = (size & 1) ? RegKey::V : RegKey::Wp;

    const std::optional<QString> before = readSettingFromBytes(file, key, name);
    QString error;
    const std::optional<QByteArray> written = writeSettingToBytes(file, key, name, value, &error);
    if (!written) {
        if (error.isEmpty())
            std::abort(); // a refusal must say why
        return 0;
    }
    if (readSettingFromBytes(*written, key, name) != value)
        std::abort(); // what was written does not read back
    (void)before;
    return 0;
}
