// File versions: the record our binaries carry, files without one, and the bounds of the ELF and
// record readers.
#include "platform/file_version.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using rzd::FileVersionInfo;
using rzd::ParseVersionRecord;
using rzd::ReadFileVersionInfo;

constexpr char16_t kOurVersion[] = u"1, 0, 0, 0";

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

void Put(std::vector<uint8_t>& image, size_t at, uint64_t value, size_t width) {
  if (image.size() < at + width) image.resize(at + width, 0);
  for (size_t i = 0; i < width; ++i) image[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A small 64-bit ELF image: a null section, the section-name table and one section `name`
// holding `content`. `edit` may spoil it before it is returned.
struct ElfImage {
  std::vector<uint8_t> bytes;
  size_t tableOffset = 0;  // of the section headers
  size_t namesOffset = 0;  // of the name table
};

ElfImage MakeElf64(const std::string& name, const std::string& content) {
  ElfImage elf;
  std::vector<uint8_t>& b = elf.bytes;
  b.assign(64, 0);
  b[0] = 0x7F;
  b[1] = 'E';
  b[2] = 'L';
  b[3] = 'F';
  b[4] = 2;  // 64-bit
  b[5] = 1;  // little-endian
  b[6] = 1;
  const std::string names = std::string("\0.shstrtab\0", 11) + name + std::string("\0", 1);
  elf.namesOffset = b.size();
  b.insert(b.end(), names.begin(), names.end());
  const size_t contentOffset = b.size();
  b.insert(b.end(), content.begin(), content.end());
  elf.tableOffset = b.size();
  b.resize(elf.tableOffset + 3 * 64, 0);
  // Section 1: the names (type 3), section 2: the content (type 1).
  size_t s1 = elf.tableOffset + 64;
  Put(b, s1, 1, 4);
  Put(b, s1 + 4, 3, 4);
  Put(b, s1 + 24, elf.namesOffset, 8);
  Put(b, s1 + 32, names.size(), 8);
  size_t s2 = elf.tableOffset + 128;
  Put(b, s2, 11, 4);
  Put(b, s2 + 4, 1, 4);
  Put(b, s2 + 24, contentOffset, 8);
  Put(b, s2 + 32, content.size(), 8);
  Put(b, 40, elf.tableOffset, 8);  // e_shoff
  Put(b, 58, 64, 2);               // e_shentsize
  Put(b, 60, 3, 2);                // e_shnum
  Put(b, 62, 1, 2);                // e_shstrndx
  return elf;
}

bool ReadMemory(void* context, uint64_t offset, void* out, size_t size) {
  const auto* image = static_cast<const std::vector<uint8_t>*>(context);
  if (offset > image->size() || size > image->size() - offset) return false;
  std::memcpy(out, image->data() + offset, size);
  return true;
}

std::optional<std::vector<uint8_t>> Section(std::vector<uint8_t>& image, const std::string& name) {
  return rzd::ReadElfSection(&ReadMemory, &image, image.size(), name, rzd::kMaxVersionRecord + 1);
}

const std::string kGoodRecord =
    "RZDVERSION 1\nTranslation=0409 04B0\nFileVersion=2, 5, 0, 17\nProductName=Quarx tools\n";

TEST(FileVersion, OurBinariesCarryTheProjectVersion) {
  const fs::path tool = rzd::test::BinaryDir() / "rzd-reg";
  std::optional<FileVersionInfo> info = ReadFileVersionInfo(tool);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->language, 0x0409);
  EXPECT_EQ(info->codePage, 0x04B0);
  ASSERT_NE(info->Find(u"FileVersion"), nullptr);
  EXPECT_EQ(*info->Find(u"FileVersion"), kOurVersion);
  EXPECT_EQ(*info->Find(u"ProductVersion"), kOurVersion);
  EXPECT_EQ(info->Find(u"NoSuchName"), nullptr);

  // A bare file name: a loaded library of that name, or a program beside the running one.
  for (const char* bare : {"librzdplatform.so", "rzd-reg"}) {
    SCOPED_TRACE(bare);
    info = ReadFileVersionInfo(bare);
    ASSERT_TRUE(info);
    EXPECT_EQ(*info->Find(u"FileVersion"), kOurVersion);
  }
}

class FileVersionFiles : public rzd::test::TempRoot {};

TEST_F(FileVersionFiles, AFileWithoutARecordHasNone) {
  const fs::path text = RootPath() / "notes.txt";
  std::ofstream(text) << "RZDVERSION 1\nTranslation=0409 04B0\nFileVersion=9, 9, 9, 9\n";
  // A copy of one of our programs cut short keeps no readable record.
  const fs::path cut = RootPath() / "cut";
  {
    std::ifstream in(rzd::test::BinaryDir() / "rzd-reg", std::ios::binary);
    std::vector<char> head(4096);
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    std::ofstream(cut, std::ios::binary).write(head.data(), in.gcount());
  }
  const fs::path fixture = rzd::test::BinaryDir().parent_path() / "lib" / "libmodule_fixture.so";
  ASSERT_TRUE(fs::exists(fixture));
  for (const fs::path& file : {text, cut, fixture, RootPath() / "missing.so", RootPath(), fs::path()}) {
    SCOPED_TRACE(file.string());
    EXPECT_FALSE(ReadFileVersionInfo(file));
  }
}

TEST(FileVersion, RecordsParseOnlyWhenWellFormed) {
  std::optional<FileVersionInfo> info = ParseVersionRecord(Bytes(kGoodRecord));
  ASSERT_TRUE(info);
  EXPECT_EQ(*info->Find(u"FileVersion"), u"2, 5, 0, 17");
  EXPECT_EQ(*info->Find(u"ProductName"), u"Quarx tools");
  ASSERT_EQ(info->strings.size(), 2u);
  // Bytes after the ending NUL are not part of the record.
  EXPECT_TRUE(ParseVersionRecord(Bytes(kGoodRecord + std::string("\0garbage", 8))));

  const std::vector<std::pair<const char*, std::string>> bad = {
      {"empty", ""},
      {"another head", "RZDVERSION 2\nTranslation=0409 04B0\n"},
      {"no translation", "RZDVERSION 1\nFileVersion=1\n"},
      {"two translations", "RZDVERSION 1\nTranslation=0409 04B0\nTranslation=0407 04B0\n"},
      {"translation not hexadecimal", "RZDVERSION 1\nTranslation=04G9 04B0\n"},
      {"translation too short", "RZDVERSION 1\nTranslation=409 4B0\n"},
      {"line without a value", "RZDVERSION 1\nTranslation=0409 04B0\nFileVersion\n"},
      {"empty name", "RZDVERSION 1\nTranslation=0409 04B0\n=1\n"},
      {"name with a blank", "RZDVERSION 1\nTranslation=0409 04B0\nFile Version=1\n"},
      {"control character", "RZDVERSION 1\nTranslation=0409 04B0\nFileVersion=1\t2\n"},
      {"last line unended", "RZDVERSION 1\nTranslation=0409 04B0\nFileVersion=1"},
      {"too long", "RZDVERSION 1\nTranslation=0409 04B0\nFileVersion=" + std::string(5000, '1') + "\n"},
  };
  for (const auto& [name, text] : bad) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(ParseVersionRecord(Bytes(text)));
  }
}

