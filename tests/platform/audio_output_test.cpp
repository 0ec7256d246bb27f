// Choice of the sound output and the queue contract that the renderer counts on.
#include "platform/audio_output.h"
#include "platform/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>

using namespace tessivor;

namespace {

class ScopedEnv
{
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old, m_had = true;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_had)
            ::setenv(m_name, m_old.c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

TEST(AudioOutputTest, SettingChoosesTheKind)
{
    const std::string wav =
        std::string(std::getenv("TESSIVOR_TEST_HOME") ? std::getenv("TESSIVOR_TEST_HOME") : "/tmp") +
        "/choice.wav";
    const bool haveDevice = makeAlsaAudioOutput() != nullptr;
    // setting, expected kind
    const std::pair<const char*, std::string> cases[] = {
        {"silent", "silent"},
        {nullptr, haveDevice ? "alsa" : "silent"},
        {"", haveDevice ? "alsa" : "silent"},
    };
    for (const auto& [setting, kind] : cases) {
        ScopedEnv env("TESSIVOR_AUDIO_OUTPUT", setting);
        EXPECT_EQ(std::string(createAudioOutput()->kind()), kind) << (setting ? setting : "(unset)");
    }
    ScopedEnv env("TESSIVOR_AUDIO_OUTPUT", ("wav:" + wav).c_str());
    EXPECT_STREQ(createAudioOutput()->kind(), "wav");
    // A factory installed by a test wins over the setting.
    setAudioOutputFactory([] { return makeSilentAudioOutput(false); });
    EXPECT_STREQ(createAudioOutput()->kind(), "silent");
    setAudioOutputFactory(nullptr);
}

TEST(AudioOutputTest, EveryBufferIsReportedOnceAlsoWhenThrownAway)
{
    for (bool realTime : {false, true}) {
        auto out = makeSilentAudioOutput(realTime);
        std::atomic<int> done{0};
        EXPECT_FALSE(out->write("x", 1)); // not open
        // Formats the output refuses.
        EXPECT_FALSE(out->open(pcmWaveFormat(12, 1, 8000), [] {}));
        EXPECT_FALSE(out->open(pcmWaveFormat(16, 3, 8000), [] {}));
        ASSERT_TRUE(out->open(pcmWaveFormat(16, 1, 8000), [&] { ++done; }));
        std::vector<std::uint8_t> buffer(1600); // 100 ms
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(out->write(buffer.data(), buffer.size()));
        out->reset(); // the real-time output still holds some: they are reported as done
        EXPECT_EQ(done.load(), 5);
        ASSERT_TRUE(out->write(buffer.data(), buffer.size()));
        out->close();
        out->close();
        EXPECT_EQ(done.load(), 6);
        EXPECT_FALSE(out->isOpen());
    }
}

TEST(AudioOutputTest, OpenFailsWhenNoPlayerThreadCanStart)
{
    auto out = makeSilentAudioOutput(false);
    failThreadStartsForTesting(1);
    const bool opened = out->open(pcmWaveFormat(16, 1, 8000), [] {});
    failThreadStartsForTesting(0);
    EXPECT_FALSE(opened);
    EXPECT_FALSE(out->isOpen());
    EXPECT_FALSE(out->write("x", 1)); // no buffer is taken that nobody would play
    // Once threads start again the same output opens and plays.
    std::atomic<int> done{0};
    ASSERT_TRUE(out->open(pcmWaveFormat(16, 1, 8000), [&] { ++done; }));
    ASSERT_TRUE(out->write("xx", 2));
    out->close();
    EXPECT_EQ(done.load(), 1);
}

} // namespace
