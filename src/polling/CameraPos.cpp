// The hotel-room to POS-code direction of the room-code map file.
#include "polling/CameraPos.h"

#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/TextFile.h"

#include <QFile>

namespace quorvel {

namespace {

const QString kMapFile = QStringLiteral("QuorveloCamere.txt");

// Only blanks are cut, as the runtime's Trim does; a tab stays.
QString trimBlanks(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s[b] == QLatin1Char(' ')) ++b;
    while (e > b && s[e - 1] == QLatin1Char(' ')) --e;
    return s.mid(b, e - b);
}

}  // namespace

QString cameraPosIn(const QStringList& mapLines, const QString& room) {
    QString result = room;
    for (const QString& line : mapLines) {
        const qsizetype comma = line.indexOf(QLatin1Char(','));
        if (comma < 0)
            continue;
        if (line.mid(comma + 1) == room)
            result = trimBlanks(line.left(comma));
    }
    return result;
}

QString CameraPos(const QString& room) {
    if (!QFile::exists(kMapFile))
        return room;
    try {
        return cameraPosIn(readTextLines(kMapFile), room);
    } catch (const Error& e) {
        log::error(QStringLiteral("File delle camere ignorato: ") + e.message());
        return room;
    }
}

}  // namespace quorvel
