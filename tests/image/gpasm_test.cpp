// HEX files from a real assembler load with every word where the source put it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "base/convert.h"
#include "device/devicedb.h"
#include "image/hexfile.h"
#include "support/imagefixture.h"

using namespace vx;
using namespace vx::test;

namespace {

// Assembles source in rig.dir and loads the HEX file for device.
bool assembleAndLoad(TestRig& rig, const std::string& device, const std::string& source) {
    if (std::system("command -v gpasm >/dev/null 2>&1") != 0) {
        ADD_FAILURE() << "gpasm (package gputils) is needed: scripts/deps.sh installs it";
        return false;
    }
    WriteTestFile(rig, "prog.asm", source);
    const std::string command = "cd '" + rig.dir + "' && gpasm -o prog.hex prog.asm >gpasm.log 2>&1";
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << ReadFileBytes(rig.dir + "gpasm.log");
        return false;
    }
    if (!SelectByName(rig, device)) {
        ADD_FAILURE() << device << " is not in the test database";
        return false;
    }
    LoadHexPath(rig, rig.dir + "prog.hex");
    return true;
}

}  // namespace

TEST(AssemblerOutput, Pic16F84AWithEepromDataAndIdLocations) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(assembleAndLoad(rig, "PIC16F84A", R"(
    list p=16f84a
    __config 0x3FF1
    __idlocs 0x1234
    org 0
    movlw 0x55
    goto 0
    org 0x3FF
    retlw 0x99
    org 0x2100
    de "AB", 0x7F
    end
)"));
    const auto& s = *rig.session;
    EXPECT_EQ(ProgramWord(s, 0), 0x3055);
    EXPECT_EQ(ProgramWord(s, 1), 0x2800);
    EXPECT_EQ(ProgramWord(s, 2), 0x3FFF);
    EXPECT_EQ(ProgramWord(s, 0x3FF), 0x3499);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(IdWord(s, k), 0x3FF1 + k);
    EXPECT_EQ(s.view.idText, "1234");
    EXPECT_EQ(ConfigAreaWord(s), 0x3FF1);
    EXPECT_EQ(s.view.configText, "3FF1");
    EXPECT_EQ(s.grid.cells[1][1], "XT");
    EXPECT_EQ(EepromByte(s, 0), 'A');
    EXPECT_EQ(EepromByte(s, 1), 'B');
    EXPECT_EQ(EepromByte(s, 2), 0x7F);
    EXPECT_EQ(EepromByte(s, 3), 0xFF);
    EXPECT_EQ(s.view.note, "ファイルオープン完了 ");
}

