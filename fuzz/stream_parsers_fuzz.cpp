// Fuzzes the parsers of the HTTP picture streams: the part heads of the pushed streams (every
// frame-start rule, complete and still-arriving blocks, the pan/tilt position, the status test)
// and the gatherer of the repeated-request stream fed in pieces whose sizes come from the input.
#include "control/stream_parsers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace tessivor;

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

void fuzzHeads(ByteView data)
{
    classifyPushStatus(data);
    for (auto rule : {FrameStart::AfterImageJpeg, FrameStart::AfterNextLine, FrameStart::AfterEmptyLine})
        for (bool complete : {false, true}) {
            const PartHead h = parsePartHead(data, rule, complete);
            if (h.status == PartHead::Status::Found) {
                check(h.length >= 1 && h.length <= kMaxPushedFrame);
                check(h.frameStart <= data.size());
                check(h.lengthField < h.frameStart);
            }
        }
    parsePanTilt(data);
}

void fuzzGatherer(ByteView data)
{
    static MjpegGatherer g; // its 200 kB area is made once
    g.reset();
    std::size_t pos = 0;
    while (pos < data.size()) {
        // The first byte of each piece gives its size, so that heads are cut in every place.
        const std::size_t piece = 1 + data[pos] * 7;
        ++pos;
        auto room = g.space();
        check(!room.empty());
        const std::size_t n = std::min({piece, room.size(), data.size() - pos});
        std::memcpy(room.data(), data.data() + pos, n);
        g.commit(n);
        pos += n;
        for (auto k = g.next(); k != MjpegGatherer::Kind::NeedMore; k = g.next()) {
            if (k == MjpegGatherer::Kind::Reconnect) {
                g.reset();
                break;
            }
            if (k == MjpegGatherer::Kind::Frame) {
                const ByteView f = g.frame();
                check(f.size() >= MjpegGatherer::kMinFrame && f.size() <= MjpegGatherer::kMaxFrame);
                volatile std::uint8_t sink = f[0] ^ f[f.size() - 1]; // the whole frame is readable
                (void)sink;
            }
            if (k == MjpegGatherer::Kind::Head)
                check(g.answer().status == 200 || g.answer().status == 503);
        }
        check(g.pending() <= MjpegGatherer::kCapacity);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const ByteView input(data, size);
    fuzzHeads(input);
    fuzzGatherer(input);
    return 0;
}
