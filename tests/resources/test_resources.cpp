// The compiled-in drawings, help page and sample snippets.

#include "resources/data.h"
#include "resources/images.h"
#include "resources/versioninfo.h"
#include "support/testsupport.h"

#include <QImage>
#include <QRegularExpression>

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
            const QImage picture = res::pixmap(image, size).toImage();
            EXPECT_TRUE(res::icon(image).availableSizes().contains(size)) << int(image);
            EXPECT_FALSE(picture.isNull() || drawn.contains(picture)) << int(image) << ": the same drawing twice";
            drawn.append(picture);
        }
    }
    // A square drawing in a wide box keeps its proportions and sits in the middle.
    EXPECT_EQ(res::pixmap(Image::Add, QSize(57, 41)).toImage().copy(8, 0, 41, 41),
              res::pixmap(Image::Add, QSize(41, 41)).toImage());
    EXPECT_TRUE(res::pixmap(Image::Add, QSize(32, 0)).isNull());
}

TEST(HelpPage, ItsContentsLeadToEverySectionInOrderAndNoLinkLeadsNowhere)
{
    const QString page = res::helpPage();
    // The targets of the page's links or the names of its anchors, in order.
    const auto targets = [](const QString &html, const char *attribute) {
        QStringList out;
        for (const auto &m :
             QRegularExpression(QStringLiteral("<a %1=\"#?([^\"]+)\"").arg(QLatin1String(attribute))).globalMatch(html))
            out << m.captured(1);
        return out;
    };
    // The anchors are the page's top, its contents, then the sections.
    const QStringList names = targets(page, "name");
    const QString contents = page.section(QStringLiteral("name=\"contents\""), 1).section(QStringLiteral("<h2"), 0, 0);
    EXPECT_GE(names.size(), 10);
    EXPECT_EQ(targets(contents, "href"), names.mid(2));
    for (const QString &link : targets(page, "href"))
        EXPECT_TRUE(names.contains(link)) << "link to nowhere: " << link.toStdString();
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
        EXPECT_FALSE(QString(sample.description + sample.code).remove(QStringLiteral("\r\n")).contains('\n'));
        for (const QString &line : sample.description.split(QStringLiteral("\r\n")))
            EXPECT_TRUE(line.startsWith(QLatin1Char('\''))) << line.toStdString();
        EXPECT_GE(sample.code.count(QStringLiteral("\r\n")), 2);
    }
}

TEST(VersionInfo, AFileWithoutItSaysWhy)
{
    // The module's own information is read in the command line's --version.
    QMap<QString, QString> info{{"stale", "entry"}};
    EXPECT_EQ(quillbox::resources::version::readVersionInfo(QCoreApplication::applicationFilePath(), info),
              QCoreApplication::applicationFilePath() + " carries no version information.");
    EXPECT_TRUE(info.isEmpty());
    const QString error = quillbox::resources::version::readVersionInfo(QStringLiteral("/no/such.so"), info);
    EXPECT_TRUE(error.startsWith(QStringLiteral("/no/such.so could not be read: "))) << error.toStdString();
}
