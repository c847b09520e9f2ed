// The graphic table: bitmap sizes and blocks, the graphic ID over a row's
// definition and bitmap, and the status pass that serves the agent's
// requests.
#include <vector>

#include "display/activation/display_services.h"
#include "display/tables/graphic_table.h"
#include "display/tests/display_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The X.25 CRC as the identifier stores it: complemented, bytes exchanged.
uint16_t ReferenceId(const Bytes& bytes) {
  uint16_t crc = 0xFFFF;
  for (uint8_t b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : crc >> 1;
  }
  crc = static_cast<uint16_t>(~crc);
  return static_cast<uint16_t>((crc << 8) | (crc >> 8));
}

class GraphicTableTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    Register(7, 15);
    TakeFlags();
  }

  struct Row {
    uint8_t number = 7, height = 10, type = 1, transparent = 1;
    uint16_t width = 10;
    Bytes colour = {0x12, 0x34, 0x56};
    std::vector<Bytes> blocks;
  };
  // Writes row g as the agent leaves it (past the write hooks).
  void WriteRow(uint32_t g, const Row& r, uint8_t status) {
    SetNv(nv::dmsGraphicNumber(g), r.number);
    SetNvBytes(nv::dmsGraphicName(g), {'l', 'o', 'g', 'o'});
    SetNv(nv::dmsGraphicHeight(g), r.height);
    SetNv(nv::dmsGraphicWidth(g), r.width);
    SetNv(nv::dmsGraphicType(g), r.type);
    SetNv(nv::dmsGraphicTransparentEnabled(g), r.transparent);
    SetNvBytes(nv::dmsGraphicTransparentColor(g), r.colour);
    for (uint32_t b = 0; b < r.blocks.size(); ++b) SetNvBytes(nv::dmsGraphicBitmap(g, b), r.blocks[b]);
    SetNv(nv::dmsGraphicStatus(g), status);
  }
  Bytes NvBytes(db_object o) {
    uint32_t n = 0;
    const uint8_t* p = db_->GetString(o.offset, 4, db_->mib_nv, &n);
    return p ? Bytes(p, p + n) : Bytes();
  }
  void Pass() {
    InThread([] { display_process_graphic_table(); });
  }
};

TEST(GraphicSizes, BitmapBytesAndBlocksByType) {
  struct Case {
    const char* what;
    uint32_t type, height, width, block_size, size, blocks;
  } cases[] = {
      {"1 bit, 10 x 10", 1, 10, 10, 1024, 13, 1},
      {"24 bit, 16 x 32", 4, 16, 32, 1024, 1536, 2},
      {"8 bit, an exact multiple of the block", 2, 32, 32, 512, 1024, 2},
      {"classic colour", 3, 4, 5, 7, 20, 3},
      {"no pixels", 1, 0, 10, 1024, 0, 0},
      {"type outside 1..4", 5, 10, 10, 1024, 0, 0},
      {"type 0", 0, 10, 10, 1024, 0, 0},
      {"block size 0", 1, 10, 10, 0, 13, 0},
      // More blocks than a row has: the next row's objects are not read.
      {"largest 24-bit graphic in small blocks", 4, 255, 65535, 1, 3u * 255 * 65535, GRAPHIC_BLOCKS},
      {"exactly the row's blocks", 2, 63, 10, 10, 630, 63},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const uint32_t size = graphic_bitmap_size(c.type, c.height, c.width);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(graphic_block_count(size, c.block_size), c.blocks);
  }
}

