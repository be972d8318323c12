// The polling tick: receipts into Incassi, charges into the pending list,
// the transfer, notification files; failures, re-entrancy, and a kill at
// every step followed by a restart.
#include "PollingHotel.h"
#include "db/HotelFiles.h"
#include "db/Server.h"
#include "hotel/HotelSchema.h"
#include "platform/Log.h"
#include "platform/TextFile.h"
#include "polling/InboxJournal.h"
#include "polling/PollingCycle.h"
#include "polling/PosFileRules.h"
#include "support/ServerDb.h"
#include "transfer/ChargeStore.h"
#include "transfer/PostingJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorvel::test {
namespace {

const QByteArray kClosing =
    "RISTORANTE DA MARIO\r\n"
    "  Scontrino: 1\r\n"
    "Totale EUR           12,50\r\n"
    "   Scontrino: 9 (indented: not a label)\r\n"
    "99,99\r\n"
    "  SCONTRINO: 8 (capitals: not a label)\r\n"
    "88,88\r\n"
    "  Scontrino: 2\r\n"
    "Totale EUR            7,00\r\n"
    "  Scontrino: 3\r\n"
    "Totale EUR         1234,05\r\n"
    "Chiusura\r\n";

QStringList chargeLines(int n, int from = 1) {
    QStringList lines;
    for (int i = from; i < from + n; ++i) lines << QStringLiteral(" 101 250307 riga %1").arg(i);
    return lines;
}

class PollingCycleTest : public PollingHotel {
protected:
    void SetUp() override {
        PollingHotel::SetUp();
        settings.codiceIncassi = 12;
        addItem(12, QStringLiteral("Incasso diretto"));
        addItem(13, QStringLiteral("Altro"));
        addCard(InHouse, {1, 1, QStringLiteral("101"), 1, QStringLiteral("N"),
                          QStringLiteral("Rossi Mario")});
        addCard(InHouse,
                {1, 2, QStringLiteral("102"), 1, QStringLiteral("N"), QStringLiteral("Neri Ada")});
        addCard(InHouse,
                {1, 3, QStringLiteral("205"), 1, QStringLiteral("N"), QStringLiteral("Blu Ugo")});
    }
    // A fresh program: workspace, store, cycle; the transfer only records
    // what was pending when it was called. step: the cycle's step seam.
    struct Program {
        explicit Program(PollingCycleTest& t, std::function<void(const char*)> step = {})
            : store(ws),
              cycle(
                  t.settings, t.services, store,
                  [this] {
                      transfers.push_back(store.pending());
                      return TransferRun{};
                  },
                  nullptr, PollingSeams{std::move(step)}) {}
        db::Workspace ws;
        ChargeStore store;
        std::vector<QStringList> transfers;
        PollingCycle cycle;
    };

    QStringList pending() {
        db::Workspace ws;
        return ChargeStore(ws).pending();
    }

    // A POS file written a minute before the tick: complete, taken at once.
    void drop(const QString& name, const QByteArray& bytes) {
        writeBytes(name, bytes);
        setModified(name, clock.current.addSecs(-60));
    }
    void dropLines(const QString& name, const QStringList& lines) {
        writeTextLines(path(name), lines);
        setModified(name, clock.current.addSecs(-60));
    }
    void setModified(const QString& name, const QDateTime& when) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::Append));
        ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
    }

    Settings settings;
};

TEST_F(PollingCycleTest, IdleTickChangesNothing) {
    Program p(*this);
    EXPECT_TRUE(p.cycle.tick());
    EXPECT_TRUE(p.transfers.empty());
    EXPECT_TRUE(incassi().empty());
    EXPECT_TRUE(guestRows().empty());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(dialogs.notices.empty());
    // With nothing waiting no hotel database is needed.
    ASSERT_TRUE(QFile::remove(path(QStringLiteral("VociFattura.mdb"))));
    EXPECT_TRUE(p.cycle.tick());
    EXPECT_TRUE(dialogs.notices.empty());
}

