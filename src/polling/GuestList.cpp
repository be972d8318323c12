// Date rewriting and the fixed columns of "Clienti.txt".
#include "polling/GuestList.h"

namespace quorvel {

QString isoDate(const QString& d) {
    return d.left(4) + QLatin1Char('-') + d.mid(4, 2) + QLatin1Char('-') + d.mid(6, 2);
}

QString clientiLine(const GuestRow& row) {
    return row.numeroCamera.leftJustified(7, QLatin1Char(' '), true) +
           row.nomeCliente.leftJustified(40, QLatin1Char(' '), true) + row.dataArrivo +
           QLatin1Char(' ') + row.dataPartenza;
}

}  // namespace quorvel
