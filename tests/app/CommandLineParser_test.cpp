#include "app/CommandLineParser.h"

#include "ProgramRunner.h"

#include <QtGlobal>

#include <gtest/gtest.h>

namespace {

QStringList g_warnings;

void collect(QtMsgType, const QMessageLogContext&, const QString& text) {
    g_warnings.append(text);
}

struct ParseCase {
    const char* name;
    QStringList args;
    CommandLineParser::Result result;
    QString command;
    QString school;  // null: not given
    QString path;
    bool help;
    QString warning;
};

TEST(CommandLineParser, Grammar) {
    using R = CommandLineParser::Result;
    const QString null;
    const ParseCase cases[] = {
        {"option with =", {"run", "--school=0042"}, R::Parsed, "run", "0042", null, false, ""},
        {"option and value", {"--school", "0042", "run"}, R::Parsed, "run", "0042", null, false, ""},
        {"last value wins", {"run", "--school=1", "--school=2"}, R::Parsed, "run", "2", null, false, ""},
        {"option followed by an option is empty",
         {"run", "--school", "--path=p"},
         R::Parsed,
         "run",
         "",
         "p",
         false,
         ""},
        {"option given last is empty", {"run", "--school"}, R::Parsed, "run", "", null, false, ""},
        {"empty value after =", {"run", "--school="}, R::Parsed, "run", "", null, false, ""},
        {"value holding =", {"run", "--path=a=b"}, R::Parsed, "run", null, "a=b", false, ""},
        {"a lone dash is a value", {"run", "--path", "-"}, R::Parsed, "run", null, "-", false, ""},
        {"switch", {"--help", "run"}, R::Parsed, "run", null, null, true, ""},
        {"empty command word", {""}, R::Parsed, "", null, null, false, ""},
        {"command swallowed by an option",
         {"--school", "run"},
         R::Failed,
         null,
         "run",
         null,
         false,
         "Lacking required argument"},
        {"negative value", {"run", "--school=-5"}, R::Failed, "run", null, null, false, "Unknown option -5"},
        {"short option", {"-xyz", "run"}, R::Failed, null, null, null, false, "Unknown option -x"},
        {"unknown option",
         {"run", "--School=1"},
         R::Failed,
         "run",
         null,
         null,
         false,
         "Unknown option --School"},
        {"two commands",
         {"run", "version"},
         R::Failed,
         "run",
         null,
         null,
         false,
         "Too many arguments --version"},
        {"double dash",
         {"run", "--", "x"},
         R::Unsupported,
         "run",
         null,
         null,
         false,
         "'--' feature not supported, yet"},
        {"nothing", {}, R::Failed, null, null, null, false, "Lacking required argument"},
        {"secret value read as an option",
         {"run", "--pwd=-s3cret"},
         R::Failed,
         "run",
         null,
         null,
         false,
         "Unknown option -*"},
        {"secret value after the key",
         {"run", "--pwd", "-s3cret"},
         R::Failed,
         "run",
         null,
         null,
         false,
         "Unknown option -*"},
        {"secret value read as a long option",
         {"run", "--pwd=--s3cret"},
         R::Failed,
         "run",
         null,
         null,
         false,
         "Unknown option --*"},
        {"an option after a secret",
         {"run", "--pwd", "--s3cret"},
         R::Failed,
         "run",
         null,
         null,
         false,
         "Unknown option --*"},
    };
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    for (const ParseCase& c : cases) {
        g_warnings.clear();
        CommandLineParser parser(c.args, "norv-extract");
        parser.declareCommand("command");
        parser.declareSwitch("help");
        parser.declareOption("school");
        parser.declareOption("path");
        parser.declareOption("pwd", QString(), true);
        EXPECT_EQ(parser.parse(), c.result) << c.name;
        EXPECT_EQ(parser.command(), c.command) << c.name;
        EXPECT_EQ(parser.command().isNull(), c.command.isNull()) << c.name;
        EXPECT_EQ(parser.optionValue("school"), c.school) << c.name;
        EXPECT_EQ(parser.optionValue("path"), c.path) << c.name;
        EXPECT_EQ(parser.switchValue("help"), c.help) << c.name;
        EXPECT_EQ(g_warnings, c.warning.isEmpty() ? QStringList() : QStringList{c.warning}) << c.name;
    }
    qInstallMessageHandler(previous);
}

TEST(CommandLineParser, ArgumentsAreUtf8AndTheNameHasNoFolder) {
    char arg0[] = "/opt/velmora/norv-extract";
    char arg1[] = "run";
    char arg2[] = "--school=R\xc3\xa9union";
    char* argv[] = {arg0, arg1, arg2, nullptr};
    CommandLineParser parser(3, argv);
    parser.declareCommand("command");
    parser.declareOption("school");
    ASSERT_EQ(parser.parse(), CommandLineParser::Result::Parsed);
    EXPECT_EQ(parser.applicationName(), "norv-extract");
    EXPECT_EQ(parser.optionValue("school"), QString::fromUtf8("R\xc3\xa9union"));
}

}  // namespace
