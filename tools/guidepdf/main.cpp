// Build tool: renders the user guide, written in Markdown, into the PDF the program's `version` command
// names. Usage: norv-guidepdf INPUT.md OUTPUT.pdf TITLE
//
// It runs on build machines without a display, so it asks for Qt's offscreen platform unless the caller
// chose one. The PDF is written under a temporary name and renamed, so a failed build never leaves a
// truncated guide behind that a later build would take as up to date.
#include <QColor>
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <cstdio>

namespace {

// Markdown tables come without rules between the cells, which makes the guide's wide tables hard to read.
void frameTables(QTextFrame* frame) {
    for (QTextFrame* child : frame->childFrames()) {
        if (auto* table = qobject_cast<QTextTable*>(child)) {
            QTextTableFormat format = table->format();
            format.setBorder(0.5);
            format.setBorderBrush(QColor(0x80, 0x80, 0x80));
            format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
            format.setBorderCollapse(false);
            format.setCellPadding(3);
            format.setCellSpacing(0);
            format.setTopMargin(4);
            format.setBottomMargin(6);
            table->setFormat(format);
        }
        frameTables(child);
    }
}

// Commands and file names are set in a fixed-pitch font a little smaller than the text, so that the
// guide's command lines and paths mostly fit on one line.
void shrinkFixedPitch(QTextDocument& document, qreal pointSize) {
    QList<QPair<int, int>> ranges;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid() && fragment.charFormat().fontFixedPitch()) {
                ranges.append({fragment.position(), fragment.length()});
            }
        }
    }
    QTextCharFormat smaller;
    smaller.setFontPointSize(pointSize);
    for (const auto& [position, length] : ranges) {
        QTextCursor cursor(&document);
        cursor.setPosition(position);
        cursor.setPosition(position + length, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(smaller);
    }
}

// Qt reports that the offscreen platform has no runtime folder, which a build tool does not need.
void dropRuntimeFolderWarning(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) {
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

int fail(const QString& text) {
    std::fprintf(stderr, "norv-guidepdf: %s\n", qPrintable(text));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qInstallMessageHandler(dropRuntimeFolderWarning);
    QGuiApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() != 4) {
        return fail(QStringLiteral("usage: norv-guidepdf INPUT.md OUTPUT.pdf TITLE"));
    }
    QFile input(arguments.at(1));
    if (!input.open(QIODevice::ReadOnly)) {
        return fail(QStringLiteral("cannot read %1: %2").arg(input.fileName(), input.errorString()));
    }
    QTextDocument document;
    QFont font(QStringLiteral("DejaVu Sans"), 10);
    // Without shaping there are no ligatures, so that text searched for or copied out of the PDF
    // ("files", "fl") reads as it was written.
    font.setStyleStrategy(QFont::PreferNoShaping);
    document.setDefaultFont(font);
    document.setMarkdown(QString::fromUtf8(input.readAll()));
    frameTables(document.rootFrame());
    shrinkFixedPitch(document, 9);

    // QPdfWriter writes to a device it is given, so the temporary file stays ours until it is complete.
    QSaveFile output(arguments.at(2));
    if (!output.open(QIODevice::WriteOnly)) {
        return fail(QStringLiteral("cannot write %1: %2").arg(output.fileName(), output.errorString()));
    }
    {
        QPdfWriter writer(&output);
        writer.setTitle(arguments.at(3));
        writer.setCreator(QStringLiteral("norv-guidepdf"));
        // QTextDocument::print keeps a margin of 2 cm around the text itself.
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(),
                                         QPageLayout::Millimeter));
        document.print(&writer);
    }
    if (!output.commit()) {
        return fail(QStringLiteral("cannot write %1: %2").arg(output.fileName(), output.errorString()));
    }
    return 0;
}
