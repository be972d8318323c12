// The journal check of the crash soak.
#include "soak/JournalCheck.h"

#include "transfer/ChargeStore.h"
#include "transfer/PostingJournal.h"

#include <QFileInfo>
#include <limits>

namespace quorvel::soak {

namespace {

// Each account row's amount against the sum its journal rows added.
void checkPostings(const char* what, const std::vector<AccountRow>& rows,
                   const QHash<qint64, qint64>& added, Tally& tally) {
    QHash<qint64, qint64> left = added;
    for (const AccountRow& r : rows) {
        const qint64 journal = left.take(r.rowid);
        if (journal != r.importoCents)
            tally.problem(QStringLiteral("giornale: %1 riga %2 vale %3 centesimi, il giornale "
                                         "ne registra %4")
                              .arg(QLatin1String(what))
                              .arg(r.rowid)
                              .arg(r.importoCents)
                              .arg(journal));
    }
    for (auto it = left.cbegin(); it != left.cend(); ++it)
        tally.problem(QStringLiteral("giornale: %1 riga %2 inesistente o non del programma")
                          .arg(QLatin1String(what))
                          .arg(it.key()));
}

}  // namespace

void checkJournal(ChargeStore& store, const std::vector<AccountRow>& rooms,
                  const std::vector<AccountRow>& externals, qint64 receipts, Tally& tally) {
    JournalQuery all;
    all.limit = std::numeric_limits<int>::max();
    QHash<qint64, qint64> roomAdded, externalAdded;
    QSet<std::int32_t> listed;
    QSet<QString> lines;
    qint64 imported = 0;
    for (const JournalEntry& e : store.journal().find(all)) {
        const QString place =
            QStringLiteral("%1:%2:%3").arg(e.kind, QFileInfo(e.archive).fileName()).arg(e.lineNo);
        if (e.lineNo > 0 && !e.archive.isEmpty()) {
            if (lines.contains(place))
                tally.problem(QStringLiteral("giornale: due righe per ") + place);
            lines.insert(place);
        }
        switch (e.outcome) {
            case Esito::InAttesa:
                tally.problem(QStringLiteral("giornale: ancora in attesa: ") + e.line);
                break;
            case Esito::Camera:
                roomAdded[e.accountRow] += e.added.raw() / 100;
                break;
            case Esito::Esterno:
                externalAdded[e.accountRow] += e.added.raw() / 100;
                break;
            case Esito::Storico:
                if (listed.contains(e.errorId))
                    tally.problem(
                        QStringLiteral("giornale: due righe per l'errore %1").arg(e.errorId));
                listed.insert(e.errorId);
                break;
            case Esito::Incasso:
                ++imported;
                break;
            case Esito::Cancellato:
            case Esito::Scartato:
            case Esito::Rifiutato:
                break;
        }
    }
    checkPostings("Conto_Cliente", rooms, roomAdded, tally);
    checkPostings("ContoEsterni", externals, externalAdded, tally);
    for (const ChargeStore::Line& l : store.errorLines()) {
        if (!listed.remove(l.id))
            tally.problem(QStringLiteral("giornale: riga dello storico senza la sua: ") + l.text);
    }
    for (const std::int32_t id : std::as_const(listed))
        tally.problem(QStringLiteral("giornale: errore %1 non più nello storico").arg(id));
    if (imported != receipts)
        tally.problem(QStringLiteral("giornale: %1 incassi registrati, %2 importati")
                          .arg(imported)
                          .arg(receipts));
}

}  // namespace quorvel::soak
