// The daily mail of an unattended bridge: once a day, at the first tick
// after "ora_invio" of "QuorvelMail.txt", the error history is mailed (body
// and delimited export, as the preview's "E-&mail" sends them), with the
// reconciliation of yesterday's and today's charge days in the body.
//
// Exactly once a day, also across restarts: the day is written into table
// MailGiornaliera (Giorno, yyyyMMdd) of the program's own store only after
// the server accepted the mail. A mail the server did not take is tried
// again at a later tick, RetrySeconds after the end of the attempt before;
// each failure is logged and notified once until its cause changes.
//
// The exchange with the server runs on a worker thread: a tick only builds
// the message and starts it, and a later tick collects the outcome, so a
// server that stalls never holds up the polling. Destroying the object (the
// program ending) abandons a send under way within about a second; the day
// is not recorded, so the mail goes at the next start.
#pragma once

#include "platform/Seams.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <atomic>
#include <future>

namespace quorvel {

class ChargeStore;
struct MailSettings;

class DailyMail {
public:
    static constexpr int RetrySeconds = 300;

    // REQUIRES: services outlive it (without a clock the system's time is
    // used; without dialogs nothing is notified).
    explicit DailyMail(Services& services);
    ~DailyMail();
    DailyMail(const DailyMail&) = delete;
    DailyMail& operator=(const DailyMail&) = delete;

    // Called at the end of each polling tick; a no-op while other work holds
    // the WorkGuard, without mail settings or without ora_invio. Collects a
    // send that ended, or starts one that is due. Never throws. True when a
    // sent mail was collected at this call.
    bool tick(ChargeStore& store);
    // True while a send runs on the worker.
    bool sending() const { return m_send.valid(); }
    // Blocks until the send under way (if any) has ended; for tests and tools.
    void wait();

    // The body's lines for the day: a heading, the history's lines, then the
    // reconciliation's (left out when it has no day).
    static QStringList bodyLines(const QDateTime& now, const QStringList& errors,
                                 const QStringList& reconciliation = {});

private:
    struct Outcome {
        QString failureKind;  // empty when the server took the mail
        QString why;
        QStringList recipients;
        int lines = 0;
    };
    bool due(const MailSettings& settings, ChargeStore& store, const QDateTime& now);
    void failed(const QString& kind, const QString& why);
    bool collect(ChargeStore& store, const QDateTime& now);

    Services& m_services;
    std::atomic<bool> m_cancel{false};
    std::future<Outcome> m_send;
    QDate m_sendDay;  // the day the send under way is for
    QDateTime m_lastAttempt;
    QDate m_sentDay;
    QString m_lastFailure;  // its kind
};

}  // namespace quorvel
