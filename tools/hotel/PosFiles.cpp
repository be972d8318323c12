// Charge lines and closing files as the POS writes them.
#include "hotel/PosFiles.h"

#include "db/HotelFiles.h"
#include "hotel/Random.h"
#include "hotel/SqliteFile.h"
#include "platform/Error.h"
#include "platform/TextFile.h"

#include <QDir>
#include <QFileInfo>

namespace quorvel::hotel {

namespace {

QString field(const QString& text, int width) {
    return text.left(width).leftJustified(width, QLatin1Char(' '));
}

QString digits(qint64 value, int width) {
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

QString amountColumns(qint64 cents) {
    if (cents > 999999 || cents < -99999)
        throw Error(QStringLiteral("riga POS"),
                    QStringLiteral("importo fuori dalle colonne: %1").arg(cents));
    return cents < 0 ? QLatin1Char('-') + digits(-cents, 5) : digits(cents, 6);
}

struct MenuEntry {
    const char* text;
    int cents;
};

const MenuEntry menu[] = {
    {"COPERTO", 250},  {"PRIMO PIATTO", 1200},    {"SECONDO PIATTO", 1600},
    {"CONTORNO", 500}, {"DESSERT", 600},          {"PIZZA MARGHERITA", 850},
    {"CAFFE", 120},    {"CAPPUCCINO", 150},       {"ACQUA MINERALE", 250},
    {"BIRRA", 450},    {"VINO DELLA CASA", 1200}, {"APERITIVO", 600},
    {"AMARO", 400},    {"MENU DEL GIORNO", 2500}, {"BIBITE", 300},
};

// Room codes a charge may carry: in-house rooms under their POS codes,
// external clients' numbers and codes nobody holds.
struct RoomCodes {
    QStringList inHouse, external, unknown;
};

QStringList queryColumn(const QString& path, const QString& sql) {
    SqliteFile file(path, true);
    Statement query(file, sql);
    QStringList values;
    while (query.next()) values.append(query.text(0));
    return values;
}

QString posCode(const QStringList& mapLines, const QString& room) {
    QString code = room;
    for (const QString& line : mapLines) {
        const qsizetype comma = line.indexOf(QLatin1Char(','));
        if (comma >= 0 && line.mid(comma + 1) == room)
            code = line.left(comma).trimmed();
    }
    return code;
}

RoomCodes roomCodes(const QString& hotelDir) {
    RoomCodes codes;
    if (hotelDir.isEmpty()) {
        for (int i = 0; i < 10; ++i) codes.inHouse.append(QString::number(101 + i));
        codes.external = {QStringLiteral("901"), QStringLiteral("902")};
    } else {
        const QDir dir(hotelDir);
        const QString map = dir.filePath(QStringLiteral("QuorveloCamere.txt"));
        const QStringList mapLines = QFileInfo::exists(map) ? readTextLines(map) : QStringList();
        const QStringList rooms = queryColumn(
            dir.filePath(QString::fromLatin1(db::SchedaClienteMdb)),
            QStringLiteral("SELECT NumeroCamera FROM Scheda_Cliente WHERE NumeroHotel = 1 AND "
                           "Partito = 'N' AND NumeroComponente = 1 ORDER BY rowid"));
        for (const QString& room : rooms) {
            const QString code = posCode(mapLines, room);
            if (code.size() == 3 && !codes.inHouse.contains(code))
                codes.inHouse.append(code);
        }
        const QStringList numbers = queryColumn(
            dir.filePath(QString::fromLatin1(db::ClientiEsterniMdb)),
            QStringLiteral("SELECT NumeroCamera FROM Scheda_Cliente WHERE NumeroHotel = 1 AND "
                           "Partito = 'N' ORDER BY rowid"));
        for (const QString& number : numbers) {
            if (number.size() == 3 && !codes.inHouse.contains(number))
                codes.external.append(number);
        }
    }
    for (const QString& code :
         {QStringLiteral("000"), QStringLiteral("  7"), QStringLiteral("998")}) {
        if (!codes.inHouse.contains(code) && !codes.external.contains(code))
            codes.unknown.append(code);
    }
    return codes;
}

QString mealTime(Random& random) {
    const bool lunch = random.percent(50);
    const int minutes = lunch ? static_cast<int>(random.between(12 * 60, 14 * 60 + 30))
                              : static_cast<int>(random.between(19 * 60 + 30, 22 * 60 + 30));
    return digits(minutes / 60, 2) + digits(minutes % 60, 2);
}

}  // namespace

QString formatChargeLine(const ChargeLine& line) {
    if (line.quantity < 0 || line.quantity > 999)
        throw Error(QStringLiteral("riga POS"),
                    QStringLiteral("quantità fuori dalle colonne: %1").arg(line.quantity));
    QString unit(8, QLatin1Char(' '));
    if (line.unitCents) {
        if (*line.unitCents < 0 || *line.unitCents > 99999999)
            throw Error(QStringLiteral("riga POS"),
                        QStringLiteral("prezzo fuori dalle colonne: %1").arg(*line.unitCents));
        unit = digits(*line.unitCents, 8);
    }
    QString text;
    text += QLatin1Char(' ');                                                             // 1
    text += field(line.posRoom, 3);                                                       // 2-4
    text += QLatin1Char(' ');                                                             // 5
    text += field(line.day, 6);                                                           // 6-11
    text += QLatin1Char(' ');                                                             // 12
    text += field(line.time, 4);                                                          // 13-16
    text += QStringLiteral(" TAV.%1 ").arg(line.receipt % 100, 2, 10, QLatin1Char('0'));  // 17-24
    text += QStringLiteral("   ");                                                        // 25-27
    text += field(line.description, 15);                                                  // 28-42
    text += QStringLiteral(" REP1 ");                                                     // 43-48
    text += QStringLiteral("%1").arg(line.quantity, 3);                                   // 49-51
    text += QStringLiteral(" PZ  ");                                                      // 52-56
    text += amountColumns(line.amountCents);                                              // 57-62
    text += QStringLiteral(" OPERATORE 01 CASSA 01 ");                                    // 63-85
    text += field(QStringLiteral("SCONTRINO %1").arg(digits(line.receipt, 6)), 22);       // 86-107
    text += unit;                                                                         // 108-115
    text += QStringLiteral(" €");                                                         // 116-117
    return text;
}

PosChargesSummary writePosCharges(const QString& file, const PosChargesSpec& spec) {
    Random random(spec.seed ^ 0x5EED0F905ULL);
    const RoomCodes codes = roomCodes(spec.hotelDir);
    const QString day = spec.day.toString(QStringLiteral("yyMMdd"));
    PosChargesSummary summary;
    QStringList lines;
    int receipt = 1;
    while (lines.size() < spec.lines) {
        ChargeLine charge;
        const int roll = static_cast<int>(random.between(0, 99));
        const QStringList* pool = roll < 70 && !codes.inHouse.isEmpty()    ? &codes.inHouse
                                  : roll < 85 && !codes.external.isEmpty() ? &codes.external
                                                                           : &codes.unknown;
        charge.posRoom = random.pick(*pool);
        charge.day = day;
        charge.time = mealTime(random);
        charge.receipt = receipt++;
        const MenuEntry& entry = menu[random.between(0, std::size(menu) - 1)];
        charge.description = QString::fromUtf8(entry.text);
        charge.quantity = static_cast<int>(random.percent(70) ? 1 : random.between(2, 4));
        charge.amountCents = entry.cents * charge.quantity;
        const int unitRoll = static_cast<int>(random.between(0, 9));
        if (unitRoll < 8)
            charge.unitCents = entry.cents;
        else if (unitRoll == 8)
            charge.unitCents = 0;
        lines.append(formatChargeLine(charge));
        summary.written.push_back(charge);
        ++summary.charges;
        summary.totalCents += charge.amountCents;
        (pool == &codes.inHouse    ? summary.inHouse
         : pool == &codes.external ? summary.external
                                   : summary.unknown)++;
        if (lines.size() < spec.lines && random.percent(15)) {
            ChargeLine discount = charge;
            discount.description = QStringLiteral("Sconto");
            discount.quantity = 1;
            discount.amountCents = -std::min<qint64>(charge.amountCents, 50 * random.between(1, 8));
            discount.unitCents.reset();
            lines.append(formatChargeLine(discount));
            summary.written.push_back(discount);
            ++summary.discounts;
            summary.totalCents += discount.amountCents;
        }
    }
    writeTextLines(file, lines);
    summary.lines = static_cast<int>(lines.size());
    return summary;
}

QStringList closingLines(const PosClosingSpec& spec, PosClosingSummary* summary) {
    Random random(spec.seed ^ 0xC105EULL);
    const QString rule(40, QLatin1Char('-'));
    QStringList lines = {QStringLiteral("        RISTORANTE DA QUORVEL"),
                         QStringLiteral("     Via del Lago 12 - Bellagio"),
                         QStringLiteral("  Chiusura giornaliera del ") +
                             spec.day.toString(QStringLiteral("dd/MM/yyyy")),
                         rule};
    PosClosingSummary result;
    for (int i = 1; i <= spec.receipts; ++i) {
        const Currency amount = Currency::fromCents(random.between(150, 25000));
        result.amounts.push_back(amount);
        result.total += amount;
        lines.append(QStringLiteral("  Scontrino: %1      ore %2")
                         .arg(digits(i, 4), mealTime(random).insert(2, QLatin1Char(':'))));
        lines.append(QStringLiteral("  Totale €").leftJustified(26, QLatin1Char(' ')) +
                     amount.format(spec.locale, 2, false).rightJustified(14, QLatin1Char(' ')));
        lines.append(random.percent(70) ? QStringLiteral("  Pagamento: CONTANTI")
                                        : QStringLiteral("  Pagamento: CARTA"));
        if (random.percent(10))
            lines.append(QStringLiteral(" Scontrino: ristampa non fiscale"));
        lines.append(rule);
    }
    lines.append(QStringLiteral("  Scontrini emessi: %1").arg(spec.receipts));
    lines.append(QStringLiteral("  Totale giornata €").leftJustified(26, QLatin1Char(' ')) +
                 result.total.format(spec.locale, 2, false).rightJustified(14, QLatin1Char(' ')));
    if (summary)
        *summary = result;
    return lines;
}

PosClosingSummary writePosClosing(const QString& file, const PosClosingSpec& spec) {
    PosClosingSummary summary;
    writeTextLines(file, closingLines(spec, &summary));
    return summary;
}

}  // namespace quorvel::hotel
