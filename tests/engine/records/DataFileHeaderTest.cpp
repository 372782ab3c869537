#include "engine/records/DataFileHeader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "engine/base/Scramble.h"

namespace {

using engine::DataFileHeaderSize;
using engine::TDataFileHeader;

TDataFileHeader SampleHeader() {
    TDataFileHeader header;
    header.ChangeCounter = 0x01020304;
    header.BlockSize = 1024;
    header.Version = 3;
    header.FreeSlotHead = engine::SlotNumber(17);
    header.NextSlotNumber = engine::SlotNumber(0xA0B0C0D0);
    header.LastRecordId = engine::RecordId(0x7FFFFFFF);
    header.RecordSize = 0xFFFE;
    header.FieldCount = 1024;
    header.BlobFieldCount = 32;
    header.WriteTime = -693594.5;
    header.Description = "Customers";
    header.Password = "Sesame";
    header.LanguageId = 0x0409;
    header.SortId = 2;
    header.ReservedA = 0x1234;
    header.ReservedB = 0x5678;
    header.CalcAreaSize = 300;
    header.ImageChanged = 1;
    return header;
}

TEST(DataFileHeader, EveryFieldSurvivesARoundTrip) {
    for (const std::uint8_t isProtected : {0, 1}) {
        TDataFileHeader header = SampleHeader();
        header.Protected = isProtected;
        if (!isProtected) header.Password.clear();
        std::array<std::uint8_t, DataFileHeaderSize> bytes{};
        engine::EncodeDataFileHeader(header, bytes);
        TDataFileHeader decoded;
        ASSERT_TRUE(engine::DecodeDataFileHeader(bytes, decoded));
        EXPECT_EQ(decoded.ChangeCounter, header.ChangeCounter);
        EXPECT_EQ(decoded.FreeSlotHead.Value, 17u);
        EXPECT_EQ(decoded.NextSlotNumber.Value, 0xA0B0C0D0u);
        EXPECT_EQ(decoded.LastRecordId.Value, 0x7FFFFFFFu);
        EXPECT_EQ(decoded.RecordSize, header.RecordSize);
        EXPECT_EQ(decoded.WriteTime, header.WriteTime);
        EXPECT_EQ(decoded.Description, header.Description);
        EXPECT_EQ(decoded.Password, header.Password);
        EXPECT_EQ(decoded.LanguageId, header.LanguageId);
        EXPECT_EQ(decoded.SortId, header.SortId);
        EXPECT_EQ(decoded.ReservedA, header.ReservedA);
        EXPECT_EQ(decoded.ReservedB, header.ReservedB);
        EXPECT_EQ(decoded.CalcAreaSize, header.CalcAreaSize);
        EXPECT_EQ(decoded.ImageChanged, header.ImageChanged);
        EXPECT_EQ(decoded.Protected, isProtected);
        // Little-endian, at the layout's offsets.
        EXPECT_EQ(bytes[13], 0xD0);
        EXPECT_EQ(bytes[16], 0xA0);
        EXPECT_EQ(bytes[111], 44);
        EXPECT_EQ(bytes[112], 1);
    }
}

TEST(DataFileHeader, AProtectedHeaderScramblesOnlyTheCharactersOfItsStrings) {
    TDataFileHeader header = SampleHeader();
    header.Protected = 1;
    std::array<std::uint8_t, DataFileHeaderSize> bytes{};
    engine::EncodeDataFileHeader(header, bytes);
    EXPECT_EQ(bytes[35], 9);
    EXPECT_EQ(bytes[87], 6);
    std::string password(bytes.begin() + 88, bytes.begin() + 94);
    EXPECT_NE(password, "Sesame");
    engine::UnscrambleBuffer(password.data(), password.size(), engine::PasswordSeed);
    EXPECT_EQ(password, "Sesame");
    // The rest of the room stays zero.
    EXPECT_EQ(bytes[94], 0);
    EXPECT_EQ(bytes[102], 0);
}

TEST(DataFileHeader, StringsLongerThanTheirRoomAreCutAndReported) {
    TDataFileHeader header = SampleHeader();
    header.Description = std::string(60, 'd');
    std::array<std::uint8_t, DataFileHeaderSize> bytes{};
    engine::EncodeDataFileHeader(header, bytes);
    EXPECT_EQ(bytes[35], 50);
    EXPECT_EQ(bytes[86], 0);
    TDataFileHeader decoded;
    EXPECT_TRUE(engine::DecodeDataFileHeader(bytes, decoded));
    for (const std::size_t lengthAt : {std::size_t{35}, std::size_t{87}}) {
        std::array<std::uint8_t, DataFileHeaderSize> damaged = bytes;
        damaged[lengthAt] = 255;
        EXPECT_FALSE(engine::DecodeDataFileHeader(damaged, decoded)) << lengthAt;
        EXPECT_LE(decoded.Description.size(), 50u);
        EXPECT_LE(decoded.Password.size(), 15u);
    }
}

}  // namespace
