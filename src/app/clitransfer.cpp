// quillbox export and import: the library as a whole in three formats. Our own JSON keeps
// every row as it is; the editor's user-snippets file and a folder of .bas files carry what
// another tool can use, and come back under the window's rules.

#include "app/cli.h"

#include "colouring/snippethtml.h"
#include "store/libraryfolder.h"
#include "store/transfer.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>

#include <optional>

namespace quillbox::cli {

using namespace store;

namespace {

// Files larger than this are refused before they are read.
constexpr qint64 kLargest = 64 * 1024 * 1024;
constexpr int kFormatVersion = 1;
const QLatin1String kVersionKey("quillbox");

enum class Format { Json, VsCode, Folder };

std::optional<Format> formatNamed(const QString &name)
{
    if (name == QLatin1String("json"))
        return Format::Json;
    if (name == QLatin1String("vscode"))
        return Format::VsCode;
    if (name == QLatin1String("folder"))
        return Format::Folder;
    return std::nullopt;
}

QString takenKey(const QString &heading)
{
    return trimSpaces(heading).toUpper();
}

// ---- The editor's snippet syntax -------------------------------------------------------

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}
bool startsName(QChar c)
{
    return (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('z')) || c == QLatin1Char('_');
}

QString expandFrom(QStringView s, qsizetype &i, bool inner, int *found);

// A tab stop, placeholder, choice or variable starting with the '$' at `i`: the text it
// stands for, with `i` moved behind it; nothing when it is a plain '$'.
std::optional<QString> placeholder(QStringView s, qsizetype &i, int *found)
{
    const qsizetype n = s.size();
    qsizetype k = i + 1;
    const auto skipName = [&] {
        while (k < n && (startsName(s[k]) || isAsciiDigit(s[k])))
            ++k;
    };
    if (k < n && (isAsciiDigit(s[k]) || startsName(s[k]))) {
        if (isAsciiDigit(s[k]))
            while (k < n && isAsciiDigit(s[k]))
                ++k;
        else
            skipName();
        i = k;
        ++*found;
        return QString();
    }
    if (k >= n || s[k] != QLatin1Char('{') || ++k >= n || !(isAsciiDigit(s[k]) || startsName(s[k])))
        return std::nullopt;
    if (isAsciiDigit(s[k]))
        while (k < n && isAsciiDigit(s[k]))
            ++k;
    else
        skipName();
    QString value;
    if (k < n && s[k] == QLatin1Char(':')) {
        ++k;
        value = expandFrom(s, k, true, found);
    } else if (k < n && s[k] == QLatin1Char('|')) {
        // A choice stands for its first option.
        bool first = true;
        for (++k; k < n && !(s[k] == QLatin1Char('|') && k + 1 < n && s[k + 1] == QLatin1Char('}')); ++k) {
            if (s[k] == QLatin1Char('\\') && k + 1 < n)
                ++k;
            else if (s[k] == QLatin1Char(','))
                first = false;
            if (first && s[k] != QLatin1Char(','))
                value += s[k];
        }
        ++k;
    } else if (k < n && s[k] == QLatin1Char('/')) {
        while (k < n && s[k] != QLatin1Char('}'))
            k += s[k] == QLatin1Char('\\') ? 2 : 1;
    }
    if (k >= n || s[k] != QLatin1Char('}'))
        return std::nullopt;
    i = k + 1;
    ++*found;
    return value;
}

// The text up to the end, or (inner) up to the '}' that closes a placeholder.
QString expandFrom(QStringView s, qsizetype &i, bool inner, int *found)
{
    QString text;
    while (i < s.size()) {
        const QChar c = s[i];
        if (c == QLatin1Char('\\') && i + 1 < s.size() && QStringView(u"$}\\").contains(s[i + 1])) {
            text += s[i + 1];
            i += 2;
            continue;
        }
        if (inner && c == QLatin1Char('}'))
            return text;
        if (c == QLatin1Char('$')) {
            qsizetype j = i;
            if (const auto value = placeholder(s, j, found)) {
                text += *value;
                i = j;
                continue;
            }
        }
        text += c;
        ++i;
    }
    return text;
}

// A line of code as the editor's snippet syntax writes it: a '$' that would start a
// placeholder, and a backslash that would escape, are escaped.
QString escapeSnippetSyntax(const QString &line)
{
    QString text;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar next = i + 1 < line.size() ? line[i + 1] : QChar();
        if ((line[i] == QLatin1Char('$') && (isAsciiDigit(next) || startsName(next) || next == QLatin1Char('{')))
            || (line[i] == QLatin1Char('\\') && QStringView(u"$}\\").contains(next)))
            text += QLatin1Char('\\');
        text += line[i];
    }
    return text;
}

