// Fuzz target: the charge transfer run over POS charge lines as the charges
// file brings them (the input's lines, Windows-1252), on a small generated
// hotel with two in-house guests and one external client. Whatever the
// lines hold, the run must finish without an Error, account for every line
// once, list what it could not post and leave nothing pending.
#include "FuzzSupport.h"

#include "db/Engine.h"
#include "hotel/HotelSchema.h"
#include "platform/Error.h"
#include "transfer/ChargeLine.h"
#include "transfer/ChargeStore.h"
#include "transfer/ChargeTransfer.h"

#include <memory>

using namespace quorvel;

namespace {

struct Hotel {
    Settings settings;
    std::unique_ptr<db::Workspace> ws;
    std::unique_ptr<ChargeStore> store;
};

void addCard(db::Workspace& ws, const char* file, int progressivo, const char* camera) {
    auto database = ws.openDatabase(QString::fromLatin1(file));
    auto rs = database->openRecordset(QStringLiteral("Scheda_Cliente"));
    rs->addNew();
    rs->setValue(QStringLiteral("NumeroHotel"), 1);
    rs->setValue(QStringLiteral("NumeroProgressivo"), progressivo);
    rs->setValue(QStringLiteral("NumeroCamera"), camera);
    rs->setValue(QStringLiteral("NumeroComponente"), 1);
    rs->setValue(QStringLiteral("Partito"), "N");
    rs->setValue(QStringLiteral("ContoExtra"), 7);
    rs->update();
}

Hotel& openHotel() {
    static Hotel* h = [] {
        fuzz::enterWorkFolder();
        hotel::createHotelDatabases(QDir::currentPath());
        auto* out = new Hotel;
        out->settings.codiceGenerico = 50;
        out->ws = std::make_unique<db::Workspace>();
        {
            auto voci = out->ws->openDatabase(QStringLiteral("VociFattura.mdb"));
            auto rs = voci->openRecordset(QStringLiteral("VociFattura"));
            rs->addNew();
            rs->setValue(QStringLiteral("NumeroHotel"), 1);
            rs->setValue(QStringLiteral("Codice"), 50);
            rs->setValue(QStringLiteral("Descrizione"), "RISTORANTE");
            rs->setValue(QStringLiteral("GruppoFatturazione"), 1);
            rs->update();
        }
        addCard(*out->ws, "Scheda_Cliente.mdb", 101, "101");
        addCard(*out->ws, "Scheda_Cliente.mdb", 102, "1A");
        addCard(*out->ws, "ClientiEsterni.mdb", 201, "900");
        out->store = std::make_unique<ChargeStore>(*out->ws);
        return out;
    }();
    return *h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Hotel& h = openHotel();
    const QStringList lines = splitLines(fuzz::textOf(data, size));
    const qsizetype errorsBefore = h.store->errors().size();
    TransferResult r;
    try {
        h.store->appendPending(lines);
        ChargeTransfer transfer(h.settings, *h.store);
        r = transfer.TrasferisciAddebiti();
    } catch (const Error& e) {
        fuzz::fail("the transfer run failed", e.message());
    }
    // Every line counts once, except the "Sconto" line of a charge that is
    // listed: it goes with its charge and is counted nowhere.
    const int counted = r.roomCharges + r.externalCharges + r.listed + r.discounts + r.dropped;
    int followingDiscounts = 0;
    for (qsizetype i = 1; i < lines.size(); ++i)
        followingDiscounts +=
            charge::isDiscount(lines[i]) && !charge::isDiscount(lines[i - 1]) ? 1 : 0;
    if (counted > lines.size() || counted + followingDiscounts < lines.size())
        fuzz::fail("lines not accounted for once", QStringLiteral("%1 lines: %2 room, %3 external, "
                                                                  "%4 listed, %5 discounts, %6 "
                                                                  "dropped")
                                                       .arg(lines.size())
                                                       .arg(r.roomCharges)
                                                       .arg(r.externalCharges)
                                                       .arg(r.listed)
                                                       .arg(r.discounts)
                                                       .arg(r.dropped));
    if (h.store->hasPending())
        fuzz::fail("lines left pending");
    if (h.store->errors().size() != errorsBefore + r.listed)
        fuzz::fail("error history does not grow by the listed lines");
    if (h.store->errors().size() > 200)
        h.store->clearErrors();
    return 0;
}
