// Where the system has owner, group and other file modes, a store file that
// holds a secret is made readable by its owner only from the moment it
// exists, whatever the process's umask.

#ifndef DATABASE_INTERFACE_PRIVATE_FILE_H_
#define DATABASE_INTERFACE_PRIVATE_FILE_H_

namespace database_interface {

// Creates `path` as an empty file of mode 0600 when nothing is there yet,
// not following a symbolic link, and answers whether it made one. Best
// effort and silent: an existing file keeps its mode, and any failure leaves
// it to SQLite's own open to create the file or to report why it cannot. A
// path that SQLite does not take as a file name (":memory:", "", a "file:"
// URI) is left alone. Does nothing on systems without such modes.
bool CreatePrivateFileIfMissing(const char* path);

// Removes the file at `path` that CreatePrivateFileIfMissing made, for an
// open that then failed: SQLite itself would have left no file. A file
// that is no longer empty has been written by someone else and stays.
void RemovePrivateFileIfEmpty(const char* path);

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_PRIVATE_FILE_H_
