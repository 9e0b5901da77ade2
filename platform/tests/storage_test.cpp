// Compound files: streams written at the root and read back, and what is refused.
#include "platform/storage.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <fstream>

namespace rzd {
namespace {

class CompoundFileTest : public test::TempRoot {};

TEST_F(CompoundFileTest, StreamsWrittenAtTheRootReadBack) {
  const std::filesystem::path file = RootPath() / "cache.dat";
  std::vector<uint8_t> big(70000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 31);
  ASSERT_TRUE(WriteCompoundFile(file, {{"ICONS", big}, {"LINKS", {1, 2, 3}}, {"EMPTY", {}}}));
  const std::unique_ptr<CompoundFile> cache = CompoundFile::Open(file);
  ASSERT_TRUE(cache);
  EXPECT_EQ(cache->ReadStream("ICONS", 1 << 20), big) << "a stream in big blocks";
  EXPECT_EQ(cache->ReadStream("LINKS", 3), (std::vector<uint8_t>{1, 2, 3})) << "a stream in small blocks";
  EXPECT_EQ(cache->ReadStream("EMPTY", 0), std::vector<uint8_t>{});
  EXPECT_FALSE(cache->ReadStream("LINKS", 2)) << "longer than the caller takes";
  EXPECT_FALSE(cache->ReadStream("NONE", 100));
}

TEST_F(CompoundFileTest, FilesThatAreNoCompoundFilesAreRefused) {
  EXPECT_FALSE(CompoundFile::Open(RootPath() / "missing.dat"));
  const std::filesystem::path text = RootPath() / "text.dat";
  std::ofstream(text) << "not a compound file at all, just some text that is long enough to have a header";
  EXPECT_FALSE(CompoundFile::Open(text));
  EXPECT_FALSE(WriteCompoundFile(RootPath() / "no" / "folder" / "cache.dat", {{"A", {1}}}));
}

}  // namespace
}  // namespace rzd
