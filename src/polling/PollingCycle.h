// Timer1_Timer, the five-second polling tick. In this order it:
//   1. looks up the description of the direct-receipt item (CodiceIncassi);
//   2. imports the receipts of the closing file (FileIncassi) into Incassi;
//   3. moves the lines of the charges file (FileOrigine) to the pending list;
//   4. runs the transfer ("&Trasferisci"'s run) when charges are pending;
//   5. handles every "CKI" file, then 6. every "CKO" file, in name order;
// the caller re-arms the timer when the tick returns.
//
// Every file goes through the claim / move / settle steps of InboxJournal,
// so a kill at any instant followed by a restart imports each receipt and
// each charge line exactly once; claims left by an earlier run are finished
// first, each at its own step.
//
// The closing file and the charges file are taken only when they are
// regular files that are none of the hotel's or the program's own files
// (PosFileRules), and only once the POS has finished writing them: a file is
// taken when its size and time stamp are the same as at the previous tick,
// or, at the first tick that sees it, when it was last modified at least
// SettleSeconds before. Otherwise the tick only records size and time stamp.
// A file refused for what it is stays where it is, reported once.
//
// A file is read a part at a time (bounded memory whatever its size). A
// closing file is written in one transaction; a charges file commits each
// part with the claim's position (the watch below), so an intake cut short
// (a connection lost, a kill) goes on after its last committed part at the
// next tick, no line lost or taken twice. Its archive stays watched for WatchSeconds after it last
// grew: a POS that kept the file open and wrote more after the claim has
// those bytes taken as new lines once they settle (InboxJournal). While the
// POS may still be writing (the file changed less than HeldLineSeconds ago),
// a last line without its line end, and a closing file's last receipt label,
// are held back (the watch's offset stays before them) and read again with
// what follows; after HeldLineSeconds of quiet, or when the watch ends, the
// line is taken as it stands (a last line needs no end). A file
// that cannot be read (larger than MaxPosFileBytes, a read error, memory
// running out) is set aside under "<archive>_NONPRESO.txt", logged and
// notified, so that later files and notices go on.
//
// Notices: the folder is searched once per kind and tick, and one tick
// handles at most NoticesPerTick of them (the rest wait for the next tick,
// still check-ins before check-outs, in name order).
#pragma once

#include "platform/Seams.h"
#include "platform/Settings.h"
#include "polling/FailureEpisode.h"
#include "polling/GuestExport.h"
#include "polling/InboxJournal.h"
#include "polling/PosFileRules.h"
#include "polling/TransferButtons.h"
#include "polling/WorkGuard.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

namespace quorvel {

namespace db {
class Workspace;
}
class ChargeStore;
class MainView;

// What a test may watch of a tick; the program passes none.
struct PollingSeams {
    // Called at each named step where a kill must be survivable ("claimed",
    // "moved", "receipt", ...), so a crash test can end the process there.
    std::function<void(const char* step)> step;
};

class PollingCycle {
public:
    static constexpr int SettleSeconds = 5;
    static constexpr int WatchSeconds = 3600;
    static constexpr int HeldLineSeconds = 60;
    static constexpr qint64 MaxPosFileBytes = qint64{4} * 1024 * 1024 * 1024;
    static constexpr int PartLines = 20000;
    static constexpr int NoticesPerTick = 100;

    // store: the pending list; the tick works in its workspace, so that a
    // charges file's lines and its claim are settled in one transaction.
    // transfer: the run of "&Trasferisci" (TransferButtons::transfer), which
    // reports its own failure. view (optional) is shown the pending list
    // after new charges arrived. REQUIRES: every argument outlives the cycle;
    // services.clock and services.dialogs set.
    PollingCycle(const Settings& settings, Services& services, ChargeStore& store,
                 std::function<TransferRun()> transfer, MainView* view = nullptr,
                 PollingSeams seams = {});
    // The same with a store opened at each tick's start by store (it may
    // throw: the tick then fails as at any other step).
    PollingCycle(const Settings& settings, Services& services, std::function<ChargeStore&()> store,
                 std::function<TransferRun()> transfer, MainView* view = nullptr,
                 PollingSeams seams = {});

