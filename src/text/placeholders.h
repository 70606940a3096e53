#pragma once
// A snippet with blanks: ${name}, ${name:default}, ${1} and ${1:default}. A name is letters,
// digits and '_', starting with a letter; a number is digits. The same name or number may
// stand in several places and is filled once; a default may hold other placeholders. "\${"
// is a literal "${"; any other '$' is plain text (Left$(s, 3), Dim s$, "costs $1"), and so
// is a "${" that is never closed.
//
// The text is read once, left to right, with a stack of its own: linear in the text whatever
// the nesting, and constant in the call stack.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <vector>

namespace quillbox::text {

class Placeholders {
public:
    explicit Placeholders(const QString &text);
    explicit Placeholders(QStringView text);

    // The names in the order they first appear, each once.
    const QStringList &names() const { return m_names; }
    bool isEmpty() const { return m_names.isEmpty(); }
    // A name's default where it first appears, its own placeholders at their defaults.
    QStringView defaultOf(qsizetype name) const;

    // The text as the user would have typed it: each placeholder replaced by its value when
    // one is given, else by its default (its own placeholders filled the same way); no marks
    // remain, and a placeholder without either becomes empty.
    QString filled(const QHash<QString, QString> &values = {}) const;

    // Walks the text in order: plain(text) for plain text as it stands in the text (escapes
    // kept), start(name, hasDefault) where a placeholder begins, its default following up to
    // end().
    template <typename Plain, typename Start, typename End>
    void visit(Plain plain, Start start, End end) const
    {
        for (std::size_t k = 0; k < m_pieces.size(); ++k) {
            const Piece &p = m_pieces[k];
            if (p.kind == Piece::Plain)
                plain(QStringView(m_source).mid(p.sourceFrom, p.sourceSize));
            else if (p.kind == Piece::Start)
                start(m_names[p.name], k + 1 < m_pieces.size() && m_pieces[k + 1].kind != Piece::End);
            else
                end();
        }
    }

private:
    // The text as pieces: plain text, a placeholder's start (its default follows up to its
    // end), and its end.
    struct Piece {
        enum Kind { Plain, Start, End } kind;
        qsizetype from = 0, size = 0;             // Plain: the characters of m_source it reads as
        qsizetype name = -1;                      // Start: index in m_names
        qsizetype sourceFrom = 0, sourceSize = 0; // Plain: the characters it is written as
    };
    std::vector<Piece> m_pieces;
    QString m_source; // the text as given
    QStringList m_names;
    // early: set when a name stood before where it is defined (its default was not known yet).
    QString render(const QHash<QString, QString> &values, std::vector<qsizetype> *firstAt, bool *early) const;

    std::vector<std::size_t> m_first; // for each name: the index of the piece where it first stands
    Placeholders(QStringView text, const QString &shared);
    void makeDefaults() const;

    mutable bool m_defaultsMade = false;
    mutable QString m_defaults;                 // the whole text at its defaults
    mutable std::vector<qsizetype> m_defaultAt; // for each name: where its default begins and ends in m_defaults
};

} // namespace quillbox::text