TEST_F(PollingCycleTest, ClosingFileBecomesReceiptRowsAndArchive) {
    drop(QStringLiteral("Documento.txt"), kClosing);
    clock.current = QDateTime(QDate(2025, 3, 7), QTime(9, 5, 3));
    Program p(*this);
    ASSERT_TRUE(p.cycle.tick());
    const auto rows = incassi();
    ASSERT_EQ(rows.size(), 3u);
    const Currency amounts[] = {Currency::fromCents(1250), Currency::fromCents(700),
                                Currency::fromCents(123405)};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(rows[i].hotel, 1);
        EXPECT_EQ(rows[i].data, QStringLiteral("20250307"));
        EXPECT_EQ(rows[i].tipo, QStringLiteral("ESTERNI"));
        EXPECT_EQ(rows[i].nDocumento, 0);
        EXPECT_EQ(rows[i].contatore, 1);
        EXPECT_EQ(rows[i].sigla, QStringLiteral("CON"));
        EXPECT_EQ(rows[i].importo, amounts[i]);
        EXPECT_EQ(rows[i].orario, QStringLiteral("0905"));
        EXPECT_EQ(rows[i].nota, QStringLiteral("0012-Incasso diretto"));
    }
    EXPECT_FALSE(exists(QStringLiteral("Documento.txt")));
    EXPECT_EQ(readBytes(QStringLiteral("Documento_20250307090503.txt")), kClosing);
    // Each receipt's journal row points at its Incassi row.
    JournalQuery imported;
    imported.outcome = Esito::Incasso;
    const auto journal = p.store.journal().find(imported);
    ASSERT_EQ(journal.size(), 3u);
    const int amountLines[] = {3, 9, 11};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(journal[i].kind, "I");
        EXPECT_TRUE(journal[i].archive.endsWith("Documento_20250307090503.txt"));
        EXPECT_EQ(journal[i].lineNo, amountLines[i]);
        EXPECT_EQ(journal[i].line,
                  QString::fromLatin1(kClosing.split('\n')[amountLines[i] - 1]).chopped(1));
        EXPECT_EQ(journal[i].day, "20250307");
        EXPECT_EQ(journal[i].amount, amounts[i]);
        EXPECT_EQ(journal[i].database, "Fatture.mdb");
        EXPECT_EQ(journal[i].table, "Incassi");
        EXPECT_EQ(journal[i].accountRow, static_cast<std::int64_t>(i + 1));
    }

    // An unknown item code still imports, with "Codice non valido"; a file
    // without receipts is archived and adds nothing. A second file taken in
    // the same second gets its own archive name: no archive is replaced.
    settings.codiceIncassi = 99;
    drop(QStringLiteral("Documento.txt"), "  Scontrino: 4\r\n     tre euro\r\n");
    clock.current = QDateTime(QDate(2025, 3, 7), QTime(14, 0, 0));
    ASSERT_TRUE(p.cycle.tick());
    ASSERT_EQ(incassi().size(), 3u);  // not a number: skipped, logged, shown
    EXPECT_EQ(dialogs.notices.size(), 1u);
    drop(QStringLiteral("Documento.txt"), "  Scontrino: 5\r\n            2\r\n");
    ASSERT_TRUE(p.cycle.tick());
    ASSERT_EQ(incassi().size(), 4u);
    EXPECT_EQ(incassi()[3].nota, QStringLiteral("0099-Codice non valido"));
    EXPECT_EQ(incassi()[3].orario, QStringLiteral("1400"));
    drop(QStringLiteral("Documento.txt"), "nessuno scontrino\r\n");
    ASSERT_TRUE(p.cycle.tick());
    EXPECT_EQ(incassi().size(), 4u);
    EXPECT_FALSE(exists(QStringLiteral("Documento.txt")));
    EXPECT_EQ(readBytes(QStringLiteral("Documento_20250307140000.txt")),
              QByteArray("  Scontrino: 4\r\n     tre euro\r\n"));
    EXPECT_EQ(readBytes(QStringLiteral("Documento_20250307140000_2.txt")),
              QByteArray("  Scontrino: 5\r\n            2\r\n"));
    EXPECT_EQ(readBytes(QStringLiteral("Documento_20250307140000_3.txt")),
              QByteArray("nessuno scontrino\r\n"));
}

TEST_F(PollingCycleTest, ChargesFileJoinsLeftoversAndTransfersOnce) {
    {
        db::Workspace ws;
        ChargeStore(ws).appendPending(chargeLines(2, 90));  // left by an earlier tick
    }
    dropLines(QStringLiteral("Estrazione.mdb"), chargeLines(5));
    Program p(*this);
    ASSERT_TRUE(p.cycle.tick());
    ASSERT_EQ(p.transfers.size(), 1u);
    EXPECT_EQ(p.transfers[0], chargeLines(2, 90) + chargeLines(5));
    EXPECT_FALSE(exists(QStringLiteral("Estrazione.mdb")));
    EXPECT_TRUE(exists(QStringLiteral("Estrazione_20250307090503.txt")));
    // The file's lines are in the journal, pending, under its archive.
    JournalQuery waiting;
    waiting.outcome = Esito::InAttesa;
    const auto journal = p.store.journal().find(waiting);
    ASSERT_EQ(journal.size(), 5u);
    EXPECT_TRUE(journal[4].archive.endsWith("Estrazione_20250307090503.txt"));
    EXPECT_EQ(journal[4].lineNo, 5);
    EXPECT_EQ(journal[4].line, chargeLines(5)[4]);
    EXPECT_EQ(p.store.journal().received({}, {}).at(0).lines, 5);

    // The fake transfer left the lines pending: the next tick transfers
    // again; an empty charges file adds nothing.
    drop(QStringLiteral("Estrazione.mdb"), "");
    ASSERT_TRUE(p.cycle.tick());
    EXPECT_EQ(p.transfers.size(), 2u);
    EXPECT_EQ(pending().size(), 7);
    EXPECT_FALSE(exists(QStringLiteral("Estrazione.mdb")));
}

