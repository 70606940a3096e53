// The compiled-in drawings, help page and sample snippets.

#include "resources.h"

#include <QColor>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <ostream>

#include <vector>

QT_BEGIN_NAMESPACE
// Shows strings as text in failure messages.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

using quillbox::resources::Image;
namespace res = quillbox::resources;

namespace {

struct Drawing {
    Image image;
    const char *name;
    QSize shownAt;
};

// Every image with the size the window shows it at.
const std::vector<Drawing> &allDrawings()
{
    static const std::vector<Drawing> drawings = {
        {Image::WindowIcon, "WindowIcon", QSize(16, 16)},
        {Image::WindowIcon, "WindowIcon", QSize(32, 32)},
        {Image::ChangeHeading, "ChangeHeading", QSize(32, 32)},
        {Image::Cancel, "Cancel", QSize(32, 32)},
        {Image::Add, "Add", QSize(32, 32)},
        {Image::Modify, "Modify", QSize(32, 32)},
        {Image::Delete, "Delete", QSize(32, 32)},
        {Image::CopyCode, "CopyCode", QSize(32, 32)},
        {Image::ListExit, "ListExit", QSize(25, 25)},
        {Image::ListAdd, "ListAdd", QSize(25, 25)},
        {Image::ListModify, "ListModify", QSize(25, 25)},
        {Image::ListDelete, "ListDelete", QSize(25, 25)},
        {Image::ListGenerate, "ListGenerate", QSize(25, 25)},
        {Image::ListHelp, "ListHelp", QSize(25, 25)},
        {Image::ListAbout, "ListAbout", QSize(25, 25)},
        {Image::ListCopy, "ListCopy", QSize(25, 25)},
        {Image::StatusDate, "StatusDate", QSize(16, 16)},
        {Image::StatusTime, "StatusTime", QSize(16, 16)},
        {Image::About, "About", QSize(66, 47)},
    };
    return drawings;
}

int opaquePixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) >= 128)
                ++count;
    return count;
}

bool columnIsClear(const QImage &image, int x)
{
    for (int y = 0; y < image.height(); ++y)
        if (qAlpha(image.pixel(x, y)) != 0)
            return false;
    return true;
}

} // namespace

TEST(Images, EveryImageRendersAsADrawingOnATransparentBackground)
{
    for (const Drawing &drawing : allDrawings()) {
        SCOPED_TRACE(std::string(drawing.name) + " at " + std::to_string(drawing.shownAt.width())
                     + "x" + std::to_string(drawing.shownAt.height()));
        const QPixmap pixmap = res::pixmap(drawing.image, drawing.shownAt);
        ASSERT_FALSE(pixmap.isNull());
        EXPECT_EQ(pixmap.size(), drawing.shownAt);
        EXPECT_TRUE(pixmap.hasAlphaChannel());

        const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        const int area = image.width() * image.height();
        const int opaque = opaquePixels(image);
        // A real drawing covers a good part of its square, but not all of it.
        EXPECT_GT(opaque, area / 5);
        EXPECT_LT(opaque, area);
        // The corner is background, and the background stays transparent.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);

        // Several colours, not a single blot.
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) == 255)
                    colours.insert(image.pixel(x, y));
        EXPECT_GE(colours.size(), 3);
    }
}

TEST(Images, KeepTheirProportionsInAWiderBox)
{
    // A button shows its square drawing in a wider space: the drawing sits in the middle.
    const struct {
        Image image;
        QSize size;
        int clearAtEachSide;
    } cases[] = {
        {Image::Add, QSize(57, 41), 8},
        {Image::ListHelp, QSize(45, 25), 10},
        {Image::About, QSize(66, 66), 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.image));
        const QImage image =
            res::pixmap(c.image, c.size).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), c.size);
        for (int x = 0; x < c.clearAtEachSide; ++x) {
            EXPECT_TRUE(columnIsClear(image, x)) << "column " << x;
            EXPECT_TRUE(columnIsClear(image, image.width() - 1 - x)) << "column " << x;
        }
        EXPECT_FALSE(columnIsClear(image, image.width() / 2));
    }
    // The About picture is wider than high: in a square, its top and bottom rows are clear.
    const QImage about =
        res::pixmap(Image::About, QSize(66, 66)).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int x = 0; x < about.width(); ++x) {
        EXPECT_EQ(qAlpha(about.pixel(x, 0)), 0);
        EXPECT_EQ(qAlpha(about.pixel(x, 65)), 0);
    }
}

