// Listings assembled again with gpasm give back the very words they list.
#include "listing_support.h"

#include "base/convert.h"
#include "device/devicedb.h"
#include "session/session.h"
#include "support/fakes.h"
#include "support/imagefixture.h"

using namespace vx;
using namespace vx::test;

namespace {

// The chip image as the session holds it after a load.
struct Image {
    std::vector<int> words;
    std::array<int, 4> idWords{};
    int configWord = 0;
};

Image ImageOf(const Session& s) {
    Image image;
    for (int a = 0; a < s.device.programWords; ++a)
        image.words.push_back(ProgramWord(s, a));
    for (int k = 0; k < 4; ++k)
        image.idWords[static_cast<std::size_t>(k)] = IdWord(s, k);
    image.configWord = s.buffer.configWord;
    return image;
}

void ExpectSameImage(const Image& listed, const Image& original) {
    ASSERT_EQ(listed.words.size(), original.words.size());
    int differences = 0;
    for (std::size_t a = 0; a < original.words.size() && differences < 10; ++a)
        if (listed.words[a] != original.words[a]) {
            ++differences;
            ADD_FAILURE() << "word " << HexText(static_cast<std::uint32_t>(a), 4) << ": listed "
                          << HexText(static_cast<std::uint32_t>(listed.words[a]), 4) << ", original "
                          << HexText(static_cast<std::uint32_t>(original.words[a]), 4);
        }
    EXPECT_EQ(listed.configWord, original.configWord);
    EXPECT_EQ(listed.idWords, original.idWords);
}

// A session on the shipped database with `device` selected.
class Bench {
public:
    explicit Bench(const std::string& device) {
        WriteFileBytes(rig.dir + "device.ini", ReadFileBytes(SourcePath("data/device.ini")));
        LoadDeviceList(s);
        EXPECT_TRUE(SelectByName(rig, device)) << device;
    }

    // Assembles rig.dir/name.asm and loads the HEX file it gives.
    void assembleAndLoad(const std::string& name, const std::string& options = "") {
        const ToolRun run = RunTool("cd '" + rig.dir + "' && gpasm -a inhx32 " + options + " " + name + ".asm");
        ASSERT_EQ(run.status, 0) << name << ":\n" << run.output;
        LoadHexPath(rig, rig.dir + name + ".hex");
    }

    // Lists the loaded image into AppDir, assembles that listing, loads it.
    Image relist(const std::string& options = "") {
        RunCore14Search(s, {});
        assembleAndLoad("dis_asm", options);
        return ImageOf(s);
    }

    TestRig rig;
    Session& s = *rig.session;
};

void RoundTrip(const std::string& device, const std::string& source) {
    ASSERT_TRUE(ToolAvailable("gpasm")) << "gpasm (gputils) is needed; scripts/deps.sh installs it";
    Bench bench(device);
    WriteFileBytes(bench.rig.dir + "original.asm", source);
    bench.assembleAndLoad("original");
    ASSERT_FALSE(::testing::Test::HasFailure());
    const Image original = ImageOf(bench.s);
    ExpectSameImage(bench.relist(), original);
}

const char* const k16F84A = R"(
        list    p=16f84a
        include "p16f84a.inc"
        __config _CP_OFF & _WDT_OFF & _PWRTE_ON & _XT_OSC
        __idlocs H'12A4'
count   equ     0x0C
saveW   equ     0x0D
saveS   equ     0x0E
        org     0
        goto    start
        org     4
isr     movwf   saveW
        swapf   STATUS,W
        movwf   saveS
        bcf     INTCON,T0IF
        incf    count,F
        swapf   saveS,W
        movwf   STATUS
        swapf   saveW,F
        swapf   saveW,W
        retfie
start   bsf     STATUS,RP0
        clrf    TRISB
        movlw   b'00011111'
        movwf   TRISA
        movlw   0x07
        movwf   OPTION_REG
        bcf     STATUS,RP0
        clrw
        movwf   PORTB
        bsf     INTCON,T0IE
        bsf     INTCON,GIE
loop    movf    count,W
        andlw   0x07
        call    table
        movwf   PORTB
        btfss   PORTA,4
        goto    write
        clrwdt
        goto    loop
write   movwf   EEDATA
        movlw   0x10
        movwf   EEADR
        bsf     STATUS,RP0
        bsf     EECON1,WREN
        movlw   0x55
        movwf   EECON2
        movlw   0xAA
        movwf   EECON2
        bsf     EECON1,WR
        bcf     STATUS,RP0
        decfsz  count,F
        goto    loop
        sleep
        nop
        goto    loop
table   addwf   PCL,F
        retlw   0x3F
        retlw   0x06
        retlw   0x5B
        retlw   0x4F
        retlw   0x66
        retlw   0x6D
        retlw   0x7D
        retlw   0x07
        dw      0x0001, 0x3FFF, 0x0060, 0x3500
        org     0x3FF
        return
        end
)";

