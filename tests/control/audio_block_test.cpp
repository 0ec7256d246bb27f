// Sound blocks as the camera sends them: checks of every field, playing into a WAV file, and
// recording into an open AVI file.
#include "control/audio_block.h"
#include "control/cimage.h"
#include "event_recorder.h"
#include "media_tools.h"
#include "tests/control/cimage_peer.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tessivor;
using namespace tessivor::testing;
using namespace mediatest;

namespace {

std::vector<std::uint8_t> makeBlock(int bits, int channels, int adpcm, int rate, int stepIndex, int sample,
                                    std::vector<std::uint8_t> data, int declaredLength = -1)
{
    const int length = declaredLength < 0 ? static_cast<int>(data.size()) : declaredLength;
    std::vector<std::uint8_t> b(16, 0);
    b[0] = static_cast<std::uint8_t>(bits);
    b[1] = static_cast<std::uint8_t>(channels);
    b[2] = static_cast<std::uint8_t>(adpcm);
    b[4] = static_cast<std::uint8_t>(rate);
    b[5] = static_cast<std::uint8_t>(rate >> 8);
    b[8] = static_cast<std::uint8_t>(stepIndex);
    b[10] = static_cast<std::uint8_t>(sample);
    b[11] = static_cast<std::uint8_t>(sample >> 8);
    b[12] = static_cast<std::uint8_t>(length);
    b[13] = static_cast<std::uint8_t>(length >> 8);
    b.reserve(16 + data.size());
    for (std::uint8_t v : data)
        b.push_back(v);
    return b;
}

TEST(AudioBlockTest, FieldsAreCheckedBeforeAnythingIsPlayed)
{
    const std::vector<std::uint8_t> d100(100, 0x11);
    struct Case
    {
        const char* name;
        std::vector<std::uint8_t> body;
        AudioBlockStatus expected;
        std::size_t dataBytes;
    };
    const Case cases[] = {
        {"adpcm mono", makeBlock(16, 1, 1, 8000, 0x80, -5, d100), AudioBlockStatus::Ok, 100},
        {"pcm 16 stereo", makeBlock(16, 2, 0, 44100, 0, 0, d100), AudioBlockStatus::Ok, 100},
        {"pcm 8 mono", makeBlock(8, 1, 0, 11025, 0, 0, d100), AudioBlockStatus::Ok, 100},
        {"pcm 16 mono, torn sample cut", makeBlock(16, 1, 0, 8000, 0, 0, std::vector<std::uint8_t>(99)),
         AudioBlockStatus::Ok, 98},
        {"shorter than the body", makeBlock(16, 1, 1, 8000, 0, 0, d100, 90), AudioBlockStatus::Ok, 90},
        {"empty body", {}, AudioBlockStatus::TooShort, 0},
        {"header cut", std::vector<std::uint8_t>(15), AudioBlockStatus::TooShort, 0},
        {"length past the body", makeBlock(16, 1, 1, 8000, 0, 0, d100, 101),
         AudioBlockStatus::DataOutsideBody, 0},
        {"length 65535", makeBlock(16, 1, 1, 8000, 0, 0, d100, 65535), AudioBlockStatus::DataOutsideBody, 0},
        {"no data", makeBlock(16, 1, 1, 8000, 0, 0, {}), AudioBlockStatus::NoData, 0},
        {"pcm 16 of one byte", makeBlock(16, 1, 0, 8000, 0, 0, {7}), AudioBlockStatus::NoData, 0},
        {"adpcm 8 bits", makeBlock(8, 1, 1, 8000, 0, 0, d100), AudioBlockStatus::BadBits, 0},
        {"adpcm 4 bits", makeBlock(4, 1, 1, 8000, 0, 0, d100), AudioBlockStatus::BadBits, 0},
        {"pcm 12 bits", makeBlock(12, 1, 0, 8000, 0, 0, d100), AudioBlockStatus::BadBits, 0},
        {"pcm 0 bits", makeBlock(0, 1, 0, 8000, 0, 0, d100), AudioBlockStatus::BadBits, 0},
        {"no channels", makeBlock(16, 0, 1, 8000, 0, 0, d100), AudioBlockStatus::BadChannels, 0},
        {"three channels", makeBlock(16, 3, 0, 8000, 0, 0, d100), AudioBlockStatus::BadChannels, 0},
        {"rate 0", makeBlock(16, 1, 1, 0, 0, 0, d100), AudioBlockStatus::BadRate, 0},
        {"rate 999", makeBlock(16, 1, 1, 999, 0, 0, d100), AudioBlockStatus::BadRate, 0},
        {"rate 1000", makeBlock(16, 1, 1, 1000, 0, 0, d100), AudioBlockStatus::Ok, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AudioBlock block;
        block.channels = 99; // must stay untouched on failure
        EXPECT_EQ(parseAudioBlock(c.body, &block), c.expected);
        if (c.expected == AudioBlockStatus::Ok) {
            EXPECT_EQ(block.data.size(), c.dataBytes);
            EXPECT_EQ(block.data.data(), c.body.data() + 16);
        } else {
            EXPECT_EQ(block.channels, 99);
            EXPECT_STRNE(audioBlockStatusText(c.expected), "ok");
        }
    }
    AudioBlock block;
    ASSERT_EQ(parseAudioBlock(makeBlock(16, 1, 1, 8000, 0x85, -1234, d100), &block), AudioBlockStatus::Ok);
    EXPECT_TRUE(block.adpcm);
    EXPECT_EQ(block.stepIndex, 0x85);
    EXPECT_EQ(block.predictedSample, -1234);
    EXPECT_EQ(block.samplesPerSec, 8000u);
}

TEST(AudioBlockTest, PlayModeSwitches)
{
    CImage control;
    // written value, expected read-back, m_bEndRun and m_bAudioStop set afterwards
    struct Case
    {
        std::int32_t write, read;
        bool endRun, audioStop;
    };
    const Case cases[] = {
        {3, 3, false, false}, {0, 0, true, true},   {3, 3, false, false},  {1, 1, false, true},
        {2, 2, true, false},  {7, 2, false, false}, {-1, 2, false, false},
    };
    for (const Case& c : cases) {
        CImagePeer::run(control).m_bEndRun.store(EndRun::Run);
        CImagePeer::run(control).m_bAudioStop.store(0);
        control.put_PlayMode(c.write);
        std::int32_t mode = -1;
        control.get_PlayMode(&mode);
        EXPECT_EQ(mode, c.read) << c.write;
        EXPECT_EQ(CImagePeer::run(control).m_bEndRun.stopRequested(), c.endRun) << c.write;
        EXPECT_EQ(CImagePeer::run(control).m_bAudioStop.load() == 1, c.audioStop) << c.write;
    }
}

class ScopedOutputFactory
{
public:
    explicit ScopedOutputFactory(AudioOutputFactory f) { setAudioOutputFactory(std::move(f)); }
    ~ScopedOutputFactory() { setAudioOutputFactory(nullptr); }
};

// 250-ms ADPCM blocks (1000 bytes) of a 300-Hz tone, each continuing from the previous one.
std::vector<std::vector<std::uint8_t>> toneBlocks(int count, std::vector<std::int16_t>* pcm)
{
    TAdpcm enc;
    std::vector<std::vector<std::uint8_t>> blocks;
    for (int b = 0; b < count; ++b) {
        std::vector<std::int16_t> samples(2000);
        for (int i = 0; i < 2000; ++i)
            samples[i] = static_cast<std::int16_t>(9000 * std::sin((b * 2000 + i) * 2 * M_PI * 300 / 8000));
        const std::uint8_t index = enc.stepIndex();
        const std::int16_t predicted = enc.predicted();
        std::vector<std::uint8_t> data(1000);
        enc.encode(samples.data(), samples.size(), data.data());
        blocks.push_back(makeBlock(16, 1, 1, 8000, b == 0 ? index : 0x80, predicted, data));
        if (pcm)
            pcm->insert(pcm->end(), samples.begin(), samples.end());
    }
    return blocks;
}

TEST(AudioBlockTest, BlocksArePlayedAndRecorded)
{
    const auto dir = freshDir("BlocksArePlayedAndRecorded");
    const auto wav = dir / "played.wav";
    ScopedOutputFactory factory([wav] { return makeWavFileAudioOutput(wav.string(), false); });
    CImage control;
    auto recorder = std::make_shared<EventRecorder>();
    std::uint32_t cookie = 0;
    control.events().advise(recorder, &cookie);

    // An open recording of a Protocol 4 camera with sound.
    const auto recordings = dir / "rec";
    std::filesystem::create_directories(recordings);
    control.put_NormalFilePath(recordings.string());
    control.put_ReservedSpace(0);
    control.put_Protocol(PROTOCOL_MULTIPART);
    control.put_PlayMode(3);
    CImagePeer::run(control).m_nStatus.store(2);
    control.StartRecording();
    const auto jpeg = cleanJpeg(makePicture(320, 240, 0), 90, dir);
    ASSERT_FALSE(jpeg.empty());
    BitmapInfoHeader header;
    header.biWidth = 320;
    header.biHeight = 240;
    header.biBitCount = 24;
    ASSERT_TRUE(control.RecordFrame(RecordedPicture{header, jpeg.data(), jpeg.size()}));
    ASSERT_TRUE(CImagePeer::recording(control).m_AviWriter.HasAudio());

    std::vector<std::int16_t> source;
    const auto blocks = toneBlocks(8, &source);
    int played = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(control.PlayAudioBlock(blocks[i]), CImage::AudioBlockResult::Played);
        ++played;
        // A malformed block between two good ones is dropped and changes nothing.
        if (i == 3) {
            EXPECT_EQ(
                control.PlayAudioBlock(makeBlock(16, 3, 1, 8000, 0x80, 0, std::vector<std::uint8_t>(1000))),
                CImage::AudioBlockResult::Dropped);
        }
        for (int k = 0; k < 50 && CImagePeer::audio(control).m_pWaveRender->queued() > 0; ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    control.StopRecording();
    ASSERT_TRUE(control.RecordFrame(RecordedPicture{header, jpeg.data(), jpeg.size()}));
    CImagePeer::audio(control).m_pWaveRender->close();

    // The recording holds the decoded sound of every good block, exactly.
    const auto files = [&] {
        std::vector<std::filesystem::path> v;
        for (const auto& e : std::filesystem::directory_iterator(recordings))
            v.push_back(e.path());
        return v;
    }();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(streamEntry(files[0], "a", "codec_name"), "pcm_s16le");
    const auto raw = dir / "recorded.raw";
    ASSERT_EQ(run("ffmpeg -nostdin -v error -i " + quote(files[0].string()) + " -map 0:a -f s16le -y " +
                  quote(raw.string()))
                  .exitCode,
              0);
    const auto recorded = readFile(raw);
    ASSERT_EQ(recorded.size(), source.size() * 2);
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < source.size(); ++i) {
        const auto r = static_cast<std::int16_t>(recorded[2 * i] | recorded[2 * i + 1] << 8);
        signal += double(source[i]) * source[i];
        noise += (double(source[i]) - r) * (double(source[i]) - r);
    }
    EXPECT_GE(10 * std::log10(signal / noise), 30.0);
    // And the WAV output holds what was played: 8 blocks of 250 ms.
    EXPECT_EQ(streamEntry(wav, "a", "duration"), "2.000000");
    EXPECT_EQ(played, 8);
}

} // namespace
