#include "text/placeholders.h"

namespace quillbox::text {

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Where the name or number that starts at `at` ends; `at` when none starts there.
qsizetype nameEnd(QStringView s, qsizetype at)
{
    const qsizetype n = s.size();
    if (at >= n)
        return at;
    qsizetype k = at;
    if (isDigit(s[k])) {
        while (k < n && isDigit(s[k]))
            ++k;
        return k;
    }
    if (!s[k].isLetter())
        return at;
    while (k < n && (s[k].isLetterOrNumber() || s[k] == QLatin1Char('_')))
        ++k;
    return k;
}

} // namespace

Placeholders::Placeholders(QStringView s, const QString &shared)
{
    const qsizetype n = s.size();
    // The placeholders opened and not closed yet: the index of each one's Start piece, and
    // where its opener ("${name:") stands in the text.
    struct Open {
        std::size_t piece;
        qsizetype opener, content;
    };
    std::vector<Open> open;
    QHash<QString, qsizetype> known;
    // A text given as a string is shared, not copied.
    m_source = shared.isNull() ? s.toString() : shared;
    // Plain text is a stretch of the text: from, size what it reads as, sourceFrom,
    // sourceSize what it is written as ("\${" reads as the "${" after the backslash).
    const auto plain = [&](qsizetype from, qsizetype size, qsizetype sourceFrom, qsizetype sourceSize) {
        Piece *last = m_pieces.empty() ? nullptr : &m_pieces.back();
        if (last && last->kind == Piece::Plain && last->from + last->size == from
            && last->sourceFrom + last->sourceSize == sourceFrom) {
            last->size += size;
            last->sourceSize += sourceSize;
        } else {
            m_pieces.push_back({Piece::Plain, from, size, -1, sourceFrom, sourceSize});
        }
    };
    const auto nameIndex = [&](QStringView name) {
        const QString key = name.toString();
        const auto found = known.constFind(key);
        if (found != known.constEnd())
            return *found;
        m_names.append(key);
        known.insert(key, m_names.size() - 1);
        return m_names.size() - 1;
    };
    qsizetype i = 0, plainFrom = 0;
    const auto flush = [&](qsizetype upTo) {
        if (upTo > plainFrom)
            plain(plainFrom, upTo - plainFrom, plainFrom, upTo - plainFrom);
    };
    while (i < n) {
        const QChar c = s[i];
        if (c == QLatin1Char('\\') && i + 2 < n && s[i + 1] == QLatin1Char('$') && s[i + 2] == QLatin1Char('{')) {
            flush(i);
            plain(i + 1, 2, i, 3);
            i += 3;
            plainFrom = i;
            continue;
        }
        if (c == QLatin1Char('}') && !open.empty()) {
            flush(i);
            m_pieces.push_back({Piece::End, 0, 0, -1, 0, 0});
            open.pop_back();
            plainFrom = ++i;
            continue;
        }
        if (c != QLatin1Char('$') || i + 1 >= n || s[i + 1] != QLatin1Char('{')) {
            ++i;
            continue;
        }
        const qsizetype end = nameEnd(s, i + 2);
        if (end == i + 2 || end >= n || (s[end] != QLatin1Char('}') && s[end] != QLatin1Char(':'))) {
            ++i; // "${" that starts no placeholder is plain text
            continue;
        }
        flush(i);
        const qsizetype name = nameIndex(s.mid(i + 2, end - i - 2));
        m_pieces.push_back({Piece::Start, 0, 0, name, 0, 0});
        if (s[end] == QLatin1Char('}')) {
            m_pieces.push_back({Piece::End, 0, 0, -1, 0, 0});
        } else {
            open.push_back({m_pieces.size() - 1, i, end + 1});
        }
        i = end + 1;
        plainFrom = i;
    }
    flush(n);
    // A placeholder never closed is plain text: its opener becomes the text it was.
    for (const Open &o : open) {
        Piece &p = m_pieces[o.piece];
        p = {Piece::Plain, o.opener, o.content - o.opener, -1, o.opener, o.content - o.opener};
    }
    // A name that only stood in placeholders never closed is no name.
    if (!open.empty()) {
        QStringList used;
        std::vector<qsizetype> renumber(std::size_t(m_names.size()), -1);
        for (Piece &p : m_pieces) {
            if (p.kind != Piece::Start)
                continue;
            qsizetype &to = renumber[std::size_t(p.name)];
            if (to < 0) {
                to = used.size();
                used.append(m_names[p.name]);
            }
            p.name = to;
        }
        m_names = used;
    }
    // A name is defined where it first has a default, or else where it first stands.
    m_first.assign(std::size_t(m_names.size()), m_pieces.size());
    for (std::size_t k = m_pieces.size(); k-- > 0;) {
        if (m_pieces[k].kind != Piece::Start)
            continue;
        std::size_t &first = m_first[std::size_t(m_pieces[k].name)];
        const bool hasDefault = k + 1 < m_pieces.size() && m_pieces[k + 1].kind != Piece::End;
        const bool firstHasDefault =
            first < m_pieces.size() && first + 1 < m_pieces.size() && m_pieces[first + 1].kind != Piece::End;
        if (hasDefault || !firstHasDefault)
            first = k;
    }
}

