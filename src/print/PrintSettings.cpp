// Reading the print destinations, the assistance code and the printer
// settings of one print run.
#include "print/PrintSettings.h"

#include "db/Engine.h"
#include "db/HotelFiles.h"
#include "db/JetText.h"
#include "platform/Error.h"
#include "platform/NumberText.h"
#include "print/ReportFiles.h"

#include <QProcessEnvironment>

namespace quorvel {

namespace {

// A field read as a 16-bit integer; a value that does not fit is a failure
// of the field, as the runtime's overflow was.
std::int16_t int16Field(const db::Recordset& rs, const QString& field) {
    const std::optional<std::int16_t> v = roundToInt16(rs.real(field));
    if (!v)
        throw Error(field, QStringLiteral("valore fuori dall'intervallo di un intero a 16 bit: ") +
                               rs.text(field));
    return *v;
}

std::int16_t pageLength(db::Workspace& ws, std::int16_t hotel, bool compressed) {
    auto database = ws.openDatabase(QString::fromLatin1(db::ContatoriMdb));
    std::int16_t length = 60;
    {
        auto rs = database->openRecordset(QStringLiteral("Contatori"));
        rs->findFirst(QStringLiteral("NumeroHotel = ") + QString::number(hotel));
        if (!rs->noMatch())
            length = int16Field(
                *rs, compressed ? QStringLiteral("LungPagComp") : QStringLiteral("LungPagNoComp"));
    }
    database->close();
    return length;
}

}  // namespace

QStringList printerChoices(const QStringList& systemPrinters) {
    return systemPrinters.isEmpty() ? QStringList{kNoPrinter} : systemPrinters;
}

QStringList readDestinations(db::Workspace& ws) {
    auto database = ws.openDatabase(QString::fromLatin1(db::StampantiMdb));
    QStringList destinations;
    {
        auto rs = database->openRecordset(QStringLiteral("Stampanti"));
        const QString criterion = QStringLiteral("NumeroHotel = 1");
        for (rs->findFirst(criterion); !rs->noMatch(); rs->findNext(criterion))
            destinations.append(rs->text(QStringLiteral("Destinazione")));
    }
    database->close();
    return destinations;
}

QString readAssistanceCode(db::Workspace& ws) {
    auto database = ws.openDatabase(QString::fromLatin1(db::AnagraficaHotelsMdb));
    QString code;
    {
        auto rs = database->openRecordset(QStringLiteral("AnagraficaHotels"));
        rs->findFirst(QStringLiteral("Numero = 1"));
        if (!rs->noMatch())
            code = rs->text(QStringLiteral("CodiceAssistenza"));
    }
    database->close();
    return code;
}

std::optional<PrintJob> buildPrintJob(db::Workspace& ws, const PrintChoice& choice) {
    PrintJob job;
    job.fontName = reportFontName();
    job.pageLength = pageLength(ws, choice.hotelCorrente, choice.compressed);
    job.compressed = choice.compressed;
    job.landscape = choice.landscape;
    job.duplex = choice.duplex;
    job.assistanceCode = choice.assistanceCode;

    auto database = ws.openDatabase(QString::fromLatin1(db::StampantiMdb));
    {
        auto printers = database->openRecordset(QStringLiteral("Stampanti"));
        // The name comes from the table, but the operator's tables may hold
        // anything: quoted, it cannot break the criterion.
        printers->findFirst(QStringLiteral("Destinazione = ") + db::jetQuoted(choice.destination));
        if (printers->noMatch()) {
            printers.reset();
            database->close();
            return std::nullopt;
        }
        const std::int16_t type = int16Field(*printers, QStringLiteral("TipoStampa"));
        auto settings = database->openRecordset(QStringLiteral("SetStampa"));
        settings->findFirst(QStringLiteral("TipoStampa = ") + QString::number(type));
        if (!settings->noMatch()) {
            job.codes = codeGroups(settings->text(QStringLiteral("Compresso")));
            job.numbers = numberGroups(settings->text(QStringLiteral("Grassetto")));
            job.physicalLines = job.numbers[choice.compressed ? 6 : 7];
            job.topMargin = job.numbers[5];
        } else {
            job.physicalLines = 66;
            job.topMargin = 0;
        }
        const QString row = printers->text(QStringLiteral("Destinazione"));
        const QString fromEnvironment = environmentValue(row);
        job.destination =
            fromEnvironment.isEmpty() ? printers->text(QStringLiteral("Linea")) : fromEnvironment;
    }
    database->close();
    if (!choice.printer.trimmed().isEmpty())
        job.destination = choice.printer;
    return job;
}

int lastPdfDestination(const QStringList& destinations) {
    int found = -1;
    for (int i = 0; i < destinations.size(); ++i)
        if (destinations[i].contains(QStringLiteral("PDF"), Qt::CaseSensitive))
            found = i;
    return found;
}

QString environmentValue(const QString& name) {
    if (name.isEmpty() || name.contains(QLatin1Char('=')))
        return {};
    const QByteArray exact = name.toLocal8Bit();
    if (qEnvironmentVariableIsSet(exact.constData()))
        return qEnvironmentVariable(exact.constData());
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& key : env.keys())
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return env.value(key);
    return {};
}

}  // namespace quorvel
