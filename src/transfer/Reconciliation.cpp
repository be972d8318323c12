// The reconciliation over the store's journal, received counts and queues.
#include "transfer/Reconciliation.h"

#include "db/Engine.h"
#include "db/JetText.h"
#include "transfer/ChargeStore.h"
#include "transfer/PostingJournal.h"

#include <QDate>
#include <QLocale>
#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace quorvel {

namespace {

using Key = std::pair<QString, QString>;  // day, archive

std::unordered_set<std::int32_t> ids(db::Database& database, const char* table) {
    std::unordered_set<std::int32_t> out;
    auto rs = database.openRecordset(QString::fromLatin1(table));
    rs->forEach(QStringLiteral("Progressivo > 0"), [&] {
        out.insert(static_cast<std::int32_t>(rs->integer(QStringLiteral("Progressivo"))));
    });
    return out;
}

bool isRepair(Azione a) {
    return a == Azione::Riprova || a == Azione::AssegnaCamera || a == Azione::AssegnaEsterno;
}

}  // namespace

LineCount ReconciliationRow::accounted() const {
    LineCount c = room;
    c += external;
    c += error;
    c += cleared;
    c += pending;
    c += dropped;
    c += refused;
    return c;
}

LineCount ReconciliationRow::difference() const {
    const LineCount a = accounted();
    return {received.lines - a.lines, received.sum - a.sum};
}

ReconciliationRow& ReconciliationRow::operator+=(const ReconciliationRow& o) {
    received += o.received;
    room += o.room;
    external += o.external;
    repairedRoom += o.repairedRoom;
    repairedExternal += o.repairedExternal;
    error += o.error;
    cleared += o.cleared;
    pending += o.pending;
    dropped += o.dropped;
    refused += o.refused;
    vanished += o.vanished;
    return *this;
}

Reconciliation reconcile(ChargeStore& store, const QString& dayFrom, const QString& dayTo) {
    PostingJournal& journal = store.journal();
    db::Database& database = store.database();
    std::map<Key, ReconciliationRow> rows;
    std::map<QString, LineCount> receipts;
    auto rowOf = [&](const QString& day, const QString& archive) -> ReconciliationRow& {
        ReconciliationRow& r = rows[{day, archive}];
        r.day = day;
        r.archive = archive;
        return r;
    };

    for (const ReceivedCount& c : journal.received(dayFrom, dayTo)) {
        ReconciliationRow& r = rowOf(c.day, c.archive);
        r.received.lines += c.lines;
        r.received.sum += c.sum;
    }

    const auto pendingIds = ids(database, "Pendenti");
    const auto errorIds = ids(database, "Errori");
    // The days' lines with their outcomes: one query on the journal's view.
    for (const JournalEntry& row : journal.daysRows(dayFrom, dayTo)) {
        if (row.kind == QLatin1String("I")) {
            receipts[row.day].add(row.amount);
            continue;
        }
        ReconciliationRow& r = rowOf(row.day, row.archive);
        const std::optional<Currency>& amount = row.amount;
        switch (row.outcome) {
            case Esito::Camera:
            case Esito::Esterno: {
                const bool room = row.outcome == Esito::Camera;
                (room ? r.room : r.external).add(amount);
                if (isRepair(row.action))
                    (room ? r.repairedRoom : r.repairedExternal).add(amount);
                break;
            }
            case Esito::InAttesa:
                (pendingIds.count(row.pendingId) ? r.pending : r.vanished).add(amount);
                break;
            case Esito::Storico:
                (errorIds.count(row.errorId) ? r.error : r.vanished).add(amount);
                break;
            case Esito::Cancellato:
                r.cleared.add(amount);
                break;
            case Esito::Scartato:
                r.dropped.add(amount);
                break;
            case Esito::Rifiutato:
                r.refused.add(amount);
                break;
            case Esito::Incasso:  // never a charge line's: it stays a difference
                break;
        }
    }

    Reconciliation out;
    out.dayFrom = dayFrom;
    out.dayTo = dayTo;
    for (const auto& entry : receipts) rowOf(entry.first, QString());  // a receipts-only day
    for (auto& [key, row] : rows) {
        if (out.days.empty() || out.days.back().day != key.first) {
            out.days.push_back({});
            out.days.back().day = key.first;
            out.days.back().total.day = key.first;
            const auto it = receipts.find(key.first);
            if (it != receipts.end())
                out.days.back().receipts = it->second;
            out.receipts += out.days.back().receipts;
        }
        if (row.archive.isEmpty() && row.accounted().lines == 0 && row.received.lines == 0 &&
            row.vanished.lines == 0)
            continue;  // the placeholder of a receipts-only day
        out.days.back().files.push_back(row);
        out.days.back().total += row;
        out.total += row;
    }
    return out;
}

