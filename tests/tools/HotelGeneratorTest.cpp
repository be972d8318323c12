// The generated hotel: same seed same bytes, the side files' exact bytes,
// the data the other layers' tests rely on, and empty tables on request.
#include "hotel/HotelGenerator.h"
#include "hotel/HotelSchema.h"
#include "hotel/ServerCopy.h"
#include "hotel/SqliteFile.h"
#include "platform/Error.h"
#include "support/ServerDb.h"
#include "support/TempDir.h"
#include "tools/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

namespace quorvel {
namespace {

using namespace hotel;

class HotelGeneratorTest : public test::TempDirTest {
protected:
    QMap<QString, QByteArray> snapshot(const QString& folder) const {
        QMap<QString, QByteArray> files;
        QDir d(folder);
        for (const QString& name : d.entryList(QDir::Files))
            files.insert(name, readBytes(QDir(folder).dirName() + QLatin1Char('/') + name));
        files.insert(QStringLiteral("pos/ClientiCasa.mdb"),
                     readBytes(QDir(folder).dirName() + QStringLiteral("/pos/ClientiCasa.mdb")));
        return files;
    }
    static qint64 count(const QString& file, const QString& sql) {
        SqliteFile db(file, true);
        Statement q(db, sql);
        return q.next() ? q.integer(0) : -1;
    }
};

TEST_F(HotelGeneratorTest, SameSeedGivesTheSameBytesAndAnotherSeedAnotherHotel) {
    HotelSpec spec;
    spec.seed = 42;
    spec.accountRows = 500;
    generateHotel(path(QStringLiteral("h")), spec);
    const auto first = snapshot(path(QStringLiteral("h")));
    ASSERT_TRUE(QDir(path(QStringLiteral("h"))).removeRecursively());
    generateHotel(path(QStringLiteral("h")), spec);
    const auto second = snapshot(path(QStringLiteral("h")));
    EXPECT_EQ(first.keys(), second.keys());
    for (const QString& name : first.keys())
        EXPECT_TRUE(first.value(name) == second.value(name)) << name.toStdString();

    spec.seed = 43;
    const HotelData other = buildHotel(spec, path(QStringLiteral("h")));
    const HotelData same = buildHotel(HotelSpec{.seed = 42}, path(QStringLiteral("h")));
    QStringList a, b;
    for (const GuestCard& c : other.guests) a.append(c.nomeCliente + c.numeroCamera);
    for (const GuestCard& c : same.guests) b.append(c.nomeCliente + c.numeroCamera);
    EXPECT_NE(a, b);
}

TEST_F(HotelGeneratorTest, SideFilesHaveTheirExactBytes) {
    const HotelSummary s = generateHotel(dir(), HotelSpec{});
    EXPECT_EQ(
        readBytes(QStringLiteral("Quorvel.txt")),
        QByteArray("Estrazione.mdb\r\n 2 \r\n 3 \r\n 4 \r\n 1 \r\n 12 \r\nDocumento.txt\r\n"));
    EXPECT_EQ(s.settings.codiceGenerico, CodiceRistorante);
    EXPECT_EQ(s.settings.codiceIncassi, CodiceIncassoDiretto);

    // The POS folder, with its trailing separator, and its empty guest database.
    const QString pos = QDir::toNativeSeparators(
        QDir(dir()).absoluteFilePath(QStringLiteral("pos")) + QLatin1Char('/'));
    EXPECT_EQ(s.posFolder, pos);
    EXPECT_EQ(readBytes(QStringLiteral("POSDest.txt")), pos.toUtf8() + "\r\n");
    EXPECT_EQ(count(pos + QStringLiteral("ClientiCasa.mdb"),
                    QStringLiteral("SELECT count(*) FROM ClientiCasa")),
              0);

    // Map lines "POS code,room" for rooms that exist.
    QByteArray map;
    for (const RoomCodeMapping& m : s.data.roomMap) {
        map += (m.posCode + QLatin1Char(',') + m.room).toLatin1() + "\r\n";
        EXPECT_EQ(s.data.posCode(m.room), m.posCode);
        EXPECT_EQ(
            count(path(QStringLiteral("NumeriCamere.mdb")),
                  QStringLiteral("SELECT count(*) FROM NumeriCamere WHERE NumeroCamera = '%1'")
                      .arg(m.room)),
            1);
    }
    EXPECT_FALSE(map.isEmpty());
    EXPECT_EQ(readBytes(QStringLiteral("QuorveloCamere.txt")), map);

    // A second create over the same folder is refused and keeps the data,
    // and so is one over a folder that already has a settings file.
    ASSERT_TRUE(QDir(dir()).mkdir(QStringLiteral("altro")));
    writeBytes(QStringLiteral("altro/Quorvel.txt"), "Vendite.txt\r\n");
    EXPECT_THROW(generateHotel(path(QStringLiteral("altro")), HotelSpec{}), Error);
    EXPECT_EQ(readBytes(QStringLiteral("altro/Quorvel.txt")), QByteArray("Vendite.txt\r\n"));
    EXPECT_FALSE(exists(QStringLiteral("altro/Scheda_Cliente.mdb")));
    EXPECT_THROW(generateHotel(dir(), HotelSpec{}), Error);
    EXPECT_EQ(count(path(QStringLiteral("Scheda_Cliente.mdb")),
                    QStringLiteral("SELECT count(*) FROM Scheda_Cliente")),
              static_cast<qint64>(s.data.guests.size()));
}

TEST_F(HotelGeneratorTest, TheHotelHoldsTheCasesTheProgramMustHandle) {
    const HotelSummary s =
        generateHotel(dir(), HotelSpec{.rooms = 30, .guests = 40, .externals = 8});
    const HotelData& h = s.data;
    int inHouse = 0, members = 0, departed = 0, otherHotel = 0, longNames = 0;
    bool apostrophe = false;
    for (const GuestCard& c : h.guests) {
        inHouse += c.inHouse();
        members += c.numeroHotel == 1 && c.partito == QLatin1String("N") && c.numeroComponente == 2;
        departed += c.partito == QLatin1String("S");
        otherHotel += c.numeroHotel == 2;
        longNames += c.nomeCliente.size() > 40;
        apostrophe |= c.nomeCliente.contains(QLatin1Char('\''));
        // A party member shares the room of an in-house first member.
        if (c.numeroComponente > 1) {
            EXPECT_NE(h.inHouseGuest(c.numeroCamera), nullptr);
        }
    }
    EXPECT_GT(inHouse, 0);
    EXPECT_GT(members, 0);
    EXPECT_GT(departed, 0);
    EXPECT_GT(otherHotel, 0);
    EXPECT_GE(longNames, 2);
    EXPECT_TRUE(apostrophe);
    int present = 0;
    for (const GuestCard& c : h.guests)
        present += c.numeroHotel == 1 && c.partito == QLatin1String("N");
    EXPECT_EQ(present, 40);  // --guests counts the present cards, party members included

    // Some rooms are free, some are not of a guest room type.
    EXPECT_LT(h.inHouseRooms().size(), static_cast<qsizetype>(h.rooms.size()));
    EXPECT_GT(h.typeCRooms().size(), 0);
    EXPECT_LT(h.typeCRooms().size(), static_cast<qsizetype>(h.rooms.size()));
    // Hotel 2's guests stay in rooms that hotel 1 has free.
    for (const GuestCard& c : h.guests) {
        if (c.numeroHotel == 2) {
            EXPECT_EQ(h.inHouseGuest(c.numeroCamera), nullptr);
        }
    }
    EXPECT_FALSE(h.externalNumbers().isEmpty());

    // The items named by the settings exist for hotel 1.
    const QString items = path(QStringLiteral("VociFattura.mdb"));
    EXPECT_EQ(count(items, QStringLiteral("SELECT count(*) FROM VociFattura WHERE NumeroHotel = 1 "
                                          "AND Codice = 1 AND Descrizione = 'RISTORANTE'")),
              1);
    EXPECT_EQ(count(items, QStringLiteral("SELECT count(*) FROM VociFattura WHERE NumeroHotel = 1 "
                                          "AND Codice = 12 AND Descrizione = 'Incasso diretto'")),
              1);
    // One PDF destination, one character printer writing to a file, both printer types.
    const QString printers = path(QStringLiteral("Stampanti.mdb"));
    EXPECT_EQ(count(printers, QStringLiteral("SELECT count(*) FROM Stampanti WHERE NumeroHotel = 1 "
                                             "AND instr(Destinazione, 'PDF') > 0 AND Linea LIKE "
                                             "'%.pdf'")),
              1);
    EXPECT_EQ(
        count(printers, QStringLiteral("SELECT count(*) FROM SetStampa WHERE "
                                       "length(Compresso) = 36 AND length(Grassetto) = 36 AND "
                                       "substr(Compresso, 16, 3) = '001'")),
        1);
    EXPECT_EQ(count(printers, QStringLiteral("SELECT count(*) FROM SetStampa WHERE "
                                             "substr(Compresso, 16, 3) = '000'")),
              1);
}

TEST_F(HotelGeneratorTest, EveryValueFitsItsFieldAndMoneyIsExact) {
    HotelSpec spec;
    spec.rooms = 120;
    spec.guests = 150;
    spec.externals = 12;
    spec.accountRows = 2000;
    generateHotel(dir(), spec);
    for (const hotel::TableLayout& t : hotel::hotelTables()) {
        for (const db::FieldDef& f : t.fields) {
            if (f.type != db::FieldType::Text)
                continue;
            EXPECT_LE(
                count(path(t.fileName), QStringLiteral("SELECT coalesce(max(length(\"%1\")), 0) "
                                                       "FROM \"%2\"")
                                            .arg(f.name, t.tableName)),
                f.size)
                << t.tableName.toStdString() << "." << f.name.toStdString();
        }
    }
    const QString conto = path(QStringLiteral("Conto_Cliente.mdb"));
    EXPECT_EQ(count(conto, QStringLiteral("SELECT count(*) FROM Conto_Cliente")), 2000);
    // Importo is a whole number of ten-thousandths equal to unit price times quantity.
    EXPECT_EQ(count(conto, QStringLiteral("SELECT count(*) FROM Conto_Cliente WHERE "
                                          "typeof(Importo) <> 'integer' OR "
                                          "Importo <> CAST(round(Unitario * 100) AS INTEGER) * "
                                          "100 * CAST(\"Quantità\" AS INTEGER)")),
              0);
    // Rows charge real cards of hotel 1 in their own rooms.
    SqliteFile db(conto, true);
    db.exec(QStringLiteral("ATTACH '%1' AS s").arg(path(QStringLiteral("Scheda_Cliente.mdb"))));
    Statement orphan(
        db, QStringLiteral("SELECT count(*) FROM Conto_Cliente c WHERE NOT EXISTS (SELECT 1 FROM "
                           "s.Scheda_Cliente g WHERE g.NumeroHotel = 1 AND g.NumeroProgressivo = "
                           "c.CodiceCliente AND g.NumeroCamera = c.NumeroCamera)"));
    ASSERT_TRUE(orphan.next());
    EXPECT_EQ(orphan.integer(0), 0);
}

TEST_F(HotelGeneratorTest, EmptyGivesEveryTableWithoutRows) {
    HotelSpec spec;
    spec.empty = true;
    spec.accountRows = 100;
    const HotelSummary s = generateHotel(dir(), spec);
    EXPECT_TRUE(s.data.rooms.empty());
    EXPECT_EQ(s.accountRows, 0);
    for (const hotel::TableLayout& t : hotel::hotelTables())
        EXPECT_EQ(
            count(path(t.fileName), QStringLiteral("SELECT count(*) FROM \"%1\"").arg(t.tableName)),
            0)
            << t.tableName.toStdString();
    EXPECT_TRUE(exists(QStringLiteral("Quorvel.txt")));
    EXPECT_TRUE(exists(QStringLiteral("POSDest.txt")));
    EXPECT_TRUE(exists(QStringLiteral("pos/ClientiCasa.mdb")));
    EXPECT_FALSE(exists(QStringLiteral("QuorveloCamere.txt")));
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

// create --db: every row of the generated files on the server (money exact),
// the files gone, and QuorvelDB.txt readable by its owner only.
TEST_F(HotelGeneratorTest, AHotelMovedToTheServerKeepsEveryRow) {
    if (test::testServer().isEmpty())
        return;
    test::ServerDb server;
    HotelSpec spec;
    spec.accountRows = 30;
    const HotelSummary s = generateHotel(dir(), spec);
    const qint64 guests = count(path("Scheda_Cliente.mdb"), "SELECT count(*) FROM Scheda_Cliente");
    const qint64 cents =
        count(path("Conto_Cliente.mdb"), "SELECT sum(Importo) / 100 FROM Conto_Cliente");
    const qint64 copied = moveHotelToServer(dir(), server.conninfo());
    EXPECT_GT(copied, guests + 30);
    EXPECT_EQ(server.raw("Scheda_Cliente", "SELECT count(*) FROM Scheda_Cliente"),
              QStringList({QString::number(guests)}));
    // numeric(19,4) sums with four decimals: the cents, exactly.
    EXPECT_EQ(server.raw("Conto_Cliente", "SELECT sum(Importo) FROM Conto_Cliente"),
              QStringList({QStringLiteral("%1.%2")
                               .arg(cents / 100)
                               .arg(cents % 100 * 100, 4, 10, QLatin1Char('0'))}));
    for (const QString& file : db::hotelDatabaseFiles())
        EXPECT_FALSE(exists(file)) << file.toStdString();
    const auto perms = QFile::permissions(path("QuorvelDB.txt"));
    EXPECT_TRUE(perms & QFileDevice::ReadOwner);
    EXPECT_FALSE(perms & (QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                          QFileDevice::ReadOther | QFileDevice::WriteOther));
    EXPECT_EQ(readBytes("QuorvelDB.txt"), server.conninfo().toUtf8() + "\r\n");
    EXPECT_GT(s.accountRows, 0);
}

}  // namespace
}  // namespace quorvel