TEST(Images, AnEmptySizeGivesANullPixmap)
{
    EXPECT_TRUE(res::pixmap(Image::Add, QSize(0, 0)).isNull());
    EXPECT_TRUE(res::pixmap(Image::Add, QSize(32, 0)).isNull());
    EXPECT_TRUE(res::pixmap(Image::Add, QSize()).isNull());
}

TEST(Images, TheImagesOfAGroupCanBeToldApart)
{
    const struct {
        const char *group;
        std::vector<Image> images;
        QSize size;
    } groups[] = {
        {"picture buttons",
         {Image::ChangeHeading, Image::Cancel, Image::Add, Image::Modify, Image::Delete,
          Image::CopyCode},
         QSize(32, 32)},
        {"toolbar images",
         {Image::ListExit, Image::ListAdd, Image::ListModify, Image::ListDelete,
          Image::ListGenerate, Image::ListHelp, Image::ListAbout, Image::ListCopy},
         QSize(25, 25)},
        {"status panels", {Image::StatusDate, Image::StatusTime}, QSize(16, 16)},
        {"program pictures", {Image::WindowIcon, Image::About}, QSize(48, 48)},
    };
    for (const auto &group : groups) {
        SCOPED_TRACE(group.group);
        std::vector<QImage> rendered;
        for (Image image : group.images)
            rendered.push_back(
                res::pixmap(image, group.size).toImage().convertToFormat(QImage::Format_ARGB32));
        for (size_t i = 0; i < rendered.size(); ++i) {
            for (size_t j = i + 1; j < rendered.size(); ++j) {
                ASSERT_EQ(rendered[i].size(), rendered[j].size());
                // Count the pixels that differ clearly, so near-copies fail too.
                int differing = 0;
                for (int y = 0; y < rendered[i].height(); ++y) {
                    for (int x = 0; x < rendered[i].width(); ++x) {
                        const QRgb a = rendered[i].pixel(x, y);
                        const QRgb b = rendered[j].pixel(x, y);
                        if (qAbs(qAlpha(a) - qAlpha(b)) > 64 || qAbs(qRed(a) - qRed(b)) > 64
                            || qAbs(qGreen(a) - qGreen(b)) > 64 || qAbs(qBlue(a) - qBlue(b)) > 64)
                            ++differing;
                    }
                }
                EXPECT_GT(differing, group.size.width() * group.size.height() / 10)
                    << "images " << int(group.images[i]) << " and " << int(group.images[j]);
            }
        }
    }
}

TEST(Images, IconsHoldTheSizesTheyAreShownAt)
{
    const QIcon window = res::icon(Image::WindowIcon);
    ASSERT_FALSE(window.isNull());
    const QList<QSize> windowSizes = window.availableSizes();
    EXPECT_TRUE(windowSizes.contains(QSize(16, 16)));
    EXPECT_TRUE(windowSizes.contains(QSize(32, 32)));
    EXPECT_EQ(window.pixmap(QSize(16, 16)).size(), QSize(16, 16));

    const struct {
        Image image;
        QSize needed;
    } cases[] = {
        {Image::ChangeHeading, QSize(32, 32)}, {Image::CopyCode, QSize(32, 32)},
        {Image::ListExit, QSize(25, 25)},      {Image::ListCopy, QSize(25, 25)},
        {Image::StatusDate, QSize(16, 16)},    {Image::StatusTime, QSize(16, 16)},
        {Image::About, QSize(66, 47)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.image));
        const QIcon icon = res::icon(c.image);
        ASSERT_FALSE(icon.isNull());
        EXPECT_TRUE(icon.availableSizes().contains(c.needed));
        // The icon's picture is the drawing itself.
        EXPECT_EQ(icon.pixmap(c.needed).toImage().convertToFormat(QImage::Format_ARGB32),
                  res::pixmap(c.image, c.needed).toImage().convertToFormat(QImage::Format_ARGB32));
    }
}

