// Fuzz target: the engine's Jet criteria and SELECT texts. The text is
// parsed both ways, then run through the engine on a small generated hotel:
// as a find criterion on one of its tables, and as a recordset's SELECT.
// Either works or throws quorvel::Error; anything else is a fault.
//
// Input: byte 0 picks the decoding (bit 0: UTF-8 instead of Windows-1252)
// and the table (bits 1-2); the rest is the text.
#include "FuzzSupport.h"

#include "db/Engine.h"
#include "db/JetSql.h"
#include "db/JetText.h"
#include "hotel/HotelSchema.h"
#include "platform/Error.h"

#include <array>
#include <memory>

using namespace quorvel;
using db::Value;

namespace {

struct Table {
    const char* file;
    const char* name;
};
constexpr std::array<Table, 4> kTables = {{{"Scheda_Cliente.mdb", "Scheda_Cliente"},
                                           {"Conto_Cliente.mdb", "Conto_Cliente"},
                                           {"NumeriCamere.mdb", "NumeriCamere"},
                                           {"VociFattura.mdb", "VociFattura"}}};

void addRow(db::Recordset& rs, const std::vector<std::pair<const char*, Value>>& fields) {
    rs.addNew();
    for (const auto& [name, value] : fields) rs.setValue(QString::fromUtf8(name), value);
    rs.update();
}

// A few rows in each table, with Nulls, accents and money of every sign.
void fillHotel(const std::vector<std::unique_ptr<db::Database>>& dbs) {
    {
        auto rs = dbs[0]->openRecordset(QStringLiteral("Scheda_Cliente"));
        addRow(*rs, {{"NumeroHotel", 1},
                     {"NumeroProgressivo", 101},
                     {"NumeroCamera", "12"},
                     {"NumeroComponente", 1},
                     {"Partito", "N"},
                     {"ContoExtra", 0},
                     {"NomeCliente", "Rossi Mario"}});
        addRow(*rs, {{"NumeroHotel", 1},
                     {"NumeroProgressivo", 102},
                     {"NumeroCamera", "1A"},
                     {"NumeroComponente", 2},
                     {"Partito", "S"},
                     {"NomeCliente", QStringLiteral("Nicolò Città")}});
        addRow(*rs, {{"NumeroHotel", 2}, {"NumeroProgressivo", 103}});
    }
    {
        auto rs = dbs[1]->openRecordset(QStringLiteral("Conto_Cliente"));
        addRow(*rs, {{"NumeroHotel", 1},
                     {"CodiceCliente", 101},
                     {"NumeroCamera", "12"},
                     {"DataAddebito", "20250307"},
                     {"VoceAddebito", 7},
                     {"Importo", Currency::fromCents(1250)},
                     {"Unitario", 12.5},
                     {QStringLiteral("Quantità").toUtf8().constData(), 1.0},
                     {"Fatturato", "N"}});
        addRow(*rs, {{"NumeroHotel", 1},
                     {"CodiceCliente", 101},
                     {"NumeroCamera", "12"},
                     {"Importo", Currency::fromCents(-300)},
                     {"Descrizione", "Sconto"}});
        addRow(*rs, {{"NumeroHotel", 1}, {"Importo", Currency::fromRaw(1)}});
    }
    {
        auto rs = dbs[2]->openRecordset(QStringLiteral("NumeriCamere"));
        addRow(*rs, {{"NumeroCamera", "12"}, {"TipoCamera", "DBL"}, {"Piano", 1}});
        addRow(*rs, {{"NumeroCamera", "1A"}, {"TipoCamera", "SGL"}});
    }
    {
        auto rs = dbs[3]->openRecordset(QStringLiteral("VociFattura"));
        addRow(*rs, {{"NumeroHotel", 1},
                     {"Codice", 7},
                     {"Descrizione", "RISTORANTE"},
                     {"Prezzo", Currency::fromCents(1250)}});
    }
}

const std::vector<std::unique_ptr<db::Database>>& openHotel() {
    static const auto* dbs = [] {
        fuzz::enterWorkFolder();
        hotel::createHotelDatabases(QDir::currentPath());
        auto* out = new std::vector<std::unique_ptr<db::Database>>;
        auto& ws = *new db::Workspace;  // lives as long as the databases opened in it
        for (const Table& t : kTables) out->push_back(ws.openDatabase(QString::fromLatin1(t.file)));
        fillHotel(*out);
        return out;
    }();
    return *dbs;
}

// Reads every field of the current row, as the program's readers do.
void readRow(const db::Recordset& rs) {
    for (const QString& f : rs.fieldNames()) {
        const Value v = rs.value(f);
        (void)v.toString();
        (void)v.toDouble();
        (void)v.toInt();
        try {
            (void)v.toCurrency();
        } catch (const Error&) {
        }
    }
}

// Finds with the criterion, a few rows at most.
void walk(db::Recordset& rs, const QString& criterion) {
    rs.findFirst(criterion);
    for (int i = 0; i < 4 && !rs.noMatch(); ++i) {
        readRow(rs);
        rs.findNext(criterion);
    }
}

// What a find with the criterion gives: the rows it walks, "no match", or
// the Error. Two recordsets must give the same for the same criterion.
QString outcome(db::Recordset& rs, const QString& criterion) {
    QString out;
    try {
        rs.findFirst(criterion);
        for (int i = 0; i < 4 && !rs.noMatch(); ++i) {
            for (const QString& f : rs.fieldNames()) out += rs.value(f).toString() + u'|';
            out += u'\n';
            rs.findNext(criterion);
        }
        out += QStringLiteral("end");
    } catch (const Error&) {
        out = QStringLiteral("error");
    }
    return out;
}

// Another criterion of the same shape (every literal replaced by one of its
// kind), or an empty text when the criterion has no shape.
QString sibling(const QString& criterion) {
    QString shape;
    std::vector<db::jet::Literal> literals;
    if (criterion.contains(u'\x01') || !db::jet::criterionShape(criterion, shape, literals))
        return QString();
    QString out;
    for (qsizetype i = 0; i < shape.size(); ++i) {
        if (shape[i] != u'\x01' || i + 1 >= shape.size()) {
            out += shape[i];
            continue;
        }
        switch (shape[++i].unicode()) {
            case u'T':
                out += QStringLiteral("'q'");
                break;
            case u'U':
                out += QStringLiteral("'\u00e8'");
                break;
            case u'I':
                out += QStringLiteral("3");
                break;
            case u'J':
                out += QStringLiteral("999999999999999999");
                break;
            case u'D':
                out += QStringLiteral("2.5");
                break;
            case u'X':
                out += QStringLiteral("1.123456789");
                break;
            default:
                return QString();
        }
    }
    return out;
}

// A plan kept by shape must give what a fresh translation gives.
void checkShapes(db::Database& database, const QString& table, const QString& criterion) {
    const QString other = sibling(criterion);
    if (other.isEmpty() || other == criterion)
        return;
    QString fresh, shared;
    try {
        auto a = database.openRecordset(table);
        fresh = outcome(*a, criterion);
        auto b = database.openRecordset(table);
        (void)outcome(*b, other);
        shared = outcome(*b, criterion);
    } catch (const Error&) {
        return;
    }
    if (fresh != shared)
        fuzz::fail("a criterion's shape changes its rows", criterion + QStringLiteral(" after ") +
                                                               other + u'\n' + fresh +
                                                               QStringLiteral("\n---\n") + shared);
}

// Any text the POS or the hotel hands over, quoted into a criterion as the
// program does, finds exactly the rooms equal to it and never fails.
void checkQuotedValue(db::Database& guests, const QString& value) {
    const QString criterion = QStringLiteral("NumeroCamera = ") + db::jetQuoted(value);
    auto rs = guests.openRecordset(QStringLiteral("Scheda_Cliente"));
    try {
        rs->findFirst(criterion);
    } catch (const Error& e) {
        fuzz::fail("a quoted value breaks its criterion", e.message());
    }
    const bool expected = value.compare(QLatin1String("12"), Qt::CaseInsensitive) == 0 ||
                          value.compare(QLatin1String("1A"), Qt::CaseInsensitive) == 0;
    if (rs->noMatch() == expected)
        fuzz::fail("a quoted value finds the wrong rooms", value);
    if (!rs->noMatch() &&
        rs->text(QStringLiteral("NumeroCamera")).compare(value, Qt::CaseInsensitive) != 0)
        fuzz::fail("a quoted value finds another room", value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const auto& dbs = openHotel();
    const QByteArray bytes = fuzz::bytesOf(data + 1, size - 1);
    const QString text = (data[0] & 1) ? QString::fromUtf8(bytes) : decodeCp1252(bytes);
    db::Database& database = *dbs[(data[0] >> 1) & 3];
    const QString table = QString::fromLatin1(kTables[(data[0] >> 1) & 3].name);

    const bool select = db::jet::isSelectText(text);
    try {
        (void)db::jet::parseCriterion(text);
    } catch (const Error&) {
    }
    try {
        (void)db::jet::parseSelect(text);
    } catch (const Error&) {
    }

    try {
        auto rs = database.openRecordset(table);
        walk(*rs, text);
        (void)rs->queryPlan(text);
    } catch (const Error&) {
    }
    checkShapes(database, table, text);
    checkQuotedValue(*dbs[0], text);
    if (select) {
        try {
            auto rs = database.openRecordset(text);
            walk(*rs, QStringLiteral("1 = 1"));
        } catch (const Error&) {
        }
    }
    return 0;
}
