// Which paths the program may take as a POS file (the charges file
// FileOrigine, the closing file FileIncassi, "POSDest.txt"). Taking a file
// renames it and reads it to its end, so it must be a regular file (a FIFO
// or a device would block or never end) and must not be one of the hotel's
// or the program's own files (an operator's typo would rename the guest
// database away from the hotel system). The tick and the settings menu use
// the same rule.
#pragma once

#include <QHash>
#include <QString>

namespace quorvel {

class Dialogs;

// Why path may not be taken as a POS file, in Italian, or an empty text when
// it may. A blank path, and a path that does not exist (unless it names a
// protected file), are not refused here. Protected files are compared by
// resolved path and by name (in any folder), letter case ignored.
QString posFileRefusal(const QString& path);

// Why path, which exists, is not a regular file ("cartella", "FIFO", ...),
// or an empty text for a regular file or a missing one. Symbolic links are
// followed.
QString notRegularFileReason(const QString& path);

// Reports a refused file once: logs and notifies when the reason for a key
// differs from the last one reported, and forgets the key once it is fine,
// so a file left in place is not reported again at every tick.
class RefusalReport {
public:
    // True when this reason was new for key (and was reported).
    bool report(Dialogs& dialogs, const QString& key, const QString& text);
    void clear(const QString& key) { m_reported.remove(key); }

private:
    QHash<QString, QString> m_reported;
};

}  // namespace quorvel
