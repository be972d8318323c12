// The operating system's error texts in Italian: the C library and Qt give
// them in English whatever the interface language, and they end up in the
// messages an operator reads ("impossibile aprire il file: Is a directory").
#include "platform/SystemText.h"

#include "platform/Confirmation.h"

#include <QMutex>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace quorvel {

namespace {

using Pair = std::pair<QString, QString>;

std::vector<Pair> makeTable() {
    const std::pair<int, const char*> italian[] = {
        {ENOENT, "File o cartella inesistente"},
        {EACCES, "Permesso negato"},
        {EPERM, "Operazione non permessa"},
        {EISDIR, "È una cartella"},
        {ENOTDIR, "Non è una cartella"},
        {ENOSPC, "Spazio esaurito sul dispositivo"},
        {EROFS, "File system in sola lettura"},
        {EEXIST, "Il file esiste già"},
        {EMFILE, "Troppi file aperti"},
        {ENFILE, "Troppi file aperti nel sistema"},
        {EIO, "Errore di input/output"},
        {EBUSY, "Dispositivo o risorsa occupata"},
        {ETXTBSY, "File di testo occupato"},
        {ENAMETOOLONG, "Nome del file troppo lungo"},
        {ELOOP, "Troppi livelli di collegamenti simbolici"},
        {EXDEV, "Collegamento fra dispositivi diversi non valido"},
        {ENOTEMPTY, "La cartella non è vuota"},
        {EINVAL, "Argomento non valido"},
        {EDQUOT, "Quota del disco superata"},
        {ENXIO, "Dispositivo o indirizzo inesistente"},
        {ENODEV, "Dispositivo inesistente"},
        {EFBIG, "File troppo grande"},
        {ETIMEDOUT, "Tempo di connessione scaduto"},
        {ECONNREFUSED, "Connessione rifiutata"},
        {EHOSTUNREACH, "Nessun instradamento verso l'host"},
        {ENETUNREACH, "La rete non è raggiungibile"},
        {ESTALE, "Riferimento al file non più valido"},
    };
    std::vector<Pair> table;
    for (const auto& [code, text] : italian) {
        const QString english = QString::fromLocal8Bit(std::strerror(code));
        if (!english.isEmpty() && english != QString::fromUtf8(text))
            table.emplace_back(english, QString::fromUtf8(text));
    }
    // Qt's own words.
    table.emplace_back(QStringLiteral("Unknown error"), QStringLiteral("Errore sconosciuto"));
    table.emplace_back(QStringLiteral("file to open is a directory"),
                       QStringLiteral("è una cartella"));
    table.emplace_back(QStringLiteral("No file name specified"),
                       QStringLiteral("nessun nome di file"));
    return table;
}

}  // namespace

QString italianSystemText(const QString& text) {
    static const std::vector<Pair> table = makeTable();
    QString out = text;
    for (const auto& [english, italian] : table)
        if (out.contains(english))
            out.replace(english, italian);
    return out;
}

namespace confirmation {

namespace {
QMutex mutex;
Sink& sink() {
    static Sink s;
    return s;
}
}  // namespace

void setSink(Sink s) {
    QMutexLocker lock(&mutex);
    sink() = std::move(s);
}

void tell(const QString& text) {
    Sink s;
    {
        QMutexLocker lock(&mutex);
        s = sink();
    }
    if (s)
        s(text);
}

}  // namespace confirmation

}  // namespace quorvel
