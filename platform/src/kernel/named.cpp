#include "kernel/named.h"

#include "errors/errno_map.h"
#include "ipc/file_lock.h"
#include "platform/errors.h"
#include "platform/root.h"
#include "platform/text.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>
#include <unordered_map>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace rzd::kernel_detail {

namespace {

constexpr size_t kMaxNameLength = 260;
constexpr size_t kMaxEncodedLength = 200;
constexpr off_t kGateByte = 0;
constexpr off_t kOpenersByte = 1;
// Segments belong to the root's user alone, as lock files do (OpenLockFile): /dev/shm is open to
// every user, and an object's memory holds what it carries (a scan's pages, a unit's state).
constexpr mode_t kOwnerOnly = 0600;

// Every shortage of room is ERROR_NOT_ENOUGH_MEMORY for a kernel object (kernel.h); a lock file
// that cannot be made in its folder is a missing path.
uint32_t ErrorFromErrno(int err, std::string_view what) {
  return oserror::Win32FromErrno(err, what,
                                 {{ENOENT, ERROR_PATH_NOT_FOUND},
                                  {ENOSPC, ERROR_NOT_ENOUGH_MEMORY},
                                  {EDQUOT, ERROR_NOT_ENOUGH_MEMORY},
                                  {EFBIG, ERROR_NOT_ENOUGH_MEMORY},
                                  {EMFILE, ERROR_NOT_ENOUGH_MEMORY},
                                  {ENFILE, ERROR_NOT_ENOUGH_MEMORY}});
}

// Locks or unlocks one byte of the lock file with an open-file-description lock. 0 or errno.
int LockByte(int fd, short type, off_t byte, bool wait) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  for (;;) {
    if (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string Hex64(uint64_t value) {
  char buffer[17];
  std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(value));
  return buffer;
}

uint64_t Fnv1a(std::string_view text) {
  uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

size_t RoundUp(size_t value, size_t unit) { return (value + unit - 1) / unit * unit; }

// True while the lock file at `path` is the one `fd` has open: a last closer may have removed it
// (and another creator made a new one) while this process waited for its gate.
bool StillLinked(int fd, const fs::path& path) {
  struct stat opened {};
  struct stat linked {};
  return fstat(fd, &opened) == 0 && stat(path.c_str(), &linked) == 0 && opened.st_dev == linked.st_dev &&
         opened.st_ino == linked.st_ino;
}

// With the gate held and no opener left: the name's segment and lock file go.
void RemoveNameFiles(const fs::path& lockPath, const std::string& shmName) {
  shm_unlink(shmName.c_str());
  unlink(lockPath.c_str());
}

// Removes what a name left behind when nobody has it open (its holders were killed); a name in
// use, or whose gate is held right now, is left alone. Never waits.
void ReclaimIfUnused(const fs::path& lockPath, const std::string& shmName) {
  int fd = ipc::OpenLockFile(lockPath);
  if (fd < 0) return;
  if (LockByte(fd, F_WRLCK, kGateByte, false) == 0 && StillLinked(fd, lockPath) &&
      LockByte(fd, F_WRLCK, kOpenersByte, false) == 0) {
    RemoveNameFiles(lockPath, shmName);
  }
  close(fd);
}

constexpr const char* kShmFolder = "/dev/shm";

// Once per process and root: the leftovers of names whose holders all died (a lock file in the
// kernel folder, a segment in /dev/shm) are removed, since nobody may ever open those names again.
void ReclaimLeftoversOnce(const fs::path& folder, const std::string& token) {
  static std::mutex mutex;
  static std::set<std::string>* done = new std::set<std::string>;  // never destroyed, like the table
  {
    std::lock_guard lock(mutex);
    if (!done->insert(token).second) return;
  }
  std::set<std::string> names;
  std::error_code ec;
  EnsurePrivateFolder(folder);  // a segment left without its lock file needs one to be reclaimed
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() > 5 && name.ends_with(".lock")) names.insert(name.substr(0, name.size() - 5));
  }
  const std::string prefix = "rzd." + token + ".";
  for (fs::directory_iterator it(kShmFolder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() > prefix.size() && name.starts_with(prefix)) names.insert(name.substr(prefix.size()));
  }
  for (const std::string& name : names) ReclaimIfUnused(folder / (name + ".lock"), "/" + prefix + name);
}

// A kernel object whose record heads a memory segment: every named object, and unnamed file
// mappings. Named ones also hold the opener lock and an entry in the process table.
class SegmentCore : public Core {
 public:
  SegmentCore(Kind kind, SyncRecord* record, bool named, int segmentFd, uint64_t dataSize, std::string key,
              int lockFd, fs::path lockPath, std::string shmName)
      : Core(kind, record, named),
        segmentFd_(segmentFd),
        dataSize_(dataSize),
        key_(std::move(key)),
        lockFd_(lockFd),
        lockPath_(std::move(lockPath)),
        shmName_(std::move(shmName)) {}
  ~SegmentCore() override;

