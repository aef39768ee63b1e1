// SQLite's file formats, as far as the store and dbi read them by hand: the
// database header, the b-tree page headers, the rollback journal's trailer
// that names a super-journal, the WAL header's magic, and the files SQLite
// keeps beside a database. Everything in these formats is big-endian.

#ifndef DATABASE_INTERFACE_FILES_SQLITE_FORMAT_H_
#define DATABASE_INTERFACE_FILES_SQLITE_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace database_interface::sqlite_format {

// The big-endian number of `kBytes` bytes at `offset` of `bytes`, which must
// hold them.
template <size_t kBytes>
uint32_t ReadBigEndian(std::string_view bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < kBytes; ++i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
  }
  return value;
}

inline void WriteBigEndian32(std::string& bytes, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) {
    bytes[offset + i] = static_cast<char>((value >> (8 * (3 - i))) & 0xff);
  }
}

// The database header, the first bytes of page 1.
constexpr size_t kHeaderBytes = 100;
constexpr char kMagicText[] = "SQLite format 3";
constexpr std::string_view kMagic(kMagicText, sizeof kMagicText);  // with its NUL
constexpr size_t kPageSizeOffset = 16;                             // 16 bits; 1 means 65536
constexpr size_t kReadVersionOffset = 19;                          // 2: read in WAL mode
constexpr char kWalReadVersion = 2;
constexpr size_t kPageCountOffset = 28;
constexpr uint32_t kDefaultPageSize = 4096;
constexpr uint32_t kSmallestPageSize = 512;
constexpr uint32_t kLargestPageSize = 65536;

inline bool HasMagic(std::string_view file) {
  return file.substr(0, kMagic.size()) == kMagic;
}

inline bool IsPageSize(uint32_t size) {
  return size >= kSmallestPageSize && size <= kLargestPageSize && (size & (size - 1)) == 0;
}

// Whether SQLite reads the database whose first bytes are `file` in WAL
// mode: it goes by the header's read version alone.
inline bool HeaderSaysWal(std::string_view file) {
  return file.size() > kReadVersionOffset && HasMagic(file) &&
         file[kReadVersionOffset] == kWalReadVersion;
}

// The page size a readable header at the start of `file` gives, or 0.
inline uint32_t HeaderPageSize(std::string_view file) {
  if (file.size() < kPageSizeOffset + 2 || !HasMagic(file)) {
    return 0;
  }
  const uint32_t stored = ReadBigEndian<2>(file, kPageSizeOffset);
  const uint32_t size = stored == 1 ? kLargestPageSize : stored;
  return IsPageSize(size) ? size : 0;
}

// B-tree pages: a header (after the database header on page 1), then the
// cell pointers. Interior pages name their children: one in each cell's
// first four bytes, and the right-most in the header.
constexpr unsigned char kInteriorIndexPage = 0x02;
constexpr unsigned char kInteriorTablePage = 0x05;
constexpr unsigned char kLeafIndexPage = 0x0a;
constexpr unsigned char kLeafTablePage = 0x0d;
constexpr size_t kCellCountOffset = 3;   // 16 bits
constexpr size_t kRightChildOffset = 8;  // 32 bits, interior pages only
constexpr size_t kInteriorHeaderBytes = 12;
constexpr size_t kLeafHeaderBytes = 8;

inline bool IsInteriorPage(unsigned char kind) {
  return kind == kInteriorIndexPage || kind == kInteriorTablePage;
}

// A rollback journal that belongs to a transaction over several files ends
// with the name of its super-journal: the name's bytes, then this trailer of
// the name's length and checksum (32 bits each) and the journal magic.
constexpr size_t kJournalTrailerBytes = 16;
constexpr std::string_view kJournalMagic{"\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", 8};

// Whether `name` has the form SQLite gives the super-journals it makes: the
// main database's name, then "-mj", six hexadecimal digits, a 9 and two more.
inline bool IsSqliteSuperJournalName(std::string_view name) {
  if (name.size() <= 12) {
    return false;  // no database's name before the mark
  }
  const std::string_view tail = name.substr(name.size() - 12);
  return tail.substr(0, 3) == "-mj" && tail[9] == '9' &&
         tail.find_first_not_of("0123456789ABCDEF", 3) == std::string_view::npos;
}

// Whether the journal whose last bytes are `tail` (its last `longest` +
// kJournalTrailerBytes, or all of it) names a super-journal, up to the
// name's first NUL as SQLite reads it, that SQLite did not name. Rolling the
// journal back deletes that file, whatever a stranger chose. SQLite takes
// no name longer than `longest`, its longest path, nor than the journal.
inline bool NamesForeignSuperJournal(std::string_view tail, size_t longest) {
  if (tail.size() < kJournalTrailerBytes) {
    return false;
  }
  const size_t trailer = tail.size() - kJournalTrailerBytes;
  const size_t length =
      tail.substr(trailer + 8) == kJournalMagic ? ReadBigEndian<4>(tail, trailer) : 0;
  if (length == 0 || length > longest || length > trailer) {
    return false;
  }
  const std::string_view name = tail.substr(trailer - length, length);
  return !name.empty() && name[0] != '\0' &&
         !IsSqliteSuperJournalName(name.substr(0, name.find('\0')));
}

// A write-ahead log starts with a header of its own, whose first four bytes
// are its magic, the last bit telling the byte order of its checksums.
constexpr size_t kWalHeaderBytes = 32;
inline bool HasWalMagic(std::string_view header) {
  return header.size() >= 4 && (ReadBigEndian<4>(header, 0) | 1) == 0x377f0683;
}

// The files SQLite keeps beside a database of this name: the rollback
// journal, the write-ahead log and its shared-memory index. SQLite opens
// each by name when it finds it there.
constexpr const char* kFilesBeside[] = {"-journal", "-wal", "-shm"};

}  // namespace database_interface::sqlite_format

#endif  // DATABASE_INTERFACE_FILES_SQLITE_FORMAT_H_
