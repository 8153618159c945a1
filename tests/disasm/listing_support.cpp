#include "listing_support.h"

#include <cstdlib>
#include <fstream>

#include "image/convert.h"

namespace vx::test {

HexImage ReadIntelHex(const std::string& path) {
    HexImage image;
    std::ifstream file(path);
    if (!file) {
        image.ok = false;
        return image;
    }
    std::uint32_t base = 0;
    std::string line;
    auto byteAt = [&line](std::size_t i) {
        return HexDigitValue(line[1 + 2 * i]) * 16 + HexDigitValue(line[2 + 2 * i]);
    };
    while (std::getline(file, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (line.empty())
            continue;
        if (line[0] != ':' || line.size() < 11) {
            image.ok = false;
            break;
        }
        const int count = byteAt(0);
        if (line.size() != 11 + 2 * static_cast<std::size_t>(count)) {
            image.ok = false;
            break;
        }
        int sum = 0;
        for (int i = 0; i < count + 5; ++i)
            sum += byteAt(static_cast<std::size_t>(i));
        if (sum % 256 != 0) {
            image.ok = false;
            break;
        }
        const std::uint32_t offset = static_cast<std::uint32_t>(byteAt(1) * 256 + byteAt(2));
        const int type = byteAt(3);
        if (type == 1)
            break;
        if (type == 4)
            base = static_cast<std::uint32_t>(byteAt(4) * 256 + byteAt(5)) << 16;
        if (type == 0)
            for (int i = 0; i < count; ++i)
                image.bytes[base + offset + static_cast<std::uint32_t>(i)] =
                    static_cast<std::uint8_t>(byteAt(4 + static_cast<std::size_t>(i)));
    }
    return image;
}

std::string ChipImage::idText() const {
    std::string text;
    for (int w : idWords)
        text += HexDigitChar(w & 0xF);
    return text;
}

ChipImage ImageOf(const HexImage& hex, int programWords) {
    ChipImage image;
    for (int a = 0; a < programWords; ++a)
        image.words.push_back(hex.word(2 * static_cast<std::uint32_t>(a)));
    image.configWord = hex.word(0x400E);
    for (int k = 0; k < 4; ++k)
        image.idWords[k] = hex.word(0x4000 + 2 * static_cast<std::uint32_t>(k));
    return image;
}

ToolRun RunTool(const std::string& commandLine) {
    ToolRun run;
    FILE* pipe = popen((commandLine + " 2>&1").c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool ToolAvailable(const std::string& tool) {
    return RunTool("command -v " + tool).status == 0;
}

}  // namespace vx::test
