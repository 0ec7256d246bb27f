// Library frame: the exception that carries codes out of coders, status words, module locks and
// the block and work allocators.
#include "imagelib/imagelib.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

TEST(ImgFrame, GuardTurnsRaisedCodesIntoTheFixedFailureAndKeepsTheCode)
{
    std::atomic<std::int32_t> status{0};
    // Work that succeeds passes its result through and leaves the status alone.
    EXPECT_EQ(img_guard(IMG_ERR_JPEG_DECODE, &status, [] { return 7; }), 7);
    EXPECT_EQ(status.load(), 0);

    EXPECT_EQ(
        img_guard(IMG_ERR_JPEG_DECODE, &status, []() -> std::int32_t { img_raise(IMG_ERR_END_OF_DATA); }),
        IMG_ERR_JPEG_DECODE);
    EXPECT_EQ(status.load(), IMG_ERR_END_OF_DATA);

    EXPECT_EQ(img_guard(IMG_ERR_SAVE, &status, []() -> std::int32_t { throw std::bad_alloc(); }),
              IMG_ERR_SAVE);
    EXPECT_EQ(status.load(), IMG_ERR_NO_MEMORY);

    // Without a status word only the fixed code comes back.
    EXPECT_EQ(img_guard(IMG_ERR_JPEG_HEADER, nullptr, []() -> std::int32_t { img_raise(-106); }),
              IMG_ERR_JPEG_HEADER);
}

TEST(ImgFrame, EntryReturnsTheRaisedCode)
{
    EXPECT_EQ(img_entry([] { return IMG_OK; }), IMG_OK);
    EXPECT_EQ(img_entry([]() -> std::int32_t { img_raise(IMG_ERR_RANGE); }), IMG_ERR_RANGE);
    EXPECT_EQ(img_entry([]() -> std::int32_t { throw std::bad_alloc(); }), IMG_ERR_NO_MEMORY);
}

TEST(ImgFrame, StatusFormSetsBit28OnlyOnNegativeCodes)
{
    struct Case
    {
        std::uint32_t code, status;
    } cases[] = {
        {0u, 0u},
        {5u, 5u},
        {static_cast<std::uint32_t>(-101), static_cast<std::uint32_t>(-101)},
        {static_cast<std::uint32_t>(-115), static_cast<std::uint32_t>(-115)},
        {0xC0000005u, 0xD0000005u}, // a system-style code gains bit 28
        {0x80000000u, 0x90000000u},
    };
    for (const Case& c : cases)
        EXPECT_EQ(static_cast<std::uint32_t>(img_status_code(static_cast<std::int32_t>(c.code))), c.status)
            << std::hex << c.code;
}

TEST(ImgFrame, ModuleLocksAreOnePerModuleAndExclusive)
{
    std::mutex* jpeg;
    {
        auto a = img_module_lock(ImgModule::Jpeg);
        jpeg = a.mutex();
        // Another module's lock is independent and can be taken meanwhile.
        auto b = img_module_lock(ImgModule::ColourReduction);
        EXPECT_NE(b.mutex(), jpeg);
        EXPECT_TRUE(b.owns_lock());
        // The same module's lock is held: nobody else gets it.
        std::thread([&] { EXPECT_FALSE(jpeg->try_lock()); }).join();
    }
    // Released on scope exit, and the same mutex next time.
    auto again = img_module_lock(ImgModule::Jpeg);
    EXPECT_EQ(again.mutex(), jpeg);
    again.unlock();

    // Many threads, one at a time inside.
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                auto lock = img_module_lock(ImgModule::Tiff);
                if (inside.fetch_add(1) != 0)
                    ++overlaps;
                ++counter;
                inside.fetch_sub(1);
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(counter, 8 * 2000);
}

TEST(ImgMemory, BlocksAreZeroedSizedAndKnownOnlyWhileLive)
{
    const std::size_t before = img_live_allocations();
    auto* p = static_cast<unsigned char*>(img_block_alloc(1000));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(img_block_size(p), 1000u);
    EXPECT_TRUE(img_block_owned(p));
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(p[i], 0);
    EXPECT_EQ(img_live_allocations(), before + 1);

    // A pointer inside the block, a stack address and null are not blocks.
    int local = 0;
    EXPECT_FALSE(img_block_owned(p + 1));
    EXPECT_EQ(img_block_size(&local), 0u);
    img_block_free(&local);
    img_block_free(p + 16);
    img_block_free(nullptr);
    EXPECT_TRUE(img_block_owned(p));

    img_block_free(p);
    EXPECT_FALSE(img_block_owned(p));
    EXPECT_EQ(img_block_size(p), 0u);
    img_block_free(p); // a second free is ignored
    EXPECT_EQ(img_live_allocations(), before);
}

TEST(ImgMemory, TestHookFailsExactlyTheNthAllocation)
{
    const std::size_t before = img_live_allocations();
    img_fail_allocation(3);
    EXPECT_TRUE(img_allocation_failure_pending());
    void* a = img_block_alloc(8);
    void* b = img_work_alloc(8);
    void* c = img_block_alloc(8); // the third one fails
    void* d = img_work_alloc(8);
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(c, nullptr);
    EXPECT_NE(d, nullptr);
    EXPECT_FALSE(img_allocation_failure_pending());
    EXPECT_EQ(img_live_allocations(), before + 3);
    img_block_free(a);
    img_work_free(b);
    img_work_free(d);
    EXPECT_EQ(img_live_allocations(), before);

    img_fail_allocation(1);
    img_fail_allocation(0); // switched off again
    void* e = img_work_alloc(4);
    EXPECT_NE(e, nullptr);
    img_work_free(e);
}

// Unfilled work memory is counted, failed by the hook and freed like the zero-filled kind.
TEST(ImgMemory, UnfilledWorkMemoryIsCountedAndHooked)
{
    const std::size_t before = img_live_allocations();
    img_fail_allocation(2);
    auto a = img_work_array_unfilled<std::uint8_t>(65536);
    auto b = img_work_array_unfilled<std::uint8_t>(65536); // the second one fails
    ASSERT_NE(a.get(), nullptr);
    EXPECT_EQ(b.get(), nullptr);
    EXPECT_EQ(img_live_allocations(), before + 1);
    a[0] = 1;
    a[65535] = 2;
    a.reset();
    EXPECT_EQ(img_live_allocations(), before);
    EXPECT_EQ(img_work_array_unfilled<std::uint64_t>(SIZE_MAX / 4).get(), nullptr);
}

TEST(ImgMemory, WorkArraysRefuseSizesThatOverflow)
{
    EXPECT_EQ(img_work_array<std::uint64_t>(SIZE_MAX / 4).get(), nullptr);
    auto ok = img_work_array<std::uint32_t>(16);
    ASSERT_NE(ok.get(), nullptr);
    EXPECT_EQ(ok[15], 0u);
}

} // namespace
