// The compiled-in drawings, help page and sample snippets.

#include "resources/data.h"
#include "resources/images.h"
#include "resources/versioninfo.h"
#include "support/testsupport.h"

#include <QImage>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

using quillbox::resources::Image;
namespace res = quillbox::resources;

TEST(Images, EachIsItsOwnDrawingAtTheSizeItIsShownAt)
{
    using enum Image;
    const std::pair<std::vector<Image>, QSize> groups[] = {
        {{WindowIcon, StatusDate, StatusTime}, {16, 16}},
        {{ChangeHeading, Cancel, Add, Modify, Delete, CopyCode}, {32, 32}},
        {{ListExit, ListAdd, ListModify, ListDelete, ListGenerate, ListHelp, ListAbout, ListCopy}, {25, 25}},
        {{About}, {66, 47}},
    };
    for (const auto &[images, size] : groups) {
        QList<QImage> drawn;
        for (Image image : images) {
            SCOPED_TRACE(int(image));
            // The icon holds the drawing at this size.
            const QIcon icon = res::icon(image);
            const QImage picture = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
            EXPECT_TRUE(icon.availableSizes().contains(size));
            ASSERT_TRUE(picture == res::pixmap(image, size).toImage().convertToFormat(QImage::Format_ARGB32));
            EXPECT_FALSE(drawn.contains(picture)) << "the same drawing twice";
            drawn.append(picture);
        }
    }
    // A square drawing in a wide box sits in the middle, clear on both sides.
    const QImage wide = res::pixmap(Image::Add, QSize(57, 41)).toImage();
    const auto columnClear = [&](int x) {
        for (int y = 0; y < wide.height(); ++y)
            if (qAlpha(wide.pixel(x, y)) != 0)
                return false;
        return true;
    };
    EXPECT_TRUE(columnClear(7) && columnClear(49) && !columnClear(28));
    EXPECT_TRUE(res::pixmap(Image::Add, QSize(32, 0)).isNull());
}

TEST(HelpPage, IsWellFormedAndHasEverySectionInItsContents)
{
    QXmlStreamReader reader(res::helpPage());
    QStringList links, anchors, sections;
    bool inHeading = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.name() == QLatin1StringView("h2"))
            inHeading = reader.isStartElement();
        if (!reader.isStartElement() || reader.name() != QLatin1StringView("a"))
            continue;
        if (const auto href = reader.attributes().value(QLatin1StringView("href")); !href.isEmpty())
            links.append(href.toString());
        const QString name = QLatin1Char('#') + reader.attributes().value(QLatin1StringView("name")).toString();
        if (name.size() > 1)
            (inHeading && name != QLatin1StringView("#contents") ? sections : anchors).append(name);
    }
    ASSERT_FALSE(reader.hasError()) << reader.errorString().toStdString() << " at line " << reader.lineNumber();
    EXPECT_GE(sections.size(), 8);
    for (const QString &link : links)
        EXPECT_TRUE(anchors.contains(link) || sections.contains(link)) << "link to nowhere: " << link.toStdString();
    for (const QString &section : sections)
        EXPECT_TRUE(links.contains(section)) << "not in the contents: " << section.toStdString();
}

TEST(SampleSnippets, HaveDistinctHeadingsCommentDescriptionsAndCrLfBetweenLines)
{
    const QList<res::SampleSnippet> samples = res::sampleSnippets();
    ASSERT_GE(samples.size(), 6);
    QStringList headings;
    for (const res::SampleSnippet &sample : samples) {
        SCOPED_TRACE(sample.heading.toStdString());
        EXPECT_FALSE(headings.contains(sample.heading, Qt::CaseInsensitive) || sample.heading.isEmpty());
        headings.append(sample.heading);
        for (const QString &text : {sample.description, sample.code})
            EXPECT_EQ(text.count(QLatin1Char('\n')), text.count(QStringLiteral("\r\n")));
        for (const QString &line : sample.description.split(QStringLiteral("\r\n")))
            EXPECT_TRUE(line.startsWith(QLatin1Char('\''))) << line.toStdString();
        EXPECT_GE(sample.code.count(QStringLiteral("\r\n")), 2);
    }
}

TEST(VersionInfo, AFileWithoutItSaysWhy)
{
    // The module's own information is read in the command line's --version.
    QString error;
    EXPECT_TRUE(quillbox::version::readVersionInfo(QCoreApplication::applicationFilePath(), &error).isEmpty());
    EXPECT_EQ(error, QCoreApplication::applicationFilePath() + " carries no version information.");
    EXPECT_TRUE(quillbox::version::readVersionInfo(QStringLiteral("/no/such.so"), &error).isEmpty());
    EXPECT_TRUE(error.startsWith(QStringLiteral("/no/such.so could not be read: "))) << error.toStdString();
}
