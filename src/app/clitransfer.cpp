// quillbox export and import: the arguments read, the store's operation run, and what it did
// reported. The formats are the transfer library's; the rules the store's.

#include "app/cli.h"

#include "store/libraryfolder.h"
#include "store/transfer.h"
#include "transfer/safefile.h"

namespace quillbox::app::cli {

using namespace store;

namespace {

// Standard output through the program's own output, which reports a failure when it ends.
class OutputSink : public transfer::ByteSink {
public:
    bool write(const char *data, qsizetype size) override
    {
        out() << QByteArray(data, size);
        return true;
    }
    QString error() const override { return {}; }
};

QString snippets(qint64 count)
{
    return count == 1 ? QStringLiteral("1 snippet") : QStringLiteral("%1 snippets").arg(count);
}

} // namespace

int exportLibrary(const QStringList &args)
{
    const QString formatOption = QStringLiteral("--format");
    const Arguments a = parseArguments(args, {}, {formatOption});
    const auto format = transfer::formatNamed(a.values.value(formatOption, QStringLiteral("json")));
    QString wrong = a.wrong;
    if (wrong.isEmpty() && !format)
        wrong = QStringLiteral("the format is json, vscode or folder");
    else if (wrong.isEmpty() && a.positional.size() != 1)
        wrong = QStringLiteral("give one file to write");
    else if (wrong.isEmpty() && format == transfer::Format::Folder && a.positional.first() == QLatin1String("-"))
        wrong = QStringLiteral("a folder cannot go to standard output; give the folder to make");
    if (!wrong.isEmpty()) {
        say(QStringLiteral("quillbox export: ") + wrong);
        return WrongUse;
    }
    const QString target = a.positional.first();
    ExportResult r;
    if (target == QLatin1String("-")) {
        const auto writer = transfer::streamWriter(std::make_unique<OutputSink>(), *format);
        r = exportSnippets(SnippetLibrary(libraryLocation()), *writer);
    } else {
        r = store::exportLibrary(SnippetLibrary(libraryLocation()), target, *format);
    }
    if (!r.done())
        return reportFailure("export", r);
    // "-" is standard output, which then holds the file alone.
    if (target == QLatin1String("-"))
        return Done;
    out() << QStringLiteral("Exported %1 to %2.\n").arg(snippets(r.written), target);
    if (r.leftOut)
        out() << (r.leftOut == 1 ? QStringLiteral("Left out 1 row without a heading.\n")
                                 : QStringLiteral("Left out %1 rows without a heading.\n").arg(r.leftOut));
    return Done;
}

int importLibrary(const QStringList &args)
{
    const QString formatOption = QStringLiteral("--format"), takenOption = QStringLiteral("--on-taken"),
                  scopesFlag = QStringLiteral("--all-scopes"), verboseFlag = QStringLiteral("--verbose");
    const Arguments a = parseArguments(args, {scopesFlag, verboseFlag}, {formatOption, takenOption});
    const QString formatName = a.values.value(formatOption);
    const auto format = transfer::formatNamed(formatName);
    const QString onTakenName = a.values.value(takenOption, QStringLiteral("fail"));
    const QStringList takenNames{QStringLiteral("fail"), QStringLiteral("skip"), QStringLiteral("rename")};
    if (!a.wrong.isEmpty() || a.positional.size() != 1 || (!formatName.isEmpty() && !format)
        || !takenNames.contains(onTakenName)) {
        say(QStringLiteral("quillbox import: %1")
                .arg(!a.wrong.isEmpty()                  ? a.wrong
                     : a.positional.size() != 1          ? QStringLiteral("give one file to read")
                     : !takenNames.contains(onTakenName) ? QStringLiteral("--on-taken is skip, rename or fail")
                                                         : QStringLiteral("the format is json, vscode or folder")));
        return WrongUse;
    }
    const QString file = a.positional.first();
    transfer::ReadOptions options;
    options.format = format;
    options.allScopes = a.has(scopesFlag);
    const ImportResult r =
        importSource(SnippetLibrary(libraryLocation()), file, options, OnTaken(takenNames.indexOf(onTakenName)));
    if (r.badInput) {
        say(QStringLiteral("quillbox import: %1; nothing was imported").arg(r.error.message));
        return Failed;
    }
    if (r.outcome == Outcome::Taken) {
        say(QStringLiteral("quillbox import: This Code Name Already Exists, so nothing was imported. Taken in the "
                           "library:"));
        for (const QString &heading : r.clashes)
            say(QStringLiteral("  ") + heading);
        return Taken;
    }
    if (!r.done())
        return reportFailure("import", r);
    out() << QStringLiteral("Imported %1 from %2.\n").arg(snippets(r.added), file);
    // Counted, and named one a line only when asked: an import may leave out thousands.
    const bool verbose = a.has(verboseFlag);
    const QString named = verbose ? QStringLiteral(":") : QStringLiteral(" (--verbose names them).");
    if (!r.skipped.isEmpty())
        out() << QStringLiteral("Left out %1 whose heading is taken%2\n").arg(snippets(r.skipped.size()), named);
    for (const QString &heading : verbose ? r.skipped : QStringList())
        out() << QStringLiteral("  \"%1\"\n").arg(heading);
    if (!r.renamed.isEmpty())
        out() << QStringLiteral("Renamed %1 whose heading is taken%2\n").arg(snippets(r.renamed.size()), named);
    for (const QStringList &names : verbose ? r.renamed : QList<QStringList>())
        out() << QStringLiteral("  \"%1\" as \"%2\"\n").arg(names[0], names[1]);
    if (r.read.otherScopes)
        out() << QStringLiteral("Left out %1 for other languages than Visual Basic (--all-scopes takes them).\n")
                     .arg(snippets(r.read.otherScopes));
    if (r.read.skipped)
        out() << QStringLiteral("Left out %1 that %2 not a regular file (a link, a folder, a device or a pipe).\n")
                     .arg(r.read.skipped == 1 ? QStringLiteral("1 entry")
                                              : QStringLiteral("%1 entries").arg(r.read.skipped),
                          r.read.skipped == 1 ? QStringLiteral("is") : QStringLiteral("are"));
    if (r.read.rewritten)
        out() << QStringLiteral("Kept the tab stops and placeholders of %1 as blanks that Copy Code fills in.\n")
                     .arg(snippets(r.read.rewritten));
    return Done;
}

} // namespace quillbox::app::cli
