// Named objects: the process-wide table and the protocol that shares them across processes.
//
// For each name there is a lock file SystemRoot()/kernel/<name>.lock and a shared-memory segment
// "/rzd.<root token>.<name>". Byte 0 of the lock file is a gate, held exclusively while a
// process creates, opens or closes the object. Byte 1 carries one shared lock per opening
// process (open file description locks, which the kernel drops when the process dies). When the
// gate holder can take byte 1 exclusively, no process has the object open: an open answers
// ERROR_FILE_NOT_FOUND and a creation starts a fresh segment. The last closer removes the
// segment and the lock file, holding the gate; a process that opened the lock file before and
// waited at its gate sees that the file is no longer linked at its name and starts again. A
// name nobody has open therefore leaves nothing behind. What names whose holders were all killed
// left (lock files, segments) is removed by the first named-object call of every process in the
// root.
//
// In one process a name has one entry (one lock, one mapping), shared by all handles to it.
#pragma once

#include "kernel/core.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace rzd::kernel_detail {

// A name resolved for the current root.
struct ResolvedName {
  std::string key;       // table key: root token, namespace and folded name
  std::string fileName;  // encoded name for the lock file and the segment
  std::string shmName;   // "/rzd.<token>.<fileName>"
};

// ERROR_INVALID_PARAMETER for a name that is empty after its prefix or longer than 260 units.
uint32_t ResolveName(std::u16string_view name, ResolvedName* out);

struct NamedRequest {
  Kind kind;
  bool create;                                 // false: open only
  uint64_t dataSize = 0;                       // file mappings: bytes after the record's page
  std::function<void(SyncRecord&)> initState;  // fills the state of a new object
};

// Creates or opens a named object. error: 0, ERROR_ALREADY_EXISTS (core valid), or a failure.
CoreResult AcquireNamed(std::u16string_view name, const NamedRequest& request);

// Size of the page that holds a record ahead of a file mapping's data.
size_t RecordPageSize();

// A file mapping's data size, as checked against its segment when it was opened.
uint64_t MappingSize(const Core& core);
// A file mapping's data, mapped whole once per process by the first call (which checks that the
// segment's file still holds all of it); later calls cost no system call. nullptr with `error`
// (ERROR_ACCESS_DENIED for a segment cut short, ERROR_NOT_ENOUGH_MEMORY, ERROR_INVALID_HANDLE).
// The data stays mapped as long as the core.
uint8_t* MappedData(Core& core, uint32_t* error);

// An unnamed file mapping: an anonymous memory file with the same layout as a named one.
CoreResult CreateUnnamedMapping(uint64_t dataSize);

}  // namespace rzd::kernel_detail
