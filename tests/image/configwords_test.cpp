// The configuration word by name, over the shipped database: every option of
// every device builds a word that reads back as that option, and a word's
// settings build that word again.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/convert.h"
#include "device/devicedb.h"
#include "image/configwords.h"
#include "image/selection.h"
#include "support/fakes.h"

namespace vx {
namespace {

using test::TestRig;

struct ShippedDevices : ::testing::Test {
    TestRig rig;
    Session& s = *rig.session;
    void SetUp() override {
        s.db.path = test::SourcePath("data/device.ini");
        ASSERT_TRUE(LoadDeviceList(s));
    }
    void select(const std::string& name) {
        const auto& names = s.view.deviceList;
        SelectDeviceIndex(s, static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin()));
        ASSERT_EQ(s.device.name, name);
    }
    int build(const std::string& settings) {
        std::string error;
        const auto word = BuildConfigWord(s, settings, error);
        EXPECT_TRUE(word) << settings << ": " << error;
        return word.value_or(-1);
    }
    std::string refusal(const std::string& settings) {
        std::string error;
        EXPECT_FALSE(BuildConfigWord(s, settings, error)) << settings;
        return error;
    }
};

TEST_F(ShippedDevices, EveryOptionOfEveryDeviceSurvivesTheRoundTrip) {
    int options = 0;
    for (const std::string& name : s.db.deviceNames) {
        SCOPED_TRACE(name);
        select(name);
        for (const DeviceRow& row : s.device.rows) {
            if (ParseNumber(row[2]) < 0 || ParseNumber(row[3]) < 0 || row[0].rfind("CALIB", 0) == 0)
                continue;
            const std::string setting = row[0] + "=" + row[1];
            const int word = build(setting);
            const std::string settings = ConfigWordSettings(s, word);
            EXPECT_NE((" " + settings + " ").find(" " + setting + " "), std::string::npos) << settings;
            // The settings read back build the same word, and no bit goes unexplained.
            std::string joined = settings;
            for (char& c : joined)
                c = c == ' ' ? ',' : c;
            EXPECT_EQ(build(joined), word) << settings;
            EXPECT_EQ(settings.find("0x"), std::string::npos) << settings;
            ++options;
        }
    }
    EXPECT_GT(options, 500);
}

TEST_F(ShippedDevices, WordReadsAsItsSettingsAndUnexplainedBits) {
    select("PIC16F84A");
    EXPECT_EQ(ConfigWordSettings(s, 0x3FF1), "FOSC=XT WDTE=OFF PWRTE=ON CP=OFF");
    EXPECT_EQ(build("fosc=hs, WDTE=off"), 0x3FFA);
    select("PIC12F629");
    // The band-gap bits are no setting: shown where they differ from the default.
    EXPECT_EQ(ConfigWordSettings(s, 0x11FF).substr(ConfigWordSettings(s, 0x11FF).rfind(' ') + 1), "0x2000=0x0000");
    select("PIC16F877A");
    EXPECT_EQ(ConfigWordSettings(s, 0x3F7F).find("0x"), std::string::npos);  // unimplemented bits as the default has them
}

TEST_F(ShippedDevices, NamesAndWordsTheDeviceDoesNotHaveAreRefusedWithTheChoices) {
    select("PIC16F84A");
    EXPECT_EQ(refusal("FOSC=INTRC-IO"), "PIC16F84A has no FOSC=INTRC-IO (FOSC is one of RC, HS, XT, LP)");
    EXPECT_EQ(refusal("BOREN=ON"), "PIC16F84A has no setting \"BOREN=ON\" (its settings: FOSC, WDTE, PWRTE, CP)");
    EXPECT_EQ(refusal("WDTE"), "\"WDTE\" names no option: give WDTE=OPTION");

    std::string error;
    EXPECT_EQ(ParseConfigWord(s, "0x3FFF", error), 0x3FFF);
    EXPECT_FALSE(ParseConfigWord(s, "0x4000", error));
    EXPECT_EQ(error, "0x4000 is wider than the 14-bit configuration word of PIC16F84A (at most 0x3FFF)");
    EXPECT_FALSE(ParseConfigWord(s, "3FZ", error));
    select("PIC12C508");
    EXPECT_FALSE(ParseConfigWord(s, "0x1000", error));
    EXPECT_EQ(error, "0x1000 is wider than the 12-bit configuration word of PIC12C508 (at most 0x0FFF)");
}

}  // namespace
}  // namespace vx
