#include "app/core/regex_engine.h"

#include "app/core/text_codec.h"

#include <charconv>

namespace pellucor {

struct RegexEngine::Raise
{
    RegexError error;
};

namespace {

using U = std::u32string;

const char32_t kSlotFirst = 1;
const char32_t kSlotLast = 31;

bool isSlotMarker(char32_t c)
{
    return c >= kSlotFirst && c <= kSlotLast;
}

bool isDigit(char32_t c)
{
    return c >= '0' && c <= '9';
}

bool isAsciiLetter(char32_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isWordChar(char32_t c)
{
    return isAsciiLetter(c) || isDigit(c) || c == '_';
}

char32_t fold(char32_t c)
{
    return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
}

int hexDigit(char32_t c)
{
    if (isDigit(c))
        return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<int>(c - 'A' + 10);
    return -1;
}

// UTF-8 to code points; a byte that starts no well-formed character becomes U+FFFD.
U decode(std::string_view s)
{
    U out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        bool ok = len > 0 && i + len <= s.size() && c <= 0xF4;
        for (std::size_t k = 1; ok && k < len; ++k) {
            auto b = static_cast<unsigned char>(s[i + k]);
            ok = (b & 0xC0) == 0x80;
            cp = (cp << 6) | (b & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        if (ok && ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
                   (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (!ok) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        out += cp;
        i += len;
    }
    return out;
}

std::string encode(const U& s)
{
    std::string out;
    out.reserve(s.size());
    for (char32_t c : s)
        appendUtf8(out, c);
    return out;
}

std::string encode(const U& s, std::size_t from, std::size_t to)
{
    return encode(s.substr(from, to - from));
}

// Index one past the "]" that closes the class whose "[" is at `open`, or npos. A "]" right after
// "[" or "[^" belongs to the class; "\" escapes the character after it.
std::size_t classEnd(const U& p, std::size_t open)
{
    std::size_t j = open + 1;
    if (j < p.size() && p[j] == '^')
        ++j;
    if (j < p.size() && p[j] == ']')
        ++j;
    while (j < p.size()) {
        if (p[j] == '\\')
            j += 2;
        else if (p[j] == ']')
            return j + 1;
        else
            ++j;
    }
    return U::npos;
}

// Index one past the ")" matching the "(" at `open`, or npos. Escapes and classes are skipped.
std::size_t groupEnd(const U& p, std::size_t open)
{
    int depth = 0;
    std::size_t j = open;
    while (j < p.size()) {
        char32_t c = p[j];
        if (c == '\\') {
            j += 2;
        } else if (c == '[') {
            std::size_t e = classEnd(p, j);
            if (e == U::npos)
                return U::npos;
            j = e;
        } else {
            if (c == '(')
                ++depth;
            else if (c == ')' && --depth == 0)
                return j + 1;
            ++j;
        }
    }
    return U::npos;
}

// Index of the first "|" outside groups, classes and escapes, or npos.
std::size_t topLevelBar(const U& p)
{
    for (std::size_t j = 0; j < p.size();) {
        char32_t c = p[j];
        if (c == '\\') {
            j += 2;
        } else if (c == '[') {
            std::size_t e = classEnd(p, j);
            j = e == U::npos ? p.size() : e;
        } else if (c == '(') {
            std::size_t e = groupEnd(p, j);
            j = e == U::npos ? p.size() : e;
        } else if (c == '|') {
            return j;
        } else {
            ++j;
        }
    }
    return U::npos;
}

std::vector<U> splitAlternatives(const U& p)
{
    std::vector<U> alts;
    U rest = p;
    for (;;) {
        std::size_t bar = topLevelBar(rest);
        if (bar == U::npos)
            break;
        alts.push_back(rest.substr(0, bar));
        rest = rest.substr(bar + 1);
    }
    alts.push_back(rest);
    return alts;
}

// Length of the quantifier at p[q], or 0 when none starts there.
std::size_t quantifierAt(const U& p, std::size_t q)
{
    if (q >= p.size())
        return 0;
    std::size_t len = 0;
    if (p[q] == '*' || p[q] == '+' || p[q] == '?') {
        len = 1;
    } else if (p[q] == '{') {
        std::size_t close = p.find('}', q + 1);
        if (close == U::npos)
            return 0;
        len = close - q + 1;
    } else {
        return 0;
    }
    if (q + len < p.size() && p[q + len] == '?')
        ++len;
    return len;
}

// Reads a whole, optionally signed decimal number with blanks around it.
std::optional<long long> braceNumber(const U& s)
{
    std::string t;
    for (char32_t c : s) {
        if (c == ' ')
            continue;
        if (c > 127)
            return std::nullopt;
        t += static_cast<char>(c);
    }
    long long v = 0;
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || ec != std::errc() || ptr != t.data() + t.size())
        return std::nullopt;
    return v;
}

U repeat(const U& s, long long n)
{
    U out;
    for (long long i = 0; i < n; ++i)
        out += s;
    return out;
}

U fromAscii(std::string_view s)
{
    return U(s.begin(), s.end());
}

} // namespace

void RegexEngine::raise(std::int32_t number, const char* procedure, const std::string& text) const
{
    throw Raise{{number, "pellucor.RegExpr", std::string("Error in RegExpr.") + procedure + ": " + text}};
}

// The pattern as an error message shows it: slot markers removed, classes and escaped pairs kept.
std::string RegexEngine::shown(const U& p) const
{
    U out;
    for (std::size_t j = 0; j < p.size();) {
        if (p[j] == '\\') {
            out += p.substr(j, 2);
            j += 2;
        } else if (p[j] == '[') {
            std::size_t e = classEnd(p, j);
            std::size_t len = e == U::npos ? p.size() - j : e - j;
            out += p.substr(j, len);
            j += len;
        } else {
            if (!isSlotMarker(p[j]))
                out += p[j];
            ++j;
        }
    }
    return encode(out);
}

U RegexEngine::expandEscapes(const U& p)
{
    static const U kWord = fromAscii("a-zA-Z0-9_");
    static const U kDigit = fromAscii("0-9");
    static const U kSpace = U{' ', '\\', '\t', '\\', '\r', '\\', '\n'};
    U out;
    bool inClass = false;
    std::size_t classStart = 0;
    auto escaped = [](char32_t c) {
        // Letters, digits and characters 128 and up stand for themselves; others get a "\".
        return (isAsciiLetter(c) || isDigit(c) || c >= 128) ? U(1, c) : U{'\\', c};
    };
    auto classOf = [&](const U& members, bool negate) {
        U body = negate ? U(1, '^') + members : members;
        return inClass ? body : U(1, '[') + body + U(1, ']');
    };
    for (std::size_t i = 0; i < p.size();) {
        char32_t c = p[i];
        if (c == '\\' && i + 1 < p.size()) {
            char32_t e = p[i + 1];
            i += 2;
            switch (e) {
            case 'w':
            case 'W':
                out += classOf(kWord, e == 'W');
                break;
            case 'd':
            case 'D':
                out += classOf(kDigit, e == 'D');
                break;
            case 's':
            case 'S':
                out += classOf(kSpace, e == 'S');
                break;
            case 't':
                out += U{'\\', '\t'};
                break;
            case 'r':
                out += U{'\\', '\r'};
                break;
            case 'f':
                out += U{'\\', 12};
                break;
            case 'a':
                out += U{'\\', 7};
                break;
            case 'e':
                out += U{'\\', 27};
                break;
            case 'b':
                out += inClass ? U{'\\', 8} : U{'\\', 'b'};
                break;
            case 'c': {
                if (i >= p.size())
                    raise(20052, "ExpandEspaces",
                          "Control character missing in regular expression: " + encode(p));
                long code =
                    static_cast<long>(fold(p[i]) >= 'a' && fold(p[i]) <= 'z' ? fold(p[i]) - 32 : p[i]) - 64;
                if (code < 0 || code > 31)
                    raise(20052, "ExpandEspaces",
                          "Invalid control character in regular expression: " + encode(p));
                out += U{'\\', static_cast<char32_t>(code)};
                ++i;
                break;
            }
            case 'x': {
                int v = 0, n = 0;
                while (n < 2 && i < p.size() && hexDigit(p[i]) >= 0) {
                    v = v * 16 + hexDigit(p[i]);
                    ++i;
                    ++n;
                }
                out += n == 0 ? U(1, 'x') : escaped(static_cast<char32_t>(v));
                break;
            }
            case '0': {
                int v = 0, n = 0;
                std::string digits;
                while (n < 3 && i < p.size() && p[i] >= '0' && p[i] <= '7') {
                    v = v * 8 + static_cast<int>(p[i] - '0');
                    digits += static_cast<char>(p[i]);
                    ++i;
                    ++n;
                }
                if (n == 0) {
                    out += U{'\\', '0'};
                    break;
                }
                if (v > 255)
                    raise(20052, "ExpandEspaces", "Invalid octal value in regular expression \\0" + digits);
                out += escaped(static_cast<char32_t>(v));
                break;
            }
            case 'Q':
                while (i < p.size() && !(p[i] == '\\' && i + 1 < p.size() && p[i + 1] == 'E')) {
                    out += p[i] == '\\' ? U{'\\', '\\'} : escaped(p[i]);
                    ++i;
                }
                if (i < p.size())
                    i += 2; // the \E
                break;
            default:
                out += U{'\\', e};
                break;
            }
            continue;
        }
        if (!inClass && c == '[') {
            inClass = true;
            classStart = out.size();
            out += c;
        } else if (inClass && c == ']' && out.size() > classStart + 1 &&
                   !(out.size() == classStart + 2 && out[classStart + 1] == '^')) {
            inClass = false;
            out += c;
        } else if (c < 32) {
            out += U{'\\', c}; // a raw control character matches itself, never a slot marker
        } else {
            out += c;
        }
        ++i;
    }
    return out;
}

U RegexEngine::processParentheses(const U& p)
{
    U out;
    for (std::size_t i = 0; i < p.size();) {
        char32_t c = p[i];
        if (c == '\\') {
            out += p.substr(i, 2);
            i += 2;
        } else if (c == '[') {
            std::size_t e = classEnd(p, i);
            if (e == U::npos)
                raise(20052, "ProcessParentheses", "Invalid regular expression: A closing ] expected.");
            out += p.substr(i, e - i);
            i = e;
        } else if (c == '(') {
            std::size_t e = groupEnd(p, i);
            if (e == U::npos)
                raise(20052, "ProcessParentheses",
                      "Invalid regular expression: A closing ) expected: " + shown(p));
            U inner = p.substr(i + 1, e - i - 2);
            i = e;
            if (inner.size() >= 2 && inner[0] == '?' && inner[1] == '#')
                continue;
            if (inner.size() >= 2 && inner[0] == '?' && inner[1] == ':') {
                out += U(1, '(') + processParentheses(inner.substr(2)) + U(1, ')');
            } else if (inner.size() >= 2 && inner[0] == '?' && (inner[1] == '=' || inner[1] == '!')) {
                out += U{'(', '?', inner[1]} + processParentheses(inner.substr(2)) + U(1, ')');
            } else if (!inner.empty() && inner[0] == '?') {
                raise(20052, "ProcessParentheses",
                      "Invalid extended regular expression syntax: (" + shown(inner) + ")");
            } else {
                if (m_count >= kMaxSubExpressions)
                    raise(20052, "CreateMatch",
                          "Too many subexpressions in regular expression (max " +
                              std::to_string(kMaxSubExpressions) + ").");
                auto marker = static_cast<char32_t>(++m_count);
                out += U{'(', marker} + processParentheses(inner) + U{marker, ')'};
            }
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

std::optional<std::size_t> RegexEngine::doRegExpr(std::size_t pos, const U& pattern)
{
    if (pattern.empty())
        return pos;
    struct DepthGuard
    {
        int& depth;
        ~DepthGuard() { --depth; }
    } guard{++m_depth};
    if (m_depth > kMaxDepth || ++m_steps > kMaxSteps)
        raise(20052, "DoRegExpr", "Maximum number of iterations exceeded. Possibly an infinite loop.");

    std::size_t bar = topLevelBar(pattern);
    if (bar != U::npos) {
        if (auto r = doRegExpr(pos, pattern.substr(0, bar)))
            return r;
        return doRegExpr(pos, pattern.substr(bar + 1));
    }

    // Split off the next atom and its quantifier.
    std::size_t atomLen = 1;
    if (pattern[0] == '\\') {
        atomLen = pattern.size() >= 2 ? 2 : 1;
    } else if (pattern[0] == '(') {
        std::size_t e = groupEnd(pattern, 0);
        atomLen = e == U::npos ? 1 : e;
    } else if (pattern[0] == '[') {
        std::size_t e = classEnd(pattern, 0);
        atomLen = e == U::npos ? 1 : e;
    }
    std::size_t qLen = quantifierAt(pattern, atomLen);
    if (qLen > 0 && quantifierAt(pattern, atomLen + qLen) > 0)
        raise(20052, "GetNextRegExpr", "Nested +?*{} in regular expression.");
    const U atom = pattern.substr(0, atomLen);
    const U quantifier = pattern.substr(atomLen, qLen);
    const U rest = pattern.substr(atomLen + qLen);

    const std::vector<Slot> saved = m_slots;
    auto r = quantifier.empty() ? matchAtom(pos, atom, rest) : matchQuantified(pos, atom, quantifier, rest);
    if (!r)
        m_slots = saved;
    return r;
}

std::optional<std::size_t> RegexEngine::matchQuantified(std::size_t pos, const U& atom, const U& q,
                                                        const U& rest)
{
    const bool lazy = q.size() > 1 && q.back() == '?';
    const U star = lazy ? fromAscii("*?") : fromAscii("*");
    switch (q[0]) {
    case '*':
        if (!lazy) {
            if (auto r = matchAtom(pos, atom, atom + star + rest))
                return r;
            return doRegExpr(pos, rest);
        }
        if (auto r = doRegExpr(pos, rest))
            return r;
        return matchAtom(pos, atom, atom + star + rest);
    case '+':
        return matchAtom(pos, atom, atom + star + rest);
    case '?':
        if (!lazy) {
            if (auto r = matchAtom(pos, atom, rest))
                return r;
            return doRegExpr(pos, rest);
        }
        if (auto r = doRegExpr(pos, rest))
            return r;
        return matchAtom(pos, atom, rest);
    case '{':
        break;
    default:
        raise(20054, "DoRegExpr",
              "Internal error in function RegEx.DoRegExpr(\"" + encode(m_subject, pos, m_subject.size()) +
                  "\", \"" + shown(atom + q + rest) + "\")");
    }

    // Brace forms: {n}, {n,}, {n,m}.
    const U inner = q.substr(1, q.size() - (lazy ? 3 : 2));
    const std::string shownQ = encode(q);
    std::size_t comma = inner.find(',');
    auto syntax = [&] {
        raise(20050, "DoRegExpr",
              "Syntax error in regular expression " + shownQ + ". Expected: {Lower_limit, Upper_limit}");
    };
    if (comma != U::npos && inner.find(',', comma + 1) != U::npos)
        syntax();
    auto lower = braceNumber(inner.substr(0, comma));
    if (!lower)
        syntax();
    std::optional<long long> upper;
    bool open = false;
    if (comma != U::npos) {
        U up = inner.substr(comma + 1);
        open = up.find_first_not_of(U' ') == U::npos;
        if (!open && !(upper = braceNumber(up)))
            syntax();
    }
    if (comma == U::npos && *lower < 0)
        raise(20050, "DoRegExpr", "Count is less than zero in regular expression " + shownQ);
    if (*lower < 0 || (upper && *upper < 0))
        raise(20050, "DoRegExpr", "Upper or lower limit is less than zero in regular expression " + shownQ);
    if (upper && *upper < *lower)
        raise(20050, "DoRegExpr", "Upper limit is less than lower limit in regular expression " + shownQ);
    // Every repetition is one more nested step, so counts past the depth limit cannot be matched.
    if (*lower > kMaxDepth || (upper && *upper > kMaxDepth))
        raise(20052, "DoRegExpr", "Maximum number of iterations exceeded. Possibly an infinite loop.");
    // Spelled out, the counts must leave a pattern of bounded size: each nested step keeps its own
    // copy of the rest of the pattern.
    const long long copies = upper ? *upper + 1 : *lower + 1;
    if (static_cast<long long>(atom.size() + 4) * copies + static_cast<long long>(rest.size()) >
        static_cast<long long>(kMaxPatternLength))
        raise(20052, "DoRegExpr", "Maximum number of iterations exceeded. Possibly an infinite loop.");
    if (comma == U::npos) {
        if (*lower == 0)
            return std::nullopt;
        return doRegExpr(pos, repeat(atom, *lower) + rest);
    }
    if (open)
        return doRegExpr(pos, repeat(atom, *lower) + atom + star + rest);
    if (*upper == 0)
        return std::nullopt;
    const U optional = U(1, '(') + atom + U(1, ')') + (lazy ? fromAscii("??") : fromAscii("?"));
    return doRegExpr(pos, repeat(atom, *lower) + repeat(optional, *upper - *lower) + rest);
}

std::optional<std::size_t> RegexEngine::matchAtom(std::size_t pos, const U& atom, const U& rest)
{
    const U& s = m_subject;
    const std::size_t n = s.size();
    const bool ignoreCase = (m_options & reIgnoreCase) != 0;
    auto crlfAt = [&](std::size_t at) { return at + 1 < n && s[at] == '\r' && s[at + 1] == '\n'; };
    auto same = [&](char32_t a, char32_t b) { return ignoreCase ? fold(a) == fold(b) : a == b; };
    auto literal = [&](char32_t c) -> std::optional<std::size_t> {
        if (pos < n && same(s[pos], c))
            return doRegExpr(pos + 1, rest);
        return std::nullopt;
    };

    char32_t c = atom[0];
    if (c == '(' && atom.size() >= 2) {
        if (atom.size() >= 4 && atom[1] == '?' && (atom[2] == '=' || atom[2] == '!')) {
            const U inner = atom.substr(3, atom.size() - 4);
            const std::vector<Slot> saved = m_slots;
            bool found = doRegExpr(pos, inner).has_value();
            if (atom[2] == '!') {
                m_slots = saved;
                found = !found;
            }
            if (!found)
                return std::nullopt;
            return doRegExpr(pos, rest);
        }
        U inner = atom.substr(1, atom.size() - 2);
        char32_t marker = 0;
        if (inner.size() >= 2 && isSlotMarker(inner.front()) && inner.back() == inner.front()) {
            marker = inner.front();
            inner = inner.substr(1, inner.size() - 2);
        }
        for (const U& alt : splitAlternatives(inner)) {
            U p = marker ? U(1, marker) + alt + U(1, marker) + rest : alt + rest;
            if (auto r = doRegExpr(pos, p))
                return r;
        }
        return std::nullopt;
    }
    if (isSlotMarker(c)) {
        Slot& slot = m_slots[c];
        if (!slot.open) {
            slot.open = true;
            slot.closed = false;
            slot.start = pos;
            slot.openLevel = m_depth;
        } else {
            slot.open = false;
            slot.closed = true;
            slot.end = pos;
            slot.closeLevel = m_depth;
        }
        return doRegExpr(pos, rest);
    }
    if (c == '[' && atom.size() > 1) {
        std::size_t len = matchClass(pos, atom);
        if (len == 0)
            return std::nullopt;
        return doRegExpr(pos + len, rest);
    }
    if (c == '.') {
        if (pos >= n || ((m_options & reSingleLine) == 0 && crlfAt(pos)))
            return std::nullopt;
        return doRegExpr(pos + 1, rest);
    }
    if (c == '^') {
        if (pos == 0 || ((m_options & reMultiline) && pos >= 2 && crlfAt(pos - 2)))
            return doRegExpr(pos, rest);
        return std::nullopt;
    }
    if (c == '$') {
        if (pos == n || (n - pos == 2 && crlfAt(pos)) || ((m_options & reMultiline) && crlfAt(pos)))
            return doRegExpr(pos, rest);
        return std::nullopt;
    }
    if (c != '\\' || atom.size() < 2)
        return literal(c);

    char32_t e = atom[1];
    auto wordBoundary = [&] {
        bool before = pos > 0 && isWordChar(s[pos - 1]);
        bool after = pos < n && isWordChar(s[pos]);
        return before != after;
    };
    switch (e) {
    case 'A':
        return pos == 0 ? doRegExpr(pos, rest) : std::nullopt;
    case 'Z':
        return (pos == n || (n - pos == 2 && crlfAt(pos))) ? doRegExpr(pos, rest) : std::nullopt;
    case 'n':
        return crlfAt(pos) ? doRegExpr(pos + 2, rest) : std::nullopt;
    case 'b':
        return wordBoundary() ? doRegExpr(pos, rest) : std::nullopt;
    case 'B':
        return wordBoundary() ? std::nullopt : doRegExpr(pos, rest);
    default:
        break;
    }
    if (e >= '1' && e <= '9') {
        int k = static_cast<int>(e - '0');
        if (k > m_count)
            raise(20052, "DoRegExpr",
                  "Not so many sub-expressions in this regular expression: " + encode(atom));
        const Slot& slot = m_slots[static_cast<std::size_t>(k)];
        std::size_t len = slot.closed ? slot.end - slot.start : 0;
        if (pos + len > n)
            return std::nullopt;
        for (std::size_t j = 0; j < len; ++j)
            if (!same(s[pos + j], s[slot.start + j]))
                return std::nullopt;
        return doRegExpr(pos + len, rest);
    }
    return literal(e);
}

// Number of subject characters the class matches at `pos` (1, or 2 for a "\n" item on CR LF),
// or 0 when it does not match.
std::size_t RegexEngine::matchClass(std::size_t pos, const U& cls)
{
    const U& s = m_subject;
    if (pos >= s.size())
        return 0;
    const bool ignoreCase = (m_options & reIgnoreCase) != 0;
    U body = cls.substr(1, cls.size() - 2);
    bool negate = !body.empty() && body[0] == '^';
    if (negate)
        body.erase(0, 1);

    // Items are single characters (an escape stands for its character) or the CR LF item "\n".
    struct Item
    {
        char32_t c;
        bool crlf;
    };
    auto itemAt = [&](std::size_t& j) {
        if (body[j] == '\\' && j + 1 < body.size()) {
            char32_t e = body[j + 1];
            j += 2;
            return Item{e, e == 'n'};
        }
        return Item{body[j++], false};
    };
    auto inRange = [&](char32_t c, char32_t lo, char32_t hi) {
        if (c >= lo && c <= hi)
            return true;
        if (!ignoreCase)
            return false;
        char32_t lower = fold(c);
        char32_t upper = (c >= 'a' && c <= 'z') ? c - 32 : c;
        return (lower >= lo && lower <= hi) || (upper >= lo && upper <= hi);
    };
    const char32_t here = s[pos];
    const bool crlfHere = pos + 1 < s.size() && s[pos] == '\r' && s[pos + 1] == '\n';
    std::size_t matched = 0;
    for (std::size_t j = 0; j < body.size() && matched == 0;) {
        Item first = itemAt(j);
        bool range = j + 1 < body.size() && body[j] == '-';
        if (range) {
            ++j;
            Item last = itemAt(j);
            if (first.crlf || last.crlf)
                raise(20050, "MatchSquareBrackets",
                      "Range start or end longer than 1 character: [" + encode(body) + "]");
            if (first.c > last.c)
                raise(20050, "MatchSquareBrackets",
                      "Invalid range in regular expression [" + encode(body) + "]");
            if (inRange(here, first.c, last.c))
                matched = 1;
        } else if (first.crlf) {
            if (crlfHere)
                matched = 2;
        } else if (inRange(here, first.c, first.c)) {
            matched = 1;
        }
    }
    if (negate)
        return matched ? 0 : 1;
    return matched;
}

bool RegexEngine::RegExpr(std::string_view text, std::string_view pattern, std::int32_t options)
{
    m_error.reset();
    m_matched = false;
    m_start = m_end = 0;
    for (int k = 1; k <= m_count; ++k)
        m_slots[static_cast<std::size_t>(k)] = Slot{};
    m_count = 0;
    m_depth = 0;
    m_steps = 0;
    m_options = options;
    m_subject = decode(text);
    try {
        if ((options & reSingleLine) && (options & reMultiline))
            raise(20053, "RegExpr", "Cannot specify both reSingleLine and reMultiline at the same time.");
        const U prepared = processParentheses(expandEscapes(decode(pattern)));
        for (std::size_t i = 0; i <= m_subject.size(); ++i) {
            m_depth = 0;
            if (auto end = doRegExpr(i, prepared)) {
                m_matched = true;
                m_start = i;
                m_end = *end;
                break;
            }
        }
    } catch (const Raise& r) {
        m_error = r.error;
        m_matched = false;
        for (auto& slot : m_slots)
            slot = Slot{};
    }
    return m_matched;
}

bool RegexEngine::checkResultType(std::int32_t type, const char* procedure)
{
    m_error.reset();
    try {
        if (!m_matched)
            raise(20051, procedure, "No match on last call to RegExpr, or RegExpr not called at all");
        if (type > m_count && type < 32)
            raise(20053, procedure, "No match stored for regular sub-expression #" + std::to_string(type));
        if (type < reMatchedText || type > m_count)
            raise(20053, procedure, "Invalid value, parameter ResultType = " + std::to_string(type));
    } catch (const Raise& r) {
        m_error = r.error;
        return false;
    }
    return true;
}

std::optional<std::string> RegexEngine::RegExprResult(std::int32_t type)
{
    if (!checkResultType(type, "RegExprResult"))
        return std::nullopt;
    switch (type) {
    case reTextBefore:
        return encode(m_subject, 0, m_start);
    case reMatchedText:
        return encode(m_subject, m_start, m_end);
    case reTextAfter:
        return encode(m_subject, m_end, m_subject.size());
    case reSubExpressionCount:
        return m_count == 0 ? std::string() : std::to_string(m_count);
    default: {
        const Slot& slot = m_slots[static_cast<std::size_t>(type)];
        return slot.closed ? encode(m_subject, slot.start, slot.end) : std::string();
    }
    }
}

bool RegexEngine::RegExprIndex(std::int32_t type, std::int32_t& start, std::int32_t& length)
{
    if (!checkResultType(type, "RegExprIndex"))
        return false;
    auto i32 = [](std::size_t v) { return static_cast<std::int32_t>(v); };
    switch (type) {
    case reTextBefore:
        start = 1;
        length = i32(m_start);
        break;
    case reMatchedText:
        start = i32(m_start) + 1;
        length = i32(m_end - m_start);
        break;
    case reTextAfter:
        start = i32(m_end) + 1;
        length = i32(m_subject.size() - m_end);
        break;
    case reSubExpressionCount:
        start = length = m_count;
        break;
    default: {
        const Slot& slot = m_slots[static_cast<std::size_t>(type)];
        start = slot.closed ? i32(slot.start) + 1 : 0;
        length = slot.closed ? i32(slot.end - slot.start) : 0;
    }
    }
    return true;
}

bool RegExprTest(std::string_view text, std::string_view pattern)
{
    RegexEngine engine;
    if (!engine.RegExpr(text, pattern, 0))
        return false;
    auto whole = engine.RegExprResult(reMatchedText);
    return whole && *whole == text;
}

} // namespace pellucor
