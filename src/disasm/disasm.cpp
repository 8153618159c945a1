#include "disasm/disasm.h"

#include <algorithm>
#include <cctype>

#include "base/convert.h"

namespace vx {

namespace {

enum class Form {
    None,      // no operand
    Literal,   // k: H'xx'
    Address,   // a: jump target
    File,      // f: register only
    FileDest,  // f,d
    Bit,       // f,b
    Tris,      // 5..7 in decimal
};

enum class After { Nothing, BankCheck, Separator };

struct Opcode {
    int mask;
    int value;
    const char* mnemonic;  // lower case, padded to the width the listing needs
    Form form;
    After after = After::Nothing;
};

// Tried in this order; no two entries accept the same word. Literal
// instructions are known only with their don't-care bits at zero, as an
// assembler emits them, so other encodings stay data.
constexpr Opcode kOpcodes[] = {
    {0x3F00, 0x3E00, "addlw ", Form::Literal},
    {0x3F00, 0x3900, "andlw ", Form::Literal},
    {0x3F00, 0x0700, "addwf ", Form::FileDest},
    {0x3F00, 0x0500, "andwf ", Form::FileDest},
    {0x3C00, 0x1000, "bcf   ", Form::Bit, After::BankCheck},
    {0x3C00, 0x1400, "bsf   ", Form::Bit, After::BankCheck},
    {0x3C00, 0x1800, "btfsc ", Form::Bit},
    {0x3C00, 0x1C00, "btfss ", Form::Bit},
    {0x3800, 0x2000, "call  ", Form::Address},
    {0x3F80, 0x0180, "clrf  ", Form::File},
    {0x3FFF, 0x0100, "clrw   ", Form::None},
    // Assemblers emit CLRW as 0x0103 (the low bits are don't-care).
    {0x3FFF, 0x0103, "clrw   ", Form::None},
    {0x3FFF, 0x0064, "clrwdt ", Form::None},
    {0x3F00, 0x0900, "comf  ", Form::FileDest},
    {0x3F00, 0x0300, "decf  ", Form::FileDest},
    {0x3F00, 0x0B00, "decfsz", Form::FileDest},
    {0x3800, 0x2800, "goto  ", Form::Address, After::Separator},
    {0x3F00, 0x0A00, "incf  ", Form::FileDest},
    {0x3F00, 0x0F00, "incfsz", Form::FileDest},
    {0x3F00, 0x3800, "iorlw ", Form::Literal},
    {0x3F00, 0x0400, "iorwf ", Form::FileDest},
    {0x3F00, 0x3000, "movlw ", Form::Literal},
    {0x3F00, 0x0800, "movf  ", Form::FileDest},
    {0x3F80, 0x0080, "movwf ", Form::File},
    {0x3FFF, 0x0000, "nop    ", Form::None},
    {0x3FFF, 0x0062, "option ", Form::None},
    {0x3FFF, 0x0009, "retfie ", Form::None, After::Separator},
    {0x3F00, 0x3400, "retlw ", Form::Literal, After::Separator},
    {0x3FFF, 0x0008, "return ", Form::None, After::Separator},
    {0x3F00, 0x0D00, "rlf   ", Form::FileDest},
    {0x3F00, 0x0C00, "rrf   ", Form::FileDest},
    {0x3FFF, 0x0063, "sleep  ", Form::None},
    {0x3F00, 0x3C00, "sublw ", Form::Literal},
    {0x3F00, 0x0200, "subwf ", Form::FileDest},
    {0x3F00, 0x0E00, "swapf ", Form::FileDest},
    {0x3FF8, 0x0060, "tris  ", Form::Tris},  // 0x0060..0x0064 belong to others or are data
    {0x3F00, 0x3A00, "xorlw ", Form::Literal},
    {0x3F00, 0x0600, "xorwf ", Form::FileDest},
};

// 16F83/16F84/16F84A name by tracked bank; the 16F87x family has ports D
// and E; everything else gets the names common to the mid-range parts.
enum class Group { A, B, C };

Group GroupOf(const std::string& mcuId) {
    if (mcuId == "16F84" || mcuId == "16F83" || mcuId == "16F84A")
        return Group::A;
    if (mcuId == "16F877" || mcuId == "16F876" || mcuId == "16F874" || mcuId == "16F873")
        return Group::B;
    return Group::C;
}

constexpr int kBank0 = 0;
constexpr int kBank1 = 1;
constexpr int kBankUnknown = 9;

struct Banked {
    int r;
    const char* bank0;
    const char* bank1;  // group A only
    const char* hint;   // names the bank-1 register when the bank is not known
    bool groupBOnly;    // not on group C parts
};

constexpr Banked kBanked[] = {
    {0x01, "TMR0", "OPTION_REG", "\t\t;OPTION", false},
    {0x05, "PORTA", "TRISA ", "\t;TRISA ", false},
    {0x06, "PORTB", "TRISB ", "\t;TRISB ", false},
    {0x07, "PORTC", nullptr, "\t;TRISC ", false},
    {0x08, "PORTD", nullptr, "\t;TRISD ", true},
    {0x09, "PORTE", nullptr, "\t;TRISE ", true},
};

constexpr Banked kBankedA[] = {
    {0x01, "TMR0", "OPTION_REG", "\t\t;OPTION", false},
    {0x05, "PORTA", "TRISA ", "\t;TRISA ", false},
    {0x06, "PORTB", "TRISB ", "\t;TRISB ", false},
    {0x08, "EEDATA", "EECON1", "\t;EECON1", false},
    {0x09, "EEADR", "EECON2", "\t;EECON2", false},
};

const char* UnbankedName(int r) {
    switch (r) {
    case 0x00: return "INDF";
    case 0x02: return "PCL";
    case 0x03: return "STATUS";
    case 0x04: return "FSR";
    case 0x0A: return "PCLATH";
    case 0x0B: return "INTCON";
    }
    return nullptr;
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

const std::string kCrLf = "\r\n";

// The run state of one listing; names follow the search window's own.
class Lister {
public:
    explicit Lister(const DisasmInput& input)
        : Mcu_id(input.mcuId),
          group(GroupOf(input.mcuId)),
          size(static_cast<int>(input.words.size())),
          labels(size <= 0x800),
          words(input.words),
          Label_flag(std::max(size, 0x800) + 1, false),
          Reg_used(129, false) {}

    int text_dec = 0;
    int adr = 0;
    std::string Operand, code1, code2, code3;
    bool Advbcrlf = false;
    int Bank_sel = kBank0;

    const std::string Mcu_id;
    const Group group;
    const int size;
    const bool labels;  // only small parts get labels
    const std::vector<int>& words;
    std::vector<bool> Label_flag;
    std::vector<bool> Reg_used;

    void labelPass() {
        if (!labels)
            return;
        for (int w : words)
            if ((w & 0x3800) == 0x2800 || (w & 0x3800) == 0x2000)
                Label_flag[w & 0x7FF] = true;
    }

    void decode() {
        for (const Opcode& op : kOpcodes) {
            if ((text_dec & op.mask) != op.value)
                continue;
            if (op.form == Form::Tris && (text_dec & 7) < 5)
                continue;
            Operand = op.mnemonic;
            switch (op.form) {
            case Form::None: code1.clear(); break;
            case Form::Literal: code1_literal_modify(); break;
            case Form::Address: code1_PgmAdr_modify(); break;
            case Form::File: code1_modify(); break;
            case Form::FileDest: code1_modify(); code2_fw_modify(); break;
            case Form::Bit: code1_modify(); code2_bit_modify(); break;
            case Form::Tris: code1 = std::to_string(text_dec & 7); break;
            }
            if (op.after == After::BankCheck)
                Bank_check();
            if (op.after == After::Separator)
                Advbcrlf = true;
            return;
        }
    }

    void code1_literal_modify() { code1 = "H'" + HexText(text_dec & 0xFF, 2) + "'"; }

    void code1_PgmAdr_modify() {
        code1 = (labels ? "L_" : "0x") + HexText(text_dec & 0x7FF, 4);
    }

    void code2_fw_modify() { code2 = (text_dec & 0x80) ? ",F" : ",W"; }

    void code2_bit_modify() {
        static const char* const kStatusBits[] = {",C", ",DC", ",Z", ",PD", ",TO", ",RP0", ",RP1", ",IRP"};
        const int b = (text_dec & 0x380) / 128;
        code2 = code1 == "STATUS" ? kStatusBits[b] : "," + std::to_string(b);
    }

    void code1_modify() {
        const int r = text_dec & 0x7F;
        Reg_used[r] = true;
        code1 = "0x" + HexText(r, 2);
        if (const char* name = UnbankedName(r)) {
            code1 = name;
            return;
        }
        if (group == Group::A) {
            for (const Banked& b : kBankedA) {
                if (b.r != r)
                    continue;
                code1 = Bank_sel == kBank1 ? b.bank1 : b.bank0;
                if (Bank_sel == kBankUnknown)
                    code3 = b.hint;
            }
            return;
        }
        for (const Banked& b : kBanked) {
            if (b.r != r || (b.groupBOnly && group != Group::B))
                continue;
            code1 = b.bank0;
            code3 = b.hint;
        }
    }

    // The bank chosen by a BCF/BSF of STATUS,RP0 holds from the next word on.
    void Bank_check() {
        if (group != Group::A || code1 != "STATUS" || code2 != ",RP0")
            return;
        Bank_sel = Operand == "bsf   " ? kBank1 : kBank0;
    }
};

void addLine(std::string& out, const std::string& text) { out += text + kCrLf; }

void listingHeader(std::string& out, const DisasmInput& input) {
    const std::string rule = ";               " + std::string(57, '-');
    addLine(out, "\t\tLIST\tP=" + input.mcuId + ",ST=OFF");
    addLine(out, "");
    addLine(out, "\t\tINCLUDE\tP" + input.mcuId + ".INC");
    addLine(out, "\t\tERRORLEVEL  -302,-306");
    addLine(out, "");
    addLine(out, "\t\t__CONFIG    H'" + HexText(static_cast<std::uint32_t>(input.configWord), 4) + "'");
    addLine(out, "\t\t__IDLOCS    H'" + input.idText + "'");
    addLine(out, "");
    addLine(out, rule);
    addLine(out, ";               mnemonic operand                  address opcode  comment");
    addLine(out, rule);
    addLine(out, "");
}

// "0%", "10%", ... as the listing crosses whole tens, and events once per word.
void reportProgress(int adr, int size, std::string& lastLabel, const DisasmProgress& progress) {
    const long long p = (2LL * adr + 1) * 101 / (2LL * size);
    if (p % 10 == 0) {
        std::string label = std::to_string(p) + "%";
        if (label != lastLabel && progress.label)
            progress.label(label);
        lastLabel = std::move(label);
    }
    if (progress.processEvents)
        progress.processEvents();
}

// A word can be programmed over with a code when every 1 of the code is
// still a 1 in the word; codes wider than the word never match. The
// comment's tail, "" when no code matches.
std::string searchMatches(const SearchCodes& boxes, const std::array<int, kSearchCodes>& codes, int word) {
    std::string text_msg, text_match;
    for (int i = 0; i < kSearchCodes; ++i) {
        const std::string& box = boxes[i];
        const int code = codes[i];
        if (box.empty() || code < 0 || code > 0x3FFF || (code & word) != code)
            continue;
        text_match += box + " ";
        text_msg = "changeable ";
    }
    return text_msg + text_match;
}

// The listing line of the word at run.adr, decoded.
std::string wordLine(Lister& run, const std::string& matches) {
    const int adr = run.adr;
    const std::string text_hex = HexText(static_cast<std::uint32_t>(run.text_dec), 4);
    const std::string adr_hex = HexText(static_cast<std::uint32_t>(adr), 6);
    if (run.code1.size() + run.code2.size() + run.code3.size() < 7)
        run.code3 += '\t';
    if (run.code1.size() + run.code2.size() + run.code3.size() < 15)
        run.code3 += '\t';
    std::string Line_word_serch = run.Label_flag[adr] ? "L_" + adr_hex.substr(2) + "\t\t" : "\t\t";
    Line_word_serch += Upper(run.Operand) + "\t " + run.code1 + run.code2 + run.code3 + "\t; " + adr_hex + "  (" +
                       text_hex + ")  " + matches;
    return Line_word_serch;
}

void registerTable(std::string& out, const Lister& run) {
    addLine(out, "");
    const std::string bar = ";" + std::string(48, '=');
    addLine(out, bar);
    addLine(out, "; 使用レジスタの確認");
    addLine(out, "; バンクのチェックは行われません");
    addLine(out, bar);
    const int lastRegister = (run.Mcu_id == "16F84" || run.Mcu_id == "16F84A") ? 0x4F : 0x7F;
    for (int r = 0; r <= lastRegister; ++r) {
        const std::string hh = HexText(static_cast<std::uint32_t>(r), 2);
        addLine(out, (run.Reg_used[r] ? ";\t\t0x" : ";not used\t0x") + hh + "\t\t\t\t;");
    }
    addLine(out, "");
}

}  // namespace

DisasmListing Core14_serch(const DisasmInput& input, const DisasmProgress& progress) {
    DisasmListing result;
    std::array<int, kSearchCodes> Code_dec{};
    for (int i = 0; i < kSearchCodes; ++i) {
        result.searchCodes[i] = Upper(input.searchCodes[i]);
        if (!result.searchCodes[i].empty())
            Code_dec[i] = ParseNumber("0x0" + result.searchCodes[i]);
    }

    Lister run(input);
    std::string& out = result.text;
    out.reserve(200 + static_cast<std::size_t>(run.size) * 72 + 0x80 * 32);
    listingHeader(out, input);
    run.labelPass();

    int Flag_cnt = 0;
    std::string lastLabel;
    for (run.adr = 0; run.adr < run.size; ++run.adr) {
        reportProgress(run.adr, run.size, lastLabel, progress);
        run.Advbcrlf = false;
        run.text_dec = input.words[run.adr];
        run.Operand = "da    ";
        run.code1 = "0x" + HexText(static_cast<std::uint32_t>(run.text_dec), 4);
        run.code2 = "  ";
        run.code3.clear();
        if (run.Label_flag[run.adr])
            run.Bank_sel = kBankUnknown;
        run.decode();

        const std::string matches = searchMatches(result.searchCodes, Code_dec, run.text_dec);
        if (!matches.empty())
            ++Flag_cnt;
        addLine(out, wordLine(run, matches));
        if (run.Advbcrlf)
            addLine(out, "\t\t\t\t\t\t;");
    }
    addLine(out, "                END");
    registerTable(out, run);

    result.flagCount = Flag_cnt;
    result.countText = std::to_string(Flag_cnt) + "個所のコード置き換えが可能です。";
    return result;
}

}  // namespace vx
