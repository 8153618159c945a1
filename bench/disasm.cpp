// Lists an 8K-word image with four search codes and times it next to gpdasm
// disassembling the same HEX file.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "benchutil.h"
#include "base/convert.h"
#include "base/textfile.h"
#include "disasm/disasm.h"

namespace {

using bench::Median;

// A program-like mix: every instruction class, jumps across the whole part.
std::vector<int> Image(int words) {
    std::vector<int> image;
    std::uint32_t seed = 12345;
    for (int a = 0; a < words; ++a) {
        seed = seed * 1103515245u + 12345u;
        image.push_back(static_cast<int>((seed >> 8) & 0x3FFF));
    }
    return image;
}

void WriteHex(const std::string& path, const std::vector<int>& words) {
    std::ofstream out(path, std::ios::binary);
    out << ":020000040000FA\r\n";
    for (std::size_t a = 0; a < words.size(); a += 8) {
        const int address = static_cast<int>(a * 2);
        int sum = 16 + (address >> 8) + (address & 0xFF);
        std::string line = ":10" + vx::HexText(static_cast<std::uint32_t>(address), 4) + "00";
        for (std::size_t i = a; i < a + 8; ++i) {
            const int lo = words[i] & 0xFF, hi = words[i] >> 8;
            line += vx::HexText(static_cast<std::uint32_t>(lo), 2) + vx::HexText(static_cast<std::uint32_t>(hi), 2);
            sum += lo + hi;
        }
        out << line << vx::HexText(static_cast<std::uint32_t>((256 - sum % 256) % 256), 2) << "\r\n";
    }
    out << ":00000001FF\r\n";
}

}  // namespace

int main() {
    const int kWords = 8192;
    const auto dir = std::filesystem::temp_directory_path() / "vormex-bench-disasm";
    std::filesystem::create_directories(dir);
    const std::string hexPath = (dir / "image.hex").string();
    const std::string listPath = (dir / "dis_asm.asm").string();

    vx::DisasmInput input;
    input.mcuId = "16F877A";
    input.words = Image(kWords);
    input.configWord = 0x3F3A;
    input.idText = "1234";
    input.searchCodes = {"3000", "0103", "2800", "3FFF"};
    WriteHex(hexPath, input.words);

    int matches = 0;
    const double listing = Median(21, [&] { matches = vx::Core14_serch(input).flagCount; });
    std::string error;
    const double withFile =
        Median(21, [&] { vx::WriteFileAtomically(listPath, vx::Core14_serch(input).text, error); });

    const std::string gpdasm = "gpdasm -p p16f877a '" + hexPath + "' > '" + (dir / "gpdasm.txt").string() + "' 2>&1";
    int status = 0;
    const double tool = Median(5, [&] { status = std::system(gpdasm.c_str()); });

    std::printf("listing of %d words, 4 search codes (%d matching words)\n", kWords, matches);
    std::printf("  Core14_serch in memory      %8.2f ms\n", listing);
    std::printf("  Core14_serch + dis_asm.asm  %8.2f ms\n", withFile);
    if (status == 0)
        std::printf("  gpdasm on the same HEX file %8.2f ms\n", tool);
    else
        std::printf("  gpdasm failed or is missing (status %d); scripts/deps.sh installs gputils\n", status);
    std::filesystem::remove_all(dir);
    return status == 0 ? 0 : 1;
}