// Calls visit(text, i) for each position of JSON text outside its strings; visit may blank
// characters and move i on.
template <typename Visit>
void outsideStrings(QString &text, Visit visit)
{
    bool inString = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inString) {
            if (c == QLatin1Char('\\'))
                ++i;
            else if (c == QLatin1Char('"'))
                inString = false;
        } else if (c == QLatin1Char('"')) {
            inString = true;
        } else {
            visit(text, i);
        }
    }
}

// JSON as the editor writes it, with comments and trailing commas, made plain JSON. Both
// are blanked out, so that offsets in error messages stay those of the file.
QString plainJson(QString text)
{
    outsideStrings(text, [](QString &t, qsizetype &i) {
        if (t[i] != QLatin1Char('/') || i + 1 >= t.size())
            return;
        if (t[i + 1] == QLatin1Char('/')) {
            for (; i < t.size() && t[i] != QLatin1Char('\n'); ++i)
                t[i] = QLatin1Char(' ');
        } else if (t[i + 1] == QLatin1Char('*')) {
            const qsizetype end = t.indexOf(QLatin1String("*/"), i + 2);
            const qsizetype stop = end < 0 ? t.size() : end + 2;
            for (; i < stop; ++i)
                if (t[i] != QLatin1Char('\n'))
                    t[i] = QLatin1Char(' ');
            --i;
        }
    });
    outsideStrings(text, [](QString &t, qsizetype &i) {
        if (t[i] != QLatin1Char(','))
            return;
        qsizetype k = i + 1;
        while (k < t.size() && t[k].isSpace())
            ++k;
        if (k < t.size() && (t[k] == QLatin1Char('}') || t[k] == QLatin1Char(']')))
            t[i] = QLatin1Char(' ');
    });
    return text;
}

QByteArray jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// ---- Reading ---------------------------------------------------------------------------

struct Incoming {
    QList<Snippet> snippets;
    int rewritten = 0; // snippets whose placeholders became their text
    QString error;
};

// A snippet that comes in under the window's rules: the heading and description trimmed,
// the description lines marked, the code with CR LF.
Snippet windowSnippet(const QString &heading, const QString &descriptionLines, const QString &code)
{
    return {trimSpaces(heading), trimSpaces(markedDescription(descriptionLines)), withCrLf(code)};
}

void readOwn(const QJsonObject &root, Incoming *in)
{
    if (root.value(kVersionKey).toDouble() != kFormatVersion) {
        in->error = QStringLiteral("it is format %1 of Quillbox's own, and this Quillbox reads format %2")
                        .arg(root.value(kVersionKey).toVariant().toString())
                        .arg(kFormatVersion);
        return;
    }
    if (!root.value(QLatin1String("snippets")).isArray()) {
        in->error = QStringLiteral("\"snippets\" is missing or is not a list");
        return;
    }
    const QJsonArray entries = root.value(QLatin1String("snippets")).toArray();
    for (qsizetype n = 0; n < entries.size(); ++n) {
        const QString where = QStringLiteral("entry %1: ").arg(n + 1);
        if (!entries[n].isObject()) {
            in->error = where + QStringLiteral("it is not an object");
            return;
        }
        const QJsonObject entry = entries[n].toObject();
        QVariant columns[3];
        const char *const names[3] = {"heading", "description", "code"};
        for (int c = 0; c < 3; ++c) {
            const QJsonValue value = entry.value(QLatin1String(names[c]));
            if (value.isUndefined() || !(value.isString() || value.isNull())) {
                in->error =
                    where
                    + QString::fromLatin1(value.isUndefined() ? "\"%1\" is missing" : "\"%1\" is neither text nor null")
                          .arg(QLatin1String(names[c]));
                return;
            }
            columns[c] = value.isNull() ? QVariant() : QVariant(value.toString());
        }
        in->snippets.append({columns[0], columns[1], columns[2]});
    }
}