TEST_F(GraphicTableTest, ReadyRequestStoresTheIdOverDefinitionAndBlocks) {
  struct Case {
    const char* what;
    Row row;
    uint16_t block_size;
    uint32_t fed;  // blocks the identifier takes
  };
  auto row = [](uint8_t type, uint8_t height, uint16_t width, Bytes colour, uint32_t blocks) {
    Row r;
    r.type = type;
    r.height = height;
    r.width = width;
    r.colour = colour;
    for (uint32_t b = 0; b < blocks; ++b) r.blocks.push_back(Bytes(3 + b, static_cast<uint8_t>(0xA0 + b)));
    return r;
  };
  const Case cases[] = {
      // One block is fed; the block behind it holds bytes that must not be.
      {"1 bit, 10 x 10", row(1, 10, 10, {0x12, 0x34, 0x56}, 2), 1024, 1},
      {"24 bit, 16 x 32", row(4, 16, 32, {0x12, 0x34, 0x56}, 3), 1024, 2},
      {"exact multiple", row(2, 32, 32, {0x12, 0x34, 0x56}, 3), 512, 2},
      {"colour of one byte", row(1, 10, 10, {0x1F}, 1), 1024, 1},
      {"colour longer than three bytes", row(1, 10, 10, {1, 2, 3, 4}, 1), 1024, 1},
      {"missing blocks count as empty", row(4, 16, 32, {0x12, 0x34, 0x56}, 1), 1024, 1},
      {"unknown type feeds no block", row(9, 10, 10, {0x12, 0x34, 0x56}, 2), 1024, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetVol(vol::dmsGraphicBlockSize, c.block_size);
    SetVol(vol::dmsGraphicNumEntries, 2);
    for (uint32_t b = 0; b < GRAPHIC_BLOCKS; ++b) SetNvBytes(nv::dmsGraphicBitmap(3, b), {});
    WriteRow(3, c.row, GRAPHIC_READY_FOR_USE_REQ);

    Bytes fed = {c.row.number, 0, c.row.height, static_cast<uint8_t>(c.row.width >> 8),
                 static_cast<uint8_t>(c.row.width), c.row.type, c.row.transparent};
    for (uint32_t i = 0; i < 3; ++i) fed.push_back(i < c.row.colour.size() ? c.row.colour[i] : 0);
    for (uint32_t b = 0; b < c.fed && b < c.row.blocks.size(); ++b)
      fed.insert(fed.end(), c.row.blocks[b].begin(), c.row.blocks[b].end());

    trace_capture cap;
    Pass();
    EXPECT_EQ(Nv(nv::dmsGraphicID(3)), ReferenceId(fed));
    EXPECT_EQ(graphic_id(3), ReferenceId(fed));
    EXPECT_EQ(Nv(nv::dmsGraphicStatus(3)), GRAPHIC_READY_FOR_USE);
    EXPECT_EQ(Vol(vol::dmsGraphicNumEntries), 3u);
    char line[32];
    std::snprintf(line, sizeof line, "color:0x%X\r", c.row.colour[0]);
    EXPECT_TRUE(cap.contains(line)) << cap.text();
  }
}

TEST_F(GraphicTableTest, RequestsBecomeStatesAndSettledRowsStayAsTheyAre) {
  SetVol(vol::dmsGraphicBlockSize, 1024);
  SetVol(vol::dmsGraphicNumEntries, 5);
  Row r;
  r.blocks = {Bytes(13, 0x55)};
  // Row 0: modify request; row 1: not-used request of a ready graphic; rows
  // 2..10: every other status, untouched.
  WriteRow(0, r, GRAPHIC_MODIFY_REQ);
  SetNv(nv::dmsGraphicID(0), 0x1234);
  WriteRow(1, r, GRAPHIC_NOT_USED_REQ);
  SetNv(nv::dmsGraphicID(1), 0x4321);
  const uint8_t settled[] = {0, 1, 2, 3, 4, 5, 6, 10, 200};
  for (uint32_t i = 0; i < sizeof settled; ++i) {
    Row s = r;
    s.number = static_cast<uint8_t>(20 + i);
    WriteRow(2 + i, s, settled[i]);
    SetNv(nv::dmsGraphicID(2 + i), 0x1111);
  }

  Pass();

  // Modifying, nothing else changed.
  EXPECT_EQ(Nv(nv::dmsGraphicStatus(0)), GRAPHIC_MODIFYING);
  EXPECT_EQ(Nv(nv::dmsGraphicID(0)), 0x1234u);
  EXPECT_EQ(Nv(nv::dmsGraphicNumber(0)), 7u);
  EXPECT_EQ(NvBytes(nv::dmsGraphicBitmap(0, 0)), Bytes(13, 0x55));
  // Not used: every field cleared, the colour one zero byte; the count is
  // the agent's to lower.
  EXPECT_EQ(Nv(nv::dmsGraphicStatus(1)), GRAPHIC_NOT_USED);
  EXPECT_EQ(Nv(nv::dmsGraphicNumber(1)), 0u);
  EXPECT_EQ(NvBytes(nv::dmsGraphicName(1)), Bytes());
  EXPECT_EQ(Nv(nv::dmsGraphicHeight(1)), 0u);
  EXPECT_EQ(Nv(nv::dmsGraphicWidth(1)), 0u);
  EXPECT_EQ(Nv(nv::dmsGraphicID(1)), 0u);
  EXPECT_EQ(Nv(nv::dmsGraphicTransparentEnabled(1)), 0u);
  EXPECT_EQ(NvBytes(nv::dmsGraphicTransparentColor(1)), Bytes{0});
  for (uint32_t b = 0; b < GRAPHIC_BLOCKS; ++b) EXPECT_EQ(NvBytes(nv::dmsGraphicBitmap(1, b)), Bytes()) << b;
  EXPECT_EQ(Vol(vol::dmsGraphicNumEntries), 5u);
  for (uint32_t i = 0; i < sizeof settled; ++i) {
    EXPECT_EQ(Nv(nv::dmsGraphicStatus(2 + i)), settled[i]);
    EXPECT_EQ(Nv(nv::dmsGraphicID(2 + i)), 0x1111u);
    EXPECT_EQ(Nv(nv::dmsGraphicNumber(2 + i)), 20u + i);
  }
  // The request of the other row is not taken twice.
  Pass();
  EXPECT_EQ(Vol(vol::dmsGraphicNumEntries), 5u);
}

TEST_F(GraphicTableTest, StatusWriteIsServedByTheDisplayStep) {
  SetVol(vol::dmsGraphicBlockSize, 1024);
  SetVol(vol::dmsGraphicNumEntries, 0);
  Row r;
  r.blocks = {Bytes(13, 0x0F)};
  WriteRow(4, r, GRAPHIC_MODIFYING);
  // The agent's write of the request raises the table's flag.
  db_->SetValue(nv::dmsGraphicStatus(4).offset, 1, GRAPHIC_READY_FOR_USE_REQ, db_->mib_nv, DB_NOTIFY);
  RunToStep(2);
  EXPECT_EQ(Nv(nv::dmsGraphicStatus(4)), GRAPHIC_READY_FOR_USE);
  EXPECT_EQ(Nv(nv::dmsGraphicID(4)), graphic_id(4));
  EXPECT_NE(Nv(nv::dmsGraphicID(4)), 0u);
  EXPECT_EQ(Vol(vol::dmsGraphicNumEntries), 1u);
  // Later steps find nothing more to do.
  RunToStep(5);
  EXPECT_EQ(Vol(vol::dmsGraphicNumEntries), 1u);
}

}  // namespace