    // One tick. Throws Error when a step fails; what earlier steps did stays
    // done, and the failed step is taken up again at the next tick. A failed
    // transfer does not stop the tick: the notices are still handled, and
    // the tick returns false.
    bool Timer1_Timer();

    // The tick as the timer runs it: skipped (true) while other work of the
    // program runs (WorkGuard); a failed step is logged and shown to the
    // operator through Dialogs::notify when it starts or its cause changes,
    // and its end with the count of failed ticks. False
    // when a step or the transfer failed; each failure is reported once, where
    // it is caught. Never throws.
    bool tick();

    // The description of item CodiceIncassi, or "Codice non valido".
    QString descrizioneIncassi(db::Workspace& ws) const;
    // The note of a receipt row: the code as "0000", "-", the description.
    static QString notaIncasso(int codiceIncassi, const QString& descrizione);

    // How many notices one tick handles at most (at least 1).
    void setNoticesPerTick(int n) { m_noticesPerTick = n < 1 ? 1 : n; }
    // How many lines a part of a POS file holds (at least 1).
    void setPartLines(int n) { m_partLines = n < 1 ? 1 : n; }

private:
    using Claim = InboxJournal::Claim;
    struct Sight {
        qint64 size = 0;
        QDateTime modified;
    };

    void importReceipts(db::Workspace& ws, InboxJournal& journal);
    void takeCharges(InboxJournal& journal);
    // A claim left by an earlier run, or else one on a watched archive's growth.
    std::optional<Claim> nextClaim(InboxJournal& journal, const char* kind);
    // claim (from nextClaim), or a new one for the file at path when it may be
    // taken now; the file moved to its archive. nullopt: nothing to do.
    std::optional<Claim> claimFile(InboxJournal& journal, const char* kind, const QString& path,
                                   std::optional<Claim> claim);
    // A claim on bytes written into a watched archive after it was taken.
    std::optional<Claim> growthClaim(InboxJournal& journal, const char* kind);
    // Where the claim's read starts: bytes and lines already taken.
    InboxJournal::Watch startOf(InboxJournal& journal, const Claim& claim) const;
    // True while a cut last line may still be completed: the archive
    // changed less than HeldLineSeconds ago and its watch has not ended.
    bool mayHold(const InboxJournal::Watch& watch, const QDateTime& modified) const;
    // Records (and logs once) that bytes [end, size) of archive were held back.
    void noteHeld(const QString& archive, qint64 size, qint64 end, const QDateTime& modified);
    // Moves a file that cannot be read out of the way, logged and notified.
    void setAside(InboxJournal& journal, const Claim& claim, const QString& why);
    bool mayTake(const char* kind, const QString& path);
    bool settled(const QString& path, qint64 size, const QDateTime& modified);
    void reportOddNotices(const QStringList& names);
    // False when the tick's budget ran out before every file was handled.
    bool handleNotifications(InboxJournal& journal, const char* kind, const QString& mode,
                             const QStringList& files, int& budget);
    void step(const char* name) const {
        if (m_seams.step)
            m_seams.step(name);
    }

    const Settings& m_settings;
    Services& m_services;
    std::function<ChargeStore&()> m_openStore;
    ChargeStore* m_store = nullptr;  // m_openStore's answer for the tick that runs
    GuestExport m_guests;
    std::function<TransferRun()> m_transfer;
    MainView* m_view;
    PollingSeams m_seams;
    FailureEpisode m_failing;      // ticks failed in a row
    QHash<QString, Sight> m_seen;  // POS files not yet taken, as the last tick saw them
    QHash<QString, Sight> m_held;  // archives whose cut last line waits, as last read
    RefusalReport m_refusals;
    QSet<QString> m_oddNotices;  // notice names that are not normal files, reported
    int m_noticesPerTick = NoticesPerTick;
    int m_partLines = PartLines;
    bool m_serverLostInTransfer = false;  // this tick's transfer met ServerUnreachable
};

}  // namespace quorvel
