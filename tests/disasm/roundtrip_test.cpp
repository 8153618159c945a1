// Listings assembled again with gpasm give back the very words they list.
#include "listing_support.h"

#include "image/convert.h"
#include "support/fakes.h"

using namespace vx;
using namespace vx::test;

namespace {

// Assembles dir/name.asm into an INHX32 file and reads it back.
ChipImage Assemble(const std::string& dir, const std::string& name, int programWords,
                   const std::string& options = "") {
    const ToolRun run = RunTool("cd '" + dir + "' && gpasm -a inhx32 " + options + " " + name + ".asm");
    EXPECT_EQ(run.status, 0) << name << ":\n" << run.output;
    const HexImage hex = ReadIntelHex(dir + name + ".hex");
    EXPECT_TRUE(hex.ok) << name << ".hex";
    return ImageOf(hex, programWords);
}

void ExpectSameImage(const ChipImage& listed, const ChipImage& original) {
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

// Lists the image, writes the listing beside it, assembles it again.
ChipImage Relist(const std::string& dir, const std::string& mcu, const ChipImage& image,
                 const std::string& options = "") {
    DisasmInput input;
    input.mcuId = mcu;
    input.words = image.words;
    input.configWord = image.configWord;
    input.idText = image.idText();
    EXPECT_TRUE(WriteListingFile(dir + "listing.asm", Core14_serch(input).text));
    return Assemble(dir, "listing", static_cast<int>(image.words.size()), options);
}

void RoundTrip(const std::string& mcu, int programWords, const std::string& source) {
    ASSERT_TRUE(ToolAvailable("gpasm")) << "gpasm (gputils) is needed; scripts/deps.sh installs it";
    TestRig rig;
    WriteFileBytes(rig.dir + "original.asm", source);
    const ChipImage original = Assemble(rig.dir, "original", programWords);
    ASSERT_FALSE(::testing::Test::HasFailure());
    ExpectSameImage(Relist(rig.dir, mcu, original), original);
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

TEST(GpasmRoundTrip, ListsA16F84AProgramThatReassemblesIdentically) { RoundTrip("16F84A", 1024, k16F84A); }

TEST(GpasmRoundTrip, ListsA16F628AProgramThatReassemblesIdentically) { RoundTrip("16F628A", 2048, k16F628A); }

TEST(GpasmRoundTrip, ListsA16F877AProgramOverFourPagesThatReassemblesIdentically) {
    RoundTrip("16F877A", 8192, k16F877A);
}

// Every 14-bit word, listed with the names of each register group. The
// device headers spell the power-down and time-out bits NOT_PD and NOT_TO,
// so the listing's PD and TO are defined for the assembler here.
TEST(GpasmRoundTrip, EveryWordReassemblesToItselfInEveryRegisterGroup) {
    ASSERT_TRUE(ToolAvailable("gpasm")) << "gpasm (gputils) is needed; scripts/deps.sh installs it";
    TestRig rig;
    struct Chunk {
        const char* mcu;
        int first;
        int size;
    };
    std::vector<Chunk> chunks = {{"16F877A", 0x0000, 8192}, {"16F877A", 0x2000, 8192}, {"16F877", 0x0000, 8192}};
    // Jumps stay out of the small part: their labels would lie beyond its memory.
    for (int first = 0; first < 0x2000; first += 1024)
        chunks.push_back({"16F84A", first, 1024});
    for (const Chunk& c : chunks) {
        SCOPED_TRACE(std::string(c.mcu) + " from " + HexText(static_cast<std::uint32_t>(c.first), 4));
        ChipImage image;
        for (int i = 0; i < c.size; ++i)
            image.words.push_back(c.first + i);
        image.configWord = 0x3F3A;
        image.idWords = {0x0001, 0x0002, 0x0003, 0x0004};
        ChipImage expected = image;
        // CLRW comes back in the encoding assemblers emit.
        if (c.first == 0)
            expected.words[0x0100] = 0x0103;
        ExpectSameImage(Relist(rig.dir, c.mcu, image, "-D PD=3 -D TO=4"), expected);
    }
}
