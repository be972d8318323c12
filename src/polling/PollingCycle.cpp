// The polling tick: receipts, charges, transfer, notification files.
#include "polling/PollingCycle.h"

#include "db/Engine.h"
#include "db/HotelFiles.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/Plural.h"
#include "platform/TextFile.h"
#include "polling/ClosingFile.h"
#include "polling/InboxJournal.h"
#include "polling/PollingFiles.h"
#include "transfer/ChargeStore.h"
#include "transfer/PostingJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>
#include <optional>
#include <utility>

namespace quorvel {

namespace {

QString fileLabel(const char* kind) {
    return QLatin1String(kind) == QLatin1String(InboxJournal::Receipts)
               ? QStringLiteral("File della chiusura")
               : QStringLiteral("File degli addebiti");
}

}  // namespace

bool PollingCycle::settled(const QString& path, qint64 size, const QDateTime& modified) {
    const auto it = m_seen.find(path);
    if (it == m_seen.end()) {
        // First sight: a file last written a tick ago or more is complete (a
        // POS that renames its file into place, a file waiting since before
        // the start); one written just now may still be growing.
        if (modified.msecsTo(m_services.clock->now()) >= SettleSeconds * 1000)
            return true;
        m_seen.insert(path, {size, modified});
        return false;
    }
    if (it->size == size && it->modified == modified)
        return true;  // forgotten once the file is claimed
    *it = {size, modified};
    return false;
}

bool PollingCycle::mayTake(const char* kind, const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        m_seen.remove(path);
        m_refusals.clear(path);
        return false;
    }
    // Checked before the file is renamed or opened: a FIFO would block the
    // tick, a device never end, a hotel database be taken from the hotel.
    const QString why = posFileRefusal(path);
    if (!why.isEmpty()) {
        m_seen.remove(path);
        m_refusals.report(*m_services.dialogs, path,
                          QStringLiteral("%1 \"%2\" non preso, lasciato al suo posto: %3")
                              .arg(fileLabel(kind), path, why));
        return false;
    }
    m_refusals.clear(path);
    return settled(path, info.size(), info.lastModified());
}

std::optional<PollingCycle::Claim> PollingCycle::claimFile(InboxJournal& journal, const char* kind,
                                                           const QString& path) {
    auto claim = journal.firstClaim(QString::fromLatin1(kind));
    if (!claim) {
        if (!mayTake(kind, path))
            return std::nullopt;
        const QDateTime now = m_services.clock->now();
        // The name chosen goes into the claim before the move, so a restart
        // finds the same archive; an existing archive is never replaced.
        const QString archive = freeArchiveName(path, now);
        if (archive.compare(path, Qt::CaseInsensitive) == 0)
            throw Error(path, QStringLiteral("il nome del file coincide con quello dell'archivio"));
        if (archive != archiveName(path, now))
            log::info(QStringLiteral("%1: l'archivio %2 esiste già, il file è archiviato come %3")
                          .arg(path, archiveName(path, now), archive));
        claim = Claim{QString::fromLatin1(kind), path, archive};
        journal.add(*claim);
        m_seen.remove(path);
        step("claimed");
    }
    if (!QFile::exists(claim->archive)) {
        if (!QFile::exists(claim->source)) {
            log::error(QStringLiteral("%1: il file da importare non c'è più, nulla importato")
                           .arg(claim->source));
            journal.settle(*claim);
            return std::nullopt;
        }
        // A claim taken up from an earlier run is checked again.
        if (const QString why = posFileRefusal(claim->source); !why.isEmpty()) {
            log::error(
                QStringLiteral("%1: non preso, lasciato al suo posto: %2").arg(claim->source, why));
            journal.settle(*claim);
            return std::nullopt;
        }
        moveFile(claim->source, claim->archive);
        step("moved");
    }
    // Not opened unless regular (something else put in its place meanwhile).
    if (const QString why = notRegularFileReason(claim->archive); !why.isEmpty()) {
        log::error(
            QStringLiteral("%1: non letto, lasciato al suo posto: %2").arg(claim->archive, why));
        journal.settle(*claim);
        return std::nullopt;
    }
    return claim;
}

PollingCycle::PollingCycle(const Settings& settings, Services& services, ChargeStore& store,
                           std::function<TransferRun()> transfer, MainView* view,
                           PollingSeams seams)
    : PollingCycle(
          settings, services, [&store]() -> ChargeStore& { return store; }, std::move(transfer),
          view, std::move(seams)) {}

PollingCycle::PollingCycle(const Settings& settings, Services& services,
                           std::function<ChargeStore&()> store,
                           std::function<TransferRun()> transfer, MainView* view,
                           PollingSeams seams)
    : m_settings(settings),
      m_services(services),
      m_openStore(std::move(store)),
      m_guests(*services.dialogs),
      m_transfer(std::move(transfer)),
      m_view(view),
      m_seams(std::move(seams)) {}

