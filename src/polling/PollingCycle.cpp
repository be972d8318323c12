// The polling tick: receipts, charges, transfer, notification files.
#include "polling/PollingCycle.h"

#include "db/Engine.h"
#include "db/HotelFiles.h"
#include "db/ServerUnreachable.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/Plural.h"
#include "platform/TextFile.h"
#include "polling/ClosingFile.h"
#include "polling/InboxJournal.h"
#include "polling/PollingFiles.h"
#include "transfer/ChargeLine.h"
#include "transfer/ChargeStore.h"
#include "transfer/PostingJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

namespace quorvel {

namespace {

QString fileLabel(const char* kind) {
    return QLatin1String(kind) == QLatin1String(InboxJournal::Receipts)
               ? QStringLiteral("File della chiusura")
               : QStringLiteral("File degli addebiti");
}

// Thrown for a POS file that cannot be read, as opposed to a store that
// cannot be written (which is retried at the next tick).
struct UnreadableFile : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Runs a step of reading a POS file; its failure is the file's.
template <class F>
auto readingStep(F f) {
    try {
        return f();
    } catch (const Error& e) {
        throw UnreadableFile(e.message().toStdString());
    } catch (const std::bad_alloc&) {
        throw UnreadableFile("memoria esaurita");
    }
}

struct PartsRead {
    std::int32_t lines = 0;  // lines taken
    qint64 end = 0;          // offset just past the last line taken
};

// Feeds the lines of bytes [from, to) of a POS file to take() in parts of
// about partLines lines, never splitting two lines for which together(last,
// next) holds, with the offset just past the part's last line and whether it
// is the last part. The encoding is judged on bytes [utf8From, to). With hold
// (the writer may still be at work), a last line without its line end is
// held back, and so is a last line for which waitsForNext holds: they are
// read again with what follows them; the last part's offset stops before
// them. A failure to read throws UnreadableFile; take()'s own failures pass
// unchanged.
PartsRead readInParts(const QString& path, qint64 from, qint64 to, qint64 utf8From,
                      std::int32_t firstLine, int partLines, qsizetype keep, bool hold,
                      const std::function<bool(const QString&, const QString&)>& together,
                      const std::function<bool(const QString&)>& waitsForNext,
                      const std::function<void(const PosText&, std::int32_t, qint64, bool)>& take) {
    PartsRead read{0, from};
    PosText part;
    part.utf8 = readingStep([&] { return fileLooksLikeUtf8(path, utf8From, to); });
    auto reader = readingStep(
        [&] { return std::make_unique<PosLineReader>(path, from, to, part.utf8, keep); });
    if (reader->startsMidLine())
        log::error(QStringLiteral("%1: la riga %2 era incompleta quando il file fu preso; "
                                  "il seguito scritto dopo è preso come riga nuova")
                       .arg(path)
                       .arg(firstLine - 1));
    QString line;
    qint64 length = 0;
    qint64 lineStart = from;
    bool cut = false;  // the last line read ran to `to` without its end, and is held
    const auto next = [&] {
        lineStart = reader->offset();
        const bool got = readingStep([&] { return reader->next(line, length); });
        cut = got && hold && !reader->lineEnded();
        return got && !cut;
    };
    qint64 heldFrom = -1;
    // Past what was read (an LF after a CR included), or where the held begins.
    const auto finalEnd = [&] {
        return heldFrom >= 0 ? heldFrom : cut ? lineStart : reader->offset();
    };
    qint64 partEnd = from;
    auto flush = [&](bool last) {
        if (part.lines.isEmpty())
            return;
        take(part, firstLine + read.lines, last ? finalEnd() : partEnd, last);
        read.lines += static_cast<std::int32_t>(part.lines.size());
        part.lines.clear();
        part.lengths.clear();
    };
    bool more = next();
    while (more) {
        part.lines << line;
        part.lengths << length;
        const qint64 start = lineStart;
        partEnd = reader->offset();
        more = next();
        if (!more && hold && waitsForNext && waitsForNext(part.lines.last())) {
            part.lines.removeLast();
            part.lengths.removeLast();
            heldFrom = start;
        }
        // Kept together only so far: a file of nothing but "Sconto" lines
        // must not be held whole.
        if (part.lines.size() >= 2 * partLines ||
            (part.lines.size() >= partLines && !(more && together(part.lines.last(), line))))
            flush(!more);
    }
    flush(true);
    read.end = finalEnd();
    return read;
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

std::optional<PollingCycle::Claim> PollingCycle::growthClaim(InboxJournal& journal,
                                                             const char* kind) {
    const QDateTime now = m_services.clock->now();
    for (const InboxJournal::Watch& w : journal.watches(QString::fromLatin1(kind))) {
        const QFileInfo info(w.archive);
        const qint64 size = info.isFile() ? info.size() : -1;
        if (size < w.bytes) {
            if (info.exists())
                log::error(QStringLiteral("%1: l'archivio è cambiato dopo la presa (%2 byte invece "
                                          "di %3): non più sorvegliato")
                               .arg(w.archive)
                               .arg(size)
                               .arg(w.bytes));
            journal.dropWatch(w.kind, w.archive);
            m_seen.remove(w.archive);
            m_held.remove(w.archive);
            continue;
        }
        if (size == w.bytes) {
            m_seen.remove(w.archive);
            m_held.remove(w.archive);
            if (w.grew.secsTo(now) >= WatchSeconds)
                journal.dropWatch(w.kind, w.archive);
            continue;
        }
        if (!settled(w.archive, size, info.lastModified()))
            continue;
        // Only the cut line held back at the last read, and it may still be
        // completed: nothing to read yet.
        if (const auto h = m_held.constFind(w.archive); h != m_held.cend() && h->size == size &&
                                                        h->modified == info.lastModified() &&
                                                        mayHold(w, info.lastModified()))
            continue;
        m_seen.remove(w.archive);
        log::info(QStringLiteral("%1: la cassa vi ha scritto %2 byte dopo che era stato preso: "
                                 "presi come righe nuove")
                      .arg(w.archive)
                      .arg(size - w.bytes));
        Claim claim{QString::fromLatin1(kind), w.archive, w.archive};
        journal.add(claim);
        step("growth-claimed");
        return claim;
    }
    return std::nullopt;
}

bool PollingCycle::mayHold(const InboxJournal::Watch& watch, const QDateTime& modified) const {
    const QDateTime now = m_services.clock->now();
    if (modified.secsTo(now) >= HeldLineSeconds)
        return false;  // quiet long enough: the writer is done
    return !watch.grew.isValid() || watch.grew.secsTo(now) < WatchSeconds;
}

void PollingCycle::noteHeld(const QString& archive, qint64 size, qint64 end,
                            const QDateTime& modified) {
    if (end < size) {
        if (!m_held.contains(archive))
            log::info(QStringLiteral("%1: l'ultima riga non è ancora finita (%2 byte senza fine "
                                     "riga): presa quando la cassa la completa, o com'è dopo %3 "
                                     "secondi senza scritture")
                          .arg(archive)
                          .arg(size - end)
                          .arg(HeldLineSeconds));
        m_held.insert(archive, {size, modified});
    } else if (m_held.remove(archive) > 0) {
        log::info(QStringLiteral("%1: la riga attesa è stata presa").arg(archive));
    }
}

InboxJournal::Watch PollingCycle::startOf(InboxJournal& journal, const Claim& claim) const {
    if (auto w = journal.watch(claim.kind, claim.archive))
        return *w;
    return {claim.kind, claim.archive, 0, 0, {}};
}

void PollingCycle::setAside(InboxJournal& journal, const Claim& claim, const QString& why) {
    const QByteArray kind = claim.kind.toLatin1();
    QString text;
    // Parts of a charges file already committed stay taken: the file stays
    // where it is, as does the growth of a file taken before.
    const auto taken = journal.watch(claim.kind, claim.archive);
    if (claim.source == claim.archive || taken) {
        // What was taken stays; the rest is left in the archive, no longer watched.
        db::Transaction t(m_store->workspace());
        journal.dropWatch(claim.kind, claim.archive);
        m_held.remove(claim.archive);
        journal.settle(claim);
        t.commit();
        text = claim.source == claim.archive
                   ? QStringLiteral(
                         "%1 %2: righe scritte dopo la presa non lette (%3): restano "
                         "nell'archivio, nulla importato")
                         .arg(fileLabel(kind.constData()), claim.archive, why)
                   : QStringLiteral(
                         "%1 %2: letto fino alla riga %3, il resto non letto (%4): "
                         "resta nell'archivio, non importato")
                         .arg(fileLabel(kind.constData()), claim.archive)
                         .arg(taken->lines)
                         .arg(why);
    } else {
        const QString stem = claim.archive.endsWith(QStringLiteral(".txt"))
                                 ? claim.archive.left(claim.archive.size() - 4)
                                 : claim.archive;
        QString aside = stem + QStringLiteral("_NONPRESO.txt");
        for (int n = 2; QFileInfo::exists(aside); ++n)
            aside = stem + QStringLiteral("_NONPRESO_%1.txt").arg(n);
        moveFile(claim.archive, aside);
        journal.settle(claim);
        text = QStringLiteral(
                   "%1 %2 non letto (%3): messo da parte come %4, nulla importato; i "
                   "file seguenti sono presi come sempre")
                   .arg(fileLabel(kind.constData()), claim.source, why, aside);
    }
    log::error(text);
    m_services.dialogs->notify(QStringLiteral("Quorvel"), text);
}

std::optional<PollingCycle::Claim> PollingCycle::nextClaim(InboxJournal& journal,
                                                           const char* kind) {
    auto claim = journal.firstClaim(QString::fromLatin1(kind));
    return claim ? claim : growthClaim(journal, kind);
}

std::optional<PollingCycle::Claim> PollingCycle::claimFile(InboxJournal& journal, const char* kind,
                                                           const QString& path,
                                                           std::optional<Claim> claim) {
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
    const QString kind = QString::fromLatin1(InboxJournal::Receipts);
    // A claim left by an earlier run, bytes written into an archive since,
    // then a file waiting now.
    for (int round = 0; round < 3; ++round) {
        auto next = nextClaim(journal, InboxJournal::Receipts);
        if (!next && !mayTake(InboxJournal::Receipts, m_settings.fileIncassi))
            return;
        if (!descrizione)
            descrizione = descrizioneIncassi(ws);
        const auto claim =
            claimFile(journal, InboxJournal::Receipts, m_settings.fileIncassi, std::move(next));
        if (!claim)
            return;
        const InboxJournal::Watch start = startOf(journal, *claim);
        const QFileInfo info(claim->archive);
        const qint64 to = info.size();
        if (to > MaxPosFileBytes) {
            setAside(journal, *claim,
                     QStringLiteral("%1 byte, oltre il limite di %2").arg(to).arg(MaxPosFileBytes));
            continue;
        }
        const bool hold = mayHold(start, info.lastModified());
        const QString nota = notaIncasso(m_settings.codiceIncassi, *descrizione);
        auto fatture = ws.openDatabase(QString::fromLatin1(db::FattureMdb));
        int imported = 0;
        QStringList problems;
        try {
            auto rs = fatture->openRecordset(QStringLiteral("Incassi"));
            // The journal is in the store, opened in this same workspace, so
            // its rows commit with the receipts.
            Q_ASSERT(&m_store->workspace() == &ws);
            db::Transaction t(ws);
            const auto take = [&](const PosText& part, std::int32_t firstLine, qint64, bool) {
                const auto content = parseClosingText(part, claim->archive, firstLine);
                problems += content.problems;
                std::vector<JournalEntry> rows;
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
                    e.line = part.lines.value(r.lineNumber - firstLine);
                    e.day = now.toString(QStringLiteral("yyyyMMdd"));
                    e.amount = r.amount;
                    e.outcome = Esito::Incasso;
                    e.database = QString::fromLatin1(db::FattureMdb);
                    e.table = QStringLiteral("Incassi");
                    e.accountRow = rs->lastAddedId();
                    e.added = r.amount;
                    e.when = now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
                    rows.push_back(std::move(e));
                    ++imported;
                    step("receipt");
                }
                m_store->journal().add(rows);
            };
            // A label and the line after it are never read in different parts,
            // nor a label taken before its amount line was written.
            const PartsRead read = readInParts(
                claim->archive, start.bytes, to, start.bytes, start.lines + 1, m_partLines,
                64 * 1024, hold,
                [](const QString& last, const QString&) { return isReceiptLabel(last); },
                isReceiptLabel, take);
            journal.setWatch({claim->kind, claim->archive, read.end, start.lines + read.lines,
                              m_services.clock->now()});
            journal.settle(*claim);
            step("receipts-written");
            t.commit();
            noteHeld(claim->archive, to, read.end, info.lastModified());
        } catch (const UnreadableFile& e) {
            setAside(journal, *claim, QString::fromStdString(e.what()));
            continue;
        }
        step("receipts-committed");
        for (const QString& problem : std::as_const(problems))
            log::error(QStringLiteral("Scontrino non importato: ") + problem);
        log::info(plural(imported, QStringLiteral("Incassi: %1 scontrino importato da %2"),
                         QStringLiteral("Incassi: %1 scontrini importati da %2"))
                      .arg(claim->archive));
        if (!problems.isEmpty())
            m_services.dialogs->notify(
                QStringLiteral("Incassi"),
                plural(problems.size(),
                       QStringLiteral("%1 scontrino di %2 non importato: vedere il registro"),
                       QStringLiteral("%1 scontrini di %2 non importati: vedere il registro"))
                    .arg(claim->archive));
    }
}

void PollingCycle::takeCharges(InboxJournal& journal) {
    for (int round = 0; round < 3; ++round) {
        const auto claim = claimFile(journal, InboxJournal::Charges, m_settings.fileOrigine,
                                     nextClaim(journal, InboxJournal::Charges));
        if (!claim)
            return;
        const InboxJournal::Watch start = startOf(journal, *claim);
        const QFileInfo info(claim->archive);
        const qint64 to = info.size();
        if (to > MaxPosFileBytes) {
            setAside(journal, *claim,
                     QStringLiteral("%1 byte, oltre il limite di %2").arg(to).arg(MaxPosFileBytes));
            continue;
        }
        const bool hold = mayHold(start, info.lastModified());
        // A file taken up again after a part of it was committed (a lost
        // connection, a kill) goes on after that part; its encoding is still
        // judged on the whole file.
        const bool whole = claim->source != claim->archive;
        if (whole && start.lines > 0)
            log::info(QStringLiteral("%1: presa ripresa dalla riga %2, le precedenti sono già "
                                     "nella coda")
                          .arg(claim->archive)
                          .arg(start.lines + 1));
        ChargeStore::Intake intake;
        int parts = 0;
        try {
            // Each part commits with the claim's new position, so a flapping
            // connection still makes progress and no line is taken twice.
            const auto take = [&](const PosText& part, std::int32_t firstLine, qint64 end,
                                  bool last) {
                db::Transaction t(m_store->workspace());
                ChargeStore::Intake in =
                    m_store->appendChargesFile(part, claim->archive, firstLine);
                const auto taken = firstLine - 1 + static_cast<std::int32_t>(part.lines.size());
                journal.setWatch(
                    {claim->kind, claim->archive, end, taken, m_services.clock->now()});
                if (last)
                    journal.settle(*claim);
                step(last ? "charges-written" : "charges-part-written");
                t.commit();
                intake.pending += in.pending;
                intake.listed += in.listed;
                intake.notice = in.notice;
                ++parts;
                // Logged part by part: a later part's failure must not lose them.
                for (const QString& problem : std::as_const(in.problems)) log::error(problem);
                if (!last)
                    step("charges-part-committed");
            };
            // A charge and the "Sconto" line after it are read in one part.
            const PartsRead read = readInParts(
                claim->archive, start.bytes, to, whole ? 0 : start.bytes, start.lines + 1,
                m_partLines, ChargeStore::MaxLineLength + 1, hold,
                [](const QString&, const QString& next) { return charge::isDiscount(next); }, {},
                take);
            if (read.lines == 0) {
                db::Transaction t(m_store->workspace());
                journal.setWatch(
                    {claim->kind, claim->archive, read.end, start.lines, m_services.clock->now()});
                journal.settle(*claim);
                step("charges-written");
                t.commit();
            }
            noteHeld(claim->archive, to, read.end, info.lastModified());
        } catch (const UnreadableFile& e) {
            setAside(journal, *claim, QString::fromStdString(e.what()));
            continue;
        }
        step("charges-committed");
        log::info(plural(intake.pending, QStringLiteral("Addebiti: %1 riga presa da %2"),
                         QStringLiteral("Addebiti: %1 righe prese da %2"))
                      .arg(claim->archive));
        if (parts > 1 && intake.listed > 0)
            intake.notice = QStringLiteral(
                                "%1: %2 righe non trasferite, nello storico errori: "
                                "vedere il registro")
                                .arg(claim->archive)
                                .arg(intake.listed);
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
        if (name.contains(QChar::ReplacementCharacter))
            why = QStringLiteral("il nome non è testo valido, il file va rinominato");
        else if (why.isEmpty())
            why = QFileInfo(name).isSymLink() && !QFileInfo::exists(name)
                      ? QStringLiteral("collegamento a un file che non esiste")
                      : QStringLiteral("file nascosto o di sistema");
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
    m_serverLostInTransfer = false;
    const std::uint64_t unreachable = db::serverUnreachableCount();
    const bool transferred =
        !m_store->hasPending() || m_transfer().outcome != TransferRun::Outcome::Failed;
    m_serverLostInTransfer = !transferred && db::serverUnreachableCount() != unreachable;
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
        const QString text = m_failing.ended(
            QStringLiteral("Lettura dei file della cassa ripresa dopo %1 ciclo interrotto (%2)"),
            QStringLiteral("Lettura dei file della cassa ripresa dopo %1 cicli interrotti (%2)"));
        if (!text.isEmpty()) {
            log::info(text);
            m_services.dialogs->notify(QStringLiteral("Quorvel"), text);
        }
        return transferred;
    } catch (const std::exception& e) {
        // The server the transfer lost (and reported) is still gone: one
        // failure, one report.
        if (m_serverLostInTransfer && dynamic_cast<const db::ServerUnreachable*>(&e))
            return false;
        // Told when the failure starts or its cause changes, not at every
        // cycle; its end is told with the count.
        const QString why = errorText(e);
        if (m_failing.failed(why)) {
            log::error(QStringLiteral("Ciclo di lettura interrotto: ") + why);
            m_services.dialogs->notify(
                QStringLiteral("Quorvel"),
                QStringLiteral("Lettura dei file della cassa interrotta: %1. Sarà ritentata al "
                               "prossimo ciclo.")
                    .arg(why));
        }
        return false;
    }
}

}  // namespace quorvel