void readVsCode(const QJsonObject &root, Incoming *in)
{
    for (auto it = root.constBegin(); it != root.constEnd(); ++it) {
        const QString where = QStringLiteral("snippet \"%1\": ").arg(it.key());
        if (isEmptyEntry(it.key())) {
            in->error = QStringLiteral("a snippet has no name");
            return;
        }
        if (!it.value().isObject()) {
            in->error = where + QStringLiteral("it is not an object");
            return;
        }
        const QJsonObject entry = it.value().toObject();
        const QJsonValue body = entry.value(QLatin1String("body"));
        const QJsonValue description = entry.value(QLatin1String("description"));
        QStringList lines;
        if (body.isString()) {
            lines.append(body.toString());
        } else if (body.isArray()) {
            for (const QJsonValue &line : body.toArray()) {
                if (!line.isString()) {
                    in->error = where + QStringLiteral("a line of \"body\" is not text");
                    return;
                }
                lines.append(line.toString());
            }
        } else {
            in->error = where
                        + QString::fromLatin1(body.isUndefined() ? "\"body\" is missing"
                                                                 : "\"body\" is neither text nor a list of lines");
            return;
        }
        if (!description.isUndefined() && !description.isString()) {
            in->error = where + QStringLiteral("\"description\" is not text");
            return;
        }
        const QString written = lines.join(QLatin1Char('\n'));
        int found = 0;
        qsizetype at = 0;
        const QString code = expandFrom(written, at, false, &found);
        in->rewritten += found > 0 ? 1 : 0;
        in->snippets.append(windowSnippet(it.key(), description.toString(), code));
    }
}

// The header of a .bas file that export writes: "'Heading: ...", "'Description: N lines",
// then the N description lines.
const QLatin1String kHeadingLine("'Heading: ");
const QLatin1String kDescriptionLine("'Description: ");

