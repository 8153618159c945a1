// The database shipped in data/ must load for every device it lists and
// describe configuration words the grid can build and the board can verify.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "base/convert.h"
#include "device/devicedb.h"
#include "support/fakes.h"

using namespace vx;
using vx::test::TestRig;

namespace {

struct Loaded {
    TestRig rig;
    Session& s = *rig.session;
    Loaded() {
        test::WriteFileBytes(rig.dir + "device.ini", test::ReadFileBytes(test::SourcePath("data/device.ini")));
        EXPECT_TRUE(LoadDeviceList(s));
    }
};

bool IsCalibrationKey(const std::string& key) { return key == "CALIB(movlw)" || key == "CALIB(retlw)"; }

}  // namespace

TEST(ShippedDatabase, ListsDevicesOfEveryFamily) {
    Loaded db;
    EXPECT_FALSE(db.s.db.deviceIniVersion.empty());
    EXPECT_GE(db.s.db.deviceNames.size(), 40u);
    EXPECT_EQ(db.s.view.deviceList, db.s.db.deviceNames);
    EXPECT_EQ(std::set<std::string>(db.s.db.deviceNames.begin(), db.s.db.deviceNames.end()).size(),
              db.s.db.deviceNames.size());

    std::set<std::string> families;
    for (const std::string& name : db.s.db.deviceNames) {
        LoadDeviceEntry(db.s, name);
        families.insert(db.s.device.familyName);
    }
    EXPECT_EQ(families, (std::set<std::string>{"5X18", "5X28", "12C5", "12C6", "12F6", "EPROM", "FLASH"}));
    for (const char* name : {"PIC16C54", "PIC16C55", "PIC16C56", "PIC16C57", "PIC12C508", "PIC12C509A",
                             "PIC12CE519", "PIC16C505", "PIC12C671", "PIC12C672", "PIC12F629", "PIC12F675",
                             "PIC16C622A", "PIC16C77", "PIC16F84A", "PIC16F628A", "PIC16F648A", "PIC16F877",
                             "PIC16F877A", "PIC16F819"}) {
        EXPECT_NE(std::find(db.s.db.deviceNames.begin(), db.s.db.deviceNames.end(), name),
                  db.s.db.deviceNames.end())
            << name;
    }
}