const char* const k16F628A = R"(
        list    p=16f628a
        include "p16f628a.inc"
        __config _CP_OFF & _WDT_OFF & _LVP_OFF & _INTOSC_OSC_NOCLKOUT & _MCLRE_ON
        __idlocs H'0F0F'
tmp     equ     0x20
        org     0
        movlw   0x07
        movwf   CMCON
        bsf     STATUS,RP0
        movlw   0x00
        movwf   TRISB
        option
        bcf     STATUS,RP0
        tris    6
main    call    delay
        comf    PORTB,F
        rlf     tmp,F
        rrf     tmp,W
        iorwf   tmp,F
        xorwf   tmp,W
        subwf   tmp,F
        iorlw   0x80
        xorlw   0xFF
        sublw   0x10
        addlw   0x01
        btfsc   STATUS,Z
        goto    main
        goto    far
delay   movlw   0xFF
        movwf   tmp
d1      decfsz  tmp,F
        goto    d1
        return
        org     0x7F0
far     incfsz  tmp,W
        movf    FSR,F
        movwf   INDF
        clrf    PCLATH
        goto    main
        end
)";

// Code in all four pages, reached through PCLATH.
const char* const k16F877A = R"(
        list    p=16f877a
        include "p16f877a.inc"
        __config _CP_OFF & _WDT_OFF & _BODEN_OFF & _PWRTE_ON & _HS_OSC & _LVP_OFF
        __idlocs H'877A'
        org     0
        pagesel page1
        goto    page1
        org     4
        retfie
        org     0x10
back    bsf     STATUS,RP0
        movwf   TRISC
        movwf   TRISD
        bcf     STATUS,RP0
        movwf   PORTC
        movwf   PORTD
        movwf   PORTE
        movwf   0x70
        return
        org     0x800
page1   pagesel page2
        call    page2
        pagesel back
        call    back
        pagesel page3
        goto    page3
        org     0x1000
page2   movlw   0x22
        movwf   PORTB
        return
        org     0x1800
page3   movlw   0x33
        addwf   PCL,F
        retlw   1
        retlw   2
        clrf    PCLATH
        goto    0
        org     0x1FFF
        sleep
        end
)";

}  // namespace

TEST(GpasmRoundTrip, ListsA16F84AProgramThatReassemblesIdentically) { RoundTrip("PIC16F84A", k16F84A); }

TEST(GpasmRoundTrip, ListsA16F628AProgramThatReassemblesIdentically) { RoundTrip("PIC16F628A", k16F628A); }

TEST(GpasmRoundTrip, ListsA16F877AProgramOverFourPagesThatReassemblesIdentically) {
    RoundTrip("PIC16F877A", k16F877A);
}

// Every 14-bit word, listed with the names of each register group. The
// device headers spell the power-down and time-out bits NOT_PD and NOT_TO,
// so the listing's PD and TO are defined for the assembler here.
TEST(GpasmRoundTrip, EveryWordReassemblesToItselfInEveryRegisterGroup) {
    ASSERT_TRUE(ToolAvailable("gpasm")) << "gpasm (gputils) is needed; scripts/deps.sh installs it";
    struct Chunk {
        const char* device;
        int first;
        int size;
    };
    std::vector<Chunk> chunks = {{"PIC16F877A", 0x0000, 8192}, {"PIC16F877A", 0x2000, 8192}, {"PIC16F877", 0x0000, 8192}};
    // Jumps stay out of the small part: their labels would lie beyond its memory.
    for (int first = 0; first < 0x2000; first += 1024)
        chunks.push_back({"PIC16F84A", first, 1024});
    for (const Chunk& c : chunks) {
        SCOPED_TRACE(std::string(c.device) + " from " + HexText(static_cast<std::uint32_t>(c.first), 4));
        Bench bench(c.device);
        ASSERT_EQ(bench.s.device.programWords, c.size);
        for (int a = 0; a < c.size; ++a) {
            bench.s.buffer.program[static_cast<std::size_t>(2 * a)] = static_cast<std::uint8_t>((c.first + a) >> 8);
            bench.s.buffer.program[static_cast<std::size_t>(2 * a + 1)] = static_cast<std::uint8_t>(c.first + a);
        }
        Image expected = ImageOf(bench.s);
        // CLRW comes back in the encoding assemblers emit.
        if (c.first == 0)
            expected.words[0x0100] = 0x0103;
        ExpectSameImage(bench.relist("-D PD=3 -D TO=4"), expected);
    }
}
