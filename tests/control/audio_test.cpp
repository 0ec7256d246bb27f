// The ADPCM coder against streams made by sox and ffmpeg, and the renderer against the WAV-file
// and failing outputs.
#include "control/adpcm.h"
#include "control/wave_render.h"
#include "media_tools.h"
#include "platform/clock.h"
#include "tools/camsim/ima_adpcm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <thread>

using namespace tessivor;
using namespace mediatest;

namespace {

std::vector<std::int16_t> samplesOf(const std::vector<std::uint8_t>& raw)
{
    std::vector<std::int16_t> s(raw.size() / 2);
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<std::int16_t>(raw[2 * i] | raw[2 * i + 1] << 8);
    return s;
}

// Signal-to-noise ratio in dB of `decoded` against `source` over their common length.
double snr(const std::vector<std::int16_t>& source, const std::vector<std::int16_t>& decoded)
{
    const std::size_t n = std::min(source.size(), decoded.size());
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < n; ++i) {
        signal += double(source[i]) * source[i];
        const double d = double(source[i]) - decoded[i];
        noise += d * d;
    }
    if (n == 0 || signal == 0)
        return -1;
    return noise == 0 ? 200 : 10 * std::log10(signal / noise);
}

std::vector<std::int16_t> decodeAll(const std::vector<std::uint8_t>& adpcm, std::size_t blockBytes)
{
    // Split into blocks as a camera would send them: the first with index 0 and sample 0, every
    // later one going on from the coder's state.
    TAdpcm coder;
    std::vector<std::int16_t> out(adpcm.size() * 2);
    for (std::size_t at = 0; at < adpcm.size(); at += blockBytes) {
        const std::size_t n = std::min(blockBytes, adpcm.size() - at);
        coder.decode(adpcm.data() + at, out.data() + 2 * at, n, at == 0 ? 0 : TAdpcm::kContinue, 0);
    }
    return out;
}

// A 250-Hz tone: 4-bit IMA ADPCM reaches about 33 dB on it with any decoder (sox's own included),
// and about 28 dB on a 440-Hz tone, where the quantiser, not the decoder, sets the figure.
class AdpcmToolsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = freshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        tone = dir / "tone.raw";
        ASSERT_EQ(run("sox -n -r 8000 -c 1 -b 16 -e signed-integer " + quote(tone.string()) +
                      " synth 2 sine 250 vol 0.5")
                      .exitCode,
                  0);
        source = samplesOf(readFile(tone));
        ASSERT_EQ(source.size(), 16000u);
    }
    std::filesystem::path dir, tone;
    std::vector<std::int16_t> source;
};

TEST_F(AdpcmToolsTest, StreamsOfOtherEncodersDecodeToTheirTone)
{
    // tool, command that turns tone.raw into a raw IMA ADPCM stream (first sample in the high
    // nibble, starting from index 0 and sample 0)
    struct Case
    {
        const char* tool;
        std::string command;
    };
    const auto out = dir / "tone.ima";
    const Case cases[] = {
        {"sox", "sox -t raw -r 8000 -e signed-integer -b 16 -c 1 " + quote(tone.string()) + " -t ima " +
                    quote(out.string())},
        {"ffmpeg", "ffmpeg -nostdin -v error -f s16le -ar 8000 -ac 1 -i " + quote(tone.string()) +
                       " -c:a adpcm_ima_ssi -f u8 -y " +
                       quote(out.string())}, // a raw muxer stores the packets
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tool);
        std::filesystem::remove(out);
        ASSERT_EQ(run(c.command).exitCode, 0);
        const auto adpcm = readFile(out);
        ASSERT_EQ(adpcm.size(), source.size() / 2);
        for (std::size_t block : {std::size_t(1000), std::size_t(333), adpcm.size()}) {
            const auto decoded = decodeAll(adpcm, block);
            EXPECT_GE(snr(source, decoded), 30.0) << "blocks of " << block;
        }
    }
    // sox's own decoding of its stream agrees with ours almost to the sample.
    ASSERT_EQ(run("sox -t raw -r 8000 -e signed-integer -b 16 -c 1 " + quote(tone.string()) + " -t ima " +
                  quote(out.string()))
                  .exitCode,
              0);
    const auto soxDecoded = dir / "sox-decoded.raw";
    ASSERT_EQ(run("sox -t ima -r 8000 -c 1 " + quote(out.string()) + " -t raw -e signed-integer -b 16 " +
                  quote(soxDecoded.string()))
                  .exitCode,
              0);
    EXPECT_GE(snr(samplesOf(readFile(soxDecoded)), decodeAll(readFile(out), 1000)), 50.0);
}

