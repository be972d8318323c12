// The daily mail of an unattended bridge: once a day, at the first tick
// after "ora_invio" of "QuorvelMail.txt", the error history is mailed (body
// and delimited export, as the preview's "E-&mail" sends them), with the
// reconciliation of yesterday's and today's charge days in the body.
//
// Exactly once a day, also across restarts: the day is written into table
// MailGiornaliera (Giorno, yyyyMMdd) of the program's own store only after
// the server accepted the mail. A mail the server did not take is tried
// again at a later tick, at most one attempt every RetrySeconds (a server
// that does not answer holds the tick up to its time-out); each failure is
// logged and notified once until its cause changes.
#pragma once

#include "platform/Seams.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace quorvel {

class ChargeStore;
struct MailSettings;

class DailyMail {
public:
    static constexpr int RetrySeconds = 300;

    // REQUIRES: services outlive it (without a clock the system's time is
    // used; without dialogs nothing is notified).
    explicit DailyMail(Services& services);

    // Called at the end of each polling tick; a no-op while other work holds
    // the WorkGuard, without mail settings or without ora_invio. Never
    // throws. True when a mail was sent at this call.
    bool tick(ChargeStore& store);

    // The body's lines for the day: a heading, the history's lines, then the
    // reconciliation's (left out when it has no day).
    static QStringList bodyLines(const QDateTime& now, const QStringList& errors,
                                 const QStringList& reconciliation = {});

private:
    bool due(const MailSettings& settings, ChargeStore& store, const QDateTime& now);
    void failed(const QString& kind, const QString& why);

    Services& m_services;
    QDateTime m_lastAttempt;
    QDate m_sentDay;
    QString m_lastFailure;  // its kind
};

}  // namespace quorvel
