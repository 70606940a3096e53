// The compiled-in drawings, help page and sample snippets.

#include "resources.h"

#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QTextDocument>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

using quillbox::resources::Image;
namespace res = quillbox::resources;

namespace {

QImage render(Image image, const QSize &size)
{
    return res::pixmap(image, size).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool isClear(const QImage &image, const QRect &area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                return false;
    return true;
}

// Pixels that differ clearly in any channel, so that near-copies count as copies.
int differingPixels(const QImage &a, const QImage &b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            count += qAbs(qAlpha(p) - qAlpha(q)) > 64 || qAbs(qRed(p) - qRed(q)) > 64
                     || qAbs(qGreen(p) - qGreen(q)) > 64 || qAbs(qBlue(p) - qBlue(q)) > 64;
        }
    return count;
}

const QStringList sections = QStringLiteral("what opening modes add-new modify delete generate buttons typing keyboard "
                                            "library exit command-line about")
                                 .split(QLatin1Char(' '));

} // namespace

TEST(Images, EveryImageIsADistinctDrawingAtTheSizeItIsShownAt)
{
    struct Group { const char *name; std::vector<Image> images; QSize size; bool shown; }; // shown at this size
    const Group groups[] = {
        {"window icon", {Image::WindowIcon}, QSize(16, 16), true},
        {"window icon", {Image::WindowIcon}, QSize(32, 32), true},
        {"picture buttons", {Image::ChangeHeading, Image::Cancel, Image::Add, Image::Modify, Image::Delete,
                             Image::CopyCode}, QSize(32, 32), true},
        {"toolbar", {Image::ListExit, Image::ListAdd, Image::ListModify, Image::ListDelete, Image::ListGenerate,
                     Image::ListHelp, Image::ListAbout, Image::ListCopy}, QSize(25, 25), true},
        {"status panels", {Image::StatusDate, Image::StatusTime}, QSize(16, 16), true},
        {"About", {Image::About}, QSize(66, 47), true},
        {"program pictures", {Image::WindowIcon, Image::About}, QSize(48, 48), false}, // only told apart
    };
    for (const Group &group : groups) {
        std::vector<QImage> rendered;
        for (Image image : group.images) {
            SCOPED_TRACE(std::string(group.name) + ", image " + std::to_string(int(image)));
            const QImage picture = render(image, group.size);
            ASSERT_EQ(picture.size(), group.size);
            rendered.push_back(picture);
            if (!group.shown)
                continue;
            // A drawing in several colours that covers a good part of its box, on a clear background.
            int opaque = 0;
            QSet<QRgb> colours;
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x) {
                    opaque += qAlpha(picture.pixel(x, y)) >= 128;
                    if (qAlpha(picture.pixel(x, y)) == 255)
                        colours.insert(picture.pixel(x, y));
                }
            const int area = group.size.width() * group.size.height();
            EXPECT_GT(opaque, area / 5);
            EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0);
            EXPECT_GE(colours.size(), 3);
            // The icon holds the drawing at this size.
            const QIcon icon = res::icon(image);
            EXPECT_TRUE(icon.availableSizes().contains(group.size));
            EXPECT_EQ(icon.pixmap(group.size).toImage().convertToFormat(QImage::Format_ARGB32), picture);
        }
        for (size_t i = 0; i < rendered.size(); ++i)
            for (size_t j = i + 1; j < rendered.size(); ++j)
                EXPECT_GT(differingPixels(rendered[i], rendered[j]), group.size.width() * group.size.height() / 10)
                    << group.name << ": images " << int(group.images[i]) << " and " << int(group.images[j]);
    }
}

TEST(Images, KeepTheirProportionsInTheMiddleOfAnotherShape)
{
    // The square Add drawing in a wider box; the 66 x 47 About picture in a square.
    const struct { Image image; QSize size; QRect clear[2]; } cases[] = {
        {Image::Add, QSize(57, 41), {QRect(0, 0, 8, 41), QRect(49, 0, 8, 41)}},
        {Image::About, QSize(66, 66), {QRect(0, 0, 66, 1), QRect(0, 65, 66, 1)}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.image));
        const QImage image = render(c.image, c.size);
        ASSERT_EQ(image.size(), c.size);
        EXPECT_TRUE(isClear(image, c.clear[0]) && isClear(image, c.clear[1]));
        EXPECT_FALSE(isClear(image, QRect(c.size.width() / 2, 0, 1, c.size.height())));
        EXPECT_FALSE(isClear(image, QRect(0, c.size.height() / 2, c.size.width(), 1)));
    }
    EXPECT_TRUE(res::pixmap(Image::Add, QSize(32, 0)).isNull());
}