TEST_F(AdpcmToolsTest, EncoderRoundTripsThroughTheDecoder)
{
    TAdpcm encoder;
    std::vector<std::uint8_t> adpcm((source.size() + 1) / 2);
    ASSERT_EQ(encoder.encode(source.data(), source.size(), adpcm.data()), adpcm.size());
    EXPECT_GE(snr(source, decodeAll(adpcm, 1000)), 30.0);
    // An odd count leaves the last low nibble 0.
    TAdpcm odd;
    std::uint8_t b[2] = {0xFF, 0xFF};
    ASSERT_EQ(odd.encode(source.data() + 100, 3, b), 2u);
    EXPECT_EQ(b[1] & 0x0F, 0);
}

// The simulated camera's encoder is written apart from ours. Its stream decodes to the tone in
// sox, and after every block its state is the one our decoder reaches from the state the block
// started with: that is the state a sound block's header carries, so a client can start at any
// block.
TEST_F(AdpcmToolsTest, SimulatorEncoderAgreesWithSoxAndOurDecoder)
{
    constexpr std::size_t kBlockSamples = 2000; // one 250-ms block of the camera
    camsim::ImaAdpcmEncoder encoder;
    TAdpcm decoder;
    std::vector<std::uint8_t> adpcm;
    for (std::size_t at = 0; at + kBlockSamples <= source.size(); at += kBlockSamples) {
        SCOPED_TRACE(at);
        const std::uint8_t index = encoder.stepIndex();
        const std::int16_t predicted = encoder.predicted();
        std::vector<std::uint8_t> block(kBlockSamples / 2);
        ASSERT_EQ(encoder.encode(source.data() + at, kBlockSamples, block.data()), block.size());
        std::vector<std::int16_t> pcm(kBlockSamples);
        decoder.decode(block.data(), pcm.data(), block.size(), index, predicted);
        EXPECT_EQ(decoder.stepIndex(), encoder.stepIndex());
        EXPECT_EQ(decoder.predicted(), encoder.predicted());
        EXPECT_EQ(pcm.back(), encoder.predicted());
        adpcm.insert(adpcm.end(), block.begin(), block.end());
    }
    ASSERT_EQ(adpcm.size(), source.size() / 2);
    EXPECT_GE(snr(source, decodeAll(adpcm, 1000)), 30.0);

    const auto coded = dir / "camsim.ima";
    const auto soxDecoded = dir / "camsim-sox.raw";
    ASSERT_TRUE(writeFile(coded, adpcm));
    ASSERT_EQ(run("sox -t ima -r 8000 -c 1 " + quote(coded.string()) + " -t raw -e signed-integer -b 16 " +
                  quote(soxDecoded.string()))
                  .exitCode,
              0);
    EXPECT_GE(snr(source, samplesOf(readFile(soxDecoded))), 30.0);

    // An odd count codes the last sample in the high nibble and leaves the low one 0.
    camsim::ImaAdpcmEncoder odd;
    std::uint8_t b[2] = {0xFF, 0xFF};
    ASSERT_EQ(odd.encode(source.data() + 100, 3, b), 2u);
    EXPECT_EQ(b[1] & 0x0F, 0);
}