TEST_F(PollingCycleTest, EmptyChargesFileWithNothingPendingStartsNoTransfer) {
    drop(QStringLiteral("Estrazione.mdb"), "");
    Program p(*this);
    ASSERT_TRUE(p.cycle.tick());
    EXPECT_TRUE(p.transfers.empty());
    EXPECT_FALSE(exists(QStringLiteral("Estrazione.mdb")));
    EXPECT_TRUE(exists(QStringLiteral("Estrazione_20250307090503.txt")));
}

TEST_F(PollingCycleTest, CheckInsBeforeCheckOutsInNameOrder) {
    writeBytes(QStringLiteral("CKO205"), "");
    writeBytes(QStringLiteral("cki102"), "");
    writeBytes(QStringLiteral("CKI101"), "");
    Program p(*this);
    ASSERT_TRUE(p.cycle.tick());
    const GuestRow blank{QStringLiteral("205"), QStringLiteral(" "), QStringLiteral(" "),
                         QStringLiteral(" ")};
    const std::vector<GuestRow> expected{
        {QStringLiteral("101"), QStringLiteral("Rossi Mario"), QStringLiteral("2025-03-01"),
         QStringLiteral("2025-03-09")},
        {QStringLiteral("102"), QStringLiteral("Neri Ada"), QStringLiteral("2025-03-01"),
         QStringLiteral("2025-03-09")},
        blank};
    EXPECT_EQ(guestRows(), expected);
    for (const char* f : {"CKI101", "cki102", "CKO205"})
        EXPECT_FALSE(exists(QString::fromLatin1(f))) << f;
}

TEST_F(PollingCycleTest, NotificationWithoutPosDestWarnsAndIsRemoved) {
    QFile::remove(path(QStringLiteral("POSDest.txt")));
    writeBytes(QStringLiteral("CKI101"), "");
    Program p(*this);
    ASSERT_TRUE(p.cycle.tick());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Dati mancanti"));
    EXPECT_FALSE(exists(QStringLiteral("CKI101")));
    EXPECT_TRUE(guestRows().empty());
}

TEST_F(PollingCycleTest, NoTickWhileOtherWorkRuns) {
    drop(QStringLiteral("Documento.txt"), kClosing);
    Program p(*this);
    {
        WorkGuard clickRunning;
        ASSERT_TRUE(clickRunning.entered());
        EXPECT_TRUE(p.cycle.tick());
        EXPECT_TRUE(exists(QStringLiteral("Documento.txt")));
        EXPECT_TRUE(WorkGuard::busy());
    }
    EXPECT_FALSE(WorkGuard::busy());
    EXPECT_TRUE(p.cycle.tick());
    EXPECT_EQ(incassi().size(), 3u);
}

TEST_F(PollingCycleTest, FailedTickIsReportedOnceAndTakenUpLater) {
    drop(QStringLiteral("Documento.txt"), kClosing);
    writeBytes(QStringLiteral("CKI101"), "");
    ASSERT_TRUE(QFile::rename(path(QStringLiteral("Fatture.mdb")), path(QStringLiteral("F.bak"))));
    Program p(*this);
    EXPECT_FALSE(p.cycle.tick());
    EXPECT_FALSE(p.cycle.tick());
    EXPECT_EQ(dialogs.notices.size(), 1u);  // the same cause is not repeated every 5 s
    EXPECT_FALSE(exists(QStringLiteral("Documento.txt")));  // moved to its archive
    EXPECT_TRUE(exists(QStringLiteral("CKI101")));          // later steps did not run
    ASSERT_TRUE(QFile::rename(path(QStringLiteral("F.bak")), path(QStringLiteral("Fatture.mdb"))));
    EXPECT_TRUE(p.cycle.tick());
    EXPECT_EQ(incassi().size(), 3u);
    EXPECT_EQ(guestRows().size(), 1u);
    EXPECT_FALSE(exists(QStringLiteral("CKI101")));
    EXPECT_TRUE(p.cycle.tick());
    EXPECT_EQ(incassi().size(), 3u);
}

// A departure while the room map cannot be read: the notice stays claimed,
// the room keeps its rows under its POS code, and the next tick that can
// read the map finishes it.
TEST_F(PollingCycleTest, UnreadableRoomMapKeepsTheNoticeForTheNextTick) {
    addGuestRow({QStringLiteral("B2"), QStringLiteral("Camera : 102"), {}, {}});
    ASSERT_TRUE(QDir(dir()).mkdir(QStringLiteral("QuorveloCamere.txt")));
    writeBytes(QStringLiteral("CKO102"), "");
    Program p(*this);
    EXPECT_FALSE(p.cycle.tick());
    EXPECT_FALSE(p.cycle.tick());
    ASSERT_EQ(dialogs.notices.size(), 1u);
    EXPECT_TRUE(dialogs.notices[0].second.contains(QStringLiteral("QuorveloCamere.txt")));
    const std::vector<GuestRow> occupied{
        {QStringLiteral("B2"), QStringLiteral("Camera : 102"), {}, {}}};
    EXPECT_EQ(guestRows(), occupied);
    ASSERT_TRUE(QDir(dir()).rmdir(QStringLiteral("QuorveloCamere.txt")));
    writeBytes(QStringLiteral("QuorveloCamere.txt"), "B2,102\r\n");
    EXPECT_TRUE(p.cycle.tick());
    ASSERT_EQ(dialogs.notices.size(), 2u);  // the end, with the count
    EXPECT_TRUE(dialogs.notices[1].second.contains(QStringLiteral("ripresa dopo 2 cicli")));
    const std::vector<GuestRow> left{
        {QStringLiteral("B2"), QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" ")}};
    EXPECT_EQ(guestRows(), left);
}

