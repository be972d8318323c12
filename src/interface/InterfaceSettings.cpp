// Reading "QuorvelPOS.txt".
#include "interface/InterfaceSettings.h"

#include "platform/Error.h"
#include "platform/TextFile.h"

namespace quorvel {

bool InterfaceSettings::allows(const QHostAddress& peer) const {
    // An IPv4 client reaching an IPv6 socket shows as ::ffff:a.b.c.d.
    bool mapped = false;
    const QHostAddress v4(peer.toIPv4Address(&mapped));
    for (const QHostAddress& a : clients)
        if (a.isEqual(peer) || (mapped && a.isEqual(v4)))
            return true;
    return false;
}

std::optional<InterfaceSettings> readInterfaceSettings(const QString& path) {
    const auto lines = readKeyValueFile(path);
    if (!lines)
        return std::nullopt;
    InterfaceSettings s;
    bool clientsGiven = false;
    for (const KeyValueLine& line : *lines) {
        const auto bad = [&](const QString& why) { return keyValueError(path, line, why); };
        const QString& key = line.key;
        const QString& value = line.value;
        const auto number = [&](int low, int high) {
            bool ok = false;
            const int n = value.toInt(&ok);
            if (!ok || n < low || n > high)
                throw bad(QStringLiteral("%1 \"%2\" non valido (%3-%4)")
                              .arg(key, value)
                              .arg(low)
                              .arg(high));
            return n;
        };
        if (key == QLatin1String("attivo")) {
            const QString v = value.toLower();
            if (v != QLatin1String("si") && v != QLatin1String("sì") && v != QLatin1String("no"))
                throw bad(QStringLiteral("attivo \"%1\" non valido (si o no)").arg(value));
            s.enabled = v != QLatin1String("no");
        } else if (key == QLatin1String("indirizzo")) {
            if (!s.address.setAddress(value))
                throw bad(QStringLiteral("indirizzo \"%1\" non valido").arg(value));
        } else if (key == QLatin1String("porta")) {
            s.port = static_cast<quint16>(number(1, 65535));
        } else if (key == QLatin1String("client")) {
            if (!clientsGiven)
                s.clients.clear();
            clientsGiven = true;
            for (const QString& part : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                QHostAddress a;
                if (!a.setAddress(part.trimmed()))
                    throw bad(QStringLiteral("indirizzo del client \"%1\" non valido")
                                  .arg(part.trimmed()));
                s.clients.push_back(a);
            }
        } else if (key.startsWith(QLatin1String("reparto."))) {
            const QString outlet = key.mid(8);
            if (outlet.isEmpty())
                throw bad(QStringLiteral("reparto senza codice (reparto.CODICE = voce)"));
            s.outlets.insert(outlet, static_cast<std::int16_t>(number(-32768, 32767)));
        } else if (key == QLatin1String("attesa_vita")) {
            s.aliveSeconds = number(5, 3600);
        } else {
            throw bad(QStringLiteral("chiave \"%1\" sconosciuta").arg(key));
        }
    }
    return s;
}

}  // namespace quorvel
