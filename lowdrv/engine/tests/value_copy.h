// Checks read fields of the packed wire records through a copy: a check macro binds its
// arguments to references, and a reference to a packed field may be misaligned.
#pragma once

namespace rzd::lowdrv::test {

template <typename T>
T Copy(T value) {
  return value;
}

}  // namespace rzd::lowdrv::test

using rzd::lowdrv::test::Copy;