TEST(HelpPage, IsWellFormedAndEveryLinkLeadsToASection)
{
    const QString page = res::helpPage();
    ASSERT_FALSE(page.isEmpty());
    EXPECT_TRUE(page.startsWith(QStringLiteral("<!DOCTYPE html>")));
    EXPECT_FALSE(page.contains(QStringLiteral("<script"), Qt::CaseInsensitive));

    // Written as well-formed markup, so a strict parser reads it to the end.
    QXmlStreamReader reader(page);
    QStringList links;
    QStringList anchors;
    QStringList sectionAnchors; // anchors of <h2> headings
    QString openHeading;
    QString rootElement;
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement()) {
            if (reader.isEndElement() && reader.name() == QLatin1StringView("h2"))
                openHeading.clear();
            continue;
        }
        if (rootElement.isEmpty())
            rootElement = reader.name().toString();
        if (reader.name() == QLatin1StringView("h2"))
            openHeading = QStringLiteral("h2");
        if (reader.name() == QLatin1StringView("a")) {
            const auto attributes = reader.attributes();
            if (attributes.hasAttribute(QLatin1StringView("href"))) {
                const QString href = attributes.value(QLatin1StringView("href")).toString();
                EXPECT_TRUE(href.startsWith(QLatin1Char('#'))) << "external link " << href.toStdString();
                links.append(href.mid(1));
            }
            if (attributes.hasAttribute(QLatin1StringView("name"))) {
                const QString name = attributes.value(QLatin1StringView("name")).toString();
                EXPECT_FALSE(anchors.contains(name)) << "anchor twice: " << name.toStdString();
                anchors.append(name);
                if (!openHeading.isEmpty())
                    sectionAnchors.append(name);
            }
        }
    }
    ASSERT_FALSE(reader.hasError()) << reader.errorString().toStdString() << " at line "
                                    << reader.lineNumber();
    EXPECT_EQ(rootElement, QStringLiteral("html"));

    for (const QString &link : links)
        EXPECT_TRUE(anchors.contains(link)) << "link to a missing anchor: " << link.toStdString();

    const QStringList expectedSections = {
        QStringLiteral("what"),    QStringLiteral("opening"),  QStringLiteral("modes"),
        QStringLiteral("add-new"), QStringLiteral("modify"),   QStringLiteral("delete"),
        QStringLiteral("generate"), QStringLiteral("buttons"), QStringLiteral("typing"),
        QStringLiteral("keyboard"), QStringLiteral("library"), QStringLiteral("exit"),
        QStringLiteral("command-line"), QStringLiteral("about"),
    };
    for (const QString &section : expectedSections) {
        EXPECT_TRUE(anchors.contains(section)) << "no section " << section.toStdString();
        EXPECT_TRUE(links.contains(section)) << "not in the contents: " << section.toStdString();
    }
    // Every top-level section is reachable from the contents.
    for (const QString &section : sectionAnchors) {
        if (section != QLatin1StringView("contents")) {
            EXPECT_TRUE(links.contains(section)) << "not in the contents: " << section.toStdString();
        }
    }
}

TEST(HelpPage, QtRichTextReadsItWithItsAnchors)
{
    QTextDocument document;
    document.setHtml(res::helpPage());
    EXPECT_EQ(document.metaInformation(QTextDocument::DocumentTitle), QStringLiteral("Quillbox Help"));

    QSet<QString> anchors;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            for (const QString &name : it.fragment().charFormat().anchorNames())
                anchors.insert(name);
    for (const char *section : {"contents", "what", "opening", "modes", "add-new", "modify",
                                "delete", "generate", "buttons", "typing", "keyboard", "library",
                                "exit", "command-line", "about"})
        EXPECT_TRUE(anchors.contains(QLatin1StringView(section))) << section;

    // No markup leaks into the text, and the style block is not shown as text.
    const QString text = document.toPlainText();
    EXPECT_FALSE(text.contains(QStringLiteral("<h2")));
    EXPECT_FALSE(text.contains(QStringLiteral("font-family")));
    EXPECT_TRUE(text.contains(QStringLiteral("What Quillbox is")));
}

