// The building blocks that everything else trusts: the checksum, the two block encodings and the
// value decoding of multi-valued properties.

#include <gtest/gtest.h>

#include <random>

#include "pst/Crc.h"
#include "pst/Crypt.h"
#include "pst/Value.h"

namespace {

TEST(PstPrimitives, ChecksumMatchesTheFileFormatsCrc) {
    const std::string digits = "123456789";
    EXPECT_EQ(pst::PstCrc32(pst::ByteSpan(reinterpret_cast<const uint8_t*>(digits.data()), digits.size())),
              0x2dfd2d88u);
    pst::Bytes pattern;
    for (int i = 0; i < 768; ++i) {
        pattern.push_back(static_cast<uint8_t>(i));
    }
    // Odd lengths and offsets exercise the byte-wise tail next to the four-byte loop.
    EXPECT_EQ(pst::PstCrc32(pattern), 0x45602b3fu);
    uint32_t split = pst::PstCrc32(pst::ByteSpan(pattern).first(101));
    EXPECT_EQ(pst::PstCrc32(pst::ByteSpan(pattern).subspan(101), split), 0x45602b3fu);
}

TEST(PstPrimitives, EncodingsRoundTripAndChangeTheData) {
    std::mt19937 random(7);
    pst::Bytes data(4099);
    for (auto& b : data) {
        b = static_cast<uint8_t>(random());
    }
    for (auto e : {pst::Encryption::Permute, pst::Encryption::Cyclic}) {
        for (uint32_t key : {0u, 0x12345678u, 0xFFFFFFFFu}) {
            pst::Bytes copy = data;
            pst::EncodeBlock(e, copy, key);
            EXPECT_NE(copy, data);
            pst::DecodeBlock(e, copy, key);
            EXPECT_EQ(copy, data) << pst::EncryptionName(e) << " key " << key;
        }
    }
    pst::Bytes cyclic = data;
    pst::EncodeBlock(pst::Encryption::Cyclic, cyclic, 1);
    pst::DecodeBlock(pst::Encryption::Cyclic, cyclic, 2);
    EXPECT_NE(cyclic, data) << "the cyclic key matters";
}

TEST(PstPrimitives, MultiValuedBlobsAreCheckedBeforeUse) {
    // count 2, offsets 12 and 14, then "ab" "cd"
    pst::Bytes good = {2, 0, 0, 0, 12, 0, 0, 0, 14, 0, 0, 0, 'a', 'b', 'c', 'd'};
    auto v = pst::Value::FromStoredMulti(pst::PropType::Binary | pst::PropType::MultiValued, good);
    ASSERT_EQ(v.Count(), 2u);
    EXPECT_EQ(v.Element(1), (pst::Bytes{'c', 'd'}));
    EXPECT_EQ(v.Stored(), good);

    const pst::Bytes bad[] = {
        {0xFF, 0xFF, 0xFF, 0x7F},                                    // a count the blob cannot hold
        {2, 0, 0, 0, 12, 0, 0, 0, 40, 0, 0, 0, 'a'},                 // an offset past the end
        {2, 0, 0, 0, 14, 0, 0, 0, 12, 0, 0, 0, 'a', 'b', 'c', 'd'},  // offsets going backwards
        {1, 0, 0, 0, 2, 0, 0, 0},                                    // an offset inside the header
    };
    for (const auto& b : bad) {
        EXPECT_THROW(pst::Value::FromStoredMulti(pst::PropType::Binary | pst::PropType::MultiValued, b),
                     pst::Error);
    }
    EXPECT_THROW(pst::Value::FromStoredMulti(pst::PropType::Long | pst::PropType::MultiValued, pst::Bytes(7)),
                 pst::Error);
}

}  // namespace
