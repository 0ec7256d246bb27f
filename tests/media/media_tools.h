// Test helpers around independent media tools (cjpeg, ffmpeg, ffprobe, sox): pictures made by
// the test, JPEG frames compressed by the system's libjpeg-turbo, and what ffmpeg reads back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mediatest {

struct CommandResult
{
    int exitCode = -1;
    std::string output; // standard output and standard error together
};

// Runs `command` through the shell; output of both streams is captured.
CommandResult run(const std::string& command);

// Quotes a path or argument for the shell.
std::string quote(const std::string& s);

// A fresh, empty folder for one test below the test's home folder.
std::filesystem::path freshDir(const std::string& name);

struct Picture
{
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb; // top-down rows, R G B
};

// A smooth picture with a pattern that depends on `seed`, so that frames differ.
Picture makePicture(int width, int height, int seed);
bool writePpm(const std::filesystem::path& path, const Picture& picture);
bool readPpm(const std::filesystem::path& path, Picture* picture);
// Peak signal-to-noise ratio in dB of two pictures of one size (infinity when equal).
double psnr(const Picture& a, const Picture& b);

// The picture compressed by cjpeg at `quality`; empty on failure.
std::vector<std::uint8_t> cjpeg(const Picture& picture, int quality, const std::filesystem::path& workDir);
// Like cjpeg(), but ffmpeg 5.1's MJPEG decoder must read the result without a message: it warns
// "EOI missing" when it probes a valid JPEG whose scan holds no stuffed byte (FF 00), because it
// skips the scan by the length of its unstuffed copy, which ends with the EOI marker's first
// byte (djpeg reads such files without a word). The warning would hide what the container does.
// Qualities from `quality` down are tried; empty when none decodes silently.
std::vector<std::uint8_t> cleanJpeg(const Picture& picture, int quality,
                                    const std::filesystem::path& workDir);
// The same JPEG with a comment segment after SOI so that its byte count changes parity.
std::vector<std::uint8_t> withFlippedParity(const std::vector<std::uint8_t>& jpeg);

std::vector<std::uint8_t> readFile(const std::filesystem::path& path);
bool writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// ffmpeg's decoding of the first video frame of `file`, through the PPM file `ppm`; false when
// ffmpeg fails or its output cannot be read.
bool firstVideoFrame(const std::filesystem::path& file, const std::filesystem::path& ppm, Picture* picture);

// The .avi files in `dir`, sorted by name (so by their opening time).
std::vector<std::filesystem::path> aviFiles(const std::filesystem::path& dir);

// The pts of every packet of the first video (or audio) stream, as ffprobe lists them.
std::vector<long> packetPts(const std::filesystem::path& file, char streamType = 'v');
// One value of ffprobe's stream entries, e.g. ("a", "codec_name"); empty when absent.
std::string streamEntry(const std::filesystem::path& file, const std::string& stream,
                        const std::string& entry);

} // namespace mediatest
