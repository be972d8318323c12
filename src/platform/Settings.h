// The seven values of the settings file "Quorvel.txt", held for the whole
// run, and HotelCorrente. Reading and writing the file is in Settings.cpp.
#pragma once

#include <QString>
#include <cstdint>

namespace quorvel {

struct Settings {
    QString fileOrigine = QStringLiteral("Estrazione.mdb");  // POS charges file
    std::int16_t codicePranzo = 0;
    std::int16_t codiceCena = 0;
    std::int16_t codiceBevande = 0;
    std::int16_t codiceGenerico = 0;  // item of generic restaurant charges
    std::int16_t codiceIncassi = 0;   // item of direct receipts
    QString fileIncassi = QStringLiteral("Documento.txt");  // POS closing file
};

// The number of the hotel worked for; start-up sets it to 1.
inline std::int16_t HotelCorrente = 0;

}  // namespace quorvel
