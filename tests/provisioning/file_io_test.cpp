// The file layer itself, on the platform's real files.
#include <gtest/gtest.h>

#include <string>

#include "provisioning/files/file_io.h"
#include "tests/virtualkey/temp_folder.h"

namespace {

namespace fs = std::filesystem;

// More than the layer gathers before writing, so the bytes reach the file.
const std::string kLargePiece(200000, 'x');

TEST(FileLayerAppend, WriteThatGivesUpPartWayLeavesNoTrace) {
  TempFolder folder;
  WriteBytes(folder / "existing.csv", "old row\r\n");
  const AppendOutcome existing = AppendToFile(folder / "existing.csv", [](ByteSink& out, bool created) {
    EXPECT_FALSE(created);
    EXPECT_TRUE(out.Write(kLargePiece.data(), kLargePiece.size()));
    return false;
  });
  EXPECT_EQ(existing.step, AppendOutcome::Step::Cancelled);
  EXPECT_TRUE(existing.restored);
  EXPECT_EQ(ReadBytes(folder / "existing.csv"), "old row\r\n");

  const AppendOutcome created = AppendToFile(folder / "new.csv", [](ByteSink& out, bool created) {
    EXPECT_TRUE(created);
    out.Write(kLargePiece.data(), kLargePiece.size());
    return false;
  });
  EXPECT_EQ(created.step, AppendOutcome::Step::Cancelled);
  EXPECT_TRUE(created.created);
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"existing.csv"}));

  const AppendOutcome appended = AppendToFile(folder / "existing.csv", [](ByteSink& out, bool) {
    return out.Write("new row\r\n", 9);
  });
  EXPECT_TRUE(appended.Appended());
  EXPECT_EQ(ReadBytes(folder / "existing.csv"), "old row\r\nnew row\r\n");
}

}  // namespace