void readFolder(const QString &folder, Incoming *in)
{
    const QFileInfoList files =
        QDir(folder).entryInfoList({QStringLiteral("*.bas")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    qint64 total = 0;
    for (const QFileInfo &file : files)
        total += file.size();
    if (total > kLargest) {
        in->error = QStringLiteral("its .bas files are larger than %1 MB together").arg(kLargest / (1024 * 1024));
        return;
    }
    for (const QFileInfo &file : files) {
        QString text;
        if (!readText(file.filePath(), &text, &in->error))
            return;
        QStringList lines = colouring::boxLines(text);
        if (lines.size() > 1 && lines.last().isEmpty())
            lines.removeLast(); // the line break that ends the file
        if (!lines.first().startsWith(kHeadingLine)) {
            in->snippets.append(windowSnippet(file.completeBaseName(), QString(), lines.join(QLatin1Char('\n'))));
            continue;
        }
        bool counted = lines.size() > 1 && lines[1].startsWith(kDescriptionLine);
        const qsizetype count =
            counted ? lines[1].mid(kDescriptionLine.size()).section(QLatin1Char(' '), 0, 0).toLongLong(&counted) : 0;
        if (!counted || count < 0 || count > lines.size() - 2) {
            in->error = QStringLiteral("%1: the line after the heading does not say how many description lines "
                                       "follow")
                            .arg(file.filePath());
            return;
        }
        in->snippets.append(windowSnippet(lines.first().mid(kHeadingLine.size()),
                                          lines.mid(2, count).join(QLatin1Char('\n')),
                                          lines.mid(2 + count).join(QLatin1Char('\n'))));
    }
}

Incoming readIncoming(const QString &file, std::optional<Format> format)
{
    Incoming in;
    if (!format && QFileInfo(file).isDir())
        format = Format::Folder;
    if (format == Format::Folder) {
        if (!QFileInfo(file).isDir())
            in.error = QStringLiteral("%1 is not a folder").arg(file);
        else
            readFolder(file, &in);
        return in;
    }
    QString text;
    if (!readText(file == QLatin1String("-") ? QString() : file, &text, &in.error, kLargest))
        return in;
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(plainJson(text).toUtf8(), &parse);
    if (doc.isNull()) {
        in.error = QStringLiteral("%1 is not complete JSON: %2 at character %3")
                       .arg(file, parse.errorString())
                       .arg(parse.offset);
        return in;
    }
    if (!doc.isObject()) {
        in.error = QStringLiteral("%1 does not hold a JSON object").arg(file);
        return in;
    }
    if (!format)
        format = doc.object().contains(kVersionKey) ? Format::Json : Format::VsCode;
    if (format == Format::Json)
        readOwn(doc.object(), &in);
    else
        readVsCode(doc.object(), &in);
    if (!in.error.isEmpty())
        in.error = file + QStringLiteral(", ") + in.error;
    return in;
}

// ---- Writing ---------------------------------------------------------------------------

bool writeFile(const QString &file, const QByteArray &bytes, QString *error)
{
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        *error = QStringLiteral("%1 cannot be written: %2").arg(file, f.errorString());
        return false;
    }
    return true;
}

QByteArray ownFormat(const QList<Snippet> &snippets)
{
    QJsonArray entries;
    for (const Snippet &s : snippets) {
        const auto value = [](const QVariant &v) { return v.isNull() ? QJsonValue() : QJsonValue(v.toString()); };
        entries.append(QJsonObject{
            {QStringLiteral("heading"), value(s.heading)},
            {QStringLiteral("description"), value(s.description)},
            {QStringLiteral("code"), value(s.code)},
        });
    }
    return QJsonDocument(QJsonObject{{kVersionKey, kFormatVersion}, {QStringLiteral("snippets"), entries}}).toJson();
}

// The description's lines without their comment marks.
QStringList descriptionLines(const QVariant &description)
{
    QStringList lines = colouring::boxLines(description.toString());
    for (QString &line : lines) {
        const qsizetype mark = line.indexOf(QLatin1Char('\''));
        if (mark >= 0 && isEmptyEntry(line.left(mark)))
            line.remove(0, mark + 1);
    }
    return lines;
}

// A name not used yet (compared without case), made from `wanted` by adding " (2)", " (3)"...
QString unique(const QString &wanted, QSet<QString> *used)
{
    QString name = wanted;
    for (int n = 2; used->contains(name.toUpper()); ++n)
        name = QStringLiteral("%1 (%2)").arg(wanted).arg(n);
    used->insert(name.toUpper());
    return name;
}

QByteArray vsCodeFormat(const QList<Snippet> &snippets)
{
    QByteArray json = "{";
    QSet<QString> used;
    bool first = true;
    for (const Snippet &s : snippets) {
        if (s.heading.isNull() || isEmptyEntry(s.heading.toString()))
            continue;
        const QString heading = unique(trimSpaces(s.heading.toString()), &used);
        json += first ? "\n" : ",\n";
        first = false;
        json += "    " + jsonString(heading) + ": {\n";
        json +=
            "        \"prefix\": " + jsonString(heading.toLower().replace(QLatin1Char(' '), QLatin1Char('-'))) + ",\n";
        json +=
            "        \"description\": " + jsonString(descriptionLines(s.description).join(QLatin1Char('\n'))) + ",\n";
        json += "        \"body\": [";
        const QStringList lines = colouring::boxLines(s.code.toString());
        for (qsizetype n = 0; n < lines.size(); ++n)
            json += (n ? ",\n            " : "\n            ") + jsonString(escapeSnippetSyntax(lines[n]));
        json += "\n        ],\n        \"scope\": \"vb\"\n    }";
    }
    return json + "\n}\n";
}

// A file name for the heading that every system takes.
QString safeFileName(const QString &heading)
{
    QString name;
    for (const QChar c : heading)
        name += c.unicode() < 0x20 || QStringView(u"/\\:*?\"<>|").contains(c) ? QLatin1Char('_') : c;
    name = name.left(120);
    while (!name.isEmpty() && (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' '))))
        name.chop(1);
    while (!name.isEmpty() && (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char(' '))))
        name.remove(0, 1);
    static const QStringList reserved{QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                      QStringLiteral("NUL")};
    if (name.isEmpty() || reserved.contains(name.toUpper())
        || ((name.toUpper().startsWith(QLatin1String("COM")) || name.toUpper().startsWith(QLatin1String("LPT")))
            && name.size() == 4 && isAsciiDigit(name[3])))
        name = QStringLiteral("Snippet ") + name;
    return name.trimmed();
}

QByteArray basFile(const Snippet &s)
{
    const QStringList description = colouring::boxLines(s.description.toString());
    QStringList lines{kHeadingLine + trimSpaces(s.heading.toString()),
                      kDescriptionLine + QStringLiteral("%1 lines").arg(description.size())};
    lines += description;
    lines += colouring::boxLines(s.code.toString());
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

bool writeFolder(const QString &folder, const QList<Snippet> &snippets, QString *error)
{
    QDir dir(folder);
    if (QFileInfo(folder).exists() && !QFileInfo(folder).isDir()) {
        *error = QStringLiteral("%1 is there and is not a folder").arg(folder);
        return false;
    }
    if (!dir.entryList({QStringLiteral("*.bas")}, QDir::Files).isEmpty()) {
        *error = QStringLiteral("%1 holds .bas files already").arg(folder);
        return false;
    }
    const bool made = !dir.exists();
    if (made && !dir.mkpath(QStringLiteral("."))) {
        *error = QStringLiteral("the folder %1 cannot be made").arg(folder);
        return false;
    }
    QSet<QString> used;
    QStringList written;
    for (const Snippet &s : snippets) {
        if (s.heading.isNull() || isEmptyEntry(s.heading.toString()))
            continue;
        const QString file =
            dir.filePath(unique(safeFileName(trimSpaces(s.heading.toString())), &used) + QStringLiteral(".bas"));
        if (!writeFile(file, basFile(s), error)) {
            for (const QString &done : std::as_const(written))
                QFile::remove(done);
            if (made)
                dir.rmdir(QStringLiteral("."));
            return false;
        }
        written.append(file);
    }
    return true;
}

} // namespace