  const std::string& NameKey() const override { return key_; }
  uint64_t dataSize() const { return dataSize_; }
  uint8_t* Data(uint32_t* error);

 private:
  int segmentFd_;
  const uint64_t dataSize_;  // checked against the segment's file when it was opened
  std::mutex dataMutex_;
  std::atomic<uint8_t*> data_{nullptr};
  std::string key_;
  int lockFd_;
  fs::path lockPath_;
  std::string shmName_;
};

struct Table {
  std::mutex mutex;
  std::unordered_map<std::string, std::weak_ptr<Core>> entries;
};

// Never destroyed: handles may be released from static destructors of other libraries.
Table& TheTable() {
  static Table* table = new Table;
  return *table;
}

SegmentCore::~SegmentCore() {
  bool keepMapping = MustOutliveHandles();
  if (lockFd_ >= 0) {
    Table& table = TheTable();
    std::lock_guard lock(table.mutex);
    auto it = table.entries.find(key_);
    if (it != table.entries.end() && it->second.expired()) table.entries.erase(it);
    LockByte(lockFd_, F_WRLCK, kGateByte, true);
    LockByte(lockFd_, F_UNLCK, kOpenersByte, false);
    // The last opener anywhere: the segment and the lock file go. An opener that opened the lock
    // file meanwhile waits at the gate and then finds the file unlinked (and starts again).
    if (LockByte(lockFd_, F_WRLCK, kOpenersByte, false) == 0) RemoveNameFiles(lockPath_, shmName_);
    close(lockFd_);  // drops every lock this description holds
  }
  if (!keepMapping) munmap(record(), RecordPageSize());
  if (uint8_t* data = data_.load()) munmap(data, dataSize_);
  if (segmentFd_ >= 0) close(segmentFd_);
}

uint8_t* SegmentCore::Data(uint32_t* error) {
  if (uint8_t* data = data_.load(std::memory_order_acquire)) return data;
  std::lock_guard lock(dataMutex_);
  if (uint8_t* data = data_.load(std::memory_order_relaxed)) return data;
  // The file must still hold all of the data: a segment a peer cut short would fault on access.
  struct stat st {};
  if (segmentFd_ < 0 || fstat(segmentFd_, &st) != 0 || static_cast<uint64_t>(st.st_size) < RecordPageSize() + dataSize_) {
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  void* p = mmap(nullptr, dataSize_, PROT_READ | PROT_WRITE, MAP_SHARED, segmentFd_,
                 static_cast<off_t>(RecordPageSize()));
  if (p == MAP_FAILED) {
    *error = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  data_.store(static_cast<uint8_t*>(p), std::memory_order_release);
  return static_cast<uint8_t*>(p);
}

SyncRecord* MapRecord(int fd) {
  void* p = mmap(nullptr, RecordPageSize(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return p == MAP_FAILED ? nullptr : static_cast<SyncRecord*>(p);
}

// Reserves the segment's memory now, so a shortage is a failed creation and not a fault later.
int ReserveSegment(int fd, uint64_t total) {
  int rc = posix_fallocate(fd, 0, static_cast<off_t>(total));
  if (rc == EOPNOTSUPP || rc == EINVAL) rc = ftruncate(fd, static_cast<off_t>(total)) == 0 ? 0 : errno;
  return rc;
}

}  // namespace

size_t RecordPageSize() {
  static const size_t size = RoundUp(sizeof(SyncRecord), static_cast<size_t>(sysconf(_SC_PAGESIZE)));
  return size;
}

uint64_t MappingSize(const Core& core) {
  auto* segment = dynamic_cast<const SegmentCore*>(&core);
  return segment ? segment->dataSize() : 0;
}

uint8_t* MappedData(Core& core, uint32_t* error) {
  auto* segment = dynamic_cast<SegmentCore*>(&core);
  if (segment == nullptr) {
    *error = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  return segment->Data(error);
}

uint32_t ResolveName(std::u16string_view name, ResolvedName* out) {
  char space = 'l';
  if (StartsWithNoCase(name, u"Global\\")) {
    space = 'g';
    name.remove_prefix(7);
  } else if (StartsWithNoCase(name, u"Local\\")) {
    name.remove_prefix(6);
  }
  if (name.empty() || name.size() > kMaxNameLength) return ERROR_INVALID_PARAMETER;
  std::string folded = ToUtf8(FoldCase(name));

  std::string encoded(1, space);
  encoded.push_back('_');
  for (unsigned char c : folded) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
        c == '.') {
      encoded.push_back(static_cast<char>(c));
    } else {
      char buffer[4];
      std::snprintf(buffer, sizeof buffer, "%%%02X", c);
      encoded += buffer;
    }
  }
  if (encoded.size() > kMaxEncodedLength) encoded = encoded.substr(0, 150) + "~" + Hex64(Fnv1a(encoded));

  std::string token = RootNamespaceToken();
  out->key = token + "|" + std::string(1, space) + "|" + folded;
  out->fileName = encoded;
  out->shmName = "/rzd." + token + "." + encoded;
  return ERROR_SUCCESS;
}

CoreResult AcquireNamed(std::u16string_view name, const NamedRequest& request) {
  ResolvedName resolved;
  if (uint32_t err = ResolveName(name, &resolved); err != ERROR_SUCCESS) return {nullptr, err};

  ReclaimLeftoversOnce(SystemRoot() / "kernel", RootNamespaceToken());

  std::shared_ptr<Core> found;  // released after the table lock, should it be the last handle
  Table& table = TheTable();
  std::unique_lock lock(table.mutex);

  if (auto it = table.entries.find(resolved.key); it != table.entries.end()) {
    found = it->second.lock();
    if (found) {
      if (found->kind() != request.kind) return {nullptr, ERROR_INVALID_HANDLE};
      return {found, request.create ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS};
    }
  }

  fs::path folder = SystemRoot() / "kernel";
  if (uint32_t error = EnsurePrivateFolder(folder); error != ERROR_SUCCESS) return {nullptr, error};
  fs::path lockPath = folder / (resolved.fileName + ".lock");
  int lockFd = -1;
  for (;;) {
    lockFd = ipc::OpenLockFile(lockPath);  // the root's user's alone, also one an earlier build left open
    if (lockFd < 0) return {nullptr, ErrorFromErrno(errno, "open of a named object's lock file")};
    if (int rc = LockByte(lockFd, F_WRLCK, kGateByte, true); rc != 0) {
      close(lockFd);
      return {nullptr, ErrorFromErrno(rc, "lock of a named object's gate")};
    }
    if (StillLinked(lockFd, lockPath)) break;
    close(lockFd);  // the last closer removed this file while we waited: start again
  }
  bool nobodyHasIt = LockByte(lockFd, F_WRLCK, kOpenersByte, false) == 0;

  auto fail = [&](uint32_t error) {
    // A name nobody has open keeps no files (its segment, if any, is already gone).
    if (nobodyHasIt) RemoveNameFiles(lockPath, resolved.shmName);
    close(lockFd);  // drops the gate and any lock on the openers byte
    return CoreResult{nullptr, error};
  };

  int segmentFd = -1;
  SyncRecord* record = nullptr;
  uint64_t dataSize = request.dataSize;
  uint32_t result = ERROR_SUCCESS;
  const size_t page = RecordPageSize();

  if (nobodyHasIt) {
    // Whatever segment is left under this name belonged to processes that are gone.
    shm_unlink(resolved.shmName.c_str());
    if (!request.create) return fail(ERROR_FILE_NOT_FOUND);
    segmentFd = shm_open(resolved.shmName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kOwnerOnly);
    if (segmentFd < 0) return fail(ErrorFromErrno(errno, "creation of a named object's memory"));
    auto dropSegment = [&](uint32_t error) {
      close(segmentFd);
      return fail(error);
    };
    if (int rc = ReserveSegment(segmentFd, page + request.dataSize); rc != 0) return dropSegment(ErrorFromErrno(rc, "reservation of a named object's memory"));
    record = MapRecord(segmentFd);
    if (record == nullptr) return dropSegment(ERROR_NOT_ENOUGH_MEMORY);
    InitRecord(record, request.kind, true);
    record->dataSize = request.dataSize;
    if (request.initState) request.initState(*record);
    PublishRecord(record);
    LockByte(lockFd, F_RDLCK, kOpenersByte, false);  // converts the exclusive lock to shared
  } else {
    segmentFd = shm_open(resolved.shmName.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (segmentFd < 0) return fail(errno == ENOENT ? ERROR_GEN_FAILURE : ErrorFromErrno(errno, "open of a named object's memory"));
    struct stat st {};
    if (fstat(segmentFd, &st) != 0 || static_cast<size_t>(st.st_size) < page) {
      close(segmentFd);
      return fail(ERROR_GEN_FAILURE);
    }
    // A segment an earlier build made open to others is narrowed, as its lock file is.
    if (st.st_uid == geteuid() && (st.st_mode & 077) != 0) fchmod(segmentFd, st.st_mode & 0700);
    record = MapRecord(segmentFd);
    if (record == nullptr) {
      close(segmentFd);
      return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    uint32_t error = ERROR_SUCCESS;
    if (record->magic.load(std::memory_order_acquire) != kRecordMagic) {
      error = ERROR_GEN_FAILURE;
    } else if (record->kind != static_cast<uint32_t>(request.kind)) {
      error = ERROR_INVALID_HANDLE;
    } else if (request.kind == Kind::FileMapping && record->dataSize > static_cast<uint64_t>(st.st_size) - page) {
      error = ERROR_GEN_FAILURE;  // the record claims more data than its segment holds
    } else {
      dataSize = record->dataSize;
    }
    if (error != ERROR_SUCCESS) {
      munmap(record, page);
      close(segmentFd);
      return fail(error);
    }
    if (int rc = LockByte(lockFd, F_RDLCK, kOpenersByte, false); rc != 0) {
      munmap(record, page);
      close(segmentFd);
      return fail(ErrorFromErrno(rc, "lock of a named object's opener mark"));
    }
    result = request.create ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
  }
  LockByte(lockFd, F_UNLCK, kGateByte, false);

  if (request.kind != Kind::FileMapping) {
    close(segmentFd);
    segmentFd = -1;
  }
  auto core = std::make_shared<SegmentCore>(request.kind, record, true, segmentFd, dataSize, resolved.key, lockFd,
                                            lockPath, resolved.shmName);
  table.entries[resolved.key] = core;
  return {core, result};
}

CoreResult CreateUnnamedMapping(uint64_t dataSize) {
  int fd = memfd_create("rzd-mapping", MFD_CLOEXEC);
  if (fd < 0) return {nullptr, ErrorFromErrno(errno, "creation of a file mapping's memory")};
  if (int rc = ReserveSegment(fd, RecordPageSize() + dataSize); rc != 0) {
    close(fd);
    return {nullptr, ErrorFromErrno(rc, "reservation of a file mapping's memory")};
  }
  SyncRecord* record = MapRecord(fd);
  if (record == nullptr) {
    close(fd);
    return {nullptr, ERROR_NOT_ENOUGH_MEMORY};
  }
  InitRecord(record, Kind::FileMapping, false);
  record->dataSize = dataSize;
  PublishRecord(record);
  return {std::make_shared<SegmentCore>(Kind::FileMapping, record, false, fd, dataSize, std::string(), -1, fs::path(),
                                        std::string()),
          ERROR_SUCCESS};
}

}  // namespace rzd::kernel_detail