TEST(ShippedDatabase, EveryEntryIsConsistent) {
    Loaded db;
    Session& s = db.s;
    std::set<std::string> helpKeys;
    for (const std::string& name : s.db.deviceNames) {
        SCOPED_TRACE(name);
        LoadDeviceEntry(s, name);
        ASSERT_TRUE(db.rig.ui.boxes.empty());
        if (helpKeys.empty())
            for (const SettingHelp& help : s.db.settingHelp)
                helpKeys.insert(help.key);
        const DeviceInfo& d = s.device;
        const bool twelveBit = Traits(d.family).twelveBit();
        ASSERT_TRUE(twelveBit || Traits(d.family).fourteenBit()) << d.familyName;
        const int width = twelveBit ? 0x0FFF : 0x3FFF;

        EXPECT_GT(d.programWords, 0);
        EXPECT_EQ(d.programWords & (d.programWords - 1), 0) << "program memory is a power of two";
        EXPECT_LE(d.programWords, twelveBit ? 2048 : 8192);
        EXPECT_TRUE(d.eepromBytes == 0 || d.eepromBytes == 64 || d.eepromBytes == 128 || d.eepromBytes == 256);
        if (d.familyName != "FLASH" && d.familyName != "12F6") {
            EXPECT_EQ(d.eepromBytes, 0);
        }
        EXPECT_GE(d.minFirmware, 1.0);
        EXPECT_TRUE(std::set<std::string>({"8", "14", "18", "28", "28A", "40"}).count(d.package)) << d.package;
        EXPECT_EQ(d.package == "28A", d.familyName == "5X28");
        EXPECT_TRUE(d.jumperJp2 == "1-2" || d.jumperJp2 == "2-3" || d.jumperJp2 == "NON");
        EXPECT_NE(d.comment.find_first_not_of(' '), std::string::npos);

        // The masks keep the default word and never reach past the core's width.
        EXPECT_EQ(d.defaultConfig & ~width, 0);
        EXPECT_EQ(d.configAndMask & ~width, 0);
        EXPECT_EQ(d.configOrMask & ~d.configAndMask, 0);
        EXPECT_EQ((d.defaultConfig & d.configAndMask) | d.configOrMask, d.defaultConfig);

        // Setting rows: one contiguous run per key, one mask per key, values inside
        // the mask, and the first option of each key in force for the erased word.
        const int erased = twelveBit ? 0x0FFF : d.defaultConfig;
        std::map<std::string, int> maskOfKey;
        std::vector<std::string> runs;
        int cpMask = -1;
        bool hasCalibration = false;
        for (const DeviceRow& row : d.rows) {
            const std::string& key = row[0];
            if (key == "PGM_TYPE" || key == "PGM" || key == "EEPROM" || key == "CONFIG" || key == "OTHER0" ||
                key == "OTHER1" || key == "FIRM" || key == "PACKAGE" || key == "JP2" || key == "COMMENT" ||
                key == "DEVICE_ID")
                continue;
            EXPECT_TRUE(helpKeys.count(key)) << key << " has no help line";
            if (runs.empty() || runs.back() != key) {
                EXPECT_EQ(std::count(runs.begin(), runs.end(), key), 0) << key << " appears twice";
                runs.push_back(key);
            }
            if (IsCalibrationKey(key)) {
                hasCalibration = true;
                EXPECT_EQ(row[1].size(), 2u);
                continue;
            }
            const int mask = ParseNumber(row[2]);
            const int value = ParseNumber(row[3]);
            ASSERT_GT(mask, 0) << key << " " << row[1];
            EXPECT_EQ(mask & ~width, 0) << key;
            EXPECT_EQ(value & ~mask, 0) << key << " " << row[1];
            EXPECT_EQ(row[4], "");
            if (!maskOfKey.count(key)) {
                maskOfKey[key] = mask;
                EXPECT_EQ(erased & mask, value) << key << ": the first option should be the erased state";
            }
            EXPECT_EQ(maskOfKey[key], mask) << key;
            if (key == "CP")
                cpMask = mask;
        }
        EXPECT_TRUE(maskOfKey.count("FOSC"));
        ASSERT_GT(cpMask, 0);
        EXPECT_EQ(d.codeProtectMask, cpMask);
        EXPECT_EQ(s.grid.cells.size(), runs.size() + 1);

        const bool needsCalibration = d.familyName == "12C5" || d.familyName == "12C6" || d.familyName == "12F6";
        EXPECT_EQ(hasCalibration, needsCalibration);
        if (needsCalibration) {
            const std::string instruction = d.calibInstruction.substr(0, 8);
            EXPECT_EQ(instruction, twelveBit ? "movlw 0x" : "retlw 0x");
            EXPECT_EQ(s.buffer.calibText, d.calibInstruction);
        } else {
            EXPECT_EQ(s.buffer.calibText, "");
        }
    }
}

// The device IDs of the data sheets (configuration word 6, revision 0) of the
// flash parts that have one; the others, the EPROM and the 12-bit parts none.
TEST(ShippedDatabase, DeviceIdsOfTheFlashParts) {
    const std::map<std::string, int> expected{
        {"PIC16F84A", 0x0560},  {"PIC16F627A", 0x1040}, {"PIC16F628A", 0x1060}, {"PIC16F648A", 0x1100},
        {"PIC16F873A", 0x0E40}, {"PIC16F874A", 0x0E60}, {"PIC16F876A", 0x0E00}, {"PIC16F877A", 0x0E20},
        {"PIC16F870", 0x0D00},  {"PIC16F871", 0x0D20},  {"PIC16F872", 0x08E0},  {"PIC16F873", 0x0960},
        {"PIC16F874", 0x0920},  {"PIC16F876", 0x09E0},  {"PIC16F877", 0x09A0},  {"PIC16F627", 0x07A0},
        {"PIC16F628", 0x07C0},  {"PIC16F818", 0x04C0},  {"PIC16F819", 0x04E0},  {"PIC12F629", 0x0F80},
        {"PIC12F675", 0x0FC0},
    };
    Loaded db;
    std::set<int> ids;
    for (const std::string& name : db.s.db.deviceNames) {
        SCOPED_TRACE(name);
        LoadDeviceEntry(db.s, name);
        const auto it = expected.find(name);
        EXPECT_EQ(db.s.device.deviceId, it == expected.end() ? -1 : it->second);
        if (db.s.device.deviceId >= 0) {
            EXPECT_TRUE(ids.insert(db.s.device.deviceId & kDeviceIdPartMask).second) << "two parts share an ID";
        }
    }
    EXPECT_EQ(ids.size(), expected.size());
}
