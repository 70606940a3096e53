// Two people change one snippet: a change never undoes someone else's, on the file and on a
// server alike.

#include "store/libraryinit.h"
#include "store/pgcluster.h"
#include "store/snippets.h"
#include "store/storetesting.h"

#include <gtest/gtest.h>

using namespace quillbox;

namespace {

void modifyAfterAnotherChange(const std::function<QString(const QString &name)> &newLibrary)
{
    const struct {
        const char *name;
        const char *meanwhile; // another program's statement, between the pick and Modify
        QString heading, description, code;
        store::Outcome outcome;
        QStringList rows;
    } cases[] = {
        {"each changed another column: both kept",
         "UPDATE TABLE1 SET code = 'x = 2'",
         "Swap",
         "'new",
         "x = 1",
         store::Outcome::Done,
         {"Swap|'new|x = 2"}},
        {"both changed the code: nothing stored",
         "UPDATE TABLE1 SET code = 'x = 2'",
         "Swap",
         "'d",
         "x = 3",
         store::Outcome::Changed,
         {"Swap|'d|x = 2"}},
        {"both changed it alike",
         "UPDATE TABLE1 SET code = 'x = 2'",
         "Swap",
         "'d",
         "x = 2",
         store::Outcome::Done,
         {"Swap|'d|x = 2"}},
        {"a rename kept beside the other's code",
         "UPDATE TABLE1 SET code = 'x = 2'",
         "Swap two",
         "'d",
         "x = 1",
         store::Outcome::Done,
         {"Swap two|'d|x = 2"}},
        {"the other renamed it: nothing stored",
         "UPDATE TABLE1 SET CodeName = 'Other'",
         "Swap",
         "'d",
         "x = 3",
         store::Outcome::Vanished,
         {"Other|'d|x = 1"}},
        {"the other deleted it: nothing stored",
         "DELETE FROM TABLE1",
         "Swap",
         "'new",
         "x = 1",
         store::Outcome::Vanished,
         {}},
        {"a heading stored with spaces around it is reached",
         "UPDATE TABLE1 SET CodeName = '  Swap '",
         "Swap",
         "'d",
         "x = 5",
         store::Outcome::Done,
         {"  Swap |'d|x = 5"}},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString library = newLibrary(QStringLiteral("modify%1").arg(++n));
        ASSERT_FALSE(library.isEmpty());
        const store::SnippetLibrary snippets(library);
        ASSERT_TRUE(snippets.add("Swap", "'d", "x = 1").done());
        const store::SnippetResult picked = snippets.find("Swap");
        ASSERT_TRUE(picked.done());
        EXPECT_EQ(qbx::test::RawConnection(library).run(QString::fromLatin1(c.meanwhile)), QString());
        const store::Result r = snippets.modify("Swap", picked.snippet, c.heading, c.description, c.code);
        EXPECT_EQ(r.outcome, c.outcome) << r.error.message.toStdString();
        EXPECT_EQ(qbx::test::storedRows(library), c.rows);
    }
}

} // namespace

TEST(Modify, AChangeNeverUndoesAnotherOnTheFile)
{
    modifyAfterAnotherChange([](const QString &) {
        static std::unique_ptr<qbx::test::FreshUserFolders> folders;
        folders.reset(); // its folders given back before the next are taken
        folders = std::make_unique<qbx::test::FreshUserFolders>();
        return store::initLibrary(false).ok ? store::databasePath() : QString();
    });
}

TEST(Modify, AChangeNeverUndoesAnotherOnAServer)
{
    QBX_NEED_CLUSTER(cluster);
    modifyAfterAnotherChange([&](const QString &name) { return cluster->library(name); });
}
