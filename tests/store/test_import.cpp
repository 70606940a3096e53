// Import and export of the library as a whole, on the file and on a server: every heading
// checked against the library and the input in one transaction, all or nothing.

#include "store/libraryinit.h"
#include "store/pgcluster.h"
#include "store/storetesting.h"
#include "store/transfer.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillbox;
using store::OnTaken;
using store::Snippet;

namespace {

// A producer that hands over the snippets and then, when told, fails as a reader would.
store::Producer handing(const QList<Snippet> &snippets, const QString &failure = {})
{
    return [=](const transfer::Consumer &take) {
        transfer::ReadReport report;
        for (const Snippet &s : snippets)
            if (!take(Snippet(s))) {
                report.stopped = true;
                return report;
            }
        report.error = failure;
        return report;
    };
}

void importOnEveryBackEnd(const std::function<QString(const QString &name)> &newLibrary)
{
    const QStringList stored{"Swap|'d|c", "NULL|NULL|headless", "GRÖSSE 😀|'g|g"};
    const QList<Snippet> incoming{{"new", "'n", "n"},
                                  {" swap ", "'s", "s"},
                                  {QVariant(), QVariant(), "no heading"},
                                  {"größe 😀", "'g2", "g2"},
                                  {"Swap (2)", "'taken by a later name", "s2"}};
    const struct {
        const char *name;
        OnTaken onTaken;
        store::Producer produce;
        store::Outcome outcome;
        QStringList added; // rows after the stored ones
        QString says;
    } cases[] = {
        {"fail names every clash", OnTaken::Fail, handing(incoming), store::Outcome::Taken, {}, "swap|größe 😀"},
        {"skip leaves them out",
         OnTaken::Skip,
         handing(incoming),
         store::Outcome::Done,
         {"new|'n|n", "NULL|NULL|no heading", "Swap (2)|'taken by a later name|s2"},
         "swap|größe 😀"},
        {"rename finds a name free in the library and in the input",
         OnTaken::Rename,
         handing(incoming),
         store::Outcome::Done,
         {"new|'n|n", "swap (3)|'s|s", "NULL|NULL|no heading", "größe 😀 (2)|'g2|g2",
          "Swap (2)|'taken by a later name|s2"},
         "swap>swap (3)|größe 😀>größe 😀 (2)"},
        {"a heading twice in the input",
         OnTaken::Rename,
         handing({{"one", "", ""}, {" ONE", "", ""}}),
         store::Outcome::Failed,
         {},
         "the heading \"ONE\" is listed twice"},
        {"a reader that fails after some snippets",
         OnTaken::Skip,
         handing({{"a", "", ""}}, "in.json is cut short"),
         store::Outcome::Failed,
         {},
         "in.json is cut short"},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString library = newLibrary(QStringLiteral("import%1").arg(++n));
        ASSERT_FALSE(library.isEmpty());
        {
            qbx::test::RawConnection raw(library);
            for (const QString &row : stored) {
                const QStringList v = row.split('|');
                const auto value = [](const QString &s) { return s == "NULL" ? QVariant() : QVariant(s); };
                ASSERT_EQ(raw.run("INSERT INTO TABLE1 (CodeName, CodeDesc, code) VALUES (?, ?, ?)",
                                  {value(v[0]), value(v[1]), v[2]}),
                          QString());
            }
        }
        const store::ImportResult r = store::importSnippets(library, c.produce, c.onTaken);
        EXPECT_EQ(r.outcome, c.outcome) << r.error.message.toStdString();
        EXPECT_EQ(qbx::test::storedRows(library), stored + c.added);
        QStringList said = c.onTaken == OnTaken::Fail ? r.clashes : r.skipped;
        for (const QStringList &names : r.renamed)
            said.append(names.join('>'));
        EXPECT_EQ(r.outcome == store::Outcome::Failed ? r.error.message : said.join('|'), c.says);
        EXPECT_EQ(r.badInput, r.outcome == store::Outcome::Failed);

        // What is stored comes back whole from an export, in table order.
        if (c.outcome != store::Outcome::Done)
            continue;
        QTemporaryDir dir;
        const QString file = dir.filePath("all.json");
        const store::ExportResult e = store::exportLibrary(library, file, transfer::Format::Json);
        ASSERT_TRUE(e.done()) << e.error.message.toStdString();
        EXPECT_EQ(e.written, stored.size() + c.added.size());
        QStringList back;
        transfer::readSource(file, {}, [&](Snippet &&s) {
            const auto shown = [](const QVariant &v) { return v.isNull() ? QStringLiteral("NULL") : v.toString(); };
            back.append(shown(s.heading) + '|' + shown(s.description) + '|' + shown(s.code));
            return true;
        });
        EXPECT_EQ(back, stored + c.added);
    }
}

} // namespace

TEST(Import, EveryHeadingIsCheckedAndWrittenAllOrNothingOnTheFile)
{
    importOnEveryBackEnd([](const QString &) {
        static std::unique_ptr<qbx::test::FreshUserFolders> folders;
        folders.reset(); // its folders given back before the next are taken
        folders = std::make_unique<qbx::test::FreshUserFolders>();
        return store::initLibrary(false).ok ? store::databasePath() : QString();
    });
}

TEST(Import, EveryHeadingIsCheckedAndWrittenAllOrNothingOnAServer)
{
    QBX_NEED_CLUSTER(cluster);
    importOnEveryBackEnd([&](const QString &name) { return cluster->library(name); });
}
