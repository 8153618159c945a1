// The decoding table and the operand forms, one word at a time.
#include "listing_support.h"

#include "base/convert.h"

using namespace vx;
using namespace vx::test;

namespace {

struct Case {
    int word;
    const char* mnemonic;
    const char* operands;  // trimmed
};

// Every instruction at its canonical encoding and at both ends of its
// operand fields (a part of group C, 2 words, so jumps read as labels).
const Case kInstructions[] = {
    {0x3E00, "ADDLW ", "H'00'"},      {0x3EFF, "ADDLW ", "H'FF'"},
    {0x3900, "ANDLW ", "H'00'"},      {0x39FF, "ANDLW ", "H'FF'"},
    {0x0700, "ADDWF ", "INDF,W"},     {0x07FF, "ADDWF ", "0x7F,F"},
    {0x0500, "ANDWF ", "INDF,W"},     {0x05FF, "ANDWF ", "0x7F,F"},
    {0x1000, "BCF   ", "INDF,0"},     {0x13FF, "BCF   ", "0x7F,7"},
    {0x1400, "BSF   ", "INDF,0"},     {0x17FF, "BSF   ", "0x7F,7"},
    {0x1800, "BTFSC ", "INDF,0"},     {0x1BFF, "BTFSC ", "0x7F,7"},
    {0x1C00, "BTFSS ", "INDF,0"},     {0x1FFF, "BTFSS ", "0x7F,7"},
    {0x2000, "CALL  ", "L_0000"},     {0x27FF, "CALL  ", "L_07FF"},
    {0x0180, "CLRF  ", "INDF"},       {0x01FF, "CLRF  ", "0x7F"},
    {0x0100, "CLRW   ", ""},          {0x0103, "CLRW   ", ""},
    {0x0064, "CLRWDT ", ""},
    {0x0900, "COMF  ", "INDF,W"},     {0x09FF, "COMF  ", "0x7F,F"},
    {0x0300, "DECF  ", "INDF,W"},     {0x03FF, "DECF  ", "0x7F,F"},
    {0x0B00, "DECFSZ", "INDF,W"},     {0x0BFF, "DECFSZ", "0x7F,F"},
    {0x2800, "GOTO  ", "L_0000"},     {0x2FFF, "GOTO  ", "L_07FF"},
    {0x0A00, "INCF  ", "INDF,W"},     {0x0AFF, "INCF  ", "0x7F,F"},
    {0x0F00, "INCFSZ", "INDF,W"},     {0x0FFF, "INCFSZ", "0x7F,F"},
    {0x3800, "IORLW ", "H'00'"},      {0x38FF, "IORLW ", "H'FF'"},
    {0x0400, "IORWF ", "INDF,W"},     {0x04FF, "IORWF ", "0x7F,F"},
    {0x3000, "MOVLW ", "H'00'"},      {0x30FF, "MOVLW ", "H'FF'"},
    {0x0800, "MOVF  ", "INDF,W"},     {0x08FF, "MOVF  ", "0x7F,F"},
    {0x0080, "MOVWF ", "INDF"},       {0x00FF, "MOVWF ", "0x7F"},
    {0x0000, "NOP    ", ""},
    {0x0062, "OPTION ", ""},
    {0x0009, "RETFIE ", ""},
    {0x3400, "RETLW ", "H'00'"},      {0x34FF, "RETLW ", "H'FF'"},
    {0x0008, "RETURN ", ""},
    {0x0D00, "RLF   ", "INDF,W"},     {0x0DFF, "RLF   ", "0x7F,F"},
    {0x0C00, "RRF   ", "INDF,W"},     {0x0CFF, "RRF   ", "0x7F,F"},
    {0x0063, "SLEEP  ", ""},
    {0x3C00, "SUBLW ", "H'00'"},      {0x3CFF, "SUBLW ", "H'FF'"},
    {0x0200, "SUBWF ", "INDF,W"},     {0x02FF, "SUBWF ", "0x7F,F"},
    {0x0E00, "SWAPF ", "INDF,W"},     {0x0EFF, "SWAPF ", "0x7F,F"},
    {0x0065, "TRIS  ", "5"},          {0x0066, "TRIS  ", "6"},  {0x0067, "TRIS  ", "7"},
    {0x3A00, "XORLW ", "H'00'"},      {0x3AFF, "XORLW ", "H'FF'"},
    {0x0600, "XORWF ", "INDF,W"},     {0x06FF, "XORWF ", "0x7F,F"},
};

}  // namespace

TEST(DecodingTable, NamesEveryInstructionAtTheEdgesOfItsOperands) {
    for (const Case& c : kInstructions) {
        SCOPED_TRACE(HexText(static_cast<std::uint32_t>(c.word), 4));
        const WordLine line = Decode(c.word);
        EXPECT_EQ(line.mnemonic, c.mnemonic);
        EXPECT_EQ(Trimmed(line.operands), c.operands);
    }
}

TEST(DecodingTable, KeepsUnknownAndNonCanonicalWordsAsData) {
    std::vector<int> data;
    for (int w = 0x0001; w <= 0x0007; ++w) data.push_back(w);
    for (int w = 0x000A; w <= 0x0061; ++w) data.push_back(w);
    for (int w = 0x0068; w <= 0x007F; ++w) data.push_back(w);
    for (int w : {0x0101, 0x0102, 0x0104, 0x017F}) data.push_back(w);
    // Literal instructions with don't-care bits set, as no assembler emits them.
    for (int w : {0x3100, 0x31FF, 0x3200, 0x3300, 0x33FF, 0x3500, 0x3600, 0x37FF, 0x3B00, 0x3BFF,
                  0x3D00, 0x3DFF, 0x3F00, 0x3FFF})
        data.push_back(w);
    const auto lines = WordLines(List("16F628A", data));
    ASSERT_EQ(lines.size(), data.size());
    for (std::size_t i = 0; i < data.size(); ++i) {
        SCOPED_TRACE(HexText(static_cast<std::uint32_t>(data[i]), 4));
        EXPECT_EQ(lines[i].mnemonic, "DA    ");
        EXPECT_EQ(Trimmed(lines[i].operands), "0x" + HexText(static_cast<std::uint32_t>(data[i]), 4));
    }
}

