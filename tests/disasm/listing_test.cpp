// The listing file as a whole: header, line layout, separators, the
// register section, the search, progress, and writing the file.
#include "listing_support.h"

#include "session/session.h"
#include "support/fakes.h"

using namespace vx;
using namespace vx::test;

namespace {

std::string Pad(const std::string& text, std::size_t width) {
    return text + std::string(width > text.size() ? width - text.size() : 1, ' ');
}

// A word line as an editor shows it: label at 0, mnemonic at 16, operands
// at 25, the address comment at 48.
std::string Columns(const std::string& label, const std::string& mnemonic, const std::string& operands,
                    const std::string& tail) {
    return Pad(label, 16) + Pad(mnemonic, 9) + Pad(operands, 23) + tail;
}

std::vector<int> Blank(int size) { return std::vector<int>(static_cast<std::size_t>(size), 0x3FFF); }

}  // namespace

TEST(ListingFile, StartsWithTheDirectivesAndColumnHeader) {
    DisasmInput input;
    input.mcuId = "16F84A";
    input.words = {0x0000};
    input.configWord = 0x3F1A;
    input.idText = "12AB";
    const auto lines = Lines(Core14_serch(input).text);
    const std::string rule = ";               ---------------------------------------------------------";
    const std::vector<std::string> header = {
        "\t\tLIST\tP=16F84A,ST=OFF",
        "",
        "\t\tINCLUDE\tP16F84A.INC",
        "\t\tERRORLEVEL  -302,-306",
        "",
        "\t\t__CONFIG    H'3F1A'",
        "\t\t__IDLOCS    H'12AB'",
        "",
        rule,
        ";               mnemonic operand                  address opcode  comment",
        rule,
        "",
    };
    ASSERT_GT(lines.size(), header.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + kHeaderLines), header);
    EXPECT_EQ(lines[kHeaderLines], "\t\tNOP    \t   \t\t\t; 000000  (0000)  ");
    EXPECT_EQ(lines[kHeaderLines + 1], "                END");
}

TEST(ListingFile, ShowsTheExampleLinesInTheirColumns) {
    std::vector<int> words = Blank(1024);
    words[0] = 0x3000;  // movlw 0
    words[1] = 0x1683;  // bsf STATUS,RP0, target of the call at 4
    words[2] = 0x0100;  // clrw
    words[4] = 0x2001;  // call 1
    words[5] = 0x2810;  // goto 0x10
    auto lines = Lines(List("16F84A", words).text);
    auto at = [&lines](int i) { return ExpandTabs(lines[kHeaderLines + static_cast<std::size_t>(i)]); };
    EXPECT_EQ(at(0), Columns("", "MOVLW", "H'00'", "; 000000  (3000)  "));
    EXPECT_EQ(at(1), Columns("L_0001", "BSF", "STATUS,RP0", "; 000001  (1683)  "));
    EXPECT_EQ(at(2), Columns("", "CLRW", "", "; 000002  (0100)  "));
    EXPECT_EQ(at(5), Columns("", "GOTO", "L_0010", "; 000005  (2810)  "));
    EXPECT_EQ(lines[kHeaderLines + 6], "\t\t\t\t\t\t;");
    EXPECT_EQ(ExpandTabs(lines[kHeaderLines + 1 + 0x10]).substr(0, 6), "L_0010");

    // movwf 1 while the bank is unknown (after a label): the hint at column 40
    lines = Lines(List("16F84A", {0x2801, 0x0000, 0x0000, 0x0081}).text);
    EXPECT_EQ(ExpandTabs(lines[kHeaderLines + 4]), Columns("", "MOVWF", Pad("TMR0", 15) + ";OPTION", "; 000003  (0081)  "));

    words = Blank(0x400);
    lines = Lines(List("16F84A", words, {"3000", "", "", ""}).text);
    EXPECT_EQ(ExpandTabs(lines[kHeaderLines + 0x3FF]), Columns("", "DA", "0x3FFF", "; 0003FF  (3FFF)  changeable 3000 "));
}