// A POS that writes its charges file in place, a line now and then: the file
// is taken only once it stayed the same from one tick to the next, so every
// line the archive holds is pending.
TEST_F(PollingCycleTest, FileStillBeingWrittenIsTakenOnlyWhenItStopsChanging) {
    Program p(*this);
    QFile pos(path(QStringLiteral("Estrazione.mdb")));
    ASSERT_TRUE(pos.open(QIODevice::WriteOnly));
    const auto write = [&](const QStringList& lines) {
        for (const QString& l : lines) pos.write(encodeCp1252(l) + "\r\n");
        ASSERT_TRUE(pos.flush());
        ASSERT_TRUE(pos.setFileTime(clock.current, QFileDevice::FileModificationTime));
    };
    write(chargeLines(2));
    ASSERT_TRUE(p.cycle.tick());  // first sight, just written: only noted
    EXPECT_TRUE(exists(QStringLiteral("Estrazione.mdb")));
    clock.current = clock.current.addSecs(5);
    write(chargeLines(2, 3));
    ASSERT_TRUE(p.cycle.tick());  // changed since: noted again
    EXPECT_TRUE(pending().isEmpty());
    clock.current = clock.current.addSecs(5);
    ASSERT_TRUE(p.cycle.tick());  // the same as 5 s ago: taken
    EXPECT_FALSE(exists(QStringLiteral("Estrazione.mdb")));
    EXPECT_EQ(pending(), chargeLines(4));
    const QString archive = QStringLiteral("Estrazione_20250307090513.txt");
    EXPECT_EQ(readTextLines(path(archive)), chargeLines(4));

    // The POS kept the file open and paused longer than a cycle: what it
    // wrote since went into the archive, and is taken once it settles.
    write(chargeLines(2, 5));
    ASSERT_TRUE(p.cycle.tick());
    EXPECT_EQ(pending(), chargeLines(4));
    clock.current = clock.current.addSecs(5);
    ASSERT_TRUE(p.cycle.tick());
    pos.close();
    EXPECT_EQ(pending(), chargeLines(6));
    EXPECT_EQ(readTextLines(path(archive)), chargeLines(6));
    const auto rows = p.store.journal().find(JournalQuery{});
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows.back().archive, archive);
    EXPECT_EQ(rows.back().lineNo, 6);
    std::int64_t received = 0;
    for (const ReceivedCount& r : p.store.journal().received({}, {})) received += r.lines;
    EXPECT_EQ(received, 6);
    ASSERT_TRUE(p.cycle.tick());  // nothing new: nothing taken twice
    EXPECT_EQ(pending(), chargeLines(6));

    // A pause in the middle of a line: the head waits for its tail (across a
    // restart), and the line is taken once, whole.
    QFile more(path(archive));
    ASSERT_TRUE(more.open(QIODevice::Append));
    const auto append = [&](const QByteArray& bytes) {
        more.write(bytes);
        ASSERT_TRUE(more.flush());
        ASSERT_TRUE(more.setFileTime(clock.current, QFileDevice::FileModificationTime));
    };
    const auto settle = [&](PollingCycle& cycle) {
        ASSERT_TRUE(cycle.tick());
        clock.current = clock.current.addSecs(5);
        ASSERT_TRUE(cycle.tick());
    };
    const QString line7 = QStringLiteral(" 101 250307 riga 7 importo 1250");
    append(encodeCp1252(line7.left(29)));
    settle(p.cycle);
    EXPECT_EQ(pending(), chargeLines(6));
    Program restarted(*this);
    settle(restarted.cycle);
    EXPECT_EQ(pending(), chargeLines(6));
    append(encodeCp1252(line7.mid(29)) + "\r\n");
    settle(restarted.cycle);
    EXPECT_EQ(pending(), chargeLines(6) + QStringList{line7});
    // A head never completed is taken as it stands once the POS is quiet.
    append(" 101 250307 riga 8");
    settle(restarted.cycle);
    clock.current = clock.current.addSecs(PollingCycle::HeldLineSeconds - 5);
    settle(restarted.cycle);
    more.close();
    const QStringList all = chargeLines(6) + QStringList{line7} + chargeLines(1, 8);
    EXPECT_EQ(pending(), all);
    const auto taken = restarted.store.journal().find(JournalQuery{});
    ASSERT_EQ(taken.size(), 8u);
    EXPECT_EQ(taken[6].lineNo, 7);
    EXPECT_EQ(taken[7].lineNo, 8);
    {
        db::Workspace ws;
        EXPECT_EQ(InboxJournal(ws).watches(QStringLiteral("Addebiti")).size(), 1u);
    }
    clock.current = clock.current.addSecs(PollingCycle::WatchSeconds);
    ASSERT_TRUE(p.cycle.tick());  // quiet for an hour: no longer watched
    {
        db::Workspace ws;
        EXPECT_TRUE(InboxJournal(ws).watches(QStringLiteral("Addebiti")).empty());
    }

    // A time stamp ahead of the clock (the POS's clock, or ours set back)
    // is no proof of age: the file waits for a second look.
    writeTextLines(path(QStringLiteral("Estrazione.mdb")), chargeLines(1, 9));
    setModified(QStringLiteral("Estrazione.mdb"), clock.current.addSecs(3600));
    ASSERT_TRUE(p.cycle.tick());
    EXPECT_TRUE(exists(QStringLiteral("Estrazione.mdb")));
    ASSERT_TRUE(p.cycle.tick());
    EXPECT_EQ(pending(), all + chargeLines(1, 9));

    // The closing file: the POS paused after a label, in its amount line.
    writeBytes(QStringLiteral("Documento.txt"), "  Scontrino: 1\r\nTotale EUR            12,");
    setModified(QStringLiteral("Documento.txt"), clock.current);
    settle(p.cycle);
    EXPECT_FALSE(exists(QStringLiteral("Documento.txt")));
    EXPECT_TRUE(incassi().empty());
    const QStringList closed = QDir(dir()).entryList({QStringLiteral("Documento_*.txt")});
    ASSERT_EQ(closed.size(), 1);
    QFile closing(path(closed[0]));
    ASSERT_TRUE(closing.open(QIODevice::Append));
    closing.write("50\r\n");
    ASSERT_TRUE(closing.setFileTime(clock.current, QFileDevice::FileModificationTime));
    closing.close();
    settle(p.cycle);
    const auto receipts = incassi();
    ASSERT_EQ(receipts.size(), 1u);
    EXPECT_EQ(receipts[0].importo, Currency::fromCents(1250));
}