TEST(HelpPage, IsWellFormedAndEveryLinkLeadsToASection)
{
    const QString page = res::helpPage();
    EXPECT_TRUE(page.startsWith(QStringLiteral("<!DOCTYPE html>")));
    EXPECT_FALSE(page.contains(QStringLiteral("<script"), Qt::CaseInsensitive));

    // Written as well-formed markup, so a strict parser reads it to the end.
    QXmlStreamReader reader(page);
    QStringList links, anchors, headingAnchors;
    QString root;
    bool inHeading = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.name() == QLatin1StringView("h2"))
            inHeading = reader.isStartElement();
        if (!reader.isStartElement())
            continue;
        if (root.isEmpty())
            root = reader.name().toString();
        const QXmlStreamAttributes attributes = reader.attributes();
        if (reader.name() != QLatin1StringView("a"))
            continue;
        if (attributes.hasAttribute(QLatin1StringView("href"))) {
            const QString href = attributes.value(QLatin1StringView("href")).toString();
            EXPECT_TRUE(href.startsWith(QLatin1Char('#'))) << "external link " << href.toStdString();
            links.append(href.mid(1));
        }
        const QString name = attributes.value(QLatin1StringView("name")).toString();
        if (!name.isEmpty()) {
            EXPECT_FALSE(anchors.contains(name)) << "anchor twice: " << name.toStdString();
            anchors.append(name);
            if (inHeading && name != QLatin1StringView("contents"))
                headingAnchors.append(name);
        }
    }
    ASSERT_FALSE(reader.hasError()) << reader.errorString().toStdString() << " at line " << reader.lineNumber();
    EXPECT_EQ(root, QStringLiteral("html"));
    for (const QString &link : links)
        EXPECT_TRUE(anchors.contains(link)) << "link to a missing anchor: " << link.toStdString();
    // Every section has its anchor and is in the contents; so is every other top-level heading.
    for (const QString &section : sections + headingAnchors) {
        EXPECT_TRUE(anchors.contains(section)) << "no section " << section.toStdString();
        EXPECT_TRUE(links.contains(section)) << "not in the contents: " << section.toStdString();
    }
}

TEST(HelpPage, ReadByQtItTellsTheKeyFacts)
{
    QTextDocument document;
    document.setHtml(res::helpPage());
    EXPECT_EQ(document.metaInformation(QTextDocument::DocumentTitle), QStringLiteral("Quillbox Help"));
    // No markup or style leaks into the text, and it says where the library is and how to use the program.
    const QString text = document.toPlainText();
    EXPECT_FALSE(text.contains(QStringLiteral("<h2")));
    EXPECT_FALSE(text.contains(QStringLiteral("font-family")));
    const char *const mentions[] = {
        "What Quillbox is", "~/.local/share/Quillbox", "$XDG_DATA_HOME/Quillbox", "Quillbox.mdb", "TABLE1",
        "CodeName", "CodeDesc", "quillbox init --samples", "quillbox --version", "quillbox --help",
        "quillbox list", "quillbox show HEADING [--crlf]", "Quillbox ver 1.0", "Add New Code", "Modify Code",
        "Delete Code", "Generate Code", "Change Heading", "Copy Code", "Please wait", "Alt+A", "Alt+C", "Alt+H",
        "Ctrl+V",
    };
    for (const char *mention : mentions)
        EXPECT_TRUE(text.contains(QString::fromUtf8(mention))) << "does not mention " << mention;
    EXPECT_TRUE(text.contains(res::helpFileName()));
}

