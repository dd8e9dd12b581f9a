// Fuzz target: the command-line grammar, with the program's own switches and options, and the masking of
// password values for the log. Input: the arguments, separated by NUL bytes.
//
// Checks: a parse that succeeds has a command and warned of nothing; one that fails warned exactly once;
// the log's copy of the arguments masks every password value; no warning quotes a password value.
#include "FuzzInput.h"

#include "app/BridgeBase.h"
#include "app/CommandLineParser.h"
#include "messages/LogManager.h"
#include "messages/SISMessageWriter.h"

#include <QBuffer>
#include <QStringList>

namespace {

QStringList g_warnings;

void collect(QtMsgType, const QMessageLogContext&, const QString& text) {
    g_warnings.append(text);
}

// The program's declarations, made once.
struct Program {
    Program() : writer(open(out), open(err)) {
        LogManager::instance().setDestinations(0);
        bridge = std::make_unique<BridgeBase>(writer, nullptr);
    }
    static QBuffer* open(QBuffer& buffer) {
        buffer.open(QIODevice::WriteOnly);
        return &buffer;
    }
    QBuffer out;
    QBuffer err;
    SISMessageWriter writer;
    std::unique_ptr<BridgeBase> bridge;
};

const QStringList kSecretKeys = {QStringLiteral("pwdencode"), QStringLiteral("pwd")};
const char* const kWarningTexts[] = {"Unknown option --", "Unknown option -", "Too many arguments --",
                                     "Lacking required argument", "'--' feature not supported, yet"};

bool isValue(const QString& arg) {
    return arg.size() == 1 || !arg.startsWith(QLatin1Char('-'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Program program;
    static const QtMessageHandler previous = qInstallMessageHandler(collect);
    (void)previous;

    QStringList args;
    for (const QByteArray& part : fuzz::parts(data, size)) {
        args.append(QString::fromUtf8(part));
    }
    if (size == 0) {
        args.clear();
    }

    g_warnings.clear();
    CommandLineParser parser(args, QStringLiteral("norv-extract"));
    parser.declareCommand(QStringLiteral("command"));
    for (const QString& key : program.bridge->switchKeys()) {
        parser.declareSwitch(key);
    }
    for (const QString& key : program.bridge->optionKeys()) {
        parser.declareOption(key, QString(), kSecretKeys.contains(key));
    }
    const CommandLineParser::Result result = parser.parse();
    if (result == CommandLineParser::Result::Parsed) {
        FUZZ_CHECK(!parser.command().isNull());
        FUZZ_CHECK(g_warnings.isEmpty());
    } else {
        FUZZ_CHECK(g_warnings.size() == 1);
    }

    // The password values given, in either form.
    QList<std::pair<QString, qsizetype>> secrets;  // value, index of the argument it came from
    const QStringList masked = AppBase::maskedArguments(args, kSecretKeys);
    FUZZ_CHECK(masked.size() == args.size());
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        for (const QString& key : kSecretKeys) {
            const QString inline_ = "--" + key + "=";
            if (arg.startsWith(inline_)) {
                FUZZ_CHECK(masked.at(i) == inline_ + "********");
                secrets.append({arg.mid(inline_.size()), i});
            } else if (arg == "--" + key && i + 1 < args.size() && isValue(args.at(i + 1))) {
                FUZZ_CHECK(masked.at(i + 1) == "********");
                secrets.append({args.at(i + 1), i + 1});
            }
        }
    }
    // A warning may quote another argument or its own words; a long value found in neither is the password's.
    for (const auto& [secret, source] : secrets) {
        const QString value = secret.startsWith(QLatin1Char('-')) ? secret.mid(2) : secret;
        if (value.size() < 8) {
            continue;
        }
        bool elsewhere = false;
        for (qsizetype j = 0; j < args.size(); ++j) {
            elsewhere = elsewhere || (j != source && args.at(j).contains(value));
        }
        for (const char* text : kWarningTexts) {
            elsewhere = elsewhere || QString::fromLatin1(text).contains(value);
        }
        if (!elsewhere) {
            for (const QString& warning : g_warnings) {
                FUZZ_CHECK(!warning.contains(value));
            }
        }
    }
    return 0;
}