QString PollingCycle::notaIncasso(int codice, const QString& descrizione) {
    const QString digits = QStringLiteral("%1").arg(std::abs(codice), 4, 10, QLatin1Char('0'));
    return (codice < 0 ? QStringLiteral("-") : QString()) + digits + QLatin1Char('-') + descrizione;
}

QString PollingCycle::descrizioneIncassi(db::Workspace& ws) const {
    auto voci = ws.openDatabase(QString::fromLatin1(db::VociFatturaMdb));
    auto rs = voci->openRecordset(QStringLiteral("VociFattura"));
    rs->findFirst(QStringLiteral("NumeroHotel = 1 and Codice = ") +
                  QString::number(m_settings.codiceIncassi));
    return rs->noMatch() ? QStringLiteral("Codice non valido")
                         : rs->text(QStringLiteral("Descrizione"));
}

void PollingCycle::importReceipts(db::Workspace& ws, InboxJournal& journal) {
    // The receipts' description is looked up only when a closing file is to
    // be taken, so an idle tick touches no hotel database; and before the
    // file is taken, so a failing lookup leaves the file where the POS put it.
    std::optional<QString> descrizione;
    // Twice at most: a claim left by an earlier run, then a file waiting now.
    for (int round = 0; round < 2; ++round) {
        if (!journal.firstClaim(QString::fromLatin1(InboxJournal::Receipts)) &&
            !mayTake(InboxJournal::Receipts, m_settings.fileIncassi))
            return;
        if (!descrizione)
            descrizione = descrizioneIncassi(ws);
        const auto claim = claimFile(journal, InboxJournal::Receipts, m_settings.fileIncassi);
        if (!claim)
            return;
        const PosText text = readPosFile(claim->archive);
        const auto content = parseClosingText(text, claim->archive);
        for (const QString& problem : content.problems)
            log::error(QStringLiteral("Scontrino non importato: ") + problem);

        const QString nota = notaIncasso(m_settings.codiceIncassi, *descrizione);
        auto fatture = ws.openDatabase(QString::fromLatin1(db::FattureMdb));
        {
            auto rs = fatture->openRecordset(QStringLiteral("Incassi"));
            // The journal is in the store, opened in this same workspace, so
            // its rows commit with the receipts.
            Q_ASSERT(&m_store->workspace() == &ws);
            db::Transaction t(ws);
            std::vector<JournalEntry> imported;
            for (const ClosingReceipt& r : content.receipts) {
                const QDateTime now = m_services.clock->now();
                rs->addNew();
                rs->setValue(QStringLiteral("NumeroHotel"), 1);
                rs->setValue(QStringLiteral("DataEmissione"),
                             now.toString(QStringLiteral("yyyyMMdd")));
                rs->setValue(QStringLiteral("TipoDocumento"), QStringLiteral("ESTERNI"));
                rs->setValue(QStringLiteral("NDocumento"), 0);
                rs->setValue(QStringLiteral("Contatore"), 1);
                rs->setValue(QStringLiteral("Sigla"), QStringLiteral("CON"));
                rs->setValue(QStringLiteral("Importo"), r.amount);
                rs->setValue(QStringLiteral("Orario"), now.toString(QStringLiteral("hhmm")));
                rs->setValue(QStringLiteral("Nota"), nota);
                rs->update();
                JournalEntry e;
                e.kind = QStringLiteral("I");
                e.archive = claim->archive;
                e.lineNo = r.lineNumber;
                e.line = text.lines.value(r.lineNumber - 1);
                e.day = now.toString(QStringLiteral("yyyyMMdd"));
                e.amount = r.amount;
                e.outcome = Esito::Incasso;
                e.database = QString::fromLatin1(db::FattureMdb);
                e.table = QStringLiteral("Incassi");
                e.accountRow = rs->lastAddedId();
                e.added = r.amount;
                e.when = now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
                imported.push_back(std::move(e));
                step("receipt");
            }
            m_store->journal().add(imported);
            journal.settle(*claim);
            step("receipts-written");
            t.commit();
        }
        step("receipts-committed");
        log::info(plural(content.receipts.size(),
                         QStringLiteral("Incassi: %1 scontrino importato da %2"),
                         QStringLiteral("Incassi: %1 scontrini importati da %2"))
                      .arg(claim->archive));
        if (!content.problems.isEmpty())
            m_services.dialogs->notify(
                QStringLiteral("Incassi"),
                plural(content.problems.size(),
                       QStringLiteral("%1 scontrino di %2 non importato: vedere il registro"),
                       QStringLiteral("%1 scontrini di %2 non importati: vedere il registro"))
                    .arg(claim->archive));
    }
}

