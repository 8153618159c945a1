#include "support/imagefixture.h"

#include "device/devicedb.h"
#include "image/hexfile.h"
#include "image/selection.h"

namespace vx::test {

namespace {

// One device per family, with real sizes and configuration options.
const char* const kDatabase = R"(VERSION 1 . 0
CMT FOSC 発振器の選択 LP/XT/HS/RC
CMT CP コードプロテクト ALL/OFF
#BEGIN
PIC16F84A
PGM_TYPE FLASH
PGM 0x3FF
EEPROM 0x3F
CONFIG 0x3FFF
OTHER0 0x3FFF
OTHER1 0x0000
FIRM 2
PACKAGE 18
JP2 NON
COMMENT 18-pin flash
FOSC LP 0x0003 0x0000
FOSC XT 0x0003 0x0001
FOSC HS 0x0003 0x0002
FOSC RC 0x0003 0x0003
WDT OFF 0x0004 0x0000
WDT ON 0x0004 0x0004
PWRTE ON 0x0008 0x0000
PWRTE OFF 0x0008 0x0008
CP ALL 0x3FF0 0x0000
CP OFF 0x3FF0 0x3FF0
#END
#BEGIN
PIC16F877
PGM_TYPE FLASH
PGM 0x1FFF
EEPROM 0xFF
CONFIG 0x3FFF
OTHER0 0x3FFF
OTHER1 0x0000
FIRM 3
PACKAGE 40
JP2 1-2
COMMENT 40-pin flash
FOSC LP 0x0003 0x0000
FOSC XT 0x0003 0x0001
FOSC HS 0x0003 0x0002
FOSC RC 0x0003 0x0003
CP ALL 0x3030 0x0000
CP OFF 0x3030 0x3030
#END
#BEGIN
PIC12F675
PGM_TYPE 12F6
PGM 0x3FF
EEPROM 0x7F
CONFIG 0x31FF
OTHER0 0x31FF
OTHER1 0x0000
FIRM 2
PACKAGE 8
JP2 2-3
COMMENT 8-pin flash
FOSC INTRC_IO 0x0007 0x0004
FOSC XT 0x0007 0x0001
WDT OFF 0x0008 0x0000
WDT ON 0x0008 0x0008
CP ON 0x0080 0x0000
CP OFF 0x0080 0x0080
CALIB(retlw) 80
#END
#BEGIN
PIC12C671
PGM_TYPE 12C6
PGM 0x3FF
EEPROM 0
CONFIG 0x3FFF
OTHER0 0x3FFF
OTHER1 0x0000
FIRM 2
PACKAGE 8
JP2 2-3
COMMENT 8-pin EPROM
FOSC INTRC_IO 0x0007 0x0004
FOSC XT 0x0007 0x0001
CP ALL 0x3F60 0x0000
CP OFF 0x3F60 0x3F60
CALIB(retlw) 80
#END
#BEGIN
PIC16C74B
PGM_TYPE EPROM2
PGM 0xFFF
EEPROM 0
CONFIG 0x3FFF
OTHER0 0x3FFF
OTHER1 0x0000
FIRM 2
PACKAGE 40
JP2 1-2
COMMENT 40-pin EPROM
FOSC LP 0x0003 0x0000
FOSC XT 0x0003 0x0001
CP ALL 0x3F30 0x0000
CP OFF 0x3F30 0x3F30
#END
#BEGIN
PIC12C508
PGM_TYPE 12C5
PGM 0x1FF
EEPROM 0
CONFIG 0x0FFF
OTHER0 0x0FFF
OTHER1 0x0000
FIRM 2
PACKAGE 8
JP2 2-3
COMMENT 8-pin 12-bit EPROM
FOSC LP 0x0003 0x0000
FOSC XT 0x0003 0x0001
FOSC INTRC 0x0003 0x0002
FOSC EXTRC 0x0003 0x0003
CP ON 0x0008 0x0000
CP OFF 0x0008 0x0008
CALIB(movlw) 50
#END
#BEGIN
PIC12C509
PGM_TYPE 12C5
PGM 0x3FF
EEPROM 0
CONFIG 0x0FFF
OTHER0 0x0FFF
OTHER1 0x0000
FIRM 2
PACKAGE 8
JP2 2-3
COMMENT 8-pin 12-bit EPROM
FOSC LP 0x0003 0x0000
FOSC XT 0x0003 0x0001
FOSC INTRC 0x0003 0x0002
FOSC EXTRC 0x0003 0x0003
CP ON 0x0008 0x0000
CP OFF 0x0008 0x0008
CALIB(movlw) 50
#END
#BEGIN
PIC16C54
PGM_TYPE 5X18
PGM 0x1FF
EEPROM 0
CONFIG 0x0FFF
OTHER0 0x0FFF
OTHER1 0x0000
FIRM 2
PACKAGE 18
JP2 NON
COMMENT 18-pin 12-bit EPROM
FOSC LP 0x0003 0x0000
FOSC XT 0x0003 0x0001
FOSC HS 0x0003 0x0002
FOSC RC 0x0003 0x0003
CP ON 0x0008 0x0000
CP OFF 0x0008 0x0008
#END
#BEGIN
PIC16C57
PGM_TYPE 5X28
PGM 0x7FF
EEPROM 0
CONFIG 0x0FFF
OTHER0 0x0FFF
OTHER1 0x0000
FIRM 2
PACKAGE 28
JP2 NON
COMMENT 28-pin 12-bit EPROM
FOSC LP 0x0003 0x0000
FOSC XT 0x0003 0x0001
CP ON 0x0008 0x0000
CP OFF 0x0008 0x0008
#END
)";

}  // namespace

void UseTestDatabase(TestRig& rig) {
    WriteFileBytes(rig.dir + "device.ini", kDatabase);
    LoadDeviceList(*rig.session);
}

bool SelectByName(TestRig& rig, const std::string& name) {
    auto& list = rig.session->view.deviceList;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == name) {
            SelectDeviceIndex(*rig.session, static_cast<int>(i));
            return rig.session->device.name == name;
        }
    }
    return false;
}

std::string WriteTestFile(TestRig& rig, const std::string& name, const std::string& text) {
    const std::string path = rig.dir + name;
    WriteFileBytes(path, text);
    return path;
}

void LoadHexPath(TestRig& rig, const std::string& path) {
    auto& s = *rig.session;
    s.loader.hexPath = path;
    s.loader.skipHexDialog = true;
    LoadHexFile(s);
    s.loader.skipHexDialog = false;
}

void SaveHexPath(TestRig& rig, const std::string& path) {
    rig.ui.fileAnswers.push_back(path);
    SaveHexFile(*rig.session);
}

int ProgramWord(const Session& s, int address) {
    return s.buffer.program[static_cast<std::size_t>(2 * address)] * 256 + s.buffer.program[static_cast<std::size_t>(2 * address + 1)];
}

int IdWord(const Session& s, int k) {
    return s.buffer.configArea[static_cast<std::size_t>(2 * k)] * 256 + s.buffer.configArea[static_cast<std::size_t>(2 * k + 1)];
}

int ConfigAreaWord(const Session& s) { return s.buffer.configArea[14] * 256 + s.buffer.configArea[15]; }

int EepromByte(const Session& s, int n) { return s.buffer.eeprom[static_cast<std::size_t>(2 * n + 1)]; }

DeviceInfo TestDevice(const std::string& family, int words, int eeprom) {
    DeviceInfo d;
    d.name = "PICTEST";
    d.family = ParseFamily(family);
    d.familyName = family;
    d.programWords = words;
    d.eepromBytes = eeprom;
    return d;
}

}  // namespace vx::test
