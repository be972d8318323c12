// Inquiries and postings of the interface on the store and the hotel files.
#include "interface/PostingDesk.h"

#include "db/Engine.h"
#include "db/HotelFiles.h"
#include "db/JetText.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/TextFile.h"
#include "polling/WorkGuard.h"
#include "transfer/ChargeLine.h"
#include "transfer/ChargePoster.h"
#include "transfer/ChargeStore.h"
#include "transfer/PostingJournal.h"
#include "transfer/RoomCodes.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <algorithm>

namespace quorvel {

namespace {

const QString AnswerKey = QStringLiteral("Postazione = ? and Sequenza = ? and Data = ?");

db::TableDef answersTable() {
    db::TableDef def(QString::fromLatin1(PostingDesk::AnswersTable));
    def.appendField(QStringLiteral("Postazione"), db::FieldType::Text, 20);
    def.appendField(QStringLiteral("Sequenza"), db::FieldType::Text, 20);
    def.appendField(QStringLiteral("Data"), db::FieldType::Text, 8);
    def.appendField(QStringLiteral("Esito"), db::FieldType::Text, 2);
    def.appendField(QStringLiteral("Testo"), db::FieldType::Text, 255);
    def.appendField(QStringLiteral("Camera"), db::FieldType::Text, 20);
    def.appendField(QStringLiteral("Importo"), db::FieldType::Currency);
    def.appendField(QStringLiteral("Giornale"), db::FieldType::Int32);
    def.appendField(QStringLiteral("Quando"), db::FieldType::Text, 19);
    return def;
}

// The record as one line of text for the journal (without its framing).
QString recordText(const fias::Record& r) {
    QByteArray bytes = fias::frame(r);
    return decodeCp1252(bytes.mid(1, bytes.size() - 2));
}

QString now() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

// YYMMDD of the protocol as a hotel day YYYYMMDD; empty when no real date.
QString hotelDay(const QString& da) {
    if (da.size() != 6)
        return {};
    const QDate d = QDate::fromString(QStringLiteral("20") + da, QStringLiteral("yyyyMMdd"));
    return d.isValid() ? d.toString(QStringLiteral("yyyyMMdd")) : QString();
}

}  // namespace

std::optional<Currency> protocolAmount(const QString& text) {
    const QString t = text.trimmed();
    const bool negative = t.startsWith(QLatin1Char('-'));
    const QString digits = negative ? t.mid(1) : t;
    // 15 digits of cents stay far inside the currency's range.
    if (digits.isEmpty() || digits.size() > 15)
        return std::nullopt;
    for (const QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    const auto cents = digits.toLongLong();
    return Currency::fromRaw((negative ? -cents : cents) * 100);
}

PostingDesk::PostingDesk(const Settings& settings, const InterfaceSettings& config,
                         ChargeStore& store)
    : m_settings(settings), m_config(config), m_store(store) {
    db::Database& database = m_store.database();
    const QString table = QString::fromLatin1(AnswersTable);
    if (!database.hasTable(table))
        database.appendTable(answersTable());
    database.createIndex(
        table, {QStringLiteral("Postazione"), QStringLiteral("Sequenza"), QStringLiteral("Data")});
}

fias::Record PostingDesk::answer(const fias::Record& request, const Answer& a) const {
    fias::Record r;
    r.type = "PA";
    r.add("AS", a.status);
    for (const char* id : {"RN", "P#", "WS", "DA", "TI"})
        if (request.has(id))
            r.add(id, request.value(id));
    r.add("CT", a.text);
    return r;
}

std::vector<PosGuest> PostingDesk::inHouse() {
    const RoomMap rooms = RoomMap::read();
    auto database = m_store.workspace().openDatabase(QString::fromLatin1(db::SchedaClienteMdb));
    auto rs = database->openRecordset(ChargeGuestsSelect);
    std::vector<PosGuest> out;
    rs->forEach(QStringLiteral("NumeroProgressivo > 0"), [&] {
        PosGuest g;
        g.posRoom = rooms.posCode(charge::trimBlanks(rs->text(QStringLiteral("NumeroCamera"))));
        g.number = QString::number(rs->integer(QStringLiteral("NumeroProgressivo")));
        g.name = rs->text(QStringLiteral("NomeCliente"));
        g.arrival = rs->text(QStringLiteral("DataArrivo"));
        g.departure = rs->text(QStringLiteral("DataPartenza"));
        if (!g.posRoom.isEmpty())
            out.push_back(g);
    });
    return out;
}

std::optional<std::int64_t> PostingDesk::forgetAnswers(const QDateTime& at) {
    if (m_store.workspace().inTransaction() || WorkGuard::busy())
        return std::nullopt;
    const QString before =
        at.addDays(-m_config.answerDays).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    auto rs = m_store.database().openRecordset(QString::fromLatin1(AnswersTable));
    const std::int64_t n = rs->removeAll(QStringLiteral("Quando < ") + db::jetQuoted(before));
    if (n > 0)
        log::info(QStringLiteral("Interfaccia cassa: %1 risposte ricordate da prima del %2 "
                                 "dimenticate (%3 giorni)")
                      .arg(n)
                      .arg(before.left(10))
                      .arg(m_config.answerDays));
    return n;
}

fias::Record PostingDesk::inquiry(const fias::Record& request) {
    QString posRoom = request.value("RN");
    if (posRoom.isEmpty())
        posRoom = request.value("PI");
    if (posRoom.isEmpty())
        return answer(request, {QStringLiteral("UR"), QStringLiteral("Camera non indicata (RN)")});
    QStringList numbers, names;
    try {
        const QString room = RoomMap::read().hotelRoom(posRoom);
        db::Workspace& ws = m_store.workspace();
        const QString criterion =
            QStringLiteral("NumeroHotel = 1 and NumeroCamera = ") + db::jetQuoted(room);
        auto guestDb = ws.openDatabase(QString::fromLatin1(db::SchedaClienteMdb));
        auto guests = guestDb->openRecordset(ChargeGuestsSelect);
        guests->forEach(criterion, [&] {
            numbers << QString::number(guests->integer(QStringLiteral("NumeroProgressivo")));
            names << guests->text(QStringLiteral("NomeCliente"));
        });
        auto clientDb = ws.openDatabase(QString::fromLatin1(db::ClientiEsterniMdb));
        auto clients = clientDb->openRecordset(ChargeClientsSelect);
        clients->findFirst(criterion);
        if (!clients->noMatch()) {
            numbers << QStringLiteral("E%1").arg(
                clients->integer(QStringLiteral("NumeroProgressivo")));
            names << clients->text(QStringLiteral("NomeCliente"));
        }
    } catch (const std::exception& e) {
        log::error(QStringLiteral("Interfaccia cassa: ricerca della camera %1 non riuscita: %2")
                       .arg(posRoom, errorText(e)));
        return answer(
            request, {QStringLiteral("RY"), QStringLiteral("Archivio non disponibile: riprovare")});
    }
    if (numbers.isEmpty())
        return answer(request,
                      {QStringLiteral("NG"),
                       QStringLiteral("Nessun ospite in casa né cliente esterno per la camera %1")
                           .arg(posRoom)});
    // Several guests of one room: their values joined by '^' in one field each.
    fias::Record r;
    r.type = "PL";
    r.add("RN", posRoom);
    r.add("G#", numbers.join(QLatin1Char('^')));
    r.add("GN", names.join(QLatin1Char('^')));
    for (const char* id : {"P#", "WS", "DA", "TI"})
        if (request.has(id))
            r.add(id, request.value(id));
    return r;
}

// What one request asks, read and checked before any file is opened.
struct PostingDesk::Request {
    const fias::Record* record = nullptr;
    QString station, sequence, date;
    Charge charge;              // room and day; amount and item are the parts'
    std::vector<Charge> parts;  // one per item, in the order of the sub-totals
    PostTarget target;
    std::optional<Currency> total;
    QString refusal;  // empty: to be posted
};

PostingDesk::Request PostingDesk::read(const fias::Record& record) const {
    Request q;
    q.record = &record;
    q.station = record.value("WS").left(20);
    q.sequence = record.value("P#").left(20);
    q.date = record.value("DA").left(8);
    Charge& c = q.charge;
    c.posRoom = record.value("RN").left(20);
    c.day = hotelDay(record.value("DA"));
    c.quantity = 1;
    q.total = protocolAmount(record.value("TA"));
    QString& refusal = q.refusal;
    if (c.posRoom.isEmpty())
        refusal = QStringLiteral("Camera non indicata (RN)");
    else if (!q.total)
        refusal = QStringLiteral("Importo non valido: \"%1\"").arg(record.value("TA"));
    else if (c.day.isEmpty())
        refusal = QStringLiteral("Data non valida: \"%1\"").arg(record.value("DA"));
    const QString outlet = record.value("SO");
    const std::int16_t generic = m_settings.codiceGenerico;
    // Each sub-total goes to the item its outlet maps it to (parts of one
    // item summed); a negative one is a discount, folded in as a "Sconto"
    // line is: into its own item's part, else into the first part.
    struct Discount {
        std::optional<std::int16_t> item;
        Currency amount;
    };
    std::vector<Discount> discounts;
    Currency sum;
    bool any = false;
    for (int i = 1; i <= 9 && refusal.isEmpty(); ++i) {
        const QByteArray id = "S" + QByteArray::number(i);
        if (!record.has(id.constData()))
            continue;
        const auto part = protocolAmount(record.value(id.constData()));
        if (!part) {
            refusal = QStringLiteral("Subtotale %1 non valido").arg(i);
            break;
        }
        any = true;
        sum += *part;
        QString why;
        const auto item = m_config.itemOf(outlet, i, generic, &why);
        if (*part < Currency()) {
            discounts.push_back({item, *part});  // a discount needs no item of its own
            continue;
        }
        if (!item) {
            refusal = why;
            break;
        }
        if (*part == Currency())
            continue;
        auto same = std::find_if(q.parts.begin(), q.parts.end(),
                                 [&](const Charge& p) { return p.itemCode == item; });
        if (same == q.parts.end()) {
            q.parts.push_back(c);
            same = q.parts.end() - 1;
            same->itemCode = *item;
        }
        same->amount += *part;
    }
    if (refusal.isEmpty() && any && sum != *q.total) {
        const QLocale italian(QLocale::Italian);
        refusal = QStringLiteral("I subtotali (%1) non danno il totale (%2)")
                      .arg(sum.format(italian, 2, false), q.total->format(italian, 2, false));
    }
    if (refusal.isEmpty() && q.parts.empty()) {
        // No sub-totals, or none above zero: one part under the outlet's item
        // (a refund's discounts under the item of the first of them).
        QString why;
        const auto item = discounts.empty() || !discounts.front().item
                              ? m_config.itemOf(outlet, 0, generic, &why)
                              : discounts.front().item;
        if (!item) {
            refusal = why;
        } else {
            q.parts.push_back(c);
            q.parts.back().itemCode = *item;
            if (!any)
                q.parts.back().amount = *q.total;
        }
    }
    if (refusal.isEmpty()) {
        for (const Discount& d : discounts) {
            auto into = std::find_if(q.parts.begin(), q.parts.end(), [&](const Charge& p) {
                return d.item && p.itemCode == d.item;
            });
            (into != q.parts.end() ? *into : q.parts.front()).discount += d.amount;
        }
        for (Charge& p : q.parts) p.unitPrice = p.amount.toDouble();
    } else {
        q.parts.clear();
    }
    const QString chosen = record.value("G#");
    if (!chosen.isEmpty()) {
        bool ok = false;
        const bool external = chosen.startsWith(QLatin1Char('E'), Qt::CaseInsensitive);
        q.target.card = (external ? chosen.mid(1) : chosen).toLongLong(&ok);
        q.target.kind = external ? PostTarget::Kind::External : PostTarget::Kind::Guest;
        if (!ok && refusal.isEmpty())
            refusal = QStringLiteral("Numero dell'ospite non valido: %1").arg(chosen);
    }
    return q;
}

std::vector<fias::Record> PostingDesk::post(const std::vector<fias::Record>& records) {
    std::vector<fias::Record> out;
    out.reserve(records.size());
    db::Workspace& ws = m_store.workspace();
    // Work of the program in progress (a modal window's nested loop): never
    // inside its transaction.
    if (ws.inTransaction() || WorkGuard::busy()) {
        for (const fias::Record& r : records)
            out.push_back(answer(
                r, {QStringLiteral("RY"), QStringLiteral("Operazione in corso: riprovare")}));
        return out;
    }
    std::vector<Request> requests;
    for (const fias::Record& r : records) requests.push_back(read(r));
    try {
        QStringList logLines;
        std::vector<Answer> answers = postAll(requests, logLines);
        for (const QString& line : logLines) log::info(line);
        for (std::size_t i = 0; i < records.size(); ++i)
            out.push_back(answer(records[i], answers[i]));
        return out;
    } catch (const std::exception& e) {
        if (records.size() > 1) {
            // One request that fails must not hold back the others: each alone.
            for (const fias::Record& r : records) out.push_back(post({r}).front());
            return out;
        }
        log::error(
            QStringLiteral("Interfaccia cassa: addebito P# %1 della postazione %2 non "
                           "registrato, la cassa riproverà: %3")
                .arg(records.front().value("P#"), records.front().value("WS"), errorText(e)));
        out.push_back(answer(records.front(),
                             {QStringLiteral("RY"), QStringLiteral("Archivio non disponibile: "
                                                                   "riprovare")}));
        return out;
    }
}

std::vector<PostingDesk::Answer> PostingDesk::postAll(std::vector<Request>& requests,
                                                      QStringList& logLines) {
    db::Workspace& ws = m_store.workspace();
    ChargePoster poster(m_settings, ws);
    poster.open();
    const RoomMap rooms = RoomMap::read();
    std::vector<Answer> out;
    db::Transaction tx(ws);
    auto answers = m_store.database().openRecordset(QString::fromLatin1(AnswersTable));
    std::vector<JournalEntry> rows;
    std::vector<ReceivedCount> received;
    struct Remember {
        const Request* q;
        std::size_t row;
        Answer a;
    };
    std::vector<Remember> remember;
    for (Request& q : requests) {
        if (q.sequence.isEmpty()) {
            out.push_back(
                {QStringLiteral("UR"), QStringLiteral("Numero progressivo (P#) mancante")});
            continue;
        }
        // Asked before, in an earlier transaction or earlier in this one.
        answers->findFirst(AnswerKey, {q.station, q.sequence, q.date});
        auto earlier = std::find_if(remember.begin(), remember.end(), [&](const Remember& m) {
            return m.q->station.compare(q.station, Qt::CaseInsensitive) == 0 &&
                   m.q->sequence.compare(q.sequence, Qt::CaseInsensitive) == 0 &&
                   m.q->date.compare(q.date, Qt::CaseInsensitive) == 0;
        });
        if (!answers->noMatch() || earlier != remember.end()) {
            const Answer again = earlier != remember.end()
                                     ? earlier->a
                                     : Answer{answers->text(QStringLiteral("Esito")),
                                              answers->text(QStringLiteral("Testo"))};
            logLines << QStringLiteral(
                            "Interfaccia cassa: P# %1 della postazione %2 già "
                            "ricevuto, stessa risposta (%3), nulla di nuovo registrato")
                            .arg(q.sequence, q.station, again.status);
            out.push_back(again);
            continue;
        }
        Charge& c = q.charge;
        c.room = rooms.hotelRoom(c.posRoom);
        JournalEntry e;
        e.archive =
            QStringLiteral("Cassa %1").arg(q.station.isEmpty() ? QStringLiteral("-") : q.station);
        e.lineNo = q.sequence.toInt();
        e.line = recordText(*q.record);
        e.day = c.day;
        e.posRoom = c.posRoom;
        e.mappedRoom = c.room;
        e.room = c.room;
        e.amount = q.total;
        e.when = now();
        Answer a;
        // One journal row per part, so each account row written has its own.
        std::vector<JournalEntry> entries;
        if (!q.refusal.isEmpty()) {
            a = {QStringLiteral("UR"), q.refusal};
            e.outcome = Esito::Rifiutato;
            e.reason = Motivo::RichiestaNonValida;
            e.reasonText = q.refusal;
            entries.push_back(e);
        } else {
            for (Charge& part : q.parts) {
                part.room = c.room;
                const PostResult r = poster.post(part, q.target);
                JournalEntry pe = e;
                pe.room = r.room;
                if (q.parts.size() > 1)
                    pe.amount = part.amount + part.discount;
                if (r.posted()) {
                    pe.outcome = r.outcome;
                    pe.database = r.database;
                    pe.table = r.table;
                    pe.accountRow = r.accountRow;
                    pe.client = r.client;
                    pe.added = r.added;
                    pe.quantity = r.quantity;
                    a = {QStringLiteral("OK"),
                         r.outcome == Esito::Camera
                             ? QStringLiteral("Addebitato sul conto della camera %1").arg(r.room)
                             : QStringLiteral("Addebitato al cliente esterno %1").arg(r.client)};
                } else if (entries.empty()) {
                    pe.amount = q.total;
                    pe.outcome = Esito::Rifiutato;
                    pe.reason = r.reason;
                    pe.reasonText = r.reasonText;
                    const bool noGuest =
                        r.reason == Motivo::NessunConto || r.reason == Motivo::CameraNonMappata;
                    a = {noGuest ? QStringLiteral("NG") : QStringLiteral("UR"), r.reasonText};
                    entries.push_back(pe);
                    break;
                } else {
                    // The parts share room, guest and sign, so this cannot
                    // follow a posted part; should it, nothing of the
                    // request stays written and the POS retries.
                    throw Error(QStringLiteral("P# %1").arg(q.sequence),
                                QStringLiteral("parte dell'addebito non registrabile: %1")
                                    .arg(r.reasonText));
                }
                entries.push_back(pe);
            }
        }
        const std::size_t first = rows.size();
        for (JournalEntry& pe : entries) rows.push_back(std::move(pe));
        remember.push_back({&q, first, a});
        received.push_back({e.archive, e.day, static_cast<std::int32_t>(entries.size()),
                            q.total.value_or(Currency())});
        logLines << QStringLiteral(
                        "Interfaccia cassa: P# %1 della postazione %2, camera %3, %4: "
                        "%5 %6")
                        .arg(q.sequence, q.station, c.posRoom,
                             q.total ? q.total->toString() : q.record->value("TA"), a.status,
                             a.text);
        out.push_back(a);
    }
    m_store.journal().add(rows);
    m_store.journal().addReceived(received);
    const QString when = now();
    for (const Remember& m : remember) {
        answers->addNew();
        answers->setValue(QStringLiteral("Postazione"), m.q->station);
        answers->setValue(QStringLiteral("Sequenza"), m.q->sequence);
        answers->setValue(QStringLiteral("Data"), m.q->date);
        answers->setValue(QStringLiteral("Esito"), m.a.status);
        answers->setValue(QStringLiteral("Testo"), m.a.text.left(255));
        answers->setValue(QStringLiteral("Camera"), m.q->charge.posRoom);
        answers->setValue(QStringLiteral("Importo"), m.q->total.value_or(Currency()));
        answers->setValue(QStringLiteral("Giornale"), std::int64_t{rows[m.row].id});
        answers->setValue(QStringLiteral("Quando"), when);
        answers->update();
    }
    tx.commit();
    return out;
}

}  // namespace quorvel
