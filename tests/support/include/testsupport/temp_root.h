// Gives each test its own system root, so registry, named objects, sockets and files of tests
// running in parallel never meet.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace rzd::test {

// Creates a fresh root folder, points $RZD_ROOT at it for this process (and the children it
// starts), and removes it again at the end.
class ScopedRoot {
 public:
  ScopedRoot();
  ~ScopedRoot();
  ScopedRoot(const ScopedRoot&) = delete;
  ScopedRoot& operator=(const ScopedRoot&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::optional<std::string> previous_;
};

// Fixture: every test of a suite derived from it runs in its own root.
class TempRoot : public ::testing::Test {
 protected:
  const std::filesystem::path& RootPath() const { return root_.Path(); }

 private:
  ScopedRoot root_;
};

// Folder holding the project's built programs (the test executable's own folder).
std::filesystem::path BinaryDir();

}  // namespace rzd::test
