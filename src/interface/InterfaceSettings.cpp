// Reading "QuorvelPOS.txt".
#include "interface/InterfaceSettings.h"

#include "platform/Error.h"
#include "platform/TextFile.h"

#include <algorithm>

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

std::optional<std::int16_t> InterfaceSettings::itemOf(const QString& outlet, int n,
                                                      std::int16_t generic, QString* why) const {
    if (outlet.isEmpty() || (outlets.isEmpty() && subtotals.isEmpty()))
        return generic;
    const QString o = outlet.toLower();
    if (n > 0) {
        const auto it = subtotals.constFind(QStringLiteral("%1.%2").arg(o).arg(n));
        if (it != subtotals.cend())
            return *it;
    }
    const auto it = outlets.constFind(o);
    if (it != outlets.cend())
        return *it;
    const QString prefix = o + QLatin1Char('.');
    const bool known = std::any_of(subtotals.keyBegin(), subtotals.keyEnd(),
                                   [&](const QString& k) { return k.startsWith(prefix); });
    if (!known)
        *why = QStringLiteral("Punto vendita sconosciuto: %1").arg(outlet);
    else if (n > 0)
        *why = QStringLiteral("Subtotale %1 del punto vendita %2 senza voce in %3")
                   .arg(n)
                   .arg(outlet, kInterfaceSettingsFile);
    else
        *why = QStringLiteral("Punto vendita %1 senza subtotali e senza voce in %2")
                   .arg(outlet, kInterfaceSettingsFile);
    return std::nullopt;
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
            QString outlet = key.mid(8);
            // reparto.SO.N: sub-total N of outlet SO.
            const qsizetype dot = outlet.lastIndexOf(QLatin1Char('.'));
            const QString tail = dot > 0 ? outlet.mid(dot + 1) : QString();
            const bool subtotal =
                tail.size() == 1 && tail[0] >= QLatin1Char('1') && tail[0] <= QLatin1Char('9');
            if (subtotal)
                outlet.truncate(dot);
            if (outlet.isEmpty() || dot == 0)
                throw bad(
                    QStringLiteral("reparto senza codice (reparto.CODICE = voce, "
                                   "reparto.CODICE.N = voce del subtotale N)"));
            const auto code = static_cast<std::int16_t>(number(-32768, 32767));
            if (subtotal)
                s.subtotals.insert(outlet + QLatin1Char('.') + tail, code);
            else
                s.outlets.insert(outlet, code);
        } else if (key == QLatin1String("attesa_vita")) {
            s.aliveSeconds = number(5, 3600);
        } else if (key == QLatin1String("giorni_risposte")) {
            s.answerDays = number(1, 3650);
        } else {
            throw bad(QStringLiteral("chiave \"%1\" sconosciuta").arg(key));
        }
    }
    return s;
}

}  // namespace quorvel
