#include "app/CommandLineParser.h"

#include <QFileInfo>
#include <QtGlobal>

CommandLineParser::CommandLineParser(int argc, char** argv) {
    if (argc > 0 && argv[0] != nullptr) {
        applicationName_ = QFileInfo(QString::fromUtf8(argv[0])).fileName();
    }
    for (int i = 1; i < argc; ++i) {
        arguments_.append(QString::fromUtf8(argv[i]));
    }
}

CommandLineParser::CommandLineParser(const QStringList& arguments, const QString& applicationName)
    : applicationName_(applicationName), arguments_(arguments) {}

void CommandLineParser::declareCommand(const QString& name) {
    commandName_ = name;
    command_.reset();
}

void CommandLineParser::declareSwitch(const QString& name) {
    options_[name] = Option{true, false, QString(), false, {}};
}

void CommandLineParser::declareOption(const QString& name, const QString& defaultValue, bool secret) {
    options_[name] = Option{false, secret, defaultValue, false, {}};
}

bool CommandLineParser::switchValue(const QString& name) const {
    const auto it = options_.find(name);
    return it != options_.end() && it->second.switchValue;
}

QString CommandLineParser::optionValue(const QString& name) const {
    const auto it = options_.find(name);
    return it != options_.end() && it->second.value ? *it->second.value : QString();
}

CommandLineParser::Result CommandLineParser::fail(const QString& warning) {
    qWarning("%s", qUtf8Printable(warning));
    return Result::Failed;
}

CommandLineParser::Result CommandLineParser::parse() {
    QStringList stack = arguments_;  // front = top
    Option* pending = nullptr;       // an option waiting for its value
    bool secretOnTop = false;        // the top of the stack is the value of a secret "--key=value"
    for (;;) {
        const bool secretToken = secretOnTop || (pending != nullptr && pending->secret);
        secretOnTop = false;
        const bool end = stack.isEmpty();
        QString bare;
        Option* option = nullptr;
        if (!end) {
            const QString arg = stack.takeFirst();
            if (arg.startsWith(QLatin1String("--"))) {
                QString name = arg.mid(2);
                if (name.isEmpty()) {
                    qWarning("'--' feature not supported, yet");
                    return Result::Unsupported;
                }
                const qsizetype eq = name.indexOf(QLatin1Char('='));
                if (eq >= 0) {
                    stack.prepend(name.mid(eq + 1));
                    name.truncate(eq);
                }
                const auto it = options_.find(name);
                if (it == options_.end()) {
                    return fail(
                        QStringLiteral("Unknown option --%1").arg(secretToken ? QStringLiteral("*") : name));
                }
                option = &it->second;
                secretOnTop = eq >= 0 && option->secret;
            } else if (arg.size() != 1 && arg.startsWith(QLatin1Char('-'))) {
                return fail(QStringLiteral("Unknown option -%1").arg(secretToken ? QChar('*') : arg.at(1)));
            } else {
                bare = arg;
            }
        }

        if (pending != nullptr) {
            if (!end && option == nullptr) {
                pending->value = bare;
                pending = nullptr;
                continue;
            }
            // Followed by an option or by the end: the option gets its default and the token is read again.
            pending->value = pending->defaultValue;
            pending = nullptr;
        }
        if (end) {
            break;
        }
        if (option == nullptr) {
            if (command_) {
                return fail(QStringLiteral("Too many arguments --%1").arg(bare));
            }
            command_ = bare;
        } else if (option->isSwitch) {
            option->switchValue = true;
        } else {
            pending = option;
        }
    }
    if (!command_) {
        return fail(QStringLiteral("Lacking required argument"));
    }
    return Result::Parsed;
}
