// The digests that results.json records are the standard SHA-256.
#include "tools/amisim/report/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Sha256, KnownDigests) {
    EXPECT_EQ(amisim::sha256_hex(""),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(amisim::sha256_hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // Two blocks, the padding in the second.
    EXPECT_EQ(amisim::sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(amisim::sha256_hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    std::string digest;
    std::string error;
    EXPECT_FALSE(amisim::sha256_file("/nonexistent/model.so", digest, error));
    EXPECT_NE(error.find("/nonexistent/model.so"), std::string::npos);
}

}  // namespace