TEST(HelpPage, TellsWhereTheLibraryIsAndHowToUseTheProgram)
{
    QTextDocument document;
    document.setHtml(res::helpPage());
    const QString text = document.toPlainText();
    const QStringList mentions = {
        QStringLiteral("~/.local/share/Quillbox"),
        QStringLiteral("$XDG_DATA_HOME/Quillbox"),
        QStringLiteral("Quillbox.mdb"),
        QStringLiteral("TABLE1"),
        QStringLiteral("CodeName"),
        QStringLiteral("CodeDesc"),
        res::helpFileName(),
        QStringLiteral("quillbox init"),
        QStringLiteral("quillbox init --samples"),
        QStringLiteral("quillbox --version"),
        QStringLiteral("quillbox --help"),
        QStringLiteral("quillbox list"),
        QStringLiteral("quillbox show HEADING [--crlf]"),
        QStringLiteral("Quillbox ver 1.0"),
        QStringLiteral("Add New Code"),
        QStringLiteral("Modify Code"),
        QStringLiteral("Delete Code"),
        QStringLiteral("Generate Code"),
        QStringLiteral("Change Heading"),
        QStringLiteral("Copy Code"),
        QStringLiteral("Please wait"),
        QStringLiteral("Alt+A"),
        QStringLiteral("Alt+C"),
        QStringLiteral("Alt+H"),
        QStringLiteral("Ctrl+V"),
    };
    for (const QString &mention : mentions)
        EXPECT_TRUE(text.contains(mention)) << "does not mention " << mention.toStdString();
}

namespace {

// The words of a line of code outside its string literals and its comment.
QStringList codeWords(const QString &line)
{
    QString bare;
    bool inString = false;
    for (QChar c : line) {
        if (c == QLatin1Char('"')) {
            inString = !inString;
            bare.append(QLatin1Char(' '));
        } else if (!inString && c == QLatin1Char('\'')) {
            break;
        } else {
            bare.append(inString ? QLatin1Char(' ') : c);
        }
    }
    static const QRegularExpression nonWord(QStringLiteral("[^A-Za-z0-9_$]+"));
    return bare.split(nonWord, Qt::SkipEmptyParts);
}

bool hasLoneLineBreak(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\n') && (i == 0 || text[i - 1] != QLatin1Char('\r')))
            return true;
        if (text[i] == QLatin1Char('\r') && (i + 1 == text.size() || text[i + 1] != QLatin1Char('\n')))
            return true;
    }
    return false;
}

} // namespace

TEST(SampleSnippets, AreWellFormedAndDistinct)
{
    const QList<res::SampleSnippet> samples = res::sampleSnippets();
    ASSERT_GE(samples.size(), 6);
    ASSERT_LE(samples.size(), 8);

    QSet<QString> headings;
    for (const res::SampleSnippet &sample : samples) {
        SCOPED_TRACE(sample.heading.toStdString());
        EXPECT_FALSE(sample.heading.isEmpty());
        EXPECT_EQ(sample.heading, sample.heading.trimmed());
        EXPECT_FALSE(sample.heading.contains(QLatin1Char('\n')));
        EXPECT_FALSE(headings.contains(sample.heading.toLower())) << "heading twice";
        headings.insert(sample.heading.toLower());

        EXPECT_FALSE(hasLoneLineBreak(sample.description));
        EXPECT_FALSE(sample.description.endsWith(QStringLiteral("\r\n")));
        const QStringList descriptionLines = sample.description.split(QStringLiteral("\r\n"));
        EXPECT_GE(descriptionLines.size(), 1);
        for (const QString &line : descriptionLines) {
            EXPECT_TRUE(line.startsWith(QLatin1Char('\''))) << "not a comment: " << line.toStdString();
            EXPECT_GT(line.size(), 2) << "empty comment line";
        }

        EXPECT_FALSE(sample.code.trimmed().isEmpty());
        EXPECT_FALSE(hasLoneLineBreak(sample.code));
        EXPECT_FALSE(sample.code.contains(QLatin1Char('\t')));
        EXPECT_FALSE(sample.code.endsWith(QStringLiteral("\r\n")));
        for (const QString &line : sample.code.split(QStringLiteral("\r\n")))
            EXPECT_EQ(line, QString(line).remove(QRegularExpression(QStringLiteral("\\s+$"))))
                << "trailing blanks: " << line.toStdString();
    }
}

