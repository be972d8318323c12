// Writes a generated hotel into a folder: every hotel database (filled, or
// empty with HotelSpec::empty), the settings file "Quorvel.txt", "POSDest.txt"
// naming the POS folder DIR/pos/ with an empty "ClientiCasa.mdb" in it, and
// "QuorveloCamere.txt" with the rooms the POS knows under codes of its own.
#pragma once

#include "hotel/HotelData.h"
#include "platform/Settings.h"

#include <QString>
#include <QStringList>

namespace quorvel::hotel {

struct HotelSummary {
    HotelData data;
    qint64 accountRows = 0;
    Settings settings;  // as written to "Quorvel.txt"
    QString posFolder;  // the first line of "POSDest.txt", with its trailing separator
    QStringList files;  // every file written, relative to the folder
};

// Throws Error when the folder cannot be made or a database file already exists.
HotelSummary generateHotel(const QString& dir, const HotelSpec& spec);

// The settings the generated hotel works with: its restaurant, meal, drinks
// and direct-receipt items.
Settings generatedSettings();

// Adds count plausible rows to "Conto_Cliente.mdb" in dir in one transaction,
// charging the hotel's cards (or made-up ones when it has none).
void fillAccounts(const QString& dir, const HotelData& hotel, qint64 count, std::uint64_t seed,
                  const QDate& today);

}  // namespace quorvel::hotel
