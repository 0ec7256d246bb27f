// The Base64 coder against coreutils' base64; the strict and the streaming decoder on the same
// damaged input.
#include "../io/scratch_dir.h"
#include "platform/base64.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

using namespace tessivor;
namespace fs = std::filesystem;

namespace {

std::string runAndRead(const std::string& command)
{
    std::string out;
    if (std::FILE* p = ::popen(command.c_str(), "r")) {
        char b[65536];
        std::size_t n;
        while ((n = std::fread(b, 1, sizeof b, p)) > 0)
            out.append(b, n);
        ::pclose(p);
    }
    return out;
}

} // namespace

TEST(Base64, MatchesCoreutilsOnAThousandRandomInputs)
{
    ScratchDir scratch;
    const fs::path dir = scratch.path();
    ASSERT_FALSE(dir.empty());
    std::mt19937 rng(20240611);
    std::vector<std::string> inputs;
    for (int i = 0; i < 1000; ++i) {
        std::string s(std::uniform_int_distribution<int>(0, 768)(rng), '\0');
        for (char& c : s)
            c = static_cast<char>(rng());
        char name[16];
        std::snprintf(name, sizeof name, "%04d", i);
        std::ofstream(dir / name, std::ios::binary).write(s.data(), static_cast<std::streamsize>(s.size()));
        inputs.push_back(std::move(s));
    }
    // One line of coreutils output per input, in name order.
    const std::string all =
        runAndRead("for f in '" + dir.string() + "'/*; do base64 -w0 \"$f\" && echo; done");
    std::vector<std::string> expected;
    std::size_t pos = 0;
    for (std::size_t nl; (nl = all.find('\n', pos)) != std::string::npos; pos = nl + 1)
        expected.push_back(all.substr(pos, nl - pos));
    ASSERT_EQ(expected.size(), inputs.size()) << "coreutils base64 did not run";
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(base64Encode(inputs[i]), expected[i]);
        const auto decoded = base64Decode(expected[i]);
        ASSERT_TRUE(decoded.has_value());
        ASSERT_TRUE(*decoded == inputs[i]);
    }
}

// The strict decoder refuses what the streaming one skips; both stop a group at "=" and take a
// short last group. The streaming one gives the same bytes however the input is cut.
TEST(Base64, StrictAndStreamingDecoding)
{
    struct Case
    {
        const char* code;
        std::optional<std::string> strict;
        std::string streaming;
    };
    const Case cases[] = {
        {"", "", ""},
        {"YWJj", "abc", "abc"},
        {"YWI=", "ab", "ab"},
        {"YWI", "ab", "ab"}, // padding left out
        {"YQ", "a", "a"},
        {"Y", "", ""},                  // a lone character carries no byte
        {"YW Jj", std::nullopt, "abc"}, // a blank
        {"YWJj\r\nZGVm", std::nullopt, "abcdef"},
        {"YWJj\xC3\xA9", std::nullopt, "abc"},
        {"YQ==YWJj", "a", "aabc"}, // the strict decoder ends at "=", the stream goes on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(base64Decode(c.code), c.strict);
        const std::string code = c.code;
        for (std::size_t piece = 1; piece <= code.size() + 1; ++piece) {
            Base64Decoder decoder;
            std::string out;
            for (std::size_t at = 0; at < code.size(); at += piece)
                decoder.decode(code.data() + at, std::min(piece, code.size() - at), out);
            decoder.finish(out);
            EXPECT_EQ(out, c.streaming) << "pieces of " << piece;
        }
    }
}