TEST(DecodingTable, NamesTheStatusBitsOnlyOnStatus) {
    const char* const names[] = {"C", "DC", "Z", "PD", "TO", "RP0", "RP1", "IRP"};
    for (int b = 0; b < 8; ++b) {
        EXPECT_EQ(Trimmed(Decode(0x1403 | b << 7).operands), std::string("STATUS,") + names[b]);
        EXPECT_EQ(Trimmed(Decode(0x1C04 | b << 7).operands), "FSR," + std::to_string(b));
    }
}

TEST(RegisterNames, DependOnTheDeviceGroup) {
    // movwf 0x08 / 0x09 / 0x07 and bcf 0x01,0 on each group
    EXPECT_EQ(Decode(0x0088, "16F877").operands, "PORTD  \t;TRISD ");
    EXPECT_EQ(Decode(0x0089, "16F873").operands, "PORTE  \t;TRISE ");
    EXPECT_EQ(Trimmed(Decode(0x0088, "16F877A").operands), "0x08");
    EXPECT_EQ(Trimmed(Decode(0x0089, "16F628A").operands), "0x09");
    EXPECT_EQ(Decode(0x0087, "16F628A").operands, "PORTC  \t;TRISC ");
    EXPECT_EQ(Trimmed(Decode(0x0087, "16F84A").operands), "0x07");
    EXPECT_EQ(Decode(0x1001, "12F675").operands, "TMR0,0\t\t;OPTION");
    for (const char* mcu : {"16F84", "16F83", "16F84A", "16F877", "16F628A"}) {
        SCOPED_TRACE(mcu);
        EXPECT_EQ(Trimmed(Decode(0x0082, mcu).operands), "PCL");
        EXPECT_EQ(Trimmed(Decode(0x0084, mcu).operands), "FSR");
        EXPECT_EQ(Trimmed(Decode(0x008A, mcu).operands), "PCLATH");
        EXPECT_EQ(Trimmed(Decode(0x008B, mcu).operands), "INTCON");
        EXPECT_EQ(Trimmed(Decode(0x008C, mcu).operands), "0x0C");
    }
    // Group A at reset is in bank 0: no hints.
    EXPECT_EQ(Trimmed(Decode(0x0081, "16F84A").operands), "TMR0");
    EXPECT_EQ(Trimmed(Decode(0x0088, "16F84").operands), "EEDATA");
    EXPECT_EQ(Trimmed(Decode(0x0089, "16F83").operands), "EEADR");
}

TEST(RegisterNames, FollowTheTrackedBankOnThe16F84Family) {
    // bsf STATUS,RP0; movwf 5; movwf 1; movwf 8; movwf 9; bcf STATUS,RP0; movwf 5; goto 8; movwf 5
    const std::vector<int> words = {0x1683, 0x0085, 0x0081, 0x0088, 0x0089, 0x1283, 0x0085, 0x2808,
                                    0x0085, 0x0081, 0x0088, 0x0089, 0x1683, 0x0086};
    const auto lines = WordLines(List("16F84A", words));
    EXPECT_EQ(lines[1].operands, "TRISA   \t");  // the name keeps its trailing space
    EXPECT_EQ(Trimmed(lines[2].operands), "OPTION_REG");
    EXPECT_EQ(Trimmed(lines[3].operands), "EECON1");
    EXPECT_EQ(Trimmed(lines[4].operands), "EECON2");
    EXPECT_EQ(Trimmed(lines[6].operands), "PORTA");
    // After a label the bank is unknown: bank-0 names with the bank-1 hint.
    EXPECT_EQ(lines[8].label, "L_0008");
    EXPECT_EQ(lines[8].operands, "PORTA  \t;TRISA ");
    EXPECT_EQ(lines[9].operands, "TMR0  \t\t;OPTION");
    EXPECT_EQ(lines[10].operands, "EEDATA  \t;EECON1");
    EXPECT_EQ(lines[11].operands, "EEADR  \t;EECON2");
    EXPECT_EQ(Trimmed(lines[13].operands), "TRISB");

    // Other groups never track: the same program keeps the hints throughout.
    const auto other = WordLines(List("16F877", words));
    EXPECT_EQ(other[1].operands, "PORTA  \t;TRISA ");
}

TEST(Labels, OnlyPartsOfAtMost2048WordsGetThem) {
    std::vector<int> words(2048, 0x3FFF);
    words[0] = 0x2005;  // call 5
    words[1] = 0x2FFF;  // goto 0x7FF
    auto lines = WordLines(List("16F628A", words));
    EXPECT_EQ(Trimmed(lines[0].operands), "L_0005");
    EXPECT_EQ(lines[5].label, "L_0005");
    EXPECT_EQ(lines[0x7FF].label, "L_07FF");
    EXPECT_EQ(lines[4].label, "");

    words.resize(2049, 0x3FFF);
    lines = WordLines(List("16F628A", words));
    EXPECT_EQ(Trimmed(lines[0].operands), "0x0005");
    EXPECT_EQ(Trimmed(lines[1].operands), "0x07FF");
    for (const WordLine& line : lines)
        EXPECT_EQ(line.label, "");
}
