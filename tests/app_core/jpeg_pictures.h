// Test pictures: PPM patterns made here and compressed by cjpeg (libjpeg-turbo's own tool), and
// a runner for the command-line peers that read what our code wrote.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace pictures {

inline std::string run(const std::string& command)
{
    std::string out;
    if (FILE* p = ::popen((command + " 2>&1").c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

inline std::vector<std::uint8_t> readBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A 320x240 colour JPEG of diagonal stripes; `shift` moves them, so two shifts differ
// everywhere. With `noise` every pixel is random (large files, for the size split).
inline std::vector<std::uint8_t> stripes(const std::filesystem::path& file, int shift, bool noise = false,
                                         int width = 320, int height = 240)
{
    const auto ppm = file.string() + ".ppm";
    {
        std::mt19937 random(static_cast<unsigned>(shift));
        std::ofstream out(ppm, std::ios::binary);
        out << "P6\n" << width << " " << height << "\n255\n";
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const bool on = ((x + y + shift) / 16) % 2 == 0;
                char px[3] = {static_cast<char>(on ? 220 : 30), static_cast<char>(on ? 40 : 200),
                              static_cast<char>(on ? 90 : 60)};
                if (noise)
                    for (char& c : px)
                        c = static_cast<char>(random());
                out.write(px, 3);
            }
    }
    run("cjpeg -quality 95 -outfile '" + file.string() + "' '" + ppm + "'");
    std::filesystem::remove(ppm);
    return readBytes(file);
}

} // namespace pictures