// A file that cannot be read (here larger than the limit) is set aside
// under a clear name, told once, and the tick goes on with the notices and
// the next file.
TEST_F(PollingCycleTest, AFileThatCannotBeReadIsSetAsideAndTheNextIsTaken) {
    {
        QFile big(path(QStringLiteral("Estrazione.mdb")));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(PollingCycle::MaxPosFileBytes + 1));  // sparse
    }
    setModified(QStringLiteral("Estrazione.mdb"), clock.current.addSecs(-60));
    writeBytes(QStringLiteral("CKI101"), "");
    Program p(*this);
    ASSERT_TRUE(p.cycle.tick());
    EXPECT_FALSE(exists(QStringLiteral("Estrazione.mdb")));
    EXPECT_FALSE(exists(QStringLiteral("CKI101")));
    EXPECT_EQ(QDir(dir()).entryList({QStringLiteral("Estrazione_*_NONPRESO.txt")}).size(), 1);
    ASSERT_EQ(dialogs.notices.size(), 1u);
    EXPECT_TRUE(dialogs.notices[0].second.contains(QStringLiteral("messo da parte")));
    dropLines(QStringLiteral("Estrazione.mdb"), chargeLines(2));
    ASSERT_TRUE(p.cycle.tick());
    EXPECT_EQ(pending(), chargeLines(2));
}

#ifdef Q_OS_UNIX
// FIFOs, devices and folders as POS files: never opened, never renamed,
// reported once, and the rest of the tick goes on.
TEST_F(PollingCycleTest, PosFilesThatAreNotRegularFilesAreLeftAlone) {
    ASSERT_EQ(::mkfifo(qPrintable(path(QStringLiteral("Estrazione.mdb"))), 0600), 0);
    ASSERT_TRUE(QDir(dir()).mkdir(QStringLiteral("Documento.txt")));
    writeBytes(QStringLiteral("CKI101"), "");
    Program p(*this);
    ASSERT_TRUE(p.cycle.tick());
    ASSERT_TRUE(p.cycle.tick());
    ASSERT_EQ(dialogs.notices.size(), 2u);
    EXPECT_TRUE(dialogs.notices[0].second.contains(QStringLiteral("cartella")));
    EXPECT_TRUE(dialogs.notices[1].second.contains(QStringLiteral("FIFO")));
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("Estrazione.mdb"))).exists());
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("Documento.txt"))).isDir());
    EXPECT_TRUE(QDir(dir()).entryList({QStringLiteral("*_2025*")}).isEmpty());
    EXPECT_EQ(guestRows().size(), 1u);  // the notice was still handled

    // A device (here through a link) is left alone too.
    ASSERT_TRUE(QFile::remove(path(QStringLiteral("Estrazione.mdb"))));
    ASSERT_TRUE(p.cycle.tick());
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), path(QStringLiteral("Estrazione.mdb"))));
    ASSERT_TRUE(p.cycle.tick());
    ASSERT_EQ(dialogs.notices.size(), 3u);
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("Estrazione.mdb"))).isSymLink());

    // "POSDest.txt" that is a FIFO: the notice's update finds no destination,
    // reported once, and the tick does not block.
    ASSERT_TRUE(QFile::remove(path(QStringLiteral("POSDest.txt"))));
    ASSERT_EQ(::mkfifo(qPrintable(path(QStringLiteral("POSDest.txt"))), 0600), 0);
    writeBytes(QStringLiteral("CKI102"), "");
    ASSERT_TRUE(p.cycle.tick());
    writeBytes(QStringLiteral("CKI205"), "");
    ASSERT_TRUE(p.cycle.tick());
    ASSERT_EQ(dialogs.notices.size(), 4u);
    EXPECT_TRUE(dialogs.notices[3].second.contains(QStringLiteral("POSDest.txt")));
    EXPECT_EQ(guestRows().size(), 1u);
}
#endif