Placeholders::Placeholders(const QString &text) : Placeholders(QStringView(text), text)
{}

Placeholders::Placeholders(QStringView text) : Placeholders(text, QString())
{}

// The whole text at its defaults, and where each name's default stands in it, made when first
// asked for; a second time for the places that stand before their name is defined.
void Placeholders::makeDefaults() const
{
    if (m_defaultsMade)
        return;
    m_defaultsMade = true;
    bool early = false;
    m_defaults = render({}, &m_defaultAt, &early);
    if (early)
        m_defaults = render({}, &m_defaultAt, nullptr);
}

QStringView Placeholders::defaultOf(qsizetype name) const
{
    makeDefaults();
    if (name < 0 || std::size_t(name) * 2 + 1 >= m_defaultAt.size() || m_defaultAt[std::size_t(name) * 2] < 0)
        return {};
    const qsizetype from = m_defaultAt[std::size_t(name) * 2], to = m_defaultAt[std::size_t(name) * 2 + 1];
    return to < from ? QStringView() : QStringView(m_defaults).mid(from, to - from);
}

QString Placeholders::filled(const QHash<QString, QString> &values) const
{
    if (values.isEmpty()) {
        makeDefaults();
        return m_defaults;
    }
    return render(values, nullptr, nullptr);
}

// A name is filled once: where it first stands, by its value or else by its default (its
// own placeholders filled the same way); every later place repeats what the first became.
QString Placeholders::render(const QHash<QString, QString> &values, std::vector<qsizetype> *firstAt, bool *early) const
{
    std::vector<const QString *> given(std::size_t(m_names.size()), nullptr);
    for (qsizetype k = 0; k < m_names.size() && !values.isEmpty(); ++k) {
        const auto found = values.constFind(m_names[k]);
        if (found != values.constEnd())
            given[std::size_t(k)] = &*found;
    }
    std::vector<qsizetype> at(std::size_t(m_names.size()) * 2, -1); // where each name's first filling begins and ends
    std::vector<qsizetype> opened; // the names being filled from their defaults, innermost last
    QString out;
    out.reserve(m_source.size());
    // Inside a placeholder filled otherwise than from its default, the default is passed over.
    qsizetype depth = 0, skipping = 0;
    for (std::size_t index = 0; index < m_pieces.size(); ++index) {
        const Piece &p = m_pieces[index];
        if (p.kind == Piece::Plain) {
            if (skipping == 0)
                out += QStringView(m_source).mid(p.from, p.size);
            continue;
        }
        if (p.kind == Piece::End) {
            if (skipping == depth) {
                skipping = 0;
            } else if (skipping == 0) {
                const qsizetype name = opened.back();
                opened.pop_back();
                if (name >= 0) // where the name is defined: what it became ends here
                    at[std::size_t(name) * 2 + 1] = out.size();
            }
            --depth;
            continue;
        }
        ++depth;
        if (skipping != 0)
            continue;
        const std::size_t name = std::size_t(p.name);
        const bool defining = at[name * 2] >= 0 && at[name * 2 + 1] < 0; // inside its own definition
        if (given[name]) {
            out += *given[name];
            skipping = depth;
        } else if (at[name * 2 + 1] >= 0) {
            out += QStringView(out).mid(at[name * 2], at[name * 2 + 1] - at[name * 2]).toString();
            skipping = depth;
        } else if (index != m_first[name] && !defining) {
            // Defined later, or inside a placeholder filled by its value: its default.
            if (early && index < m_first[name])
                *early = true;
            out += defaultOf(qsizetype(name));
            skipping = depth;
        } else if (index == m_first[name]) {
            at[name * 2] = out.size();
            opened.push_back(p.name);
        } else {
            opened.push_back(-1); // the name again inside its own default: filled from its default
        }
    }
    if (firstAt)
        *firstAt = std::move(at);
    return out;
}

} // namespace quillbox::text