TEST(ListingFile, SeparatesAfterEveryUnconditionalTransfer) {
    // goto, retfie, retlw, return get a separator; call and the rest do not
    const auto lines = Lines(List("16F628A", {0x2804, 0x0009, 0x3412, 0x0008, 0x2000, 0x0000}).text);
    const std::vector<std::string> body(lines.begin() + kHeaderLines, lines.begin() + kHeaderLines + 11);
    const std::string sep = "\t\t\t\t\t\t;";
    for (int i : {1, 3, 5, 7})
        EXPECT_EQ(body[static_cast<std::size_t>(i)], sep) << i;
    EXPECT_NE(body[8], sep);
    EXPECT_NE(body[9], sep);
    EXPECT_EQ(body[10], "                END");
}

TEST(ListingFile, EndsWithTheRegisterUsageSection) {
    // movwf 0x20, clrf 0x03, bsf 0x4F,1
    const std::vector<int> words = {0x00A0, 0x0183, 0x14CF};
    for (const char* mcu : {"16F84A", "16F84", "16F83", "16F877A"}) {
        SCOPED_TRACE(mcu);
        const auto lines = Lines(List(mcu, words).text);
        auto end = std::find(lines.begin(), lines.end(), "                END");
        ASSERT_NE(end, lines.end());
        const std::vector<std::string> tail(end + 1, lines.end());
        const std::string bar = ";================================================";
        ASSERT_GE(tail.size(), 6u);
        EXPECT_EQ(tail[0], "");
        EXPECT_EQ(tail[1], bar);
        EXPECT_EQ(tail[2], "; 使用レジスタの確認");
        EXPECT_EQ(tail[3], "; バンクのチェックは行われません");
        EXPECT_EQ(tail[4], bar);
        const std::size_t registers = std::string(mcu) == "16F84A" || std::string(mcu) == "16F84" ? 0x50 : 0x80;
        ASSERT_EQ(tail.size(), 5 + registers + 1);
        EXPECT_EQ(tail.back(), "");
        EXPECT_EQ(tail[5 + 0x00], ";not used\t0x00\t\t\t\t;");
        EXPECT_EQ(tail[5 + 0x03], ";\t\t0x03\t\t\t\t;");
        EXPECT_EQ(tail[5 + 0x20], ";\t\t0x20\t\t\t\t;");
        EXPECT_EQ(tail[5 + 0x4F], ";\t\t0x4F\t\t\t\t;");
        EXPECT_EQ(tail[5 + registers - 1], registers == 0x80 ? ";not used\t0x7F\t\t\t\t;" : ";\t\t0x4F\t\t\t\t;");
    }
}

TEST(ListingFile, EndsEveryLineWithCrLf) {
    const std::string text = List("16F84A", Blank(16)).text;
    ASSERT_GE(text.size(), 4u);
    EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n");
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_EQ(text[i - 1], '\r') << i;
        }
    }
}

TEST(Search, MarksWordsWhoseOnesCoverTheCode) {
    // 0x3FFF blank, 0x0000 nop, 0x1683, 0x2810
    const std::vector<int> words = {0x3FFF, 0x0000, 0x1683, 0x2810};
    auto listing = List("16F628A", words, {"0000", "", "", ""});
    EXPECT_EQ(listing.flagCount, 4);
    EXPECT_EQ(listing.countText, "4個所のコード置き換えが可能です。");

    listing = List("16F628A", words, {"1683", "", "", ""});
    auto lines = WordLines(listing);
    EXPECT_EQ(listing.flagCount, 2);
    EXPECT_EQ(lines[0].tail, "; 000000  (3FFF)  changeable 1683 ");
    EXPECT_EQ(lines[1].tail, "; 000001  (0000)  ");
    EXPECT_EQ(lines[2].tail, "; 000002  (1683)  changeable 1683 ");
    EXPECT_EQ(lines[3].tail, "; 000003  (2810)  ");  // bits 0x0683 are not all set

    // Boxes in order, empty ones skipped, typed text upper-cased.
    listing = List("16F628A", words, {"2800", "", "0810", "3ff"});
    lines = WordLines(listing);
    EXPECT_EQ(listing.searchCodes, (SearchCodes{"2800", "", "0810", "3FF"}));
    EXPECT_EQ(lines[0].tail, "; 000000  (3FFF)  changeable 2800 0810 3FF ");
    EXPECT_EQ(lines[3].tail, "; 000003  (2810)  changeable 2800 0810 ");
    EXPECT_EQ(listing.flagCount, 2);
}

