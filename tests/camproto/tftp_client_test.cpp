// The TFTP write client against Debian's tftpd-hpa and against scripted servers that refuse,
// stay silent, drop, duplicate and delay their ACKs and speak from a second port.
#include "camproto/tftp_client.h"

#include "../io/scratch_dir.h"
#include "tftp_peers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using namespace tessivor;
using namespace tessivor::camproto;
namespace tt = tessivor::testing;
using tt::Bytes;
using tt::ScriptedTftpServer;

namespace {

void writeFile(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// What the callbacks reported.
struct Reports
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    int done = 0;
    int errors = 0;
    TftpError lastError = TftpError::None;
    std::string message;

    TftpCallbacks callbacks()
    {
        TftpCallbacks c;
        c.progress = [this](std::uint64_t a, std::uint64_t t) { progress.emplace_back(a, t); };
        c.done = [this] { ++done; };
        c.error = [this](TftpError e, const std::string& m) {
            ++errors;
            lastError = e;
            message = m;
        };
        return c;
    }
};

TftpWriteOptions quickOptions(std::string name = "fw.bin")
{
    TftpWriteOptions o;
    o.remoteName = std::move(name);
    o.replyTimeoutMs = 400;
    o.sendsPerPacket = 4;
    return o;
}

} // namespace

TEST(TftpPackets, BuildsAndReads)
{
    EXPECT_EQ(buildTftpWriteRequest(""),
              (Bytes{0, 2, 0, 'o', 'c', 't', 'e', 't', 0})); // the camera's 9 bytes
    EXPECT_EQ(buildTftpData(0x0102, Bytes{9}), (Bytes{0, 3, 1, 2, 9}));
    EXPECT_EQ(buildTftpAck(513), (Bytes{0, 4, 2, 1}));

    struct Case
    {
        const char* what;
        Bytes datagram;
        TftpPacket::Kind kind;
        std::uint16_t block;
        std::string message;
    };
    const Case cases[] = {
        {"empty", {}, TftpPacket::Kind::Malformed, 0, ""},
        {"three bytes", {0, 4, 0}, TftpPacket::Kind::Malformed, 0, ""},
        {"ack", {0, 4, 0xFF, 0xFE}, TftpPacket::Kind::Ack, 0xFFFE, ""},
        {"ack with trailing bytes", {0, 4, 0, 7, 1, 2}, TftpPacket::Kind::Ack, 7, ""},
        {"error", {0, 5, 0, 2, 'n', 'o', 0}, TftpPacket::Kind::Error, 0, "no"},
        {"error unterminated", {0, 5, 0, 2, 'n', 'o'}, TftpPacket::Kind::Malformed, 0, ""},
        {"error control bytes", {0, 5, 0, 1, 'a', 0x07, 0xC3, 0}, TftpPacket::Kind::Error, 0, "a??"},
        {"data", {0, 3, 0, 1, 5}, TftpPacket::Kind::Other, 0, ""},
        {"unknown opcode", {0, 9, 0, 1}, TftpPacket::Kind::Malformed, 0, ""},
    };
    for (const Case& c : cases) {
        const TftpPacket p = parseTftpPacket(c.datagram);
        EXPECT_EQ(p.kind, c.kind) << c.what;
        EXPECT_EQ(p.block, c.block) << c.what;
        EXPECT_EQ(p.message, c.message) << c.what;
    }
    Bytes longError{0, 5, 0, 0};
    longError.insert(longError.end(), 1000, 'x');
    longError.push_back(0);
    EXPECT_EQ(parseTftpPacket(longError).message.size(), 128u);
}

