// The daily mail's timing, its record of the days sent, and its retries.
#include "polling/DailyMail.h"

#include "db/Engine.h"
#include "platform/Log.h"
#include "platform/Plural.h"
#include "polling/WorkGuard.h"
#include "print/MailHandover.h"
#include "print/MailSettings.h"
#include "print/SmtpMail.h"
#include "transfer/ChargeStore.h"
#include "transfer/Reconciliation.h"

#include <chrono>

namespace quorvel {

namespace {

const QString kTable = QStringLiteral("MailGiornaliera");
const QString kDay = QStringLiteral("Giorno");

db::Database& dayTable(ChargeStore& store) {
    db::Database& database = store.database();
    if (!database.hasTable(kTable)) {
        db::TableDef def(kTable);
        def.appendField(kDay, db::FieldType::Text, 8);
        database.appendTable(def);
    }
    return database;
}

bool sentOn(ChargeStore& store, const QDate& day) {
    auto rs = dayTable(store).openRecordset(kTable);
    rs->findFirst(QStringLiteral("Giorno = '%1'").arg(day.toString(QStringLiteral("yyyyMMdd"))));
    return !rs->noMatch();
}

void recordSent(ChargeStore& store, const QDate& day) {
    db::Transaction tx(store.workspace());
    auto rs = dayTable(store).openRecordset(kTable);
    rs->addNew();
    rs->setValue(kDay, day.toString(QStringLiteral("yyyyMMdd")));
    rs->update();
    tx.commit();
}

}  // namespace

DailyMail::DailyMail(Services& services) : m_services(services) {}

DailyMail::~DailyMail() {
    if (!m_send.valid())
        return;
    m_cancel = true;
    m_send.wait();  // the worker sees the flag within about a second
    log::info(
        QStringLiteral("E-mail giornaliera: invio interrotto dalla chiusura del programma, "
                       "sarà ritentato al prossimo avvio"));
}

void DailyMail::wait() {
    if (m_send.valid())
        m_send.wait();
}

QStringList DailyMail::bodyLines(const QDateTime& now, const QStringList& errors,
                                 const QStringList& reconciliation) {
    QStringList out;
    out << QStringLiteral("Storico errori al %1: %2")
               .arg(now.toString(QStringLiteral("dd/MM/yyyy HH:mm")),
                    errors.isEmpty()
                        ? QStringLiteral("nessun addebito in errore")
                        : counted(errors.size(), QStringLiteral("riga"), QStringLiteral("righe")));
    out << QString();
    out << errors;
    if (!reconciliation.isEmpty())
        out << QString() << reconciliation;
    return out;
}

bool DailyMail::due(const MailSettings& settings, ChargeStore& store, const QDateTime& now) {
    if (!settings.dailyTime || now.time() < *settings.dailyTime || m_sentDay == now.date())
        return false;
    if (m_lastAttempt.isValid() && now >= m_lastAttempt && m_lastAttempt.secsTo(now) < RetrySeconds)
        return false;
    return !sentOn(store, now.date());
}

void DailyMail::failed(const QString& kind, const QString& why) {
    if (kind == m_lastFailure)
        return;
    m_lastFailure = kind;
    log::error(QStringLiteral("E-mail giornaliera non inviata, sarà ritentata: ") + why);
    if (m_services.dialogs)
        m_services.dialogs->notify(
            QStringLiteral("E-mail giornaliera"),
            QStringLiteral("E-mail giornaliera non inviata: %1. Sarà ritentata.").arg(why));
}

bool DailyMail::collect(ChargeStore& store, const QDateTime& now) {
    const Outcome o = m_send.get();
    // Retries are spaced from the end of an attempt, however long it took.
    m_lastAttempt = now;
    if (!o.failureKind.isEmpty()) {
        failed(o.failureKind, o.why);
        return false;
    }
    m_sentDay = m_sendDay;
    try {
        recordSent(store, m_sendDay);
    } catch (const std::exception& e) {
        log::error(QStringLiteral("E-mail giornaliera inviata, ma il giorno non è stato "
                                  "registrato (potrebbe ripartire dopo un riavvio): ") +
                   QString::fromStdString(e.what()));
    }
    log::info(QStringLiteral("E-mail giornaliera del %1 inviata a %2 (%3 di storico)")
                  .arg(m_sendDay.toString(QStringLiteral("dd/MM/yyyy")),
                       o.recipients.join(QStringLiteral(", ")),
                       counted(o.lines, QStringLiteral("riga"), QStringLiteral("righe"))));
    m_lastFailure.clear();
    return true;
}

bool DailyMail::tick(ChargeStore& store) {
    WorkGuard guard;
    if (!guard.entered())
        return false;
    const QDateTime now = m_services.clock ? m_services.clock->now() : QDateTime::currentDateTime();
    if (m_send.valid()) {
        if (m_send.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return false;  // still with the server: the polling goes on
        return collect(store, now);
    }
    try {
        const std::optional<MailSettings> settings = readMailSettings();
        if (!settings || !due(*settings, store, now))
            return false;
        m_lastAttempt = now;
        const QString subject =
            settings->subject + QStringLiteral(" - ") + now.toString(QStringLiteral("dd/MM/yyyy"));
        const QStringList errors = store.errors();
        MailMessage message = reportMail(subject, errors);
        // Yesterday's and today's charge days: a mail sent in the morning
        // still balances the whole of the day before.
        const Reconciliation r =
            reconcile(store, now.date().addDays(-1).toString(QStringLiteral("yyyyMMdd")),
                      now.date().toString(QStringLiteral("yyyyMMdd")));
        message.body =
            bodyLines(now, errors, r.days.empty() ? QStringList() : reconciliationText(r, now))
                .join(QStringLiteral("\r\n"));
        m_sendDay = now.date();
        const int lines = static_cast<int>(errors.size());
        log::info(QStringLiteral("E-mail giornaliera del %1: invio a %2:%3 avviato")
                      .arg(now.toString(QStringLiteral("dd/MM/yyyy")), settings->server)
                      .arg(settings->effectivePort()));
        m_send = std::async(std::launch::async, [this, s = *settings, message, now, lines] {
            Outcome o{{}, {}, s.recipients, lines};
            try {
                sendMail(s, message, now, &m_cancel);
            } catch (const MailError& e) {
                o.failureKind = e.kind();
                o.why = e.message();
            } catch (const std::exception& e) {
                o.failureKind = o.why = QString::fromStdString(e.what());
            }
            return o;
        });
        return false;
    } catch (const MailError& e) {
        failed(e.kind(), e.message());
        return false;
    } catch (const std::exception& e) {
        // Unusable settings, an unreadable store: the text is the kind.
        failed(QString::fromStdString(e.what()), QString::fromStdString(e.what()));
        return false;
    }
}

}  // namespace quorvel