TEST(SampleSnippets, AreCompleteProceduresWithKeywordsInTheirUsualCase)
{
    const QStringList keywords = {
        QStringLiteral("Dim"),     QStringLiteral("As"),       QStringLiteral("Long"),
        QStringLiteral("Integer"), QStringLiteral("String"),   QStringLiteral("Boolean"),
        QStringLiteral("Single"),  QStringLiteral("Variant"),  QStringLiteral("If"),
        QStringLiteral("Then"),    QStringLiteral("Else"),     QStringLiteral("End"),
        QStringLiteral("Function"), QStringLiteral("Sub"),     QStringLiteral("Private"),
        QStringLiteral("Public"),  QStringLiteral("ByVal"),    QStringLiteral("ByRef"),
        QStringLiteral("Optional"), QStringLiteral("Do"),      QStringLiteral("Loop"),
        QStringLiteral("While"),   QStringLiteral("Exit"),     QStringLiteral("Open"),
        QStringLiteral("For"),     QStringLiteral("Close"),    QStringLiteral("Print"),
        QStringLiteral("On"),      QStringLiteral("Error"),    QStringLiteral("GoTo"),
        QStringLiteral("Resume"),  QStringLiteral("Or"),       QStringLiteral("And"),
        QStringLiteral("Not"),     QStringLiteral("True"),     QStringLiteral("False"),
        QStringLiteral("Set"),     QStringLiteral("Next"),     QStringLiteral("Len"),
        QStringLiteral("Dir$"),    QStringLiteral("InStr"),    QStringLiteral("DoEvents"),
        QStringLiteral("Timer"),   QStringLiteral("FreeFile"), QStringLiteral("MsgBox"),
    };
    static const QRegularExpression procedureStart(
        QStringLiteral("^(Public |Private )?(Sub|Function) \\w+\\("));
    static const QRegularExpression blockIf(QStringLiteral("^\\s*If .* Then$"));

    for (const res::SampleSnippet &sample : res::sampleSnippets()) {
        SCOPED_TRACE(sample.heading.toStdString());
        const QStringList lines = sample.code.split(QStringLiteral("\r\n"));

        // One whole procedure: its header first, its End line last.
        const auto start = procedureStart.match(lines.first());
        ASSERT_TRUE(start.hasMatch()) << lines.first().toStdString();
        EXPECT_EQ(lines.last(), QStringLiteral("End ") + start.captured(2));

        int openIfs = 0;
        int openDos = 0;
        for (const QString &line : lines) {
            const QString trimmed = line.trimmed();
            if (blockIf.match(line).hasMatch())
                ++openIfs;
            if (trimmed == QLatin1StringView("End If"))
                --openIfs;
            if (trimmed == QLatin1StringView("Do") || trimmed.startsWith(QStringLiteral("Do ")))
                ++openDos;
            if (trimmed == QLatin1StringView("Loop") || trimmed.startsWith(QStringLiteral("Loop ")))
                --openDos;
            EXPECT_GE(openIfs, 0);
            EXPECT_GE(openDos, 0);

            for (const QString &word : codeWords(line)) {
                for (const QString &keyword : keywords) {
                    if (word.compare(keyword, Qt::CaseInsensitive) == 0) {
                        EXPECT_EQ(word, keyword) << "in: " << line.toStdString();
                    }
                }
            }
        }
        EXPECT_EQ(openIfs, 0) << "If without End If";
        EXPECT_EQ(openDos, 0) << "Do without Loop";
    }
}
