// A generated hotel held in memory: the rows of every hotel table, built
// deterministically from a seed, before anything is written. Tests read it to
// know what the files hold (which guest has which room, which rooms are of a
// type with Tipologia 'C', ...).
#pragma once

#include "platform/Currency.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace quorvel::hotel {

// Item codes of the generated charge items, as the settings file names them.
inline constexpr int CodiceRistorante = 1;       // generic restaurant charges (CodiceGenerico)
inline constexpr int CodicePranzoItem = 2;       // CodicePranzo
inline constexpr int CodiceCenaItem = 3;         // CodiceCena
inline constexpr int CodiceBevandeItem = 4;      // CodiceBevande
inline constexpr int CodiceIncassoDiretto = 12;  // direct receipts (CodiceIncassi)

struct HotelSpec {
    int rooms = 30;
    int guests = 40;         // in-house cards of hotel 1, party members included
    int externals = 8;       // external clients' cards
    qint64 accountRows = 0;  // rows put into Conto_Cliente
    std::uint64_t seed = 1;
    bool empty = false;       // tables only, no rows
    QDate today{2025, 3, 7};  // arrivals lie before it, departures on or after it
};

struct RoomType {
    QString sigla, tipologia, descrizione;
};

struct Room {
    QString numeroCamera, tipoCamera;
    int piano = 0, postiLetto = 0;
};

struct GuestCard {
    int numeroHotel = 1;
    int numeroProgressivo = 0;
    QString numeroCamera;
    int numeroComponente = 1;
    QString partito = QStringLiteral("N");
    int contoExtra = 1;
    QString nomeCliente;
    QString dataArrivo, dataPartenza;  // YYYYMMDD, possibly empty
    QString nazionalita, telefono;

    // Hotel 1, not left, first member: the card a charge is posted to.
    bool inHouse() const {
        return numeroHotel == 1 && partito == QLatin1String("N") && numeroComponente == 1;
    }
};

struct ChargeItem {
    int numeroHotel = 1;
    int codice = 0;
    QString descrizione;
    int gruppoFatturazione = 0;
    Currency prezzo;
    int aliquotaIva = 10;
};

struct PrinterDestination {
    int numeroHotel = 1;
    QString destinazione;
    int tipoStampa = 0;
    QString linea;
};

struct PrinterSettings {
    int tipoStampa = 0;
    QString descrizione, compresso, grassetto;  // 36 characters: 12 groups of 3 digits
};

struct PageCounters {
    int numeroHotel = 1, lungPagComp = 0, lungPagNoComp = 0, ultimaFattura = 0;
};

struct HotelRecord {
    int numero = 1;
    QString ragioneSociale, codiceAssistenza, citta;
};

struct RoomCodeMapping {
    QString posCode, room;  // a line "posCode,room" of "QuorveloCamere.txt"
};

struct HotelData {
    std::vector<RoomType> roomTypes;
    std::vector<Room> rooms;
    std::vector<GuestCard> guests;     // "Scheda_Cliente.mdb", in row order
    std::vector<GuestCard> externals;  // "ClientiEsterni.mdb", in row order
    std::vector<ChargeItem> items;
    std::vector<PrinterDestination> printers;
    std::vector<PrinterSettings> printerSettings;
    std::vector<PageCounters> counters;
    std::vector<HotelRecord> hotels;
    std::vector<RoomCodeMapping> roomMap;

    // Rooms held by an in-house card (GuestCard::inHouse), in card order, each once.
    QStringList inHouseRooms() const;
    // The first in-house card holding the room, or nullptr.
    const GuestCard* inHouseGuest(const QString& room) const;
    // Rooms whose type has Tipologia 'C', sorted by number.
    QStringList typeCRooms() const;
    // Numbers held by external cards of hotel 1 that have not left, in card order.
    QStringList externalNumbers() const;
    // The POS code of a hotel room through roomMap (the room itself when unmapped).
    QString posCode(const QString& room) const;
};

// Builds the hotel of the spec; the same spec always gives the same hotel.
// The printers' file destinations are put in dir.
HotelData buildHotel(const HotelSpec& spec, const QString& dir);

}  // namespace quorvel::hotel