TEST(Search, NeverMatchesCodesThatAreNotFourteenBitNumbers) {
    const auto listing = List("16F628A", Blank(8), {"4000", "ZZ", " 1", "FFFF"});
    EXPECT_EQ(listing.flagCount, 0);
    for (const WordLine& line : WordLines(listing))
        EXPECT_EQ(line.tail, "; " + line.tail.substr(2, 6) + "  (3FFF)  ");
}

TEST(Search, OnABlankImageEveryCodeMatchesEveryWord) {
    const auto listing = List("16F877A", Blank(8192), {"3FFF", "", "", ""});
    EXPECT_EQ(listing.flagCount, 8192);
    EXPECT_EQ(listing.countText, "8192個所のコード置き換えが可能です。");
    const auto lines = Lines(listing.text);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), ";not used\t0x7F\t\t\t\t;"), 1);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind(";\t\t0x", 0) == 0; }),
              0);
}

TEST(Progress, MovesInWholeTensAndServicesEventsEveryWord) {
    std::vector<std::string> labels;
    int pumps = 0;
    DisasmInput input;
    input.mcuId = "16F877A";
    input.words = Blank(8192);
    Core14_serch(input, {[&](const std::string& l) { labels.push_back(l); }, [&] { ++pumps; }});
    EXPECT_EQ(labels, (std::vector<std::string>{"0%", "10%", "20%", "30%", "40%", "50%", "60%", "70%", "80%",
                                                "90%", "100%"}));
    EXPECT_EQ(pumps, 8192);
}

TEST(SessionListing, ReadsTheImageAndWritesAppDirListing) {
    TestRig rig;
    Session& s = *rig.session;
    s.device.name = "PIC16F84A";
    s.device.programWords = 1024;
    for (int a = 0; a < 1024; ++a) {
        s.buffer.program[2 * a] = 0x3F;
        s.buffer.program[2 * a + 1] = 0xFF;
    }
    s.buffer.program[0] = 0x16;  // bsf STATUS,RP0
    s.buffer.program[1] = 0x83;
    s.buffer.configWord = 0x3FF1;
    s.view.idText = "0007";

    const DisasmInput input = DisasmInputFromSession(s, {"1", "", "", ""});
    EXPECT_EQ(input.mcuId, "16F84A");
    ASSERT_EQ(input.words.size(), 1024u);
    EXPECT_EQ(input.words[0], 0x1683);
    EXPECT_EQ(input.words[1023], 0x3FFF);

    const DisasmListing listing = RunCore14Search(s, {"1", "", "", ""});
    EXPECT_EQ(listing.flagCount, 1024);
    EXPECT_EQ(ReadFileBytes(rig.dir + "dis_asm.asm"), listing.text);
    const auto lines = Lines(listing.text);
    EXPECT_EQ(lines[5], "\t\t__CONFIG    H'3FF1'");
    EXPECT_EQ(lines[6], "\t\t__IDLOCS    H'0007'");
    EXPECT_TRUE(rig.ui.boxes.empty());

    const std::string out = rig.dir + "other.asm";
    const auto written = ListProgramToFile(s, {}, out);
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(written->countText, "0個所のコード置き換えが可能です。");
    EXPECT_EQ(ReadFileBytes(out), written->text);
}

TEST(SessionListing, ReportsAListingThatCannotBeWritten) {
    TestRig rig;
    Session& s = *rig.session;
    s.device.name = "PIC16F84A";
    s.device.programWords = 4;
    s.run.appDir = rig.dir + "missing/";
    const DisasmListing listing = RunCore14Search(s, {});
    EXPECT_FALSE(listing.text.empty());
    EXPECT_EQ(s.view.noteColour, kColourRed);
    EXPECT_NE(s.view.note.find("dis_asm.asm"), std::string::npos);
    EXPECT_FALSE(ListProgramToFile(s, {}, rig.dir + "missing/out.asm").has_value());
}