void PollingCycle::takeCharges(InboxJournal& journal) {
    for (int round = 0; round < 2; ++round) {
        const auto claim = claimFile(journal, InboxJournal::Charges, m_settings.fileOrigine);
        if (!claim)
            return;
        const PosText text = readPosFile(claim->archive);
        ChargeStore::Intake intake;
        {
            db::Transaction t(m_store->workspace());
            intake = m_store->appendChargesFile(text, claim->archive);
            journal.settle(*claim);
            step("charges-written");
            t.commit();
        }
        step("charges-committed");
        log::info(plural(intake.pending, QStringLiteral("Addebiti: %1 riga presa da %2"),
                         QStringLiteral("Addebiti: %1 righe prese da %2"))
                      .arg(claim->archive));
        for (const QString& problem : std::as_const(intake.problems)) log::error(problem);
        if (!intake.notice.isEmpty())
            m_services.dialogs->notify(QStringLiteral("Addebiti"), intake.notice);
        if (m_view)
            m_view->showPending(m_store->pending());
    }
}

void PollingCycle::reportOddNotices(const QStringList& names) {
    // Once per name while it stays: a folder named "CKI104" is no notice.
    QSet<QString> now(names.cbegin(), names.cend());
    for (const QString& name : names) {
        if (m_oddNotices.contains(name))
            continue;
        QString why = notRegularFileReason(name);
        if (why.isEmpty())
            why = QStringLiteral("file nascosto o di sistema");
        log::error(QStringLiteral("Avviso %1 ignorato, lasciato al suo posto: %2").arg(name, why));
    }
    m_oddNotices = std::move(now);
}

bool PollingCycle::handleNotifications(InboxJournal& journal, const char* kind, const QString& mode,
                                       const QStringList& files, int& budget) {
    for (const QString& name : files) {
        if (budget == 0)
            return false;
        --budget;
        const Claim claim{QString::fromLatin1(kind), name, name.mid(3)};
        journal.add(claim);
        step("notice-claimed");
        if (!QFile::remove(name)) {
            journal.settle(claim);
            if (!QFile::exists(name))
                continue;  // taken away since the search
            throw Error(name, QStringLiteral("impossibile cancellare il file"));
        }
        step("notice-removed");
        m_guests.AggiornaCamera(claim.archive, mode);
        step("notice-exported");
        journal.settle(claim);
    }
    return true;
}

bool PollingCycle::Timer1_Timer() {
    m_store = &m_openStore();
    db::Workspace& ws = m_store->workspace();
    InboxJournal journal(ws);
    importReceipts(ws, journal);
    takeCharges(journal);
    const bool transferred =
        !m_store->hasPending() || m_transfer().outcome != TransferRun::Outcome::Failed;
    // Notices an earlier run took but did not finish (their files are gone)
    // came before every file waiting now: a departure cut short must not
    // blank the room after its next guest's arrival.
    const std::pair<const char*, QString> notices[] = {
        {InboxJournal::CheckIn, QStringLiteral("1")},
        {InboxJournal::CheckOut, QStringLiteral("0")}};
    for (const auto& [kind, mode] : notices) {
        for (const Claim& claim : journal.claims(QString::fromLatin1(kind))) {
            m_guests.AggiornaCamera(claim.archive, mode);
            journal.settle(claim);
        }
    }
    // One search per kind (a search after every file made a tick quadratic in
    // the files waiting); files that arrive meanwhile wait for the next tick.
    // Check-outs only once no check-in is left over.
    const QString folder = QDir::currentPath();
    const NoticeFiles ins = noticeFiles(folder, QString::fromLatin1(InboxJournal::CheckIn));
    const NoticeFiles outs = noticeFiles(folder, QString::fromLatin1(InboxJournal::CheckOut));
    reportOddNotices(ins.others + outs.others);
    int budget = m_noticesPerTick;
    if (handleNotifications(journal, InboxJournal::CheckIn, QStringLiteral("1"), ins.files, budget))
        handleNotifications(journal, InboxJournal::CheckOut, QStringLiteral("0"), outs.files,
                            budget);
    return transferred;
}

bool PollingCycle::tick() {
    WorkGuard guard;
    if (!guard.entered())
        return true;
    try {
        const bool transferred = Timer1_Timer();
        m_lastFailure.clear();
        return transferred;
    } catch (const std::exception& e) {
        const QString why = errorText(e);
        log::error(QStringLiteral("Ciclo di lettura interrotto: ") + why);
        if (why != m_lastFailure)
            m_services.dialogs->notify(
                QStringLiteral("Quorvel"),
                QStringLiteral("Lettura dei file della cassa interrotta: %1. Sarà ritentata al "
                               "prossimo ciclo.")
                    .arg(why));
        m_lastFailure = why;
        return false;
    }
}

}  // namespace quorvel
