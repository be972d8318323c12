// The polling tick: receipts, charges, transfer, notification files.
#include "polling/PollingCycle.h"

#include "db/Engine.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/TextFile.h"
#include "polling/ClosingFile.h"
#include "polling/InboxJournal.h"
#include "polling/PollingFiles.h"
#include "polling/StepHook.h"
#include "transfer/ChargeStore.h"
#include "transfer/MainView.h"

#include <QDir>
#include <QFile>
#include <cstdlib>
#include <optional>
#include <utility>

namespace quorvel {

namespace {

using Claim = InboxJournal::Claim;

// Claims the file at path (or takes up the claim an earlier run left) and
// moves it to its archive name; nullopt when there is nothing to import.
std::optional<Claim> claimFile(InboxJournal& journal, const char* kind, const QString& path,
                               const QDateTime& now) {
    auto claim = journal.firstClaim(QString::fromLatin1(kind));
    if (!claim) {
        if (!QFile::exists(path))
            return std::nullopt;
        const QString archive = archiveName(path, now);
        if (archive.compare(path, Qt::CaseInsensitive) == 0)
            throw Error(path, QStringLiteral("il nome del file coincide con quello dell'archivio"));
        // An older archive of the same name is overwritten; it goes before
        // the claim, so that an existing archive always means "moved".
        if (QFile::exists(archive) && !QFile::remove(archive))
            throw Error(archive, QStringLiteral("impossibile sostituire il file"));
        claim = Claim{QString::fromLatin1(kind), path, archive};
        journal.add(*claim);
        polling::step("claimed");
    }
    if (!QFile::exists(claim->archive)) {
        if (!QFile::exists(claim->source)) {
            log::error(QStringLiteral("%1: il file da importare non c'è più, nulla importato")
                           .arg(claim->source));
            journal.settle(*claim);
            return std::nullopt;
        }
        moveReplacing(claim->source, claim->archive);
        polling::step("moved");
    }
    return claim;
}

}  // namespace

PollingCycle::PollingCycle(const Settings& settings, Services& services, ChargeStore& store,
                           std::function<void()> transfer, MainView* view)
    : m_settings(settings),
      m_services(services),
      m_store(store),
      m_guests(*services.dialogs),
      m_transfer(std::move(transfer)),
      m_view(view) {}

QString PollingCycle::notaIncasso(int codice, const QString& descrizione) {
    const QString digits = QStringLiteral("%1").arg(std::abs(codice), 4, 10, QLatin1Char('0'));
    return (codice < 0 ? QStringLiteral("-") : QString()) + digits + QLatin1Char('-') + descrizione;
}

QString PollingCycle::descrizioneIncassi(db::Workspace& ws) const {
    auto voci = ws.openDatabase(QStringLiteral("VociFattura.mdb"));
    auto rs = voci->openRecordset(QStringLiteral("VociFattura"));
    rs->findFirst(QStringLiteral("NumeroHotel = 1 and Codice = ") +
                  QString::number(m_settings.codiceIncassi));
    return rs->noMatch() ? QStringLiteral("Codice non valido")
                         : rs->text(QStringLiteral("Descrizione"));
}

void PollingCycle::importReceipts(db::Workspace& ws, InboxJournal& journal) {
    // The receipts' description is looked up only when a closing file waits,
    // so an idle tick touches no hotel database; and before the file is
    // taken, so a failing lookup leaves the file where the POS put it.
    if (!journal.firstClaim(QString::fromLatin1(InboxJournal::Receipts)) &&
        !QFile::exists(m_settings.fileIncassi))
        return;
    const QString descrizione = descrizioneIncassi(ws);
    // Twice at most: a claim left by an earlier run, then a file that came since.
    for (int round = 0; round < 2; ++round) {
        const auto claim = claimFile(journal, InboxJournal::Receipts, m_settings.fileIncassi,
                                     m_services.clock->now());
        if (!claim)
            return;
        const auto content = parseClosingText(readPosFile(claim->archive), claim->archive);
        for (const QString& problem : content.problems)
            log::error(QStringLiteral("Scontrino non importato: ") + problem);

        const QString nota = notaIncasso(m_settings.codiceIncassi, descrizione);
        auto fatture = ws.openDatabase(QStringLiteral("Fatture.mdb"));
        {
            auto rs = fatture->openRecordset(QStringLiteral("Incassi"));
            db::Transaction t(ws);
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
                polling::step("receipt");
            }
            journal.settle(*claim);
            polling::step("receipts-written");
            t.commit();
        }
        polling::step("receipts-committed");
        log::info(QStringLiteral("Incassi: %1 scontrini importati da %2")
                      .arg(content.receipts.size())
                      .arg(claim->archive));
        if (!content.problems.isEmpty())
            m_services.dialogs->notify(
                QStringLiteral("Incassi"),
                QStringLiteral("%1 scontrini di %2 non importati: vedere il registro")
                    .arg(content.problems.size())
                    .arg(claim->archive));
    }
}

void PollingCycle::takeCharges(InboxJournal& journal) {
    for (int round = 0; round < 2; ++round) {
        const auto claim = claimFile(journal, InboxJournal::Charges, m_settings.fileOrigine,
                                     m_services.clock->now());
        if (!claim)
            return;
        const PosText text = readPosFile(claim->archive);
        ChargeStore::Intake intake;
        {
            db::Transaction t(m_store.workspace());
            intake = m_store.appendChargesFile(text, claim->archive);
            journal.settle(*claim);
            polling::step("charges-written");
            t.commit();
        }
        polling::step("charges-committed");
        log::info(QStringLiteral("Addebiti: %1 righe prese da %2")
                      .arg(intake.pending)
                      .arg(claim->archive));
        for (const QString& problem : std::as_const(intake.problems)) log::error(problem);
        if (!intake.notice.isEmpty())
            m_services.dialogs->notify(QStringLiteral("Addebiti"), intake.notice);
        if (m_view)
            m_view->showPending(m_store.pending());
    }
}

void PollingCycle::handleNotifications(InboxJournal& journal, const char* kind,
                                       const QString& mode) {
    // The folder is searched afresh after every file, so files that arrive
    // meanwhile are handled in this tick too.
    for (;;) {
        const QStringList files = notificationFiles(QDir::currentPath(), QString::fromLatin1(kind));
        if (files.isEmpty())
            return;
        const QString name = files.first();
        const Claim claim{QString::fromLatin1(kind), name, name.mid(3)};
        journal.add(claim);
        polling::step("notice-claimed");
        if (!QFile::remove(name)) {
            journal.settle(claim);
            throw Error(name, QStringLiteral("impossibile cancellare il file"));
        }
        polling::step("notice-removed");
        m_guests.AggiornaCamera(claim.archive, mode);
        polling::step("notice-exported");
        journal.settle(claim);
    }
}

void PollingCycle::Timer1_Timer() {
    db::Workspace& ws = m_store.workspace();
    InboxJournal journal(ws);
    importReceipts(ws, journal);
    takeCharges(journal);
    if (m_store.hasPending())
        m_transfer();
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
    handleNotifications(journal, InboxJournal::CheckIn, QStringLiteral("1"));
    handleNotifications(journal, InboxJournal::CheckOut, QStringLiteral("0"));
}

bool PollingCycle::tick() {
    WorkGuard guard;
    if (!guard.entered())
        return true;
    try {
        Timer1_Timer();
        m_lastFailure.clear();
        return true;
    } catch (const std::exception& e) {
        const QString why = QString::fromStdString(e.what());
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