TEST(AdpcmTest, StateCarriesAcrossBlocksAndHeadersSetIt)
{
    std::vector<std::int16_t> tone(2000);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<std::int16_t>(12000 * std::sin(i * 0.3));
    TAdpcm enc;
    std::vector<std::uint8_t> adpcm(1000);
    enc.encode(tone.data(), tone.size(), adpcm.data());

    TAdpcm whole;
    std::vector<std::int16_t> a(2000), b(2000), c(2000);
    EXPECT_EQ(whole.decode(adpcm.data(), a.data(), 1000, 0, 0), 4000u);

    // Second half continued from the state (0x80) or restarted from the state as a header gives it.
    TAdpcm split;
    split.decode(adpcm.data(), b.data(), 500, 0, 0);
    const std::uint8_t index = split.stepIndex();
    const std::int16_t predicted = split.predicted();
    split.decode(adpcm.data() + 500, b.data() + 1000, 500, 0x80, 12345 /* ignored */);
    TAdpcm restart;
    restart.decode(adpcm.data() + 500, c.data() + 1000, 500, index, predicted);
    std::copy(a.begin(), a.begin() + 1000, c.begin());
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, c);

    // Extremes: full-scale codes clamp instead of wrapping; an index above 88 counts as 88.
    TAdpcm clamp;
    std::vector<std::uint8_t> up(200, 0x77), down(200, 0xFF);
    std::vector<std::int16_t> out(400);
    clamp.decode(up.data(), out.data(), up.size(), 200, 30000);
    EXPECT_EQ(out.back(), 32767);
    EXPECT_EQ(clamp.stepIndex(), 88);
    clamp.decode(down.data(), out.data(), down.size(), 0x80, 0);
    EXPECT_EQ(out.back(), -32768);
}

TEST(AdpcmTest, OnlySixteenBitSamples)
{
    TAdpcm coder;
    for (int bits : {8, 4, 0, 32}) {
        try {
            coder.set(bits);
            ADD_FAILURE() << bits << " bits accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "TAdpcm::set() Only 16bits sample resolution supported");
        }
    }
    EXPECT_NO_THROW(coder.set(16));
}

// ---- renderer ----

class ScopedOutputFactory
{
public:
    explicit ScopedOutputFactory(AudioOutputFactory f) { setAudioOutputFactory(std::move(f)); }
    ~ScopedOutputFactory() { setAudioOutputFactory(nullptr); }
};

std::vector<std::uint8_t> adpcmTone(std::size_t bytes)
{
    std::vector<std::int16_t> tone(bytes * 2);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<std::int16_t>(8000 * std::sin(i * 2 * 3.14159265 * 440 / 8000));
    TAdpcm enc;
    std::vector<std::uint8_t> out(bytes);
    enc.encode(tone.data(), tone.size(), out.data());
    return out;
}

double wavSeconds(const std::filesystem::path& wav)
{
    const std::string d = streamEntry(wav, "a", "duration");
    try {
        return std::stod(d);
    } catch (...) {
        return -1;
    }
}

