// The program's own regular-expression engine, used to check typed input fields.
//
// A backtracking matcher that works on the pattern text itself: the pattern is rewritten once
// (escapes expanded, capturing groups marked with the control character of their slot number
// 1..31) and then matched by recursive descent, re-reading the rest of the pattern at each step.
// The recursion is bounded: past 1000 nested steps the match ends with error 20052, so a long
// subject against a repeated atom is refused rather than overflowing the stack. So is the work of
// one call (a pattern that backtracks exponentially, "(a|a)*b" against a run of a's, ends with the
// same error after kMaxSteps steps) and the length of a pattern once its {n,m} counts are spelled out.
//
// Syntax: literals, ".", "^", "$", classes [...] with ranges and negation, \w \W \d \D \s \S,
// \t \r \f \a \e \cX \xHH \0ooo \Q...\E, \A \Z \b \B, \n (a CR LF pair), back-references \1..\9,
// groups (...), (?:...), look-ahead (?=...) (?!...), comments (?#...), alternation, and the
// quantifiers * + ? {n} {n,} {n,m}, each with a lazy form ending in "?".
// Options: 1 ignore case (ASCII letters), 2 single line ("." also matches at CR LF), 4 multi line
// ("^" and "$" also at CR LF pairs).
//
// Positions count characters (Unicode code points of the UTF-8 texts) from 1.
// One object per user; an object is not for use by two threads at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellucor {

enum RegexOption : std::int32_t
{
    reIgnoreCase = 1,
    reSingleLine = 2,
    reMultiline = 4,
};

// Error numbers: 20050 counts, limits and ranges; 20051 results asked for without a match;
// 20052 pattern syntax and limits; 20053 invalid options and result types; 20054 internal errors.
struct RegexError
{
    std::int32_t number = 0;
    std::string source;      // "pellucor.RegExpr"
    std::string description; // "Error in RegExpr.<procedure>: <text>"
};

// Result types of RegExprResult and RegExprIndex.
enum RegexResultType : std::int32_t
{
    reTextBefore = -2,
    reMatchedText = -3,
    reTextAfter = -1,
    reSubExpressionCount = 0,
};

class RegexEngine
{
public:
    static constexpr int kMaxSubExpressions = 31;
    static constexpr int kMaxDepth = 1000;
    static constexpr long kMaxSteps = 200000;
    static constexpr std::size_t kMaxPatternLength = 16384;

    // Searches `text` for the first match of `pattern`. True on a match. False when there is
    // none or on an error; error() tells the two apart. The result of the call is kept for
    // RegExprResult and RegExprIndex; after an error no match is stored.
    bool RegExpr(std::string_view text, std::string_view pattern, std::int32_t options);

    // -2 the text before the match, -3 the match, -1 the text after it, 0 the number of
    // sub-expressions (empty when none), 1..31 the text of that sub-expression (empty when it
    // took no part). Nothing, with error() set, without a stored match or for a bad type.
    std::optional<std::string> RegExprResult(std::int32_t type);

    // Start (1-based) and length of the same pieces; for 0 the count in both. False, with
    // error() set and the outputs untouched, without a stored match or for a bad type.
    bool RegExprIndex(std::int32_t type, std::int32_t& start, std::int32_t& length);

    // The error of the last call, if it failed.
    const std::optional<RegexError>& error() const { return m_error; }
    bool matched() const { return m_matched; }
    int subExpressionCount() const { return m_count; }

private:
    struct Slot
    {
        bool open = false;
        bool closed = false;
        std::size_t start = 0; // 0-based, first character
        std::size_t end = 0;   // 0-based, one past the last character
        int openLevel = 0;
        int closeLevel = 0;
    };
    struct Raise; // internal unwinding of an error to the public call

    std::u32string expandEscapes(const std::u32string& pattern);
    std::u32string processParentheses(const std::u32string& pattern);
    std::optional<std::size_t> doRegExpr(std::size_t pos, const std::u32string& pattern);
    std::optional<std::size_t> matchQuantified(std::size_t pos, const std::u32string& atom,
                                               const std::u32string& quantifier, const std::u32string& rest);
    std::optional<std::size_t> matchAtom(std::size_t pos, const std::u32string& atom,
                                         const std::u32string& rest);
    std::size_t matchClass(std::size_t pos, const std::u32string& cls);
    bool checkResultType(std::int32_t type, const char* procedure);
    [[noreturn]] void raise(std::int32_t number, const char* procedure, const std::string& text) const;
    std::string shown(const std::u32string& pattern) const;

    bool m_matched = false;
    std::size_t m_start = 0; // 0-based
    std::size_t m_end = 0;   // 0-based, one past the match
    std::u32string m_subject;
    std::int32_t m_options = 0;
    int m_count = 0;
    std::vector<Slot> m_slots = std::vector<Slot>(kMaxSubExpressions + 1);
    int m_depth = 0;
    long m_steps = 0;
    std::optional<RegexError> m_error;
};

// True when `pattern` matches the whole of `text` (case-sensitive, no options). A pattern the
// engine refuses, or a match it cannot finish within its depth limit, counts as no match: the
// typed value is invalid.
bool RegExprTest(std::string_view text, std::string_view pattern);

} // namespace pellucor
