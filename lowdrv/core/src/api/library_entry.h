// What the library does when it is loaded into a process and when it is unloaded (the shared
// object's constructor and destructor call these; tests call them directly).
#pragma once

namespace rzd::lowdrv::api {

// The guard variable of the program search path: the maker's common folder is put in front of
// PATH once per process.
inline constexpr char16_t kPathGuardName[] = u"Corvanite2010_32";

// Keeps the module (any address inside the library) for its resources, makes the open-device
// list and puts the maker's common program folder in front of the program search path once.
void OnLibraryLoad(const void* addressInModule);
// Closes and destroys every driver object still open, waits for the buttons thread and stops the
// diagnostics thread, so no thread runs the library's code once it is gone; then destroys the
// library's process-wide objects. At the end of a process this runs after every static
// destructor, so nothing it uses is a static with a destructor (foundation/module_objects.h).
void OnLibraryUnload();

}  // namespace rzd::lowdrv::api