TEST(AssemblerOutput, Pic12F675WithCalibrationWordAndEeprom) {
    TestRig rig;
    UseTestDatabase(rig);
    ASSERT_TRUE(assembleAndLoad(rig, "PIC12F675", R"(
    list p=12f675
    __config 0x3184
    __idlocs 0xABCD
    org 0
    movlw 0x12
    retlw 0x34
    org 0x3FF
    retlw 0x80
    org 0x2100
    de 0x11, 0x22
    end
)"));
    const auto& s = *rig.session;
    EXPECT_EQ(ProgramWord(s, 0), 0x3012);
    EXPECT_EQ(ProgramWord(s, 1), 0x3434);
    EXPECT_EQ(ProgramWord(s, 0x3FF), 0x3480);
    EXPECT_EQ(s.view.idText, "ABCD");
    EXPECT_EQ(IdWord(s, 0), 0x3FFA);
    EXPECT_EQ(IdWord(s, 3), 0x3FFD);
    EXPECT_EQ(ConfigAreaWord(s), 0x3184);
    EXPECT_EQ(EepromByte(s, 0), 0x11);
    EXPECT_EQ(EepromByte(s, 1), 0x22);
    EXPECT_EQ(EepromByte(s, 127), 0xFF);
}

TEST(AssemblerOutput, TwelveBitPartsKeepTheirIdWords) {
    const char* const body = R"(
    __config 0xFEA
    __idlocs 0x5678
    org 0
    movlw 0x12
    goto 0
    org 0x1FF
    movlw 0x50
    end
)";
    for (const auto& [device, processor] : {std::pair{"PIC12C508", "12c508"}, std::pair{"PIC12C509", "12c509"},
                                            std::pair{"PIC16C54", "16c54"}}) {
        SCOPED_TRACE(device);
        TestRig rig;
        UseTestDatabase(rig);
        std::string source = "    list p=" + std::string(processor) + body;
        if (std::string(device) == "PIC12C509")  // code right where the 512-word parts keep their IDs
            source.insert(source.find("    end"), "    org 0x200\n    retlw 0x77\n");
        ASSERT_TRUE(assembleAndLoad(rig, device, source));
        const auto& s = *rig.session;
        EXPECT_EQ(ProgramWord(s, 0), 0x0C12);
        EXPECT_EQ(ProgramWord(s, 1), 0x0A00);
        EXPECT_EQ(ProgramWord(s, 2), 0x0FFF);
        EXPECT_EQ(ProgramWord(s, 0x1FF), 0x0C50);
        if (std::string(device) == "PIC12C509") {
            EXPECT_EQ(ProgramWord(s, 0x200), 0x0877);
        }
        EXPECT_EQ(s.buffer.idText, "5678");
        EXPECT_EQ(s.view.idText, "5678");
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(IdWord(s, k), 5 + k);
        EXPECT_EQ(ConfigAreaWord(s), 0x0FEA);
        EXPECT_EQ(s.buffer.configWord, 0x0FEA);
    }
}

// The 12C5 family's code-protect rule belongs to the parts whose protection
// is bit 3; on the PIC16C505 bit 3 is the watchdog, and the shipped database
// says so. Every watchdog/MCLR/CP setting must load and save unchanged.
TEST(AssemblerOutput, Pic16C505ConfigurationWordsRoundTripAnd12C508KeepsItsRule) {
    TestRig rig;
    WriteTestFile(rig, "device.ini", ReadFileBytes(SourcePath("data/device.ini")));
    ASSERT_TRUE(LoadDeviceList(*rig.session));
    const auto& s = *rig.session;
    for (const int wdt : {0, 0x008}) {
        for (const int mclr : {0, 0x020}) {
            for (const int cp : {0, 0xFD0}) {
                const int word = 0x004 | wdt | mclr | cp;  // INTRC with I/O on the clock pin
                SCOPED_TRACE(HexText(static_cast<std::uint32_t>(word), 4));
                ASSERT_TRUE(assembleAndLoad(rig, "PIC16C505",
                                            "    list p=16c505\n    __config 0x" + HexText(static_cast<std::uint32_t>(word), 3) +
                                                "\n    __idlocs 0x1234\n    org 0\n    movlw 0x12\n    end\n"));
                EXPECT_EQ(ConfigAreaWord(s), word);
                EXPECT_EQ(s.buffer.configWord, word);
                EXPECT_EQ(s.buffer.idText, "1234");
                SaveHexPath(rig, rig.dir + "saved.hex");
                const std::string saved = ReadFileBytes(rig.dir + "saved.hex");
                const std::string record = AppendHexChecksum(":021FFE00" + HexText(word & 0xFF, 2) +
                                                             HexText(static_cast<std::uint32_t>(word >> 8), 2));
                EXPECT_NE(saved.find(record + "\r\n"), std::string::npos) << record;
                LoadHexPath(rig, rig.dir + "saved.hex");
                EXPECT_EQ(ConfigAreaWord(s), word);
            }
        }
    }
    // 12C508: bit 3 clear is code protection; the word keeps FOSC, WDT and MCLR only.
    ASSERT_TRUE(assembleAndLoad(rig, "PIC12C508", "    list p=12c508\n    __config 0xFE6\n    end\n"));
    EXPECT_EQ(ConfigAreaWord(s), 0x0006);
    ASSERT_TRUE(assembleAndLoad(rig, "PIC12C508", "    list p=12c508\n    __config 0xFEE\n    end\n"));
    EXPECT_EQ(ConfigAreaWord(s), 0x0FEE);
}