// ---- Text -----------------------------------------------------------------

namespace {

constexpr int LabelWidth = 31;
constexpr int CountWidth = 6;
constexpr int AmountWidth = 14;

QString frameLine() {
    return QLatin1Char('+') + QString(LabelWidth + 2, QLatin1Char('-')) + QLatin1Char('+') +
           QString(CountWidth + 2, QLatin1Char('-')) + QLatin1Char('+') +
           QString(AmountWidth + 2, QLatin1Char('-')) + QLatin1Char('+');
}

QString tableLine(const QString& label, const QString& count, const QString& amount) {
    return QStringLiteral("| %1 | %2 | %3 |")
        .arg(label.leftJustified(LabelWidth, QLatin1Char(' '), true),
             count.rightJustified(CountWidth), amount.rightJustified(AmountWidth));
}

// One entry of a block: its label and count (nullptr: the balance line).
struct Entry {
    const char* label;
    LineCount ReconciliationRow::*count;
};

const Entry kEntries[] = {
    {"Ricevute dalla cassa", &ReconciliationRow::received},
    {"Addebitate in camera", &ReconciliationRow::room},
    {"  di cui riparate dallo storico", &ReconciliationRow::repairedRoom},
    {"Addebitate a clienti esterni", &ReconciliationRow::external},
    {"  di cui riparate dallo storico", &ReconciliationRow::repairedExternal},
    {"Nello storico errori", &ReconciliationRow::error},
    {"Cancellate dallo storico", &ReconciliationRow::cleared},
    {"In attesa", &ReconciliationRow::pending},
    {"Sconti senza addebito, ignorati", &ReconciliationRow::dropped},
    {"Rifiutate alla cassa", &ReconciliationRow::refused},
};

// The refused row shows only where the POS on the interface refused any, so a
// bridge with the file POS alone prints as before.
bool shown(const Entry& e, const ReconciliationRow& row) {
    return e.count != &ReconciliationRow::refused || row.refused.lines > 0;
}

void block(QStringList& out, const QString& title, const ReconciliationRow& row,
           const LineCount* receipts) {
    out << title << frameLine()
        << tableLine(QStringLiteral("Voce"), QStringLiteral("Righe"), QStringLiteral("Importo"))
        << frameLine();
    for (const Entry& e : kEntries) {
        if (!shown(e, row))
            continue;
        const LineCount& c = row.*(e.count);
        out << tableLine(QString::fromUtf8(e.label), QString::number(c.lines), amountText(c.sum));
    }
    if (row.balanced()) {
        out << tableLine(QStringLiteral("Quadratura"), QStringLiteral("OK"), QString());
    } else {
        const LineCount d = row.difference();
        out << tableLine(QStringLiteral("DIFFERENZA"), QString::number(d.lines), amountText(d.sum));
    }
    if (row.vanished.lines > 0)
        out << tableLine(QStringLiteral("  sparite da Pendenti o Errori"),
                         QString::number(row.vanished.lines), amountText(row.vanished.sum));
    if (receipts)
        out << tableLine(QStringLiteral("Incassi importati"), QString::number(receipts->lines),
                         amountText(receipts->sum));
    out << frameLine() << QString();
}

QString periodText(const Reconciliation& r) {
    if (r.dayFrom == r.dayTo)
        return QStringLiteral("DEL ") + dayText(r.dayFrom);
    return QStringLiteral("DAL %1 AL %2").arg(dayText(r.dayFrom), dayText(r.dayTo));
}

QString csvField(QString s) {
    if (s.contains(QLatin1Char(';')) || s.contains(QLatin1Char('"')))
        s = QLatin1Char('"') + s.replace(QLatin1String("\""), QLatin1String("\"\"")) +
            QLatin1Char('"');
    return s;
}

QString csvAmount(Currency c) {
    return c.format(QLocale(QLocale::Italian), 2, false);
}

void csvBlock(QStringList& out, const QString& day, const QString& file,
              const ReconciliationRow& row, const LineCount* receipts) {
    auto line = [&](const QString& label, const QString& count, const QString& amount) {
        out << QStringList{csvField(day), csvField(file), label.trimmed(), count, amount}.join(
            QLatin1Char(';'));
    };
    for (const Entry& e : kEntries) {
        if (!shown(e, row))
            continue;
        const LineCount& c = row.*(e.count);
        line(QString::fromUtf8(e.label), QString::number(c.lines), csvAmount(c.sum));
    }
    const LineCount d = row.difference();
    line(row.balanced() ? QStringLiteral("Quadratura") : QStringLiteral("Differenza"),
         row.balanced() ? QStringLiteral("OK") : QString::number(d.lines),
         row.balanced() ? QString() : csvAmount(d.sum));
    if (row.vanished.lines > 0)
        line(QStringLiteral("sparite da Pendenti o Errori"), QString::number(row.vanished.lines),
             csvAmount(row.vanished.sum));
    if (receipts)
        line(QStringLiteral("Incassi importati"), QString::number(receipts->lines),
             csvAmount(receipts->sum));
}

}  // namespace

