#include "media_tools.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <sys/wait.h>

namespace mediatest {

CommandResult run(const std::string& command)
{
    CommandResult r;
    std::FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.output.append(buf, n);
    const int status = ::pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

std::filesystem::path freshDir(const std::string& name)
{
    const char* home = std::getenv("TESSIVOR_TEST_HOME");
    std::filesystem::path dir = std::filesystem::path(home ? home : "/tmp/tessivor-test") / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

Picture makePicture(int width, int height, int seed)
{
    Picture p{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* px = &p.rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            px[0] = static_cast<std::uint8_t>((x * 255) / std::max(1, width - 1));
            px[1] = static_cast<std::uint8_t>((y * 255) / std::max(1, height - 1));
            const double d = std::hypot(x - width / 2.0 - seed * 7 % width / 4, y - height / 2.0);
            px[2] = static_cast<std::uint8_t>(128 + 100 * std::sin(d / (10.0 + seed % 5)));
        }
    }
    return p;
}

bool writePpm(const std::filesystem::path& path, const Picture& picture)
{
    std::ofstream f(path, std::ios::binary);
    f << "P6\n" << picture.width << ' ' << picture.height << "\n255\n";
    f.write(reinterpret_cast<const char*>(picture.rgb.data()),
            static_cast<std::streamsize>(picture.rgb.size()));
    return static_cast<bool>(f);
}

bool readPpm(const std::filesystem::path& path, Picture* picture)
{
    std::ifstream f(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    f >> magic >> picture->width >> picture->height >> maxval;
    if (!f || magic != "P6" || maxval != 255 || picture->width <= 0 || picture->height <= 0)
        return false;
    f.get();
    picture->rgb.resize(static_cast<std::size_t>(picture->width) * picture->height * 3);
    f.read(reinterpret_cast<char*>(picture->rgb.data()), static_cast<std::streamsize>(picture->rgb.size()));
    return static_cast<bool>(f);
}

double psnr(const Picture& a, const Picture& b)
{
    if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size() || a.rgb.empty())
        return -1;
    double sum = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) {
        const double d = double(a.rgb[i]) - double(b.rgb[i]);
        sum += d * d;
    }
    if (sum == 0)
        return std::numeric_limits<double>::infinity();
    const double mse = sum / double(a.rgb.size());
    return 10 * std::log10(255.0 * 255.0 / mse);
}

std::vector<std::uint8_t> readFile(const std::filesystem::path& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

bool writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

std::vector<std::uint8_t> cjpeg(const Picture& picture, int quality, const std::filesystem::path& workDir)
{
    const auto ppm = workDir / "cjpeg-in.ppm";
    const auto jpg = workDir / "cjpeg-out.jpg";
    if (!writePpm(ppm, picture))
        return {};
    const auto r = run("cjpeg -quality " + std::to_string(quality) + " -outfile " + quote(jpg.string()) +
                       " " + quote(ppm.string()));
    if (r.exitCode != 0)
        return {};
    return readFile(jpg);
}

std::vector<std::uint8_t> cleanJpeg(const Picture& picture, int quality, const std::filesystem::path& workDir)
{
    for (int q = quality; q > quality - 20 && q > 1; --q) {
        auto jpeg = cjpeg(picture, q, workDir);
        if (jpeg.empty())
            return jpeg;
        const auto r = run("ffmpeg -nostdin -v warning -i " + quote((workDir / "cjpeg-out.jpg").string()) +
                           " -f null -");
        if (r.exitCode == 0 && r.output.empty())
            return jpeg;
    }
    return {};
}

std::vector<std::uint8_t> withFlippedParity(const std::vector<std::uint8_t>& jpeg)
{
    // COM segment: FF FE, length 3 (the length field and one byte), one byte of text.
    std::vector<std::uint8_t> out;
    if (jpeg.size() < 2)
        return out;
    const std::uint8_t com[] = {0xFF, 0xFE, 0x00, 0x03, 'x'};
    out.reserve(jpeg.size() + sizeof com);
    out.push_back(jpeg[0]);
    out.push_back(jpeg[1]);
    for (std::uint8_t b : com)
        out.push_back(b);
    for (std::size_t i = 2; i < jpeg.size(); ++i)
        out.push_back(jpeg[i]);
    return out;
}

bool firstVideoFrame(const std::filesystem::path& file, const std::filesystem::path& ppm, Picture* picture)
{
    return run("ffmpeg -nostdin -v error -i " + quote(file.string()) + " -frames:v 1 -pix_fmt rgb24 -y " +
               quote(ppm.string()))
                   .exitCode == 0 &&
           readPpm(ppm, picture);
}

std::vector<std::filesystem::path> aviFiles(const std::filesystem::path& dir)
{
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().extension() == ".avi")
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<long> packetPts(const std::filesystem::path& file, char streamType)
{
    const auto r = run(std::string("ffprobe -v error -select_streams ") + streamType +
                       ":0 -show_entries packet=pts -of csv=p=0 " + quote(file.string()));
    std::vector<long> pts;
    std::istringstream in(r.output);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        try {
            pts.push_back(std::stol(line));
        } catch (...) {
            pts.push_back(-999999); // an unreadable line shows in the comparison
        }
    }
    return pts;
}

std::string streamEntry(const std::filesystem::path& file, const std::string& stream,
                        const std::string& entry)
{
    auto r = run("ffprobe -v error -select_streams " + stream + ":0 -show_entries stream=" + entry +
                 " -of default=nw=1:nk=1 " + quote(file.string()));
    while (!r.output.empty() && (r.output.back() == '\n' || r.output.back() == '\r'))
        r.output.pop_back();
    return r.output;
}

} // namespace mediatest
