#include "literalcolouring.h"

#include "colouring/richtextbox.h"
#include "colouring/vbcolouring.h"

#include <QStringList>

namespace quillbox::bench {

namespace {

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kGreen = 0x008000;
constexpr std::uint32_t kNavy = 0x800000;

// The 1-based position of `word` in `text` at or after the 1-based position `start`,
// letter case aside; 0 when there is none.
int inStr(int start, const QString &text, const QString &word)
{
    if (start < 1 || start > text.size())
        return 0;
    return int(text.indexOf(word, start - 1, Qt::CaseInsensitive)) + 1;
}

// The character at the 1-based position, or an empty string outside the text.
QString mid1(const QString &text, int position)
{
    if (position < 1 || position > text.size())
        return {};
    return text.mid(position - 1, 1);
}

// The selected text in lower case with its first letter upper, or one of the eight forms.
QString rewrittenCase(const QString &selected)
{
    QString c = selected.toLower();
    if (!c.isEmpty())
        c[0] = c.at(0).toUpper();
    static const char *const forms[][2] = {
        {"(BYVAL", "(ByVal"}, {"BYVAL", "ByVal"}, {"BYREF", "ByRef"}, {"(BYREF", "(ByRef"},
        {"ELSEIF", "ElseIf"}, {"REDIM", "ReDim"}, {"GOTO", "GoTo"},   {"ENDIF", "End If"},
    };
    const QString upper = c.toUpper().trimmed();
    for (const auto &form : forms)
        if (upper == QLatin1String(form[0]))
            return QString::fromLatin1(form[1]);
    return c;
}

} // namespace

// Back from ScanStart while it is on the caret's line: to the line feed before the line, or 0.
void LiteralColouring::walkBack(const RichTextBox &box)
{
    while (box.GetLineFromChar(ScanStart) == CaretLine) {
        --ScanStart;
        if (ScanStart < 0) {
            ScanStart = 0;
            break;
        }
    }
}

// On from ScanEnd while it is on the caret's line: to the next line's first offset, or one
// past the text's end. (The text's length is read once per walk.)
void LiteralColouring::walkForward(const RichTextBox &box)
{
    const int length = int(box.Text().size());
    while (box.GetLineFromChar(ScanEnd) == CaretLine) {
        ++ScanEnd;
        if (ScanEnd > length) {
            ScanEnd = length + 1;
            break;
        }
    }
}

void LiteralColouring::ResetColors(RichTextBox &RichTB)
{
    if (RichTB.SelLength() > 0)
        return;
    RichTB.setEnabledState(false);
    SavedSelStart = RichTB.SelStart();
    CaretLine = RichTB.GetLineFromChar(RichTB.SelStart());
    ScanStart = ScanEnd = RichTB.SelStart();
    walkBack(RichTB);
    walkForward(RichTB);
    if (ScanStart == 1) {
        ScanEnd -= 2;
    } else if (ScanStart > 1) {
        ScanStart += 1;
        ScanEnd -= 1;
    }
    RichTB.setSelStart(ScanStart);
    RichTB.setSelLength(ScanEnd - ScanStart);
    RichTB.setSelColor(kBlack);
    RichTB.setSelLength(0);
    RichTB.setSelStart(SavedSelStart);
    RichTB.setEnabledState(true);
}

void LiteralColouring::ColorizeWord(RichTextBox &RichTB, const QString &Word, std::uint32_t Color)
{
    walkBack(RichTB);
    const int line = RichTB.GetLineFromChar(RichTB.SelStart());
    if (RichTB.SelLength() > 0)
        return;
    RichTB.setEnabledState(false);
    if (ScanStart == 0)
        ScanStart = 1;
    const int length = int(Word.size());
    ScanStart -= length;
    for (;;) {
        if (RichTB.GetLineFromChar(RichTB.SelStart()) != line)
            break;
        ScanStart += length;
        MatchPos = inStr(ScanStart, RichTB.Text(), Word);
        if (MatchPos > ScanEnd || MatchPos < 1)
            break;
        const QString before = MatchPos < 2 ? QString() : mid1(RichTB.Text(), MatchPos - 1);
        const QString after = mid1(RichTB.Text(), MatchPos + length);
        RichTB.setSelStart(MatchPos - 1);
        RichTB.setSelLength(length);
        if (Word == CommentMark) {
            // The comment: from the mark through the line's break.
            ScanEnd = RichTB.SelStart();
            walkForward(RichTB);
            RichTB.setSelStart(MatchPos - 1);
            RichTB.setSelLength(ScanEnd - (MatchPos - 1));
            RichTB.setSelColor(Color);
            RichTB.setSelLength(0);
            RichTB.setSelStart(SavedSelStart);
            RichTB.setSelColor(kBlack);
            return; // the box stays disabled until the next word's finish
        }
        // Nothing behind the comment mark is a keyword.
        const int mark = inStr(ScanStart, RichTB.Text(), CommentMark);
        if (mark > 0 && RichTB.SelStart() > mark)
            break;
        const bool alone = (before.isEmpty() || before == QLatin1String(" ") || before == QLatin1String("\n"))
                           && (after.isEmpty() || after == QLatin1String(" ") || after == QLatin1String("\n")
                               || after == QLatin1String("\r"));
        if (alone) {
            RichTB.setSelText(rewrittenCase(RichTB.SelText()));
            RichTB.setSelStart(MatchPos - 1);
            RichTB.setSelLength(length);
            RichTB.setSelColor(Color);
            RichTB.setSelLength(0);
        } else {
            RichTB.setSelLength(0);
        }
    }
    RichTB.setSelStart(SavedSelStart);
    RichTB.setSelColor(kBlack);
    MatchPos = 0;
    RichTB.setEnabledState(true);
}

void LiteralColouring::RichTBSetcolors(RichTextBox &RichTB)
{
    CommentMark = QStringLiteral("'");
    // (The main window's update lock would be taken here.)
    ResetColors(RichTB);
    ColorizeWord(RichTB, CommentMark, kGreen);
    // The table, built again on every call.
    QString joined;
    for (const char *constant : colouring::kKeywordConstants)
        joined += QString::fromLatin1(constant);
    const QStringList table = joined.split(QLatin1Char('|'));
    for (qsizetype KeywordIndex = 0; KeywordIndex < table.size(); ++KeywordIndex)
        ColorizeWord(RichTB, table.at(KeywordIndex), kNavy);
    // (And released here.)
    RichTB.setEnabledState(true);
    if (RichTB.Visible())
        RichTB.SetFocus();
}

} // namespace quillbox::bench
