// The command-line parser of the program and its tools.
#include "platform/CommandLine.h"

#include <cstdio>

namespace quorvel {

CommandLine::CommandLine(QString program, QString usage, QString description)
    : m_program(std::move(program)),
      m_usage(std::move(usage)),
      m_description(std::move(description)) {}

void CommandLine::addOption(const QString& name, const QString& help, const QString& valueName) {
    m_options.push_back({name, help, valueName, false, {}});
}

void CommandLine::setPositional(const QString& name, const QString& help, int min, int max) {
    m_posName = name;
    m_posHelp = help;
    m_posMin = min;
    m_posMax = max;
}

void CommandLine::setVersion(const QString& version) {
    m_version = version;
}

CommandLine::Option* CommandLine::find(const QString& name) {
    for (Option& o : m_options)
        if (o.name == name)
            return &o;
    return nullptr;
}

const CommandLine::Option* CommandLine::find(const QString& name) const {
    return const_cast<CommandLine*>(this)->find(name);
}

CommandLine::Outcome CommandLine::parse(const QStringList& args) {
    m_error.clear();
    m_positional.clear();
    for (Option& o : m_options) {
        o.set = false;
        o.value.clear();
    }
    bool wantHelp = false, wantVersion = false, optionsEnded = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsEnded || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            m_positional << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            wantHelp = true;
            continue;
        }
        if (arg == QLatin1String("--version") && !m_version.isEmpty()) {
            wantVersion = true;
            continue;
        }
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const QString name =
            arg.startsWith(QLatin1String("--")) ? arg.mid(2, eq < 0 ? -1 : eq - 2) : QString();
        Option* o = name.isEmpty() ? nullptr : find(name);
        if (!o) {
            m_error = QStringLiteral("opzione sconosciuta: %1").arg(eq < 0 ? arg : arg.left(eq));
            return Outcome::Error;
        }
        if (o->set) {
            m_error = QStringLiteral("opzione ripetuta: --%1").arg(name);
            return Outcome::Error;
        }
        o->set = true;
        if (o->valueName.isEmpty()) {
            if (eq >= 0) {
                m_error = QStringLiteral("l'opzione --%1 non vuole un valore").arg(name);
                return Outcome::Error;
            }
        } else if (eq >= 0) {
            o->value = arg.mid(eq + 1);
        } else if (i + 1 < args.size()) {
            o->value = args[++i];
        } else {
            m_error =
                QStringLiteral("manca il valore dell'opzione --%1 (%2)").arg(name, o->valueName);
            return Outcome::Error;
        }
    }
    if (wantHelp)
        return Outcome::Help;
    if (wantVersion)
        return Outcome::Version;
    if (m_positional.size() > m_posMax) {
        m_error = m_posMax == 0
                      ? QStringLiteral("argomento in più: %1").arg(m_positional[0])
                      : QStringLiteral("argomento in più: %1").arg(m_positional[m_posMax]);
        return Outcome::Error;
    }
    if (m_positional.size() < m_posMin) {
        m_error = QStringLiteral("manca l'argomento %1").arg(m_posName);
        return Outcome::Error;
    }
    return Outcome::Run;
}

std::optional<int> CommandLine::handle(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    switch (parse(args)) {
        case Outcome::Run:
            return std::nullopt;
        case Outcome::Help:
            std::fputs(helpText().toUtf8().constData(), stdout);
            return 0;
        case Outcome::Version:
            std::fprintf(stdout, "%s %s\n", qPrintable(m_program), qPrintable(m_version));
            return 0;
        case Outcome::Error:
            break;
    }
    return fail(m_error);
}

bool CommandLine::isSet(const QString& name) const {
    const Option* o = find(name);
    return o && o->set;
}

QString CommandLine::value(const QString& name) const {
    const Option* o = find(name);
    return o ? o->value : QString();
}

std::optional<qint64> CommandLine::intValue(const QString& name, qint64 min, qint64 max) {
    bool ok = false;
    const qint64 v = value(name).trimmed().toLongLong(&ok);
    if (ok && v >= min && v <= max)
        return v;
    m_error = QStringLiteral("valore non valido per --%1: \"%2\" (un numero intero da %3 a %4)")
                  .arg(name, value(name))
                  .arg(min)
                  .arg(max);
    return std::nullopt;
}

QString CommandLine::helpText() const {
    QString text = QStringLiteral("Uso:\n");
    for (const QString& line : m_usage.split(QLatin1Char('\n')))
        text += QStringLiteral("  ") + line + QLatin1Char('\n');
    text += QLatin1Char('\n') + m_description + QStringLiteral("\n\nOpzioni:\n");
    auto entry = [&text](const QString& left, const QString& help) {
        text += QStringLiteral("  ") + left.leftJustified(24) + QLatin1Char(' ') + help +
                QLatin1Char('\n');
    };
    for (const Option& o : m_options)
        entry(QStringLiteral("--") + o.name +
                  (o.valueName.isEmpty() ? QString() : QLatin1Char(' ') + o.valueName),
              o.help);
    entry(QStringLiteral("-h, --help"), QStringLiteral("Mostra questo aiuto ed esce."));
    if (!m_version.isEmpty())
        entry(QStringLiteral("--version"), QStringLiteral("Mostra la versione ed esce."));
    if (m_posMax > 0)
        text += QStringLiteral("\nArgomenti:\n  ") + m_posName.leftJustified(24) +
                QLatin1Char(' ') + m_posHelp + QLatin1Char('\n');
    if (!m_epilogue.isEmpty())
        text += QLatin1Char('\n') + m_epilogue + QLatin1Char('\n');
    return text;
}

int CommandLine::fail(const QString& text) const {
    std::fprintf(stderr, "%s: %s\nPer l'elenco delle opzioni: %s --help\n", qPrintable(m_program),
                 qPrintable(text), qPrintable(m_program));
    return 2;
}

}  // namespace quorvel
