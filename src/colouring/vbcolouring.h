#pragma once
// The pure core of the source colouring: one line of Visual Basic text in; the colour runs
// to paint and the letter-case rewrites to make out. No widgets here.
//
// A line is painted black, then green from its first comment mark to its end, then navy
// for every keyword of the table that stands alone before the comment mark: between the
// line's ends and spaces (a tab, parenthesis, comma, colon or dot does not separate, so
// the table carries punctuated entries such as "Long," and "(ByVal"). A keyword found in
// any letter case is written back with only its first letter upper case, except for eight
// special forms ("ByVal", "(ByVal", "ByRef", "(ByRef", "ElseIf", "ReDim", "GoTo", and
// "endif" becoming "End If").

#include "colouring/colourruns.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace quillbox::colouring {

// The comment mark.
inline constexpr char16_t kCommentMark = u'\'';

// Replace `length` characters at `start` with `text`. Offsets are in the line as it was
// before any rewrite; rewrites never overlap and come in order.
struct CaseRewrite {
    int start = 0;
    int length = 0;
    QString text;
    friend bool operator==(const CaseRewrite &, const CaseRewrite &) = default;
};

struct LineColouring {
    // Non-black runs, in order, in the offsets of the line after the rewrites.
    QList<ColourRun> runs;
    QList<CaseRewrite> rewrites;
};

// The nine string constants that make up the keyword table, and the table itself (108
// entries, in search order, duplicates kept).
extern const char *const kKeywordConstants[9];
QStringList keywordTable();

// The colouring of one line (without its line break).
LineColouring colourLine(QStringView line);

// The same, filling `out` (whose lists are cleared first), so that a caller colouring many
// lines reuses its buffers.
void colourLine(QStringView line, LineColouring *out);

// The colouring of one word alone on a line: the comment mark paints the comment; a
// keyword-table entry paints and rewrites its stand-alone occurrences before the comment.
// Colouring the mark and then every entry of the table one by one gives what colourLine
// gives in one reading of the line.
LineColouring colourWord(QStringView line, QStringView word);

// The text of a stand-alone keyword as it is written back (for a text that is no keyword,
// the first letter upper and the rest lower all the same).
QString caseRewrite(QStringView keyword);

// The text of the line after its rewrites.
QString applyRewrites(QStringView line, const QList<CaseRewrite> &rewrites);

// Where an offset of the line stands once the rewrites are made: before or at a rewrite's
// start it stays, behind the rewritten characters it moves with the length change, and
// inside them it stays, at most at the end of the new text.
int offsetAfterRewrites(int offset, const QList<CaseRewrite> &rewrites);

// The runs of a line coloured without its rewrites made: `runs` are in the offsets after
// them, the result in those of the line as it stands (a rewritten stretch keeps the colour
// of its new text).
ColourRuns runsWithoutRewrites(const ColourRuns &runs, const QList<CaseRewrite> &rewrites);

} // namespace quillbox::colouring
