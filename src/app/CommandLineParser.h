// The command-line grammar of the host: one command word, options "--key=value" or "--key value", and
// switches "--key". There are no one-letter options.
//
// Arguments are taken one at a time from a stack (the first on top); "--key=value" pushes its value back
// as the next argument, so a value that starts with "-" is read as an option and fails. An option not
// followed by a value gets the empty text. Every failure is announced with qWarning (the installed message
// handler turns it into the host's "warning options" line) and makes parse() fail.
//
// Owns: the declarations and the parsed values. Declared options start as the null text (not given).
// REQUIRES: names are declared before parse(); parse() is called once.
#pragma once

#include <QString>
#include <QStringList>

#include <map>
#include <optional>

class CommandLineParser {
  public:
    enum class Result {
        Parsed,
        Failed,
        // The argument "--" alone: not supported; the process ends with exit code 2.
        Unsupported,
    };

    // argv[1] .. argv[argc-1], decoded as UTF-8; argv[0] names the application.
    CommandLineParser(int argc, char** argv);
    explicit CommandLineParser(const QStringList& arguments, const QString& applicationName = QString());

    void declareCommand(const QString& name);
    void declareSwitch(const QString& name);
    // A secret option's value never appears in a warning (a value read as an option is shown as "-*").
    void declareOption(const QString& name, const QString& defaultValue = QString(), bool secret = false);

    Result parse();

    // The command word; null when none was given.
    QString command() const { return command_.value_or(QString()); }
    bool switchValue(const QString& name) const;
    // The value of an option; the null text when it was not given.
    QString optionValue(const QString& name) const;

    const QString& applicationName() const { return applicationName_; }
    const QStringList& arguments() const { return arguments_; }

  private:
    struct Option {
        bool isSwitch = false;
        bool secret = false;
        QString defaultValue;
        bool switchValue = false;
        std::optional<QString> value;
    };

    Result fail(const QString& warning);

    QString applicationName_;
    QStringList arguments_;
    QString commandName_;
    std::optional<QString> command_;
    std::map<QString, Option> options_;
};
