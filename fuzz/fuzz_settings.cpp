// Fuzz target: the settings file "Quorvel.txt". Whatever it holds, reading
// it gives settings, and writing those settings and reading them back gives
// the same settings again.
#include "FuzzSupport.h"

#include "platform/Error.h"
#include "platform/Settings.h"

using namespace quorvel;

namespace {

bool same(const Settings& a, const Settings& b) {
    return a.fileOrigine == b.fileOrigine && a.codicePranzo == b.codicePranzo &&
           a.codiceCena == b.codiceCena && a.codiceBevande == b.codiceBevande &&
           a.codiceGenerico == b.codiceGenerico && a.codiceIncassi == b.codiceIncassi &&
           a.fileIncassi == b.fileIncassi;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::enterWorkFolder();
    const QString file = QStringLiteral("Quorvel.txt");
    QFile::remove(file);
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly) ||
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
            static_cast<qint64>(size))
        fuzz::fail("cannot write the settings file");
    f.close();

    Settings read;
    try {
        read = readSettingsFile(file);
    } catch (const Error&) {
        return 0;  // a refused file (LF-only line ends) is a clean refusal
    }
    writeSettingsFile(read, file);
    const Settings again = readSettingsFile(file);
    if (!same(read, again))
        fuzz::fail("settings do not survive a write and a read");
    // The file written is exactly the seven lines, CR LF ended.
    QFile back(file);
    if (!back.open(QIODevice::ReadOnly))
        fuzz::fail("cannot read the settings file back");
    QByteArray expected;
    for (const QString& line : settingsLines(read)) expected += encodeCp1252(line) + "\r\n";
    if (back.readAll() != expected)
        fuzz::fail("settings file bytes");
    return 0;
}