QStringList reconciliationText(const Reconciliation& r, const QDateTime& printed) {
    QStringList out;
    out << QStringLiteral("QUADRATURA ADDEBITI ") + periodText(r)
        << QStringLiteral("Stampata il %1 alle %2")
               .arg(printed.toString(QStringLiteral("dd/MM/yyyy")),
                    printed.toString(QStringLiteral("HH:mm")))
        << QString();
    if (r.days.empty())
        out << QStringLiteral("Nessun addebito e nessun incasso nel periodo.") << QString();
    for (const DayReconciliation& d : r.days) {
        for (const ReconciliationRow& f : d.files)
            block(out,
                  QStringLiteral("Giorno %1 - file %2")
                      .arg(dayText(d.day),
                           f.archive.isEmpty() ? QStringLiteral("(nessuno)") : f.archive),
                  f, nullptr);
        block(out, QStringLiteral("TOTALE DEL GIORNO %1").arg(dayText(d.day)), d.total,
              &d.receipts);
    }
    if (r.days.size() > 1)
        block(out, QStringLiteral("TOTALE ") + periodText(r), r.total, &r.receipts);
    out << QStringLiteral("Quadratura: ricevute = in camera + clienti esterni + storico errori +")
        << QStringLiteral("cancellate + in attesa + sconti ignorati. Una riga \"Sconto\" conta")
        << QStringLiteral("dove è andato il suo addebito, con il suo importo (negativo).");
    return out;
}

QStringList reconciliationCsv(const Reconciliation& r) {
    QStringList out{QStringLiteral("Giorno;File;Voce;Righe;Importo")};
    for (const DayReconciliation& d : r.days) {
        for (const ReconciliationRow& f : d.files)
            csvBlock(out, dayText(d.day), f.archive, f, nullptr);
        csvBlock(out, dayText(d.day), QStringLiteral("Totale giorno"), d.total, &d.receipts);
    }
    if (r.days.size() > 1)
        csvBlock(out, QString(), QStringLiteral("Totale periodo"), r.total, &r.receipts);
    return out;
}

std::optional<QString> parseDay(const QString& text) {
    const QString t = text.trimmed();
    QDate date = QDate::fromString(t, QStringLiteral("yyyyMMdd"));
    if (!date.isValid() || t.size() != 8)
        date = QDate::fromString(t, QStringLiteral("dd/MM/yyyy"));
    if (!date.isValid())
        return std::nullopt;
    return date.toString(QStringLiteral("yyyyMMdd"));
}

std::optional<std::pair<QString, QString>> parseDayRange(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('-'));
    if (parts.size() > 2)
        return std::nullopt;
    const auto from = parseDay(parts.front());
    const auto to = parseDay(parts.back());
    if (!from || !to || *to < *from)
        return std::nullopt;
    return std::pair{*from, *to};
}

QString dayText(const QString& day) {
    const QDate date = QDate::fromString(day, QStringLiteral("yyyyMMdd"));
    if (day.size() != 8 || !date.isValid())
        return day;
    return date.toString(QStringLiteral("dd/MM/yyyy"));
}

QString amountText(Currency c) {
    return c.format(QLocale(QLocale::Italian), 2, true);
}

}  // namespace quorvel
