#include "control/audio_block.h"

namespace tessivor {

const char* audioBlockStatusText(AudioBlockStatus status)
{
    switch (status) {
    case AudioBlockStatus::Ok:
        return "ok";
    case AudioBlockStatus::TooShort:
        return "shorter than its header";
    case AudioBlockStatus::DataOutsideBody:
        return "data length past the body";
    case AudioBlockStatus::NoData:
        return "no sound data";
    case AudioBlockStatus::BadBits:
        return "unsupported bits per sample";
    case AudioBlockStatus::BadChannels:
        return "unsupported channel count";
    case AudioBlockStatus::BadRate:
        return "unsupported sample rate";
    }
    return "?";
}

AudioBlockStatus parseAudioBlock(std::span<const std::uint8_t> body, AudioBlock* block)
{
    if (body.size() < AudioBlock::kHeaderBytes)
        return AudioBlockStatus::TooShort;
    auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(body[at] | body[at + 1] << 8); };
    AudioBlock b;
    b.bitsPerSample = body[0];
    b.channels = body[1];
    b.adpcm = body[2] != 0;
    b.samplesPerSec = u16(4);
    b.stepIndex = body[8];
    b.predictedSample = static_cast<std::int16_t>(u16(10));
    const std::size_t length = u16(12);
    if (length > body.size() - AudioBlock::kHeaderBytes)
        return AudioBlockStatus::DataOutsideBody;
    if (b.adpcm ? b.bitsPerSample != 16 : (b.bitsPerSample != 8 && b.bitsPerSample != 16))
        return AudioBlockStatus::BadBits;
    if (b.channels != 1 && b.channels != 2)
        return AudioBlockStatus::BadChannels;
    if (b.samplesPerSec < AudioBlock::kMinRate || b.samplesPerSec > AudioBlock::kMaxRate)
        return AudioBlockStatus::BadRate;
    std::size_t usable = length;
    if (!b.adpcm) {
        const std::size_t align = static_cast<std::size_t>(b.channels) * (b.bitsPerSample / 8);
        usable -= usable % align;
    }
    if (usable == 0)
        return AudioBlockStatus::NoData;
    b.data = body.subspan(AudioBlock::kHeaderBytes, usable);
    *block = b;
    return AudioBlockStatus::Ok;
}

} // namespace tessivor
