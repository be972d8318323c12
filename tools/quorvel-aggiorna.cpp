// quorvel-aggiorna: the menu's "Aggiorna Dati" from the command line (for the
// demo and for an IT person's scripts): rewrites every guest room for the POS
// and "Clienti.txt" in the working folder. Messages go to standard error.
#include "platform/CommandLine.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "polling/FolderStores.h"
#include "polling/GuestExport.h"

#include <QCoreApplication>
#include <QDir>
#include <optional>

namespace {

// Without a window, a message box becomes a log line.
class ConsoleDialogs : public quorvel::Dialogs {
public:
    quorvel::MsgAnswer messageBox(const QString& text, const QString& title, quorvel::MsgIcon,
                                  quorvel::MsgButtons, quorvel::MsgAnswer answer) override {
        quorvel::log::error(title + QStringLiteral(": ") + text);
        failed = true;
        return answer;
    }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    void notify(const QString& title, const QString& text) override {
        quorvel::log::info(title + QStringLiteral(": ") + text);
    }
    bool failed = false;
};

}  // namespace

int main(int argc, char** argv) {
    quorvel::CommandLine cli(QStringLiteral("quorvel-aggiorna"),
                             QStringLiteral("quorvel-aggiorna [CARTELLA]"),
                             QStringLiteral("\"Aggiorna Dati\" dalla riga di comando: riscrive gli "
                                            "ospiti di ogni camera per la cassa e Clienti.txt.\n"
                                            "Stato d'uscita: 0 fatto, 1 non riuscito, 2 argomenti "
                                            "non validi."));
    cli.setPositional(QStringLiteral("CARTELLA"),
                      QStringLiteral("La cartella di lavoro (predefinita quella corrente)."), 0, 1);
    if (const auto status = cli.handle(argc, argv))
        return *status;
    QCoreApplication app(argc, argv);
    const QStringList& args = cli.positional();
    if (args.size() == 1 && !QDir::setCurrent(args[0]))
        return cli.fail(QStringLiteral("cartella non trovata: %1").arg(args[0]));
    // As the program: QuorvelDB.txt may put the hotel's databases on a server.
    quorvel::log::setEcho(true);
    std::optional<quorvel::ToolSession> session;
    ConsoleDialogs dialogs;
    try {
        session.emplace(QStringLiteral("quorvel-aggiorna"), false);
        quorvel::GuestExport(dialogs).AggiornaClienti();
    } catch (const std::exception& e) {
        quorvel::log::error(QStringLiteral("Aggiorna Dati: ") + quorvel::errorText(e));
        return 1;
    }
    return dialogs.failed ? 1 : 0;
}
