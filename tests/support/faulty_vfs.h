// A file-system layer for SQLite that fails chosen calls. Installed as the
// default layer, it sits under every connection the process opens from then
// on, the store's included, and passes every call through to the real layer
// until a fault is armed.

#ifndef DATABASE_INTERFACE_TESTS_SUPPORT_FAULTY_VFS_H_
#define DATABASE_INTERFACE_TESTS_SUPPORT_FAULTY_VFS_H_

namespace dbi_test {

enum class FileCall { kOpen, kRead, kWrite, kSync, kLock };

// Registers the layer as SQLite's default; later calls do nothing.
void InstallFaultyVfs();

// Counts calls of `call` from now on and fails the `nth` (1 for the next
// one) with the SQLite result `code`; with `persistent`, every later call of
// that kind fails too, until StopFaults. Arming again restarts the count.
void ArmFault(FileCall call, int nth, int code, bool persistent);

// Passes every call through again; tells whether a fault was injected since
// the last ArmFault.
bool StopFaults();

}  // namespace dbi_test

#endif  // DATABASE_INTERFACE_TESTS_SUPPORT_FAULTY_VFS_H_
