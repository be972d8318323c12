// A program's command line, parsed before any application object exists (so
// no display is needed to refuse it): long options (--name, --name VALUE,
// --name=VALUE), "--" ending the options, positional arguments, and the
// built-in --help (-h) and --version. Every message is Italian and names the
// argument at fault; a bad command line exits with status 2.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace quorvel {

class CommandLine {
public:
    // usage: the synopsis lines after "Uso:", one per line.
    CommandLine(QString program, QString usage, QString description);

    // name without the leading "--"; an option with a valueName takes a value.
    void addOption(const QString& name, const QString& help, const QString& valueName = {});
    // At least min and at most max positional arguments.
    void setPositional(const QString& name, const QString& help, int min, int max);
    // Adds --version, printing "program version".
    void setVersion(const QString& version);
    // Lines printed after the options by --help (exit statuses, notes).
    void setEpilogue(const QString& text) { m_epilogue = text; }

    enum class Outcome { Run, Help, Version, Error };
    // args[0] is the program's own name, as in argv.
    Outcome parse(const QStringList& args);
    // parse() of argv, then --help and --version printed on stdout (status 0),
    // an error on stderr with a pointer to --help (status 2). Returns the
    // status to exit with, or nothing when the program runs on.
    std::optional<int> handle(int argc, char** argv);

    bool isSet(const QString& name) const;
    QString value(const QString& name) const;
    // The option's value as a whole number in [min, max]; nothing (and
    // error() set) when it is not one.
    std::optional<qint64> intValue(const QString& name, qint64 min, qint64 max);
    const QStringList& positional() const { return m_positional; }

    QString helpText() const;
    const QString& error() const { return m_error; }
    // Prints "program: text" and the pointer to --help on stderr; returns 2.
    int fail(const QString& text) const;

private:
    struct Option {
        QString name, help, valueName;
        bool set = false;
        QString value;
    };
    Option* find(const QString& name);
    const Option* find(const QString& name) const;

    QString m_program, m_usage, m_description, m_epilogue, m_version;
    QString m_posName, m_posHelp;
    int m_posMin = 0, m_posMax = 0;
    std::vector<Option> m_options;
    QStringList m_positional;
    QString m_error;
};

}  // namespace quorvel
