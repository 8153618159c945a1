// SHA-256 against the standard's test vectors; a PIN kept only as a salted hash.
#include <gtest/gtest.h>

#include "base/digest.h"

using namespace vx;

TEST(Digest, Sha256TestVectors) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Digest, PinIsKeptSaltedAndChecked) {
    const auto stored = PinHash("4711");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->find("4711"), std::string::npos);
    EXPECT_NE(*stored, *PinHash("4711"));  // a fresh salt each time
    EXPECT_TRUE(PinMatches("4711", *stored));
    EXPECT_FALSE(PinMatches("4712", *stored));
    EXPECT_FALSE(PinMatches("", *stored));
    for (const char* broken : {"", "4711", "pbkdf2-sha256$x$00$00", "pbkdf2-sha256$1$zz$00", "pbkdf2-sha256$1$00$00"})
        EXPECT_FALSE(PinMatches("4711", broken)) << broken;
}