TEST(TftpClient, UploadsToTftpdHpaByteIdentical)
{
    if (const std::string why = tt::TftpdHpa::unavailableReason(); !why.empty())
        GTEST_SKIP() << why;
    ScratchDir served, local;
    tt::TftpdHpa server(served.path());
    for (const std::size_t size : {0u, 1u, 511u, 512u, 1024u, 1000u, 1u << 20}) {
        SCOPED_TRACE("size " + std::to_string(size));
        const std::string name = "fw-" + std::to_string(size) + ".bin";
        writeFile(local / name, tt::randomFileBytes(size, static_cast<unsigned>(size)));
        Reports r;
        TftpWriteOptions o;
        o.remoteName = name;
        TftpWriteClient client;
        ASSERT_EQ(client.upload("127.0.0.1", server.port(), (local / name).string(), o, r.callbacks()),
                  TftpError::None)
            << r.message;
        EXPECT_EQ(r.done, 1);
        EXPECT_EQ(r.errors, 0);
        EXPECT_EQ(client.state(), TftpWriteClient::State::Done);
        EXPECT_EQ(client.bytesAcknowledged(), size);
        // One report per block, the final short (possibly empty) block included, rising to the end.
        ASSERT_EQ(r.progress.size(), size / 512 + 1);
        for (std::size_t i = 1; i < r.progress.size(); ++i)
            EXPECT_GE(r.progress[i].first, r.progress[i - 1].first);
        EXPECT_EQ(r.progress.back().first, size);
        EXPECT_EQ(r.progress.back().second, size);
        const std::string cmp = "cmp -s '" + (local / name).string() + "' '" + (served / name).string() + "'";
        EXPECT_EQ(std::system(cmp.c_str()), 0) << "the served copy differs";
    }
}

// One upload of a file to a scripted server.
class ScriptedUpload : public ::testing::Test
{
protected:
    TftpError run(const ScriptedTftpServer::Script& script, const Bytes& file,
                  const TftpWriteOptions& options = quickOptions())
    {
        writeFile(local / "fw.bin", file);
        reports = Reports{};
        server = std::make_unique<ScriptedTftpServer>(script);
        EXPECT_TRUE(server->ok());
        return client.upload("127.0.0.1", server->port(), (local / "fw.bin").string(), options,
                             reports.callbacks());
    }
    // Exactly one error and no done.
    void expectOneError() const
    {
        EXPECT_EQ(reports.errors, 1);
        EXPECT_EQ(reports.done, 0);
        EXPECT_EQ(client.state(), TftpWriteClient::State::Failed);
    }

    ScratchDir local;
    Reports reports;
    TftpWriteClient client;
    std::unique_ptr<ScriptedTftpServer> server;
};

TEST_F(ScriptedUpload, RefusedRequestEndsWithTheServersMessage)
{
    ScriptedTftpServer::Script s;
    s.refuseRequest = true;
    EXPECT_EQ(run(s, tt::randomFileBytes(2000, 1)), TftpError::ServerError);
    expectOneError();
    EXPECT_EQ(reports.message, "Access violation");
}

TEST_F(ScriptedUpload, ErrorInTheMiddleEndsTheUpload)
{
    ScriptedTftpServer::Script s;
    s.errorAfterBlock = 3;
    EXPECT_EQ(run(s, tt::randomFileBytes(4000, 2)), TftpError::ServerError);
    expectOneError();
    EXPECT_EQ(client.bytesAcknowledged(), 1024u);
    EXPECT_EQ(reports.progress.size(), 2u);
}

TEST_F(ScriptedUpload, SilentServerGetsABoundedNumberOfRequests)
{
    ScriptedTftpServer::Script s;
    s.silent = true;
    TftpWriteOptions o = quickOptions();
    o.replyTimeoutMs = 150;
    o.sendsPerPacket = 3;
    EXPECT_EQ(run(s, tt::randomFileBytes(100, 3), o), TftpError::NoReply);
    expectOneError();
    // Let any datagram still in flight arrive before counting.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(server->writeRequests(), 3);
}

