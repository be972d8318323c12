// The pending charge lines the transfer benchmarks post: about 80% for
// in-house rooms, 15% for external clients, 5% for rooms nobody holds, on
// seven days, five descriptions, amounts of 1 to 51 euro. With parts > 1
// only every parts-th room and external number (from part on) is charged,
// so bridges given different parts never share an account row.
#pragma once

#include "hotel/HotelData.h"
#include "hotel/PosFiles.h"

#include <QStringList>
#include <random>

namespace quorvel::bench {

inline QStringList chargeLines(const hotel::HotelData& data, int count, std::uint64_t seed,
                               int part = 0, int parts = 1) {
    QStringList inHouse, external;
    for (const QString& room : data.inHouseRooms()) {
        const QString code = data.posCode(room);
        if (code.size() == 3)
            inHouse << code;
    }
    for (const QString& number : data.externalNumbers()) {
        if (number.size() == 3 && !inHouse.contains(number))
            external << number;
    }
    auto share = [&](QStringList& from) {
        QStringList mine;
        for (qsizetype i = part; i < from.size(); i += parts) mine << from[i];
        from = mine;
    };
    if (parts > 1) {
        share(inHouse);
        share(external);
    }
    std::mt19937_64 random(seed);
    auto pick = [&](const QStringList& from) {
        return from[static_cast<qsizetype>(random() % static_cast<std::uint64_t>(from.size()))];
    };
    const QStringList descriptions{"CAFFE", "BIRRA", "MENU DEL GIORNO", "PIZZA", "ACQUA MINERALE"};
    QStringList lines;
    for (int i = 0; i < count; ++i) {
        const int roll = static_cast<int>(random() % 100);
        hotel::ChargeLine line;
        line.posRoom = roll < 80   ? pick(inHouse)
                       : roll < 95 ? pick(external)
                                   : QStringLiteral("998");
        line.day = QStringLiteral("2503%1").arg(1 + random() % 7, 2, 10, QLatin1Char('0'));
        line.description = pick(descriptions);
        line.quantity = 1 + static_cast<int>(random() % 3);
        line.amountCents = 100 + static_cast<qint64>(random() % 5000);
        lines << hotel::formatChargeLine(line);
    }
    return lines;
}

}  // namespace quorvel::bench