void waitUntilPlayed(const TWaveRender& r)
{
    for (int i = 0; i < 500 && r.queued() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

TEST(WaveRenderTest, WavOutputHoldsExactlyWhatWasPlayed)
{
    const auto dir = freshDir("WavOutputHoldsExactlyWhatWasPlayed");
    const auto wav = dir / "played.wav";
    ScopedOutputFactory factory([wav] { return makeWavFileAudioOutput(wav.string(), false); });
    const auto block = adpcmTone(1000);
    {
        TWaveRender r;
        // A 1000-byte ADPCM block of 16-bit mono at 8000 Hz is 4000 bytes, 250 ms: one buffer.
        r.setAdpcm(true);
        r.setFormat(16, 1, 8000);
        EXPECT_EQ(r.bytesToMs(block.size()), 250);
        r.setBuffers(r.bytesToMs(block.size()), 8);
        EXPECT_EQ(r.bufferSize(), 4000);
        for (int i = 0; i < 12; ++i) {
            ASSERT_EQ(r.write(block.data(), block.size(), i == 0 ? 0 : TAdpcm::kContinue, 0), 0);
            waitUntilPlayed(r);
        }
        EXPECT_EQ(r.overflows(), 0);
        // A reconnect closes the renderer; the output then goes on in the same file.
        r.close();
        r.setAdpcm(true);
        ASSERT_EQ(r.write(block.data(), block.size(), 0x80, 0), 0);
        waitUntilPlayed(r);
        // PCM blocks pass as they are.
        r.setAdpcm(false);
        std::vector<std::uint8_t> pcm(1600, 0);
        ASSERT_EQ(r.write(pcm.data(), pcm.size(), 0, 0), 0);
        waitUntilPlayed(r);
    }
    EXPECT_DOUBLE_EQ(wavSeconds(wav), 13 * 0.25 + 0.1);
    EXPECT_EQ(streamEntry(wav, "a", "sample_rate"), "8000");
    EXPECT_EQ(run("ffmpeg -nostdin -v error -xerror -i " + quote(wav.string()) + " -f null -").output, "");
}

TEST(WaveRenderTest, FullQueueDropsTheRestAndCountsIt)
{
    // A real-time output plays 25-ms buffers; blocks written back to back fill all six buffers,
    // and the rest are dropped as overflows. The WAV file holds only what was queued.
    const auto dir = freshDir("FullQueueDropsTheRestAndCountsIt");
    const auto wav = dir / "overflow.wav";
    ScopedOutputFactory factory([wav] { return makeWavFileAudioOutput(wav.string(), true); });
    const auto block = adpcmTone(100); // 400 bytes of PCM, 25 ms
    int accepted = 0, dropped = 0;
    {
        TWaveRender r;
        r.setAdpcm(true);
        r.setBuffers(r.bytesToMs(block.size()), 6);
        for (int i = 0; i < 20; ++i) {
            const int result = r.write(block.data(), block.size(), 0x80, 0);
            if (result == 0) {
                ++accepted;
            } else {
                EXPECT_EQ(r.lastError(), TWaveRender::WAVE_OK);
                EXPECT_EQ(result, static_cast<int>(block.size())); // the input bytes not queued
                ++dropped;
            }
        }
        EXPECT_GE(accepted, 6);
        EXPECT_GT(dropped, 0);
        EXPECT_EQ(r.overflows(), dropped);
        waitUntilPlayed(r);
        EXPECT_EQ(r.queued(), 0);
        EXPECT_GE(r.underruns(), 1); // the queue ran dry at the end
        // An ADPCM block larger than a quarter of a buffer is refused whole.
        const auto big = adpcmTone(101);
        EXPECT_EQ(r.write(big.data(), big.size(), 0x80, 0), TWaveRender::WAVE_TOO_LARGE);
        EXPECT_EQ(r.lastError(), TWaveRender::WAVE_TOO_LARGE);
    }
    EXPECT_DOUBLE_EQ(wavSeconds(wav), accepted * 0.025);
}

TEST(WaveRenderTest, OutputThatCannotOpenReportsOne)
{
    ScopedOutputFactory factory([] { return makeWavFileAudioOutput("/nonexistent-folder/x.wav", false); });
    TWaveRender r;
    const auto block = adpcmTone(100);
    EXPECT_EQ(r.write(block.data(), block.size(), 0, 0), TWaveRender::WAVE_OPEN_FAILED);
    EXPECT_EQ(r.lastError(), TWaveRender::WAVE_OPEN_FAILED);
    // The next block tries again, and fails again, without harm.
    EXPECT_EQ(r.write(block.data(), block.size(), 0x80, 0), TWaveRender::WAVE_OPEN_FAILED);
}

TEST(WaveRenderTest, FormatChangesRebuildTheBuffers)
{
    ScopedOutputFactory factory([] { return makeSilentAudioOutput(false); });
    TWaveRender r;
    EXPECT_EQ(r.bufferSize(), 4000); // 250 ms of 16-bit mono at 8000 Hz
    EXPECT_EQ(r.bufferCount(), 6);
    EXPECT_TRUE(r.adpcm());
    // format, buffer ms, expected buffer size in whole sample blocks
    struct Case
    {
        int bits, channels;
        std::uint32_t rate;
        int ms, expected;
    };
    const Case cases[] = {
        {16, 2, 8000, 250, 8000},
        {8, 1, 11025, 100, 1102},
        {16, 2, 11025, 100, 4408},
        {16, 1, 8000, 1, 16},
    };
    for (const Case& c : cases) {
        r.setFormat(c.bits, c.channels, c.rate);
        r.setBuffers(c.ms, 8);
        EXPECT_EQ(r.bufferSize(), c.expected) << c.bits << "/" << c.channels << "/" << c.rate;
        EXPECT_EQ(r.bufferSize() % r.format().blockAlign, 0);
        EXPECT_EQ(r.bufferCount(), 8);
    }
    // Impossible formats are ignored.
    const WaveFormat before = r.format();
    r.setFormat(12, 1, 8000);
    r.setFormat(16, 3, 8000);
    r.setFormat(16, 1, 0);
    EXPECT_EQ(r.format(), before);
}

} // namespace