TEST(SampleSnippets, AreWellFormedAndDistinct)
{
    const QList<res::SampleSnippet> samples = res::sampleSnippets();
    ASSERT_GE(samples.size(), 6);
    ASSERT_LE(samples.size(), 8);
    // CR LF between lines, no other line break and none at the end.
    const auto crlfLines = [](const QString &text) {
        const qsizetype pairs = text.count(QStringLiteral("\r\n"));
        EXPECT_EQ(text.count(QLatin1Char('\r')), pairs);
        EXPECT_EQ(text.count(QLatin1Char('\n')), pairs);
        EXPECT_FALSE(text.endsWith(QLatin1Char('\n')));
        return text.split(QStringLiteral("\r\n"));
    };
    QSet<QString> headings;
    for (const res::SampleSnippet &sample : samples) {
        SCOPED_TRACE(sample.heading.toStdString());
        EXPECT_FALSE(sample.heading.isEmpty());
        EXPECT_EQ(sample.heading, sample.heading.simplified());
        EXPECT_FALSE(headings.contains(sample.heading.toLower())) << "heading twice";
        headings.insert(sample.heading.toLower());
        for (const QString &line : crlfLines(sample.description))
            EXPECT_TRUE(line.startsWith(QLatin1Char('\'')) && line.size() > 2) << "no comment: " << line.toStdString();
        EXPECT_FALSE(sample.code.trimmed().isEmpty());
        EXPECT_FALSE(sample.code.contains(QLatin1Char('\t')));
        static const QRegularExpression trailingBlank(QStringLiteral("\\s$"));
        for (const QString &line : crlfLines(sample.code))
            EXPECT_FALSE(line.contains(trailingBlank)) << "trailing blanks: " << line.toStdString();
    }
}

TEST(SampleSnippets, AreCompleteProceduresWithKeywordsInTheirUsualCase)
{
    const QStringList keywords =
        QStringLiteral("Dim As Long Integer String Boolean Single Variant If Then Else End Function Sub Private "
                       "Public ByVal ByRef Optional Do Loop While Exit Open For Close Print On Error GoTo Resume "
                       "Or And Not True False Set Next Len Dir$ InStr DoEvents Timer FreeFile MsgBox")
            .split(QLatin1Char(' '));
    static const QRegularExpression procedureStart(QStringLiteral("^(Public |Private )?(Sub|Function) \\w+\\("));
    static const QRegularExpression blockIf(QStringLiteral("^\\s*If .* Then$"));
    static const QRegularExpression stringsAndComment(QStringLiteral("\"[^\"]*\"|'.*$"));
    static const QRegularExpression nonWord(QStringLiteral("[^A-Za-z0-9_$]+"));

    for (const res::SampleSnippet &sample : res::sampleSnippets()) {
        SCOPED_TRACE(sample.heading.toStdString());
        const QStringList lines = sample.code.split(QStringLiteral("\r\n"));
        // One whole procedure: its header first, its End line last, its Ifs and Dos closed.
        const auto start = procedureStart.match(lines.first());
        ASSERT_TRUE(start.hasMatch()) << lines.first().toStdString();
        EXPECT_EQ(lines.last(), QStringLiteral("End ") + start.captured(2));
        int openIfs = 0, openDos = 0;
        for (const QString &line : lines) {
            const QString trimmed = line.trimmed();
            openIfs += blockIf.match(line).hasMatch() - (trimmed == QLatin1StringView("End If"));
            openDos += (trimmed == QLatin1StringView("Do") || trimmed.startsWith(QStringLiteral("Do ")))
                       - (trimmed == QLatin1StringView("Loop") || trimmed.startsWith(QStringLiteral("Loop ")));
            EXPECT_GE(openIfs, 0);
            EXPECT_GE(openDos, 0);
            const QString bare = QString(line).replace(stringsAndComment, QStringLiteral(" "));
            for (const QString &word : bare.split(nonWord, Qt::SkipEmptyParts))
                for (const QString &keyword : keywords) {
                    if (word.compare(keyword, Qt::CaseInsensitive) == 0) {
                        EXPECT_EQ(word, keyword) << "in: " << line.toStdString();
                    }
                }
        }
        EXPECT_EQ(openIfs, 0) << "If without End If";
        EXPECT_EQ(openDos, 0) << "Do without Loop";
    }
}
