// The pick popup, driven with keys: the list follows what is typed, Up and Down move in it,
// Enter copies what Copy Code copies, Esc copies nothing.

#include "store/libraryfolder.h"
#include "store/libraryinit.h"
#include "store/snippets.h"
#include "support/testsupport.h"
#include "window/frmfill.h"
#include "window/frmpick.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace quillbox;
using quillbox::window::frmPick;

namespace {

struct PickTest : ::testing::Test {
    qbx::test::FreshUserFolders folders;
    std::unique_ptr<frmPick> popup;
    QStringList copied;        // what the popup put on the clipboard
    bool clipboardFree = true; // false: the clipboard cannot be taken

    void SetUp() override
    {
        ASSERT_TRUE(store::initLibrary(false).done());
        const store::SnippetLibrary library(store::libraryLocation());
        for (const auto &[heading, description, code] :
             {std::tuple{"Swap two values", "' Exchanges two values", "dim t as long\r\nt = a"},
              {"Open a file", "' Reads what a swap left", "close #1"},
              {"Sort", "' Sorts ${n:10} items", "redim a(${n})"}})
            ASSERT_TRUE(library.add(heading, description, code).done());
    }
    void open(const QString &location = store::libraryLocation())
    {
        popup = std::make_unique<frmPick>(store::SnippetLibrary(location), nullptr, [this](const QString &text) {
            if (clipboardFree)
                copied << text;
            return clipboardFree;
        });
        popup->show();
        popup->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(popup.get()));
    }
    void key(Qt::Key k)
    {
        QTest::keyClick(popup->txtQuery, k);
        QCoreApplication::processEvents(); // the snippet follows the pick once the list is painted
    }
};

const QString swapText = "'Swap two values\r\n\r\n' Exchanges two values\r\n\r\nDim t As Long\r\nt = a";
const QString openText = "'Open a file\r\n\r\n' Reads what a swap left\r\n\r\nClose #1";

} // namespace

TEST_F(PickTest, TypingNarrowsTheListArrowsMoveAndEnterCopiesTheCopyCodeText)
{
    open();
    EXPECT_EQ(popup->listed(), QStringList({"Swap two values", "Open a file", "Sort"}));
    EXPECT_EQ(popup->Rich3->Text(), swapText);
    // The headings at once; the descriptions and the code after the pause.
    QTest::keyClicks(popup->txtQuery, QStringLiteral("SWAP"));
    EXPECT_EQ(popup->listed(), QStringList{"Swap two values"});
    EXPECT_TRUE(popup->tmrSearch->isActive());
    EXPECT_TRUE(qbx::test::waitFor([&] { return popup->listed().size() == 2; }));
    EXPECT_EQ(popup->listed(), QStringList({"Swap two values", "Open a file"}));
    // Down and Up move the pick and the snippet shown, within the list.
    const std::pair<Qt::Key, QString> moves[] = {{Qt::Key_Down, openText},
                                                 {Qt::Key_Down, openText},
                                                 {Qt::Key_Up, swapText},
                                                 {Qt::Key_Up, swapText},
                                                 {Qt::Key_Down, openText}};
    for (const auto &[k, shown] : moves) {
        key(k);
        EXPECT_EQ(popup->Rich3->Text(), shown);
    }
    EXPECT_EQ(popup->txtQuery->text(), QStringLiteral("SWAP"));
    EXPECT_TRUE(popup->lblStatus->isHidden());
    key(Qt::Key_Return);
    EXPECT_EQ(popup->result(), QDialog::Accepted);
    EXPECT_TRUE(popup->isHidden());
    EXPECT_EQ(copied, QStringList{openText});
}

TEST_F(PickTest, EscCopiesNothingHereAndInTheBlanksAndFailuresAreShownInWords)
{
    open();
    QTest::keyClicks(popup->txtQuery, QStringLiteral("sort"));
    // Esc in the blanks dialog goes back to the popup; Enter there copies the filled text.
    for (const Qt::Key answer : {Qt::Key_Escape, Qt::Key_Return}) {
        QTimer::singleShot(0, [answer] {
            auto *fill = qobject_cast<window::frmFill *>(QApplication::activeModalWidget());
            ASSERT_TRUE(fill);
            fill->txtValues.first()->setText(QStringLiteral("3"));
            QTest::keyClick(fill->txtValues.first(), answer);
        });
        key(Qt::Key_Return);
        if (answer == Qt::Key_Escape) {
            EXPECT_EQ(copied, QStringList());
            EXPECT_TRUE(popup->isVisible());
        }
    }
    EXPECT_EQ(copied, QStringList{"'Sort\r\n\r\n' Sorts 3 items\r\n\r\nReDim a(3)"});
    copied.clear();

    open();
    key(Qt::Key_Escape);
    EXPECT_EQ(popup->result(), QDialog::Rejected);
    EXPECT_TRUE(popup->isHidden());

    // A clipboard that cannot be taken is told, and the popup stays.
    open();
    clipboardFree = false;
    key(Qt::Key_Return);
    EXPECT_TRUE(popup->isVisible());
    EXPECT_TRUE(popup->lblStatus->text().contains("could not be put on the clipboard"));
    clipboardFree = true;

    // A library that cannot be read, and a query that finds nothing, are told in the popup.
    open(folders.dataHome() + "/gone/Quillbox.mdb");
    EXPECT_TRUE(popup->lblStatus->isVisible());
    EXPECT_TRUE(popup->lblStatus->text().contains("gone/Quillbox.mdb")) << popup->lblStatus->text().toStdString();
    key(Qt::Key_Return);
    open();
    QTest::keyClicks(popup->txtQuery, QStringLiteral("nowhere"));
    EXPECT_TRUE(qbx::test::waitFor([&] { return popup->lblStatus->isVisible(); }));
    EXPECT_EQ(popup->lblStatus->text(), QStringLiteral("No snippet holds these words."));
    EXPECT_EQ(popup->Rich3->Text(), QString());
    key(Qt::Key_Return);
    EXPECT_TRUE(popup->isVisible());
    EXPECT_EQ(copied, QStringList()) << "Esc, a clipboard taken elsewhere, no library and no hit copy nothing";
}
