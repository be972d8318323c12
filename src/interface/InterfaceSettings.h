// The optional settings file "QuorvelPOS.txt" of the working folder: the
// listener for POS systems speaking the interface protocol. Without the
// file, or with "attivo = no", there is no listener.
//
// Format: UTF-8 text, one `key = value` a line; blank lines and lines
// starting with '#' are ignored. Keys:
//   attivo        si | no (default no)
//   indirizzo     the address listened on (default 127.0.0.1)
//   porta         1-65535 (default 5010)
//   client        allowed POS addresses, separated by commas; the key may
//                 repeat (default: 127.0.0.1 only)
//   reparto.SO    the VociFattura code of the POS's sales outlet SO: its
//                 postings without sub-totals, and its sub-totals with no
//                 code of their own
//   reparto.SO.N  the VociFattura code of sub-total N (1-9, field SN) of SO
//                 Nothing listed: every posting under CodiceGenerico of
//                 "Quorvel.txt". Otherwise an outlet not listed, or one of
//                 its sub-totals with no code, is refused (see itemOf).
//   giorni_risposte  days the answers of postings are remembered for a POS
//                 that resends (default 7)
//   attesa_vita   seconds without any record before the link is checked
//                 with a link alive, and closed after twice as long (default 60)
#pragma once

#include <QHash>
#include <QHostAddress>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace quorvel {

inline const QString kInterfaceSettingsFile = QStringLiteral("QuorvelPOS.txt");

struct InterfaceSettings {
    bool enabled = false;
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 5010;
    std::vector<QHostAddress> clients{QHostAddress(QHostAddress::LocalHost)};
    QHash<QString, std::int16_t> outlets;    // sales outlet -> VociFattura code
    QHash<QString, std::int16_t> subtotals;  // "outlet.N" -> VociFattura code
    int aliveSeconds = 60;
    int answerDays = 7;

    bool allows(const QHostAddress& peer) const;
    // The item sub-total n (1-9; 0: a posting without sub-totals) of outlet
    // (as sent, letter case aside; empty: none named) posts under; generic
    // when nothing maps it. nullopt, with why (Italian), when refused.
    std::optional<std::int16_t> itemOf(const QString& outlet, int n, std::int16_t generic,
                                       QString* why) const;
};

// Reads path; nullopt when there is no such file. Throws Error (Italian,
// naming the file and line) on an unknown key or a bad value.
std::optional<InterfaceSettings> readInterfaceSettings(
    const QString& path = kInterfaceSettingsFile);

}  // namespace quorvel