TEST(FileVersion, TheElfReaderChecksEveryOffsetAgainstTheImage) {
  ElfImage good = MakeElf64(".rzd_version", kGoodRecord);
  std::optional<std::vector<uint8_t>> found = Section(good.bytes, ".rzd_version");
  ASSERT_TRUE(found);
  EXPECT_EQ(std::string(found->begin(), found->end()), kGoodRecord);
  EXPECT_FALSE(Section(good.bytes, ".rzd_versio"));   // a name is matched whole
  EXPECT_FALSE(Section(good.bytes, ".rzd_version2"));
  EXPECT_FALSE(Section(good.bytes, ".other"));

  struct Spoil {
    const char* name;
    void (*edit)(ElfImage&);
  };
  const std::vector<Spoil> spoils = {
      {"not ELF", [](ElfImage& e) { e.bytes[1] = 'X'; }},
      {"big-endian", [](ElfImage& e) { e.bytes[5] = 2; }},
      {"unknown class", [](ElfImage& e) { e.bytes[4] = 3; }},
      {"table past the end", [](ElfImage& e) { Put(e.bytes, 40, e.bytes.size() - 64, 8); }},
      {"table offset wraps", [](ElfImage& e) { Put(e.bytes, 40, ~uint64_t{0} - 10, 8); }},
      {"entries too small", [](ElfImage& e) { Put(e.bytes, 58, 32, 2); }},
      {"no sections", [](ElfImage& e) { Put(e.bytes, 60, 0, 2); }},
      {"name table index past the table", [](ElfImage& e) { Put(e.bytes, 62, 3, 2); }},
      {"name table past the end", [](ElfImage& e) { Put(e.bytes, e.tableOffset + 64 + 24, e.bytes.size(), 8); }},
      {"content past the end", [](ElfImage& e) { Put(e.bytes, e.tableOffset + 128 + 32, e.bytes.size(), 8); }},
      {"content size wraps", [](ElfImage& e) { Put(e.bytes, e.tableOffset + 128 + 32, ~uint64_t{0}, 8); }},
      {"content without bytes", [](ElfImage& e) { Put(e.bytes, e.tableOffset + 128 + 4, 8, 4); }},
      {"content too large", [](ElfImage& e) { Put(e.bytes, e.tableOffset + 128 + 32, rzd::kMaxVersionRecord + 2, 8); }},
      {"name past the table", [](ElfImage& e) { Put(e.bytes, e.tableOffset + 128, 4000, 4); }},
      {"cut short", [](ElfImage& e) { e.bytes.resize(e.tableOffset + 100); }},
  };
  for (const Spoil& s : spoils) {
    SCOPED_TRACE(s.name);
    ElfImage e = MakeElf64(".rzd_version", kGoodRecord);
    s.edit(e);
    EXPECT_FALSE(Section(e.bytes, ".rzd_version"));
  }
}

}  // namespace
