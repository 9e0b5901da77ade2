// Resources of a module: registration, lookup by an address in the module or by its file, the
// text form of UTF-16 resources, withdrawal.
#include "platform/resources.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

const int kHere = 0;  // an object of this test program

std::vector<uint8_t> Utf16WithMark(std::u16string_view text) {
  std::vector<uint8_t> bytes{0xFF, 0xFE};
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

TEST(ResourcesTest, FoundByModuleTypeAndId) {
  static const uint8_t data[] = {1, 2, 3, 4};
  rzd::ResourceRegistration reg(&kHere, u"RCDATA", 7, data, sizeof data);

  auto found = rzd::FindResource(&kHere, u"rcdata", 7);  // types compare without case
  ASSERT_TRUE(found);
  EXPECT_EQ(found->data(), data);
  EXPECT_EQ(found->size(), 4u);
  EXPECT_FALSE(rzd::FindResource(&kHere, u"RCDATA", 8));
  EXPECT_FALSE(rzd::FindResource(&kHere, u"XML", 7));
  EXPECT_EQ(rzd::ListResources(&kHere, u"RCDATA"), std::vector<uint32_t>{7});

  // Another module (the platform library itself) does not see it.
  const void* platformModule = reinterpret_cast<const void*>(&rzd::FoldCase);
  EXPECT_FALSE(rzd::FindResource(platformModule, u"RCDATA", 7));
  EXPECT_FALSE(rzd::FindResource(nullptr, u"RCDATA", 7));
}

TEST(ResourcesTest, FoundByTheModuleFile) {
  static const uint8_t data[] = {9};
  rzd::ResourceRegistration reg(&kHere, u"BITMAP", 3, data, sizeof data);
  const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe");
  EXPECT_TRUE(rzd::FindResource(self, u"BITMAP", 3));
  EXPECT_TRUE(rzd::FindResource(self.filename(), u"BITMAP", 3));
  EXPECT_FALSE(rzd::FindResource(std::filesystem::path("librzdplatform.so"), u"BITMAP", 3));
  EXPECT_FALSE(rzd::FindResource(self.parent_path() / "other", u"BITMAP", 3));
}

TEST(ResourcesTest, WithdrawnWithItsRegistrationAndShadowedWhileAnotherLives) {
  static const uint8_t first[] = {1};
  static const uint8_t second[] = {2, 2};
  auto a = std::make_unique<rzd::ResourceRegistration>(&kHere, u"XML", 50, first, sizeof first);
  {
    rzd::ResourceRegistration b(&kHere, u"XML", 50, second, sizeof second);
    EXPECT_EQ(rzd::FindResource(&kHere, u"XML", 50)->data(), second);
  }
  EXPECT_EQ(rzd::FindResource(&kHere, u"XML", 50)->data(), first);
  a.reset();
  EXPECT_FALSE(rzd::FindResource(&kHere, u"XML", 50));
}

TEST(ResourcesTest, Utf16TextResources) {
  const std::vector<uint8_t> good = Utf16WithMark(u"<Doc>\u00E9</Doc>");
  std::vector<uint8_t> withNul = Utf16WithMark(u"ab");
  withNul.insert(withNul.end(), {0, 0, 'c', 0});
  const std::vector<uint8_t> noMark = {'<', 0, 'D', 0};
  const std::vector<uint8_t> odd = {0xFF, 0xFE, 'a'};
  rzd::ResourceRegistration r1(&kHere, u"XML", 1, good.data(), good.size());
  rzd::ResourceRegistration r2(&kHere, u"XML", 2, withNul.data(), withNul.size());
  rzd::ResourceRegistration r3(&kHere, u"XML", 3, noMark.data(), noMark.size());
  rzd::ResourceRegistration r4(&kHere, u"XML", 4, odd.data(), odd.size());
  EXPECT_EQ(rzd::FindUtf16TextResource(&kHere, u"XML", 1), std::u16string(u"<Doc>\u00E9</Doc>"));
  EXPECT_EQ(rzd::FindUtf16TextResource(&kHere, u"XML", 2), std::u16string(u"ab"));
  EXPECT_FALSE(rzd::FindUtf16TextResource(&kHere, u"XML", 3));
  EXPECT_FALSE(rzd::FindUtf16TextResource(&kHere, u"XML", 4));
  EXPECT_FALSE(rzd::FindUtf16TextResource(&kHere, u"XML", 5));
}

}  // namespace
