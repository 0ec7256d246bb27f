// The parsers of the HTTP picture streams, on hand-made bytes: the edges of the length rules,
// heads that arrive in pieces, and streams that are broken in the ways cameras break them.
#include "control/stream_parsers.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace tessivor;

namespace {

ByteView bytes(const std::string& s)
{
    return ByteView(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

TEST(PushHeads, StatusNeedsTheExactHttp10OkLine)
{
    const struct
    {
        const char* block;
        int result;
    } cases[] = {
        {"HTTP/1.0 200 OK\r\nContent-length: 5\r\n", -1},
        {"HTTP/1.1 200 OK\r\nContent-length: 5\r\n", 0},
        {"HTTP/1.0 401 Unauthorized\r\n\r\n", 5},
        {"HTTP/1.0 403 Forbidden\r\n\r\n", 4},
        {"HTTP/1.0 400 Bad Request\r\n\r\n", 3},
        {"HTTP/1.1 200 OK\r\nX: 401\r\n", 5}, // a refusal code anywhere counts when the 200 line is missing
        {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(classifyPushStatus(bytes(c.block)), c.result) << c.block;
}

TEST(PushHeads, LengthRulesAndFrameStarts)
{
    using S = PartHead::Status;
    const struct
    {
        std::string data;
        FrameStart rule;
        bool complete;
        S status;
        std::uint32_t length;
        std::size_t frameStart;
    } cases[] = {
        {"--b\r\nContent-length: 1234\r\nContent-type: image/jpeg\r\n\r\nJPEG", FrameStart::AfterImageJpeg,
         true, S::Found, 1234, 55},
        {"Content-length:100000\r\nContent-type: image/jpeg\r\n\r\n", FrameStart::AfterImageJpeg, true,
         S::Found, 100000, 51},
        {"Content-length:100001\r\nContent-type: image/jpeg\r\n\r\n", FrameStart::AfterImageJpeg, true,
         S::BadLength, 0, 0},
        {"Content-length: 0\r\n\r\n", FrameStart::AfterEmptyLine, true, S::BadLength, 0, 0},
        {"Content-length:0000012\r\n\r\n", FrameStart::AfterEmptyLine, true, S::BadLengthText, 0, 0},
        {"Content-length:\r\n\r\n", FrameStart::AfterEmptyLine, true, S::BadLengthText, 0, 0},
        {"Content-length: 12", FrameStart::AfterEmptyLine, false, S::Incomplete, 0, 0},
        {"Content-length: 12", FrameStart::AfterEmptyLine, true, S::BadLengthText, 0, 0},
        {"Content-length: 1234567", FrameStart::AfterEmptyLine, false, S::BadLengthText, 0, 0},
        {"Content-length: 12\r\nContent-type: image/jpeg\r\n", FrameStart::AfterEmptyLine, false,
         S::Incomplete, 0, 0},
        {"Content-length: 12\r\nContent-type: image/jpeg\r\n", FrameStart::AfterEmptyLine, true,
         S::NoFrameStart, 0, 0},
        {"Content-length: 12\r\nContent-type: image/gif\r\n\r\n", FrameStart::AfterImageJpeg, true,
         S::NoFrameStart, 0, 0},
        {"Content-length: 7\r\nContent-type: image/jpeg\r\n\r\nabcdefg", FrameStart::AfterNextLine, true,
         S::Found, 7, 47},
        {"Content-length: 7\r\nContent-type: image/jpeg\r\nX: y\r\n\r\n", FrameStart::AfterNextLine, true,
         S::NoFrameStart, 0, 0},
        {"Content-type: image/jpeg\r\n\r\n", FrameStart::AfterEmptyLine, true, S::NoLength, 0, 0},
        {"Content-length: 9\r\n\r\n", FrameStart::AfterEmptyLine, false, S::Found, 9, 21},
    };
    for (const auto& c : cases) {
        const PartHead h = parsePartHead(bytes(c.data), c.rule, c.complete);
        EXPECT_EQ(h.status, c.status) << c.data;
        if (c.status == S::Found) {
            EXPECT_EQ(h.length, c.length) << c.data;
            EXPECT_EQ(h.frameStart, c.frameStart) << c.data;
        }
    }
}

TEST(PushHeads, PanTiltPosition)
{
    const struct
    {
        const char* head;
        bool found;
        int x, y;
    } cases[] = {
        {"Date: 01-02-2026 10:11:12 _PT_120_045\r\n", true, 120, 45},
        {"Date: x _PT_7_003\r\n", true, 7, 3}, // Y is read 8 after "_PT_" whatever the X width
        {"Date: x _PT_007_003\r\n", true, 7, 3},
        {"X-Date _PT_120_045\r\n", false, 0, 0},
        {"Date: x _PT_1200_045\r\n", false, 0, 0},
        {"Date: x _PT_120_04", false, 0, 0},
        {"_PT_120_045 Date: x", false, 0, 0},
    };
    for (const auto& c : cases) {
        auto pt = parsePanTilt(bytes(c.head));
        ASSERT_EQ(pt.has_value(), c.found) << c.head;
        if (c.found) {
            EXPECT_EQ(pt->x, c.x) << c.head;
            EXPECT_EQ(pt->y, c.y) << c.head;
        }
    }
}

// ---- repeated-request answers ----

std::string answer(const std::string& body, const std::string& extraHeaders = "")
{
    return "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n" + extraHeaders + "\r\n" + body;
}

std::string body(char fill, std::size_t size = 500)
{
    std::string b(size, fill);
    b.front() = '<';
    b.back() = '>';
    return b;
}

struct Taken
{
    std::vector<std::string> frames;
    std::vector<int> heads;
    std::string reconnect;
};

// Feeds `stream` in pieces of `piece` bytes and takes everything the gatherer yields.
Taken gather(const std::string& stream, std::size_t piece)
{
    MjpegGatherer g;
    Taken t;
    std::size_t pos = 0;
    while (t.reconnect.empty()) {
        if (pos < stream.size()) {
            auto room = g.space();
            const std::size_t n = std::min({piece, room.size(), stream.size() - pos});
            std::copy_n(stream.data() + pos, n, room.data());
            g.commit(n);
            pos += n;
        }
        bool more = true;
        while (more) {
            switch (g.next()) {
            case MjpegGatherer::Kind::NeedMore:
                more = false;
                break;
            case MjpegGatherer::Kind::Head:
                t.heads.push_back(g.answer().status);
                break;
            case MjpegGatherer::Kind::Frame:
                t.frames.emplace_back(reinterpret_cast<const char*>(g.frame().data()), g.frame().size());
                break;
            case MjpegGatherer::Kind::Reconnect:
                t.reconnect = g.reason();
                more = false;
                break;
            }
        }
        if (pos >= stream.size() && t.reconnect.empty())
            break;
    }
    return t;
}

TEST(Gatherer, AnswersInAnyPiecesGiveTheSameFramesInOrder)
{
    const std::string stream = answer(body('a'), "Time: 1700000000\r\nUsec: 5\r\nUserdata: cam 1\r\n") +
                               "HTTP/1.0 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n" +
                               answer(body('b')) + "\r\n--boundary\r\n" + answer(body('c', 149999));
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{1024}, stream.size()}) {
        const Taken t = gather(stream, piece);
        EXPECT_EQ(t.reconnect, "") << piece;
        ASSERT_EQ(t.frames.size(), 3u) << piece;
        EXPECT_EQ(t.frames[0], body('a'));
        EXPECT_EQ(t.frames[1], body('b'));
        EXPECT_EQ(t.frames[2], body('c', 149999));
        EXPECT_EQ(t.heads, (std::vector<int>{200, 503, 200, 200})) << piece;
    }
}

TEST(Gatherer, HeadFieldsAreRead)
{
    MjpegGatherer g;
    const std::string s = answer(body('x'), "time: 1700000000\r\nUsec:12\r\nUserdata:  door  \r\n");
    auto room = g.space();
    std::copy(s.begin(), s.end(), room.begin());
    g.commit(s.size());
    ASSERT_EQ(g.next(), MjpegGatherer::Kind::Head);
    EXPECT_EQ(g.answer().length, 500u);
    EXPECT_EQ(g.answer().time, 1700000000);
    EXPECT_EQ(g.answer().usec, 12);
    EXPECT_EQ(g.answer().userData, "door");
    ASSERT_EQ(g.next(), MjpegGatherer::Kind::Frame);
    EXPECT_EQ(g.next(), MjpegGatherer::Kind::NeedMore);
}

TEST(Gatherer, BrokenStreamsAskForANewConnectionAndHandNothingOn)
{
    const struct
    {
        std::string stream;
        const char* why;
    } cases[] = {
        {"HTTP/1.0 404 Not Found\r\n\r\n", "answer is neither 200 nor 503"},
        {"HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n\r\n" + body('a'),
         "frame length outside the limits"},
        {"HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n" + body('a', 100),
         "frame length outside the limits"},
        {"HTTP/1.0 200 OK\r\nContent-Length: 150000\r\n\r\n", "frame length outside the limits"},
        {"HTTP/1.0 200 OK\r\nContent-Length: 2000000000\r\n\r\n", "frame length outside the limits"},
        {"HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n", "frame length outside the limits"},
        {"HTTP/1.0 200 OK\r\nX: " + std::string(2000, 'x') + "\r\n\r\n", "answer head too long"},
        {std::string(3000, 'j') + answer(body('a')), "no answer head"},
        {"HTTP/1.0 2000 OK\r\n\r\n", "malformed status line"},
    };
    for (const auto& c : cases) {
        const Taken t = gather(c.stream, 100);
        EXPECT_EQ(t.reconnect, c.why) << c.stream.substr(0, 60);
        EXPECT_TRUE(t.frames.empty()) << c.stream.substr(0, 60);
    }
}

TEST(Gatherer, RandomBytesNeverOverrunTheArea)
{
    std::mt19937 rng(7);
    MjpegGatherer g;
    std::size_t fed = 0;
    while (fed < 2'000'000) {
        auto room = g.space();
        ASSERT_FALSE(room.empty());
        const std::size_t n = std::min<std::size_t>(room.size(), 1 + rng() % 5000);
        for (std::size_t i = 0; i < n; ++i)
            room[i] = static_cast<std::uint8_t>("HTTP/1.0 200 OK\r\nContent-Length: 300\r\n\r\n"[rng() % 41] ^
                                                (rng() % 8 == 0 ? rng() : 0));
        g.commit(n);
        fed += n;
        for (auto k = g.next(); k != MjpegGatherer::Kind::NeedMore; k = g.next()) {
            if (k == MjpegGatherer::Kind::Reconnect) {
                g.reset();
                break;
            }
            if (k == MjpegGatherer::Kind::Frame) {
                EXPECT_GE(g.frame().size(), MjpegGatherer::kMinFrame);
                EXPECT_LE(g.frame().size(), MjpegGatherer::kMaxFrame);
            }
        }
        EXPECT_LE(g.pending(), MjpegGatherer::kCapacity);
    }
}

} // namespace
