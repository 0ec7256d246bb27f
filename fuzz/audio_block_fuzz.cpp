// Sound blocks from the network: the header check, then the ADPCM or PCM data as the renderer
// would take it. Any input must either be refused or decode within the bounds the check gave.
#include "control/adpcm.h"
#include "control/audio_block.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tessivor::AudioBlock block;
    if (tessivor::parseAudioBlock({data, size}, &block) != tessivor::AudioBlockStatus::Ok)
        return 0;
    if (block.data.data() < data || block.data.data() + block.data.size() > data + size)
        std::abort();
    if (block.adpcm) {
        std::vector<std::int16_t> pcm(2 * block.data.size());
        tessivor::TAdpcm coder;
        if (coder.decode(block.data.data(), pcm.data(), block.data.size(), block.stepIndex,
                         block.predictedSample) != 4 * block.data.size() ||
            coder.stepIndex() > tessivor::TAdpcm::kMaxStepIndex)
            std::abort();
    }
    return 0;
}