// A setting that names one of the hotel's or the program's files (an
// operator's typo) never takes that file from its owner.
TEST_F(PollingCycleTest, HotelAndProgramFilesAreNeverTaken) {
    const QByteArray hotel = readBytes(QStringLiteral("Scheda_Cliente.mdb"));
    setModified(QStringLiteral("Scheda_Cliente.mdb"), clock.current.addSecs(-60));
    setModified(QStringLiteral("Fatture.mdb"), clock.current.addSecs(-60));
    settings.fileOrigine = QStringLiteral("Scheda_Cliente.mdb");
    settings.fileIncassi = QStringLiteral("pos/../Fatture.mdb");  // compared once resolved
    Program p(*this);
    ASSERT_TRUE(p.cycle.tick());
    ASSERT_TRUE(p.cycle.tick());
    EXPECT_EQ(readBytes(QStringLiteral("Scheda_Cliente.mdb")), hotel);
    EXPECT_TRUE(exists(QStringLiteral("Fatture.mdb")));
    EXPECT_TRUE(QDir(dir()).entryList({QStringLiteral("*_2025*")}).isEmpty());
    ASSERT_EQ(dialogs.notices.size(), 2u);
    EXPECT_TRUE(dialogs.notices[0].second.contains(QStringLiteral("Fatture.mdb")));
    EXPECT_TRUE(dialogs.notices[1].second.contains(QStringLiteral("Scheda_Cliente.mdb")));
    for (const char* name : {"Quorvel.txt", "quorvel.LOG", "QuorvelCoda.db", "QuorvelPolling.db",
                             "ClientiCasa.mdb", "PassaRicevute.mdb", "Contatori.mdb"})
        EXPECT_FALSE(posFileRefusal(QString::fromLatin1(name)).isEmpty()) << name;
    // Another folder's hotel or program file, by name or behind a link.
    EXPECT_FALSE(posFileRefusal(QStringLiteral("/srv/altro/Scheda_Cliente.mdb")).isEmpty());
    ASSERT_TRUE(QDir(dir()).mkpath(QStringLiteral("altro")));
    writeBytes(QStringLiteral("altro/quorvelcoda.DB"), "x");
    ASSERT_TRUE(QFile::link(path(QStringLiteral("altro/quorvelcoda.DB")),
                            path(QStringLiteral("Estrazione.txt"))));
    EXPECT_FALSE(posFileRefusal(QStringLiteral("Estrazione.txt")).isEmpty());
    EXPECT_TRUE(posFileRefusal(QStringLiteral("pos/Estrazione.mdb")).isEmpty());
}

// One tick handles a bounded number of notices: check-ins first, in name
// order, check-outs only once no check-in waits; the rest next tick.
TEST_F(PollingCycleTest, NoticesAreBoundedPerTickAndNoneIsLost) {
    for (const char* f : {"CKO101", "CKI205", "CKI102", "CKI101"})
        writeBytes(QString::fromLatin1(f), "");
    ASSERT_TRUE(QDir(dir()).mkdir(QStringLiteral("CKI999")));  // not a notice
    ASSERT_TRUE(QFile::link(path(QStringLiteral("nowhere")), path(QStringLiteral("CKI888"))));
    // A name that is not valid UTF-8: reported, left in place.
    const QByteArray odd = QFile::encodeName(dir()) + "/CKI10\xff";
    FILE* f = std::fopen(odd.constData(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    log::open(path(QStringLiteral("test.log")));
    Program p(*this);
    p.cycle.setNoticesPerTick(2);
    ASSERT_TRUE(p.cycle.tick());
    EXPECT_FALSE(exists(QStringLiteral("CKI101")));
    EXPECT_FALSE(exists(QStringLiteral("CKI102")));
    EXPECT_TRUE(exists(QStringLiteral("CKI205")));
    EXPECT_TRUE(exists(QStringLiteral("CKO101")));
    EXPECT_EQ(guestRows().size(), 2u);
    ASSERT_TRUE(p.cycle.tick());
    log::close();
    const std::vector<GuestRow> expected{
        {QStringLiteral("102"), QStringLiteral("Neri Ada"), QStringLiteral("2025-03-01"),
         QStringLiteral("2025-03-09")},
        {QStringLiteral("205"), QStringLiteral("Blu Ugo"), QStringLiteral("2025-03-01"),
         QStringLiteral("2025-03-09")},
        {QStringLiteral("101"), QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" ")}};
    EXPECT_EQ(guestRows(), expected);
    EXPECT_EQ(QDir(dir()).entryList({QStringLiteral("CK*")}, QDir::Files), QStringList{});
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("CKI999"))).isDir());
    EXPECT_EQ(readBytes(QStringLiteral("test.log")).count("CKI999"), 1);  // logged once
    EXPECT_TRUE(readBytes(QStringLiteral("test.log"))
                    .contains("CKI888 ignorato, lasciato al suo posto: collegamento a un file che "
                              "non esiste"));
    EXPECT_EQ(readBytes(QStringLiteral("test.log"))
                  .count("ignorato, lasciato al suo posto: il nome non è testo valido"),
              1);
    EXPECT_EQ(::access(odd.constData(), F_OK), 0);
}