int exportLibrary(const QStringList &args)
{
    const QString formatOption = QStringLiteral("--format");
    const Arguments a = parseArguments(args, {}, {formatOption});
    const auto format = formatNamed(a.values.value(formatOption, QStringLiteral("json")));
    if (!a.wrong.isEmpty() || a.positional.size() != 1 || !format) {
        say(QStringLiteral("quillbox export: %1")
                .arg(!a.wrong.isEmpty() ? a.wrong
                     : !format          ? QStringLiteral("the format is json, vscode or folder")
                                        : QStringLiteral("give one file to write")));
        return WrongUse;
    }
    const SnippetsResult all = readAllSnippets(libraryLocation());
    if (!all.done())
        return reportFailure("export", all);
    const QString file = a.positional.first();
    const auto headless = std::count_if(all.snippets.cbegin(), all.snippets.cend(), [](const Snippet &s) {
        return s.heading.isNull() || isEmptyEntry(s.heading.toString());
    });
    const qsizetype left = format == Format::Json ? 0 : headless;
    QString error;
    if (format != Format::Folder) {
        const QByteArray bytes = format == Format::Json ? ownFormat(all.snippets) : vsCodeFormat(all.snippets);
        // "-" is standard output, which then holds the file alone.
        if (file == QLatin1String("-")) {
            out() << bytes;
            return Done;
        }
        if (!writeFile(file, bytes, &error)) {
            say(QStringLiteral("quillbox export: ") + error);
            return Failed;
        }
    } else if (!writeFolder(file, all.snippets, &error)) {
        say(QStringLiteral("quillbox export: ") + error);
        return Failed;
    }
    out() << QStringLiteral("Exported %1 snippets to %2.\n").arg(all.snippets.size() - left).arg(file);
    if (left)
        out() << QStringLiteral("Left out %1 rows without a heading.\n").arg(left);
    return Done;
}

int importLibrary(const QStringList &args)
{
    const QString formatOption = QStringLiteral("--format"), takenOption = QStringLiteral("--on-taken");
    const Arguments a = parseArguments(args, {}, {formatOption, takenOption});
    const QString formatName = a.values.value(formatOption);
    const auto format = formatNamed(formatName);
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
    const Incoming in = readIncoming(file, format);
    if (!in.error.isEmpty()) {
        say(QStringLiteral("quillbox import: %1; nothing was imported").arg(in.error));
        return Failed;
    }
    QSet<QString> seen;
    for (const Snippet &s : in.snippets) {
        if (s.heading.isNull())
            continue;
        if (seen.contains(takenKey(s.heading.toString()))) {
            say(QStringLiteral("quillbox import: %1 lists the heading \"%2\" twice; nothing was imported")
                    .arg(file, trimSpaces(s.heading.toString())));
            return Failed;
        }
        seen.insert(takenKey(s.heading.toString()));
    }
    const OnTaken onTaken = OnTaken(takenNames.indexOf(onTakenName));
    const ImportResult r = importSnippets(libraryLocation(), in.snippets, onTaken);
    if (r.outcome == Outcome::Taken) {
        say(QStringLiteral("quillbox import: This Code Name Already Exists, so nothing was imported. Taken in the "
                           "library:"));
        for (const QString &heading : r.clashes)
            say(QStringLiteral("  ") + heading);
        return Taken;
    }
    if (!r.done())
        return reportFailure("import", r);
    out() << QStringLiteral("Imported %1 snippets from %2.\n").arg(r.added).arg(file);
    for (const QString &heading : r.skipped)
        out() << QStringLiteral("Left out \"%1\": the heading is taken.\n").arg(heading);
    for (const QStringList &names : r.renamed)
        out() << QStringLiteral("Imported \"%1\" as \"%2\": the heading is taken.\n").arg(names[0], names[1]);
    if (in.rewritten)
        out() << QStringLiteral("Rewrote the tab stops and placeholders of %1 snippets as the text they stand for.\n")
                     .arg(in.rewritten);
    return Done;
}

} // namespace quillbox::cli
