// The rows of the POS guest database and the lines of "Clienti.txt".
#pragma once

#include <QString>

namespace quorvel {

// One row of table ClientiCasa, as the export writes it.
struct GuestRow {
    QString numeroCamera;  // the POS room code
    QString nomeCliente;
    QString dataArrivo;
    QString dataPartenza;
};

// A hotel date YYYYMMDD rewritten as YYYY-MM-DD (characters 1-4, "-", 5-6,
// "-", 7-8); an empty date becomes "--".
QString isoDate(const QString& hotelDate);

// A line of "Clienti.txt": the room code left-aligned in 7 columns, the first
// 40 characters of the name left-aligned in 40 columns, then arrival, one
// blank, departure as stored. A code longer than 7 characters is cut so that
// the columns stay in place.
QString clientiLine(const GuestRow& row);

}  // namespace quorvel
