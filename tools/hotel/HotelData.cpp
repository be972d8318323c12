// Building a plausible hotel from a seed: rooms and their types, guest cards
// (in-house, parties, departed, another hotel's), external clients, charge
// items, printers and page counters.
#include "hotel/HotelData.h"

#include "hotel/Random.h"

#include <QDir>
#include <algorithm>
#include <numeric>

namespace quorvel::hotel {

namespace {

const QStringList& firstNames() {
    static const QStringList names = {
        QStringLiteral("Mario"),      QStringLiteral("Giuseppe"),  QStringLiteral("Giovanni"),
        QStringLiteral("Luca"),       QStringLiteral("Marco"),     QStringLiteral("Francesco"),
        QStringLiteral("Alessandro"), QStringLiteral("Nicolò"),    QStringLiteral("Paolo"),
        QStringLiteral("Andrea"),     QStringLiteral("Maria"),     QStringLiteral("Anna"),
        QStringLiteral("Giulia"),     QStringLiteral("Francesca"), QStringLiteral("Chiara"),
        QStringLiteral("Sara"),       QStringLiteral("Laura"),     QStringLiteral("Elena"),
        QStringLiteral("Federica"),   QStringLiteral("Lucia")};
    return names;
}

const QStringList& surnames() {
    static const QStringList names = {
        QStringLiteral("Rossi"),    QStringLiteral("Russo"),    QStringLiteral("Ferrari"),
        QStringLiteral("Esposito"), QStringLiteral("Bianchi"),  QStringLiteral("Romano"),
        QStringLiteral("Colombo"),  QStringLiteral("Ricci"),    QStringLiteral("Marino"),
        QStringLiteral("Greco"),    QStringLiteral("Bruno"),    QStringLiteral("Gallo"),
        QStringLiteral("Conti"),    QStringLiteral("De Luca"),  QStringLiteral("Mancini"),
        QStringLiteral("Costa"),    QStringLiteral("Giordano"), QStringLiteral("Rizzo"),
        QStringLiteral("Lombardi"), QStringLiteral("Moretti"),  QStringLiteral("Fabbri"),
        QStringLiteral("Santoro"),  QStringLiteral("Cattaneo"), QStringLiteral("Barbieri")};
    return names;
}

// Names longer than the 40 characters the POS keeps.
const QStringList& longNames() {
    static const QStringList names = {
        QStringLiteral("Caracciolo di Castagneto Francesca Romana Benedetta"),
        QStringLiteral("Colombo Della Torre Alessandra Maria Vittoria"),
        QStringLiteral("Santangelo Ruffo Giovanni Battista Ferdinando")};
    return names;
}

const QStringList& companies() {
    static const QStringList names = {
        QStringLiteral("Ditta Rossi Costruzioni Srl"), QStringLiteral("Studio Legale Bianchi"),
        QStringLiteral("Agenzia Viaggi Il Gabbiano"),  QStringLiteral("Circolo Tennis Lago"),
        QStringLiteral("Ferramenta Colombo & Figli"),  QStringLiteral("Banca Popolare del Lario"),
        QStringLiteral("Comune di Bellagio"),          QStringLiteral("Autoscuola Moretti")};
    return names;
}

const QStringList& countries() {
    static const QStringList names = {QStringLiteral("Italia"),     QStringLiteral("Italia"),
                                      QStringLiteral("Italia"),     QStringLiteral("Germania"),
                                      QStringLiteral("Svizzera"),   QStringLiteral("Francia"),
                                      QStringLiteral("Regno Unito")};
    return names;
}

QString personName(Random& random) {
    return random.pick(surnames()) + QLatin1Char(' ') + random.pick(firstNames());
}

QString phone(Random& random) {
    return QStringLiteral("+39 3%1 %2")
        .arg(random.between(20, 49))
        .arg(random.between(1000000, 9999999));
}

QString hotelDate(const QDate& date) {
    return date.toString(QStringLiteral("yyyyMMdd"));
}

// Card i of the in-house list gets a fixed special name, so every hotel with
// a few guests has an apostrophe and names longer than 40 characters.
QString inHouseName(int i, Random& random) {
    if (i == 1)
        return QStringLiteral("D'Angelo Salvatore");
    if (i == 2)
        return longNames().at(0);
    if (i == 5)
        return longNames().at(1);
    if (i == 9)
        return longNames().at(2);
    return personName(random);
}

std::vector<RoomType> roomTypes() {
    return {{QStringLiteral("SGL"), QStringLiteral("C"), QStringLiteral("Camera singola")},
            {QStringLiteral("DBL"), QStringLiteral("C"), QStringLiteral("Camera doppia")},
            {QStringLiteral("TRP"), QStringLiteral("C"), QStringLiteral("Camera tripla")},
            {QStringLiteral("SUI"), QStringLiteral("C"), QStringLiteral("Suite")},
            {QStringLiteral("APP"), QStringLiteral("A"), QStringLiteral("Appartamento")},
            {QStringLiteral("SAL"), QStringLiteral("S"), QStringLiteral("Sala riunioni")}};
}

std::vector<Room> makeRooms(int count, Random& random) {
    std::vector<Room> rooms;
    const int perFloor = std::clamp((count + 8) / 9, 10, 99);
    for (int i = 0; i < count; ++i) {
        Room room;
        room.piano = i / perFloor + 1;
        room.numeroCamera = QString::number(room.piano * 100 + i % perFloor + 1);
        if (i % 10 == 9) {
            // Every tenth room is not a guest room type ('C'): apartments and meeting rooms.
            room.tipoCamera = (i / 10) % 2 == 0 ? QStringLiteral("APP") : QStringLiteral("SAL");
            room.postiLetto = room.tipoCamera == QLatin1String("APP") ? 4 : 0;
        } else {
            const int roll = static_cast<int>(random.between(0, 99));
            room.tipoCamera = roll < 25   ? QStringLiteral("SGL")
                              : roll < 75 ? QStringLiteral("DBL")
                              : roll < 90 ? QStringLiteral("TRP")
                                          : QStringLiteral("SUI");
            room.postiLetto = roll < 25 ? 1 : roll < 75 ? 2 : roll < 90 ? 3 : 2;
        }
        rooms.push_back(room);
    }
    return rooms;
}

GuestCard card(int hotel, const QString& room, int member, const QString& name, Random& random) {
    GuestCard c;
    c.numeroHotel = hotel;
    c.numeroCamera = room;
    c.numeroComponente = member;
    c.nomeCliente = name;
    c.contoExtra = random.percent(10) ? 2 : 1;
    c.nazionalita = random.pick(countries());
    c.telefono = phone(random);
    return c;
}

void makeGuests(const HotelSpec& spec, HotelData& hotel, Random& random) {
    const int roomCount = static_cast<int>(hotel.rooms.size());
    if (roomCount == 0 || spec.guests <= 0)
        return;
    const QDate today = spec.today;
    // Which rooms are let: a shuffled order, the last eighth stays free.
    std::vector<int> order(static_cast<size_t>(roomCount));
    std::iota(order.begin(), order.end(), 0);
    for (int i = roomCount - 1; i > 0; --i)
        std::swap(order[static_cast<size_t>(i)], order[static_cast<size_t>(random.between(0, i))]);
    const int letRooms = roomCount > 1 ? roomCount - std::max(1, roomCount / 8) : roomCount;
    int members = spec.guests >= 2 ? std::max(1, spec.guests / 5) : 0;
    int holders = spec.guests - members;
    if (holders > letRooms) {
        holders = letRooms;
        members = spec.guests - holders;
    }

    auto roomAt = [&](int i) {
        return hotel.rooms[static_cast<size_t>(order[static_cast<size_t>(i)])].numeroCamera;
    };

    // Guests who have already left come first: their cards are the oldest.
    const int departed = std::max(1, spec.guests / 4);
    for (int i = 0; i < departed; ++i) {
        GuestCard c = card(1, roomAt(static_cast<int>(random.between(0, roomCount - 1))), 1,
                           personName(random), random);
        c.partito = QStringLiteral("S");
        c.dataArrivo = hotelDate(today.addDays(-random.between(5, 14)));
        c.dataPartenza = hotelDate(today.addDays(-random.between(0, 4)));
        hotel.guests.push_back(c);
    }
    // Parties: members 2, 3, ... spread over the let rooms in turn.
    std::vector<int> partySize(static_cast<size_t>(holders), 1);
    for (int m = 0; m < members && holders > 0; ++m)
        ++partySize[static_cast<size_t>((m * 3) % holders)];
    for (int h = 0; h < holders; ++h) {
        GuestCard holder = card(1, roomAt(h), 1, inHouseName(h, random), random);
        holder.dataArrivo = hotelDate(today.addDays(-random.between(0, 7)));
        holder.dataPartenza = hotelDate(today.addDays(random.between(0, 7)));
        hotel.guests.push_back(holder);
        for (int m = 2; m <= partySize[static_cast<size_t>(h)]; ++m) {
            GuestCard member = card(1, holder.numeroCamera, m, personName(random), random);
            member.dataArrivo = holder.dataArrivo;
            member.dataPartenza = holder.dataPartenza;
            member.contoExtra = holder.contoExtra;
            hotel.guests.push_back(member);
        }
    }
    // Two guests of hotel 2, in rooms that hotel 1 has free.
    for (int i = 0; i < 2; ++i) {
        const int slot = std::min(letRooms + i, roomCount - 1);
        GuestCard c = card(2, roomAt(slot), 1, personName(random), random);
        c.dataArrivo = hotelDate(today.addDays(-1));
        c.dataPartenza = hotelDate(today.addDays(2));
        hotel.guests.push_back(c);
    }
    for (size_t i = 0; i < hotel.guests.size(); ++i)
        hotel.guests[i].numeroProgressivo = 1001 + static_cast<int>(i);
}

void makeExternals(const HotelSpec& spec, HotelData& hotel, Random& random) {
    const QStringList inHouse = hotel.inHouseRooms();
    for (int i = 0; i < spec.externals; ++i) {
        const QString number = i < 99 ? QString::number(901 + i) : QStringLiteral("E%1").arg(i);
        const QString name = i < companies().size()
                                 ? companies().at(i)
                                 : QStringLiteral("Cliente ") + personName(random);
        GuestCard c = card(1, number, 1, name, random);
        c.numeroProgressivo = i + 1;
        c.contoExtra = 1;
        c.dataArrivo = hotelDate(spec.today.addDays(-random.between(10, 90)));
        c.dataPartenza = hotelDate(spec.today.addDays(random.between(30, 180)));
        if (i == 1)
            c.dataPartenza.clear();  // an open-ended agreement
        if (i == 2)
            c.partito = QStringLiteral("S");
        if (i == 3)
            c.numeroHotel = 2;
        if (i == 4 && !inHouse.isEmpty())
            c.numeroCamera = inHouse.first();  // a client billed under a guest room's number
        hotel.externals.push_back(c);
    }
}

std::vector<ChargeItem> chargeItems() {
    struct Row {
        int hotel, code;
        const char* text;
        int group;
        int cents;
    };
    static const Row rows[] = {
        {1, CodiceRistorante, "RISTORANTE", 1, 0},
        {1, CodicePranzoItem, "PRANZO", 1, 2500},
        {1, CodiceCenaItem, "CENA", 1, 3500},
        {1, CodiceBevandeItem, "BEVANDE", 2, 0},
        {1, 5, "BAR", 2, 0},
        {1, 6, "MINIBAR", 2, 0},
        {1, 7, "PERNOTTAMENTO", 3, 9000},
        {1, 8, "PRIMA COLAZIONE", 3, 1200},
        {1, 9, "TELEFONO", 4, 0},
        {1, 10, "LAVANDERIA", 4, 0},
        {1, 11, "PARCHEGGIO", 4, 1500},
        {1, CodiceIncassoDiretto, "Incasso diretto", 9, 0},
        {1, 20, "CAFFETTERIA", 2, 120},
        {1, 21, "CAPPUCCINO", 2, 150},
        {1, 22, "ACQUA MINERALE", 2, 250},
        {1, 23, "BIRRA ALLA SPINA", 2, 450},
        {1, 24, "VINI E LIQUORI", 2, 0},
        {1, 25, "BIBITE E SUCCHI", 2, 300},
        {1, 26, "APERITIVI BAR", 2, 600},
        {2, CodiceRistorante, "RISTORANTE DEPENDANCE", 1, 0},
        {2, CodiceIncassoDiretto, "Incasso dependance", 9, 0},
    };
    std::vector<ChargeItem> items;
    for (const Row& r : rows)
        items.push_back({r.hotel, r.code, QString::fromUtf8(r.text), r.group,
                         Currency::fromCents(r.cents), r.group == 3 ? 10 : 22});
    return items;
}

void makePrinters(HotelData& hotel, const QString& dir) {
    const QDir folder(dir);
    auto file = [&](const char* name) {
        return QDir::toNativeSeparators(folder.absoluteFilePath(QString::fromLatin1(name)));
    };
    hotel.printers = {
        {1, QStringLiteral("Laser Ufficio"), 1, QStringLiteral("Laser Ufficio")},
        {1, QStringLiteral("Stampante Cassa"), 2, file("cassa.prn")},
        {1, QStringLiteral("PDF Ufficio"), 1, file("stampa.pdf")},
        {2, QStringLiteral("Laser Dependance"), 1, QStringLiteral("Laser Dependance")}};
    // Compresso: codes 1-12; Grassetto: numbers 1-12 (6 top margin, 7 and 8 page lines).
    hotel.printerSettings = {{1, QStringLiteral("Stampante laser"),
                              QStringLiteral("008000000000000001010000000000000000"),
                              QStringLiteral("000000000000000002088066000000000000")},
                             {2, QStringLiteral("Stampante ad aghi"),
                              QStringLiteral("027015000000000000027018000000000000"),
                              QStringLiteral("000000000000000001088072000000000000")}};
    hotel.counters = {{1, 80, 60, 1234}, {2, 72, 56, 87}};
    hotel.hotels = {{1, QStringLiteral("Hotel Quorvel sul Lago"), QStringLiteral("A01"),
                     QStringLiteral("Bellagio")},
                    {2, QStringLiteral("Dependance Quorvel"), QStringLiteral("A02"),
                     QStringLiteral("Bellagio")}};
}

void makeRoomMap(HotelData& hotel) {
    // A few rooms are known to the POS under codes of its own.
    int code = 1;
    for (size_t i = 1; i < hotel.rooms.size() && code <= 3; i += 2, ++code)
        hotel.roomMap.push_back({QStringLiteral("A%1").arg(code, 2, 10, QLatin1Char('0')),
                                 hotel.rooms[i].numeroCamera});
}

}  // namespace

QStringList HotelData::inHouseRooms() const {
    QStringList rooms;
    for (const GuestCard& c : guests) {
        if (c.inHouse() && !rooms.contains(c.numeroCamera))
            rooms.append(c.numeroCamera);
    }
    return rooms;
}

const GuestCard* HotelData::inHouseGuest(const QString& room) const {
    for (const GuestCard& c : guests) {
        if (c.inHouse() && c.numeroCamera == room)
            return &c;
    }
    return nullptr;
}

QStringList HotelData::typeCRooms() const {
    QStringList result;
    for (const Room& r : rooms) {
        for (const RoomType& t : roomTypes) {
            if (t.sigla == r.tipoCamera && t.tipologia == QLatin1String("C"))
                result.append(r.numeroCamera);
        }
    }
    result.sort();
    return result;
}

QStringList HotelData::externalNumbers() const {
    QStringList result;
    for (const GuestCard& c : externals) {
        if (c.numeroHotel == 1 && c.partito == QLatin1String("N"))
            result.append(c.numeroCamera);
    }
    return result;
}

QString HotelData::posCode(const QString& room) const {
    QString code = room;
    for (const RoomCodeMapping& m : roomMap) {
        if (m.room == room)
            code = m.posCode;
    }
    return code;
}

HotelData buildHotel(const HotelSpec& spec, const QString& dir) {
    HotelData hotel;
    if (spec.empty)
        return hotel;
    Random random(spec.seed);
    hotel.roomTypes = roomTypes();
    hotel.rooms = makeRooms(std::max(0, spec.rooms), random);
    makeGuests(spec, hotel, random);
    makeExternals(spec, hotel, random);
    hotel.items = chargeItems();
    makePrinters(hotel, dir);
    makeRoomMap(hotel);
    return hotel;
}

}  // namespace quorvel::hotel
