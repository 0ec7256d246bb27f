#include "control/cimage.h"
#include "event_recorder.h"
#include "platform/clock.h"
#include "tests/control/cimage_peer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace tessivor;
using namespace tessivor::testing;

namespace {

std::string listing(const std::vector<MemberInfo>& members)
{
    std::ostringstream out;
    for (const MemberInfo& m : members)
        out << m.id << '\t' << m.name << '\t' << invokeKindName(m.kind) << '\t' << m.signature() << '\n';
    return out.str();
}

TEST(MemberTable, MatchesTheInterfaceDefinition)
{
    std::ifstream in(std::string(TESSIVOR_SOURCE_DIR) + "/tests/fixtures/iimage_members.tsv");
    ASSERT_TRUE(in);
    std::stringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(listing(imageDispatchTable().members()), expected.str());
}

// Calls a member late-bound by name, as a script host does.
class Late
{
public:
    explicit Late(CImage& c) : m_c(c) {}

    HRESULT put(const char* name, Variant v)
    {
        DispId id = 0;
        EXPECT_EQ(imageDispatchTable().idOfName(name, &id), S_OK) << name;
        DispParams p = DispParams::fromDeclared({std::move(v)});
        return imageDispatchTable().invoke(m_c, id, InvokeKind::PropertyPut, p, nullptr);
    }
    Variant get(const char* name)
    {
        DispId id = 0;
        EXPECT_EQ(imageDispatchTable().idOfName(name, &id), S_OK) << name;
        DispParams p;
        Variant v;
        EXPECT_EQ(imageDispatchTable().invoke(m_c, id, InvokeKind::PropertyGet, p, &v), S_OK) << name;
        return v;
    }

private:
    CImage& m_c;
};

TEST(MemberTable, DefaultsOfAFreshControl)
{
    CImage c;
    Late late(c);
    const std::pair<const char*, Variant> defaults[] = {
        {"RemoteHost", Variant::str("192.168.0.20")},
        {"RemotePort", Variant::i4(8481)},
        {"TimeOut", Variant::i4(3)},
        {"ConnTimeOut", Variant::i4(3)},
        {"PreviewWidth", Variant::i4(320)},
        {"PreviewHeight", Variant::i4(240)},
        {"FrameRate", Variant::i4(30)},
        {"RotateAngle", Variant::i4(0)},
        {"Status", Variant::i4(0)},
        {"MotionSensitivity", Variant::i4(5)},
        {"SplitFileMode", Variant::i4(FILE_SIZE)},
        {"Mirrror", Variant::boolean(false)},
        {"DateHeight", Variant::i4(20)},
        {"DateWidth", Variant::i4(150)},
        {"ReservedSpace", Variant::i4(100)},
        {"MinReservedSpace", Variant::i4(100)},
        {"SplitFileSpace", Variant::i4(30)},
        {"SplitFileTime", Variant::i4(20)},
        {"UserName", Variant::str("pelko")},
        {"Password", Variant::str("pelko")},
        {"NormalFilePath", Variant::str("c:\\")},
        {"MotionFilePath", Variant::str("c:\\")},
        {"EMailFileName", Variant::str("c:\\1.jpg")},
        {"HaveRecycleFunction", Variant::boolean(false)},
        {"VERSION", Variant::str("1.00.05")},
        {"Protocol", Variant::i4(1)},
        {"EnableProxy", Variant::boolean(false)},
        {"ProxyPort", Variant::i4(8080)},
        {"ProxyServerAddress", Variant::str("192.168.0.20")},
        {"BypassProxyServer", Variant::boolean(VariantBool(1))},
        {"LocalCamera", Variant::boolean(VariantBool(1))},
        {"DrawImage", Variant::boolean(VariantBool(1))},
        {"SocketState", Variant::i4(0)},
        {"ImageInterval", Variant::i4(0)},
        {"EnableServer", Variant::boolean(false)},
        {"ConnectCameraNoForServer", Variant::i4(1)},
        {"RemoteWebPort", Variant::i4(80)},
        {"DisplayDelay", Variant::i4(65)},
        {"MailIntervalTime", Variant::i4(0)},
        {"BKText", Variant::str("")},
        {"longErrCode", Variant::i4(0)},
        {"OtherDC", Variant::boolean(false)},
        {"LockRecord", Variant::boolean(false)},
        {"MotionBlockCount", Variant::i4(0)},
    };
    for (const auto& [name, value] : defaults)
        EXPECT_EQ(late.get(name), value) << name;
}

TEST(MemberTable, StoredValuesReadBack)
{
    CImage c;
    Late late(c);
    const std::pair<const char*, Variant> values[] = {
        {"RemotePort", Variant::i4(9000)},
        {"TimeOut", Variant::i4(7)},
        {"PreviewWidth", Variant::i4(640)},
        {"FrameRate", Variant::i4(5)},
        {"RotateAngle", Variant::i4(90)},
        {"MotionDetectMode", Variant::i4(13)},
        {"DateWidth", Variant::i4(1)},
        {"SplitFileMode", Variant::i4(FILE_TIME)},
        {"Protocol", Variant::i4(50)},
        {"ProxyServerAddress", Variant::str("proxy.example")},
        {"NormalFilePath", Variant::str("/tmp/rec")},
        {"SendMailID", Variant::str("alice")},
        {"ImageInterval", Variant::i4(-4)},
        {"PreviewTargetLeft", Variant::i4(-20)},
        {"ConnTimeOut", Variant::i4(9)},
        {"BKText", Variant::str("Garage")},
    };
    for (const auto& [name, value] : values) {
        EXPECT_EQ(late.put(name, value), S_OK) << name;
        EXPECT_EQ(late.get(name), value) << name;
    }
    // One value behind two names.
    late.put("ReservedSpace", Variant::i4(50));
    EXPECT_EQ(late.get("MinReservedSpace"), Variant::i4(50));
    late.put("MinReservedSpace", Variant::i4(70));
    EXPECT_EQ(late.get("ReservedSpace"), Variant::i4(70));
}

TEST(MemberTable, BooleansAreStoredWidenedAndReadAsTheirLowHalf)
{
    CImage c;
    Late late(c);
    late.put("EnableProxy", Variant::i4(1));
    EXPECT_EQ(CImagePeer::connection(c).read().m_bEnableProxy, 1);
    late.put("EnableProxy", Variant::boolean(true));
    EXPECT_EQ(CImagePeer::connection(c).read().m_bEnableProxy, -1);
    EXPECT_EQ(late.get("EnableProxy"), Variant::boolean(VARIANT_TRUE));
}

// Every frame is resampled to the preview size: a size beyond 8192 is refused and the previous
// one stays, so that a host's typo cannot make each frame a multi-gigabyte picture.
TEST(MemberTable, PreviewSizeAboveTheLimitIsRefusedKeepingThePreviousSize)
{
    struct Case
    {
        std::int32_t put;
        HRESULT result;
        std::int32_t stored;
    };
    const Case cases[] = {
        {640, S_OK, 640},       {8192, S_OK, 8192},         {8193, S_FALSE, 8192},
        {26000, S_FALSE, 8192}, {INT32_MAX, S_FALSE, 8192}, {0, S_OK, 0},
    };
    using Put = HRESULT (CImage::*)(std::int32_t);
    using Get = HRESULT (CImage::*)(std::int32_t*);
    const std::pair<Put, Get> sides[] = {{&CImage::put_PreviewWidth, &CImage::get_PreviewWidth},
                                         {&CImage::put_PreviewHeight, &CImage::get_PreviewHeight}};
    for (const auto& [put, get] : sides) {
        CImage c;
        for (const Case& k : cases) {
            SCOPED_TRACE(k.put);
            EXPECT_EQ((c.*put)(k.put), k.result);
            std::int32_t v = -1;
            (c.*get)(&v);
            EXPECT_EQ(v, k.stored);
        }
    }
}

TEST(MemberTable, RemoteHostParsesDottedAddressesOnly)
{
    struct Case
    {
        const char* text;
        HRESULT result;
        std::array<std::uint8_t, 4> ip; // after the put, starting from 9.9.9.9
    };
    const Case cases[] = {
        {"10.1.2.3", S_OK, {10, 1, 2, 3}},
        {"camera.local", S_OK, {9, 9, 9, 9}}, // a host name: bytes untouched
        {"", S_OK, {9, 9, 9, 9}},
        {"10.0.0.300", S_FALSE, {10, 0, 0, 9}}, // bytes before the bad part stay written
        {"256.1.1.1", S_FALSE, {9, 9, 9, 9}},
        {"1.2.3", S_OK, {9, 9, 9, 9}}, // not four parts: not an address
        {"1.2.3.4.5", S_OK, {9, 9, 9, 9}},
        {"1.2..4", S_OK, {9, 9, 9, 9}},
        {"1.2.3.99999999999999999999999", S_FALSE, {1, 2, 3, 9}},
    };
    for (const Case& k : cases) {
        CImage c;
        CImagePeer::connection(c).update([](ConnectionSettings& s) { s.m_TargetIp = {9, 9, 9, 9}; });
        EXPECT_EQ(c.put_RemoteHost(k.text), k.result) << k.text;
        EXPECT_EQ(CImagePeer::connection(c).read().m_TargetIp, k.ip) << k.text;
        std::string back;
        c.get_RemoteHost(&back);
        EXPECT_EQ(back, k.text);
    }
}

TEST(MemberTable, MacAddressParsesSixParts)
{
    struct Case
    {
        const char* text;
        HRESULT result;
        std::array<std::uint8_t, 6> mac; // after the put, starting from all 7
    };
    const Case cases[] = {
        {"0.0.0.0.0.0", S_OK, {0, 0, 0, 0, 0, 0}},
        {"0.17.34.51.68.255", S_OK, {0, 17, 34, 51, 68, 255}},
        {"1.2.3.256.5.6", S_FALSE, {1, 2, 3, 7, 7, 7}},
        {"1.2", S_OK, {1, 2, 7, 7, 7, 7}}, // missing parts leave their bytes
        {"1.x.3.4.5.6", S_OK, {1, 7, 7, 7, 7, 7}},
    };
    for (const Case& k : cases) {
        CImage c;
        CImagePeer::connection(c).update([](ConnectionSettings& s) { s.m_TargetMac.fill(7); });
        EXPECT_EQ(c.put_MACAddress(k.text), k.result) << k.text;
        EXPECT_EQ(CImagePeer::connection(c).read().m_TargetMac, k.mac) << k.text;
    }
}

TEST(MemberTable, TextsAreCutToTheirFields)
{
    CImage c;
    const std::string longText(400, 'x');
    c.put_UserName(longText);
    std::string back;
    c.get_UserName(&back);
    EXPECT_EQ(back.size(), 259u);
    c.put_BKText(longText);
    c.get_BKText(&back);
    EXPECT_EQ(back.size(), 99u);
    c.SetCaption(1, longText, 0);
    EXPECT_EQ(CImagePeer::drawing(c).read().m_szCaption.view().size(), 99u);
    // A multi-byte character at the cut is not split.
    c.put_Password(std::string(258, 'p') + "\xC3\xA9");
    c.get_Password(&back);
    EXPECT_EQ(back, std::string(258, 'p'));
}

TEST(MemberTable, FixedAnswersAndMembersThatWriteNothing)
{
    CImage c;
    VariantBool untouched = VariantBool(42);
    EXPECT_EQ(c.get_DuringInitRec(&untouched), S_OK);
    EXPECT_EQ(boolValue(untouched), 42);
    CImagePeer::http(c).m_lErrCode = 12;
    c.put_longErrCode(99);
    std::int32_t v = 0;
    c.get_longErrCode(&v);
    EXPECT_EQ(v, 12);
}

TEST(MemberTable, FrameCountIsResetByReading)
{
    CImage c;
    CImagePeer::streaminfo(c).m_nFrameCount = 17;
    std::int32_t v = 0;
    c.get_FrameCount(&v);
    EXPECT_EQ(v, 17);
    c.get_FrameCount(&v);
    EXPECT_EQ(v, 0);
}

TEST(MemberTable, MotionRectanglesStayInsideTheTable)
{
    CImage c;
    c.SetMotionBlock(15, 1, 2, 3, 4);
    c.SetMotionBlock(16, 9, 9, 9, 9); // ignored
    c.SetMotionBlock(-1, 9, 9, 9, 9); // ignored
    EXPECT_EQ(CImagePeer::motionSettings(c).read().m_MotionRects[15].right, 3);
    c.put_MotionBlockCount(40);
    std::int32_t n = 0;
    c.get_MotionBlockCount(&n);
    EXPECT_EQ(n, 16);
    c.put_MotionBlockCount(-3);
    c.get_MotionBlockCount(&n);
    EXPECT_EQ(n, 0);
}

TEST(MemberTable, ClientStructPointNamesTheBlockNotItsAddress)
{
    std::int32_t id = 0;
    {
        CImage c;
        c.get_ClientStructPoint(&id);
        auto block = findClientBlock(id);
        ASSERT_TRUE(block);
        EXPECT_EQ(block->nextSlot.load(), 1);
        EXPECT_EQ(block.get(), CImagePeer::sharing(c).m_ClientBlock.get());
    }
    EXPECT_FALSE(findClientBlock(id)); // the control is gone
}

// Time that passes only when someone sleeps.
class SteppingClock : public Clock
{
public:
    std::uint32_t tickCount() override { return ticks; }
    void sleepMs(std::uint32_t ms) override { ticks += ms; }
    std::time_t now() override { return 0; }
    std::uint32_t ticks = 0;
};

TEST(MemberTable, SnapshotWithoutFramesGivesUpAndWithdrawsTheRequest)
{
    SteppingClock fake;
    installClock(&fake);
    CImage c;
    c.Capture("/tmp/first.jpg", 2);
    EXPECT_EQ(CImagePeer::capture(c).m_nCaptureSize.load(), 2);
    EXPECT_EQ(CImagePeer::capture(c).m_bCaptureRequest.load(), 1);
    CImagePeer::capture(c).m_bCaptureRequest = 0;

    std::int32_t v = 5;
    EXPECT_EQ(c.Snapshot("/tmp/snap.jpg", &v), S_OK);
    installClock(nullptr);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(CImagePeer::capture(c).m_bCaptureRequest.load(), 0);
    EXPECT_EQ(CImagePeer::capture(c).m_szCaptureFile.view(), "/tmp/snap.jpg");
    EXPECT_EQ(CImagePeer::capture(c).m_nCaptureSize.load(), 2); // the size code stays as Capture left it
    EXPECT_GE(fake.ticks, 5000u);
}

TEST(MemberTable, SnapshotReturnsOnceThePipelineClearedTheRequest)
{
    CImage c;
    std::thread pipeline([&] {
        while (CImagePeer::capture(c).m_bCaptureRequest.load() == 0)
            std::this_thread::yield();
        CImagePeer::capture(c).m_nCaptureResult = -1; // written
        CImagePeer::capture(c).m_bCaptureRequest = 0;
    });
    std::int32_t v = 0;
    c.Snapshot("/tmp/snap.jpg", &v);
    pipeline.join();
    EXPECT_EQ(v, -1);
}

} // namespace