// On the server a connection lost inside a part of a charges file rolls back
// that part only: each tick commits one part more and fails with one log
// line, the next goes on after it; every line is taken exactly once.
TEST_F(PollingCycleTest, ALostConnectionMidFileLosesAndRepeatsNoLine) {
    if (testServer().isEmpty())
        return;
    ServerDb server;
    db::ServerConfig config = server.config(QStringLiteral("ponte"));
    config.localFiles = db::hotelDatabaseFiles() + db::defaultLocalFiles();  // only the stores
    db::Workspace ws(config);
    ChargeStore store(ws);
    int written = 0;
    std::function<TransferRun()> transfer = [] { return TransferRun{}; };
    PollingCycle cycle(
        settings, services, store, [&] { return transfer(); }, nullptr,
        PollingSeams{[&](const char* step) {
            const QByteArray s(step);
            if ((s == "charges-part-written" || s == "charges-written") && ++written == 2)
                server.exec(QStringLiteral(
                    "SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity WHERE "
                    "datname = current_database() AND pid <> pg_backend_pid()"));
        }});
    cycle.setPartLines(3);
    const QStringList lines = chargeLines(10);
    dropLines(QStringLiteral("Estrazione.mdb"), lines);
    QFile::remove(path(QStringLiteral("test.log")));
    log::open(path(QStringLiteral("test.log")));
    int ticks = 0;
    for (bool done = false; !done && ticks < 10; ++ticks) {
        written = 0;
        done = cycle.tick();
    }
    log::close();
    EXPECT_EQ(ticks, 4);  // parts of lines 1-3 | 4-6 | 7-9 | 10, the second of each tick cut
    EXPECT_EQ(store.pending(), lines);
    const auto journal = store.journal().find({});
    ASSERT_EQ(journal.size(), 10u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(journal[static_cast<size_t>(i)].lineNo, i + 1);
    int received = 0;
    for (const ReceivedCount& c : store.journal().received({}, {})) received += c.lines;
    EXPECT_EQ(received, 10);
    InboxJournal inbox(ws);
    EXPECT_TRUE(inbox.claims(QStringLiteral("Addebiti")).empty());
    const auto watches = inbox.watches(QStringLiteral("Addebiti"));
    ASSERT_EQ(watches.size(), 1u);
    EXPECT_EQ(watches[0].lines, 10);
    EXPECT_EQ(watches[0].bytes, QFileInfo(watches[0].archive).size());
    const auto errorsLogged = [&] {
        return QString::fromUtf8(readBytes(QStringLiteral("test.log")))
            .split(u'\n', Qt::SkipEmptyParts)
            .filter(QStringLiteral("ERRORE"));
    };
    // Three ticks cut the same way are one episode: logged when it starts,
    // and its end with the count.
    QStringList logged = errorsLogged();
    ASSERT_EQ(logged.size(), 1) << logged.join(u'\n').toStdString();
    EXPECT_TRUE(logged[0].contains(QStringLiteral("connessione al server del database interrotta")))
        << logged[0].toStdString();
    EXPECT_TRUE(QString::fromUtf8(readBytes(QStringLiteral("test.log")))
                    .contains(QStringLiteral("ripresa dopo 3 cicli interrotti")));

    // The server lost during the transfer and still gone for the notices
    // after it: the transfer's report is the one line.
    db::PgConnection admin(testServer());  // the test's own database cannot be closed from inside
    const QString allow =
        QStringLiteral("ALTER DATABASE %1 ALLOW_CONNECTIONS %2")
            .arg(QString::fromUtf8(PQgetvalue(db::PgConnection(server.conninfo())
                                                  .run("SELECT current_database()", {}, QString())
                                                  .get(),
                                              0, 0)));
    transfer = [&] {
        admin.exec(allow.arg("false"), QString());
        server.exec(
            QStringLiteral("SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity "
                           "WHERE datname = current_database() AND pid <> "
                           "pg_backend_pid()"));
        TransferRun run;
        try {
            store.pending();
        } catch (const std::exception& e) {  // as TransferButtons reports it
            run.outcome = TransferRun::Outcome::Failed;
            log::error(QStringLiteral("Trasferimento addebiti interrotto: ") + errorText(e));
        }
        return run;
    };
    writeBytes(QStringLiteral("CKI101"), "");
    QFile::remove(path(QStringLiteral("test.log")));
    log::open(path(QStringLiteral("test.log")));
    EXPECT_FALSE(cycle.tick());
    log::close();
    admin.exec(allow.arg("true"), QString());
    logged = errorsLogged();
    ASSERT_EQ(logged.size(), 1) << logged.join(u'\n').toStdString();
    EXPECT_TRUE(logged[0].contains(QStringLiteral("Trasferimento addebiti interrotto")))
        << logged[0].toStdString();
    EXPECT_TRUE(exists(QStringLiteral("CKI101")));  // waits for the server
    transfer = [] { return TransferRun{}; };
    EXPECT_TRUE(cycle.tick());
    EXPECT_FALSE(exists(QStringLiteral("CKI101")));
}

// Kills the tick at its n-th step, restarts, and checks that every receipt,
// charge line and notification took effect exactly once; the charges file is
// taken in parts of two lines, each its own commit.
TEST_F(PollingCycleTest, KillAtAnyStepThenRestartLosesAndRepeatsNothing) {
    GTEST_FLAG_SET(death_test_style, "fast");
    bool killed = true;
    int n = 1;
    for (; killed && n < 100; ++n) {
        SCOPED_TRACE(n);
        for (const QString& f : QDir(dir()).entryList({QStringLiteral("*_2025*.txt")}))
            QFile::remove(path(f));
        QFile::remove(path(QStringLiteral("QuorvelPolling.db")));
        QFile::remove(path(QStringLiteral("QuorvelCoda.db")));
        QFile::remove(path(QStringLiteral("Fatture.mdb")));
        hotel::createDatabaseFile(
            path(QStringLiteral("Fatture.mdb")),
            {&hotel::hotelTable(QStringLiteral("Fatture.mdb"), QStringLiteral("Incassi"))});
        QFile::remove(path(QStringLiteral("pos/ClientiCasa.mdb")));
        hotel::createDatabaseFile(path(QStringLiteral("pos/ClientiCasa.mdb")),
                                  {&hotel::clientiCasaTable()});
        drop(QStringLiteral("Documento.txt"), kClosing);
        dropLines(QStringLiteral("Estrazione.mdb"), chargeLines(5));
        // An archive of this second exists already: it must survive, and the
        // name chosen instead must hold across the kill.
        writeBytes(QStringLiteral("Estrazione_20250307090503.txt"), "vecchio\r\n");
        writeBytes(QStringLiteral("CKI101"), "");
        writeBytes(QStringLiteral("CKO205"), "");

        const int target = n;
        EXPECT_EXIT(
            {
                int count = 0;
                Program p(*this, [&](const char*) {
                    if (++count == target)
                        std::raise(SIGKILL);
                });
                p.cycle.setPartLines(2);
                std::exit(p.cycle.tick() ? 0 : 3);
            },
            [&](int status) {
                killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
                return killed || (WIFEXITED(status) && WEXITSTATUS(status) == 0);
            },
            "");

        Program restarted(*this);
        restarted.cycle.setPartLines(2);
        ASSERT_TRUE(restarted.cycle.tick());
        ASSERT_TRUE(restarted.cycle.tick());
        EXPECT_EQ(incassi().size(), 3u);
        EXPECT_EQ(pending(), chargeLines(5));
        EXPECT_EQ(restarted.store.journal().find({}).size(), 5u + 3u);  // charges, receipts
        const auto rows = guestRows();
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0].nomeCliente, QStringLiteral("Rossi Mario"));
        EXPECT_EQ(rows[1].nomeCliente, QStringLiteral(" "));
        EXPECT_EQ(readBytes(QStringLiteral("Documento_20250307090503.txt")), kClosing);
        EXPECT_EQ(readBytes(QStringLiteral("Estrazione_20250307090503.txt")), "vecchio\r\n");
        EXPECT_EQ(readTextLines(path(QStringLiteral("Estrazione_20250307090503_2.txt"))),
                  chargeLines(5));
        for (const char* f : {"Documento.txt", "Estrazione.mdb", "CKI101", "CKO205"})
            EXPECT_FALSE(exists(QString::fromLatin1(f))) << f;
        db::Workspace ws;
        InboxJournal journal(ws);
        for (const char* kind : {"Incassi", "Addebiti", "CKI", "CKO"})
            EXPECT_TRUE(journal.claims(QString::fromLatin1(kind)).empty());
    }
    EXPECT_GT(n, 15);  // every step was tried, up to a run without a kill
}

}  // namespace
}  // namespace quorvel::test
