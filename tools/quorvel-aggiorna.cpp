// quorvel-aggiorna: the menu's "Aggiorna Dati" from the command line (for the
// demo and for an IT person's scripts): rewrites every guest room for the POS
// and "Clienti.txt" in the working folder. Messages go to standard error.
#include "platform/Error.h"
#include "platform/Log.h"
#include "polling/FolderStores.h"
#include "polling/GuestExport.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
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
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 2 || (args.size() == 2 && args[1].startsWith(QLatin1Char('-')))) {
        std::fprintf(stderr, "uso: quorvel-aggiorna [CARTELLA]\n");
        return 2;
    }
    if (args.size() == 2 && !QDir::setCurrent(args[1])) {
        std::fprintf(stderr, "quorvel-aggiorna: cartella non trovata: %s\n", qPrintable(args[1]));
        return 2;
    }
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
