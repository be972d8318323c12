// PC number lookup and the file names built from it.
#include "print/ReportFiles.h"

#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/NumberText.h"
#include "platform/TextFile.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

namespace quorvel {

namespace {

const QString kVariable = QStringLiteral("PCLocal");

bool unsafeInFileName(QChar c) {
    return c.unicode() < 0x20 || QStringLiteral("\\/:*?\"<>|").contains(c);
}

}  // namespace

QString pcNumberRaw() {
    // Windows looks environment names up without regard to case; do the same
    // here, preferring the exact spelling.
    if (qEnvironmentVariableIsSet("PCLocal"))
        return qEnvironmentVariable("PCLocal");
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& key : env.keys())
        if (key.compare(kVariable, Qt::CaseInsensitive) == 0)
            return env.value(key);
    return {};
}

QString pcNumberNumeric() {
    return QString::number(numericValue(pcNumberRaw()), 'g', 15);
}

QString pcFileTag() {
    QString tag = pcNumberRaw();
    bool changed = false;
    for (QChar& c : tag) {
        if (unsafeInFileName(c)) {
            c = QLatin1Char('_');
            changed = true;
        }
    }
    if (changed)
        log::error(
            QStringLiteral("PCLocal contiene caratteri non validi nei nomi di file; uso \"%1\"")
                .arg(tag));
    return tag;
}

QString reportFileName() {
    return QStringLiteral("fd") + pcFileTag();
}

QString archiveCopyName(const QDateTime& now) {
    const QString name = QStringLiteral("fd") + pcFileTag() +
                         now.toString(QStringLiteral("yyyyMMddHHmm")) + QStringLiteral(".doc");
    return QDir::toNativeSeparators(QDir(QStringLiteral("doc")).filePath(name));
}

QString makeArchiveCopy(const QDateTime& now) {
    const QString target = archiveCopyName(now);
    if (!QDir().mkpath(QStringLiteral("doc")))
        throw Error(QStringLiteral("doc"), QStringLiteral("impossibile creare la cartella"));
    const QString report = reportFileName();
    if (!QFile::exists(report))
        return target;
    // QFile::copy never replaces; a second load in the same minute must.
    if (QFile::exists(target) && !QFile::remove(target))
        throw Error(target, QStringLiteral("impossibile sostituire la copia di archivio"));
    QFile source(report);
    if (!source.copy(target))
        throw Error(target, QStringLiteral("impossibile copiare il file di stampa: ") +
                                source.errorString());
    return target;
}

QString exportFileName() {
    return QStringLiteral("fd") + pcFileTag() + QStringLiteral(".csv");
}

QString mailFileName() {
    return QStringLiteral("e-mail") + pcFileTag() + QStringLiteral(".txt");
}

QString reportFontName() {
    const QString fallback = QStringLiteral("Courier New");
    const QString file = QStringLiteral("FontStp.txt");
    try {
        const QString name = readSideFileLines(file).value_or(QStringList()).value(0).trimmed();
        return name.isEmpty() ? fallback : name;
    } catch (const Error& e) {
        log::error(e.message());
        return fallback;
    }
}

}  // namespace quorvel