TEST_F(ScriptedUpload, LostAcksAreMadeUpByRetransmission)
{
    const Bytes file = tt::randomFileBytes(10 * 512 + 100, 4);
    ScriptedTftpServer::Script s;
    s.dropFirstAckEvery = 2; // every second block needs a second send
    TftpWriteOptions o = quickOptions();
    o.replyTimeoutMs = 200;
    ASSERT_EQ(run(s, file, o), TftpError::None) << reports.message;
    EXPECT_EQ(reports.done, 1);
    EXPECT_TRUE(server->complete());
    EXPECT_EQ(server->file(), file);
    EXPECT_GE(server->retransmissions(), 5);
    EXPECT_EQ(server->requestedName(), "fw.bin");
}

TEST_F(ScriptedUpload, DuplicateLateAndForeignPacketsDoNotCorruptTheFile)
{
    for (const std::size_t size : {0u, 512u, 3000u, 200000u}) {
        SCOPED_TRACE("size " + std::to_string(size));
        const Bytes file = tt::randomFileBytes(size, 5);
        ScriptedTftpServer::Script s;
        s.hostile = true;
        s.ackDelayMs = size < 10000 ? 20 : 0;
        ASSERT_EQ(run(s, file), TftpError::None) << reports.message;
        EXPECT_EQ(reports.done, 1);
        EXPECT_EQ(reports.errors, 0);
        EXPECT_EQ(server->file(), file);
        // A late or duplicated ACK never moves the file on: one report per block.
        EXPECT_EQ(reports.progress.size(), size / 512 + 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_GT(server->strayErrors(), 0) << "the second port was not told it is unknown";
    }
}

TEST_F(ScriptedUpload, FirstAckFromAnotherHostIsRefusedAndTheServerGetsTheFile)
{
    const Bytes file = tt::randomFileBytes(3 * 512 + 7, 7);
    ScriptedTftpServer::Script s;
    s.impostorFirst = true; // ACK 0 from 127.0.0.3, then the server's own from 127.0.0.1
    ASSERT_EQ(run(s, file), TftpError::None) << reports.message;
    EXPECT_EQ(reports.done, 1);
    EXPECT_EQ(server->file(), file);
    EXPECT_EQ(reports.progress.size(), 4u);
    // The other host is told that it is unknown, and gets nothing of the file.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (server->impostorErrors() == 0 && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(server->impostorErrors(), 1);
    EXPECT_EQ(server->impostorData(), 0);
}

TEST_F(ScriptedUpload, AbortEndsAWaitFromAnotherThread)
{
    ScriptedTftpServer::Script s;
    s.silent = true;
    TftpWriteOptions o = quickOptions();
    o.replyTimeoutMs = 60000; // only the abort can end it
    std::thread aborter([&] {
        // Once the upload runs, an abort holds until its next wait, however late that comes.
        while (client.state() != TftpWriteClient::State::Running)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        client.abort();
    });
    EXPECT_EQ(run(s, tt::randomFileBytes(100, 6), o), TftpError::Aborted);
    aborter.join();
    expectOneError();
}

TEST(TftpClient, LocalProblemsAreReportedOnce)
{
    ScratchDir local;
    writeFile(local / "fw.bin", Bytes(10, 1));
    struct Case
    {
        const char* what;
        std::string address;
        std::string file;
        TftpError expected;
    };
    const Case cases[] = {
        {"missing file", "127.0.0.1", (local / "none.bin").string(), TftpError::FileUnreadable},
        {"a folder", "127.0.0.1", local.path().string(), TftpError::FileUnreadable},
        {"not an address", "camera.invalid", (local / "fw.bin").string(), TftpError::SocketNotOpened},
    };
    for (const Case& c : cases) {
        Reports r;
        TftpWriteClient client;
        EXPECT_EQ(client.upload(c.address, 69, c.file, quickOptions(), r.callbacks()), c.expected) << c.what;
        EXPECT_EQ(r.errors, 1) << c.what;
        EXPECT_EQ(r.done, 0) << c.what;
    }
}
