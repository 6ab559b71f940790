#pragma once
// File helpers. Every name match ignores ASCII case, as the original platform's did.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform {

// Error codes are errno values; 0 is success. kNotFound tells "not found" from other failures.
constexpr int kOk = 0;
constexpr int kNotFound = 2; // ENOENT

// What the program creates is the user's alone: faxes, job files and books are nobody else's
// to read, whatever the umask says. Existing folders and files keep their modes.
constexpr unsigned kPrivateDirMode = 0700;
constexpr unsigned kPrivateFileMode = 0600;

std::string JoinPath(std::string_view dir, std::string_view name);
std::string DirName(std::string_view path);   // "" when there is no "/"
std::string BaseName(std::string_view path);  // final component
std::string Stem(std::string_view path);      // final component without its final extension
std::string Extension(std::string_view path); // final extension with its dot, or ""

// Replaces the final extension of the final component (adds one when there is none).
// The directory and the stem are kept as they are.
std::string ReplaceExtension(std::string_view path, std::string_view newExt);

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);

// Creates one directory level (the parent must exist), mode kPrivateDirMode. 0 or errno;
// EEXIST counts as success when it is a directory.
int CreateDir(const std::string& path);
// Creates `path` and every missing folder above it, each mode kPrivateDirMode. 0 or errno.
int CreatePrivateDirs(const std::string& path);

struct DirEntry {
    std::string name; // as on disk
    bool isDir = false;
    std::uint64_t size = 0;
    std::int64_t lastWrite = 0; // seconds since 1970
    std::int64_t created = 0;   // birth time where the file system has one, else change time
};

// What a listing reads of each entry: its name and whether it is a folder only (from the
// directory itself, no stat per entry), or also its size and times.
enum class ListDetail { Names, Full };

// Lists a directory (not "." and ".."), in no particular order. Empty on error.
std::vector<DirEntry> ListDir(const std::string& dir, int* error = nullptr,
                              ListDetail detail = ListDetail::Full);

// Case-insensitive wildcard match ('*' any run, '?' one byte), as "*.fax" matched on the
// original platform.
bool WildcardMatch(std::string_view pattern, std::string_view name);

// Regular files of `dir` whose names match `pattern`, ignoring case.
std::vector<DirEntry> ListMatching(const std::string& dir, std::string_view pattern);

// A case-folded index of one directory listing: look names up without rescanning.
class CDirIndex {
public:
    CDirIndex() = default;
    explicit CDirIndex(const std::string& dir, ListDetail detail = ListDetail::Full);
    explicit CDirIndex(std::vector<DirEntry> entries);
    // The keys point into the entries' names, which a move keeps where they are.
    CDirIndex(const CDirIndex&) = delete;
    CDirIndex& operator=(const CDirIndex&) = delete;
    CDirIndex(CDirIndex&&) = default;
    CDirIndex& operator=(CDirIndex&&) = default;
    // The entry whose name equals `name` ignoring ASCII case, or nullptr.
    const DirEntry* Find(std::string_view name) const;
    const std::vector<DirEntry>& Entries() const { return m_entries; }

private:
    std::vector<DirEntry> m_entries;
    // Open addressing over the entries, without a copy of any name: each slot holds the upper
    // half of the name's folded hash and the entry's index + 1 (0: empty). A store of 200,000
    // files is indexed and searched with about one cache miss a name, not a node per name.
    std::vector<std::uint64_t> m_slots;
};

// Regular files of a listing whose names match `pattern`, in name order (the listing itself
// has none; a fixed order keeps equal times in a stable order).
std::vector<const DirEntry*> MatchingFiles(const CDirIndex& index, std::string_view pattern);

// The path of an existing file whose final component equals that of `path` ignoring case
// (the directory part must match exactly); nullopt when there is none.
std::optional<std::string> FindNoCase(const std::string& path);

// The companion of `path` with extension `ext` (".fax", ".tag", ...): final extension
// replaced; if a file with that name exists in another case, its real name.
std::string CompanionPath(const std::string& path, std::string_view ext);

// Opens `path` to write (and read back, as libtiff does): a new file gets kPrivateFileMode, one
// that is there is cut to nothing and keeps its mode. The descriptor (close-on-exec), or -1 with
// errno set.
int OpenForWriting(const std::string& path);

int DeleteFile(const std::string& path);
// A new private folder (0700, mkdtemp) "prefix-XXXXXX" in $TMPDIR or /tmp; "" on failure
// (errno set).
std::string MakeTempDir(const std::string& prefix);
// Removes `dir` and the files directly in it.
void RemoveTempDir(const std::string& dir);
// Copies only a regular file of at most `maxBytes` bytes (OpenRegularFile's checks). A new
// copy gets kPrivateFileMode; a file copied over keeps its mode.
int CopyFile(const std::string& from, const std::string& to, bool failIfExists,
             std::uint64_t maxBytes = UINT64_MAX);
int MoveFile(const std::string& from,
             const std::string& to); // rename, or copy+delete across volumes

std::optional<std::int64_t> LastWriteTime(const std::string& path);
std::optional<std::int64_t> CreationTime(const std::string& path);
std::optional<std::uint64_t> FileSize(const std::string& path);
// What tells one version of a file from the next: another program's atomic save makes a new
// inode, an in-place write a new time or size.
struct FileStamp {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};
std::optional<FileStamp> StampOf(const std::string& path);
std::optional<std::uint64_t> FreeBytes(const std::string& path);

// Reads a whole file. 0 or errno.
int ReadFile(const std::string& path, std::string& out);

// The most a file of the store may hold. No real one comes near: a larger file is refused
// unread, so a file that only carries a store file's name cannot fill the memory.
// Job files (.fax) and address books (.abk), read whole: a job file of a million-recipient
// list is about 60 MB, a book of 100,000 contacts a few MB.
constexpr std::uint64_t kArchiveFileCap = std::uint64_t{256} << 20;
// Fax images and documents copied into the store or opened with libtiff: the most the fax
// printer lets one job write.
constexpr std::uint64_t kImageFileCap = std::uint64_t{1} << 30;

enum class Links { Refuse, Follow };

// Opens a file of the store or of a shared folder for reading, only when it is a regular file
// of at most `maxBytes` bytes: a FIFO, socket, device or folder is refused with EINVAL, a
// larger file with EFBIG, a symbolic link with ELOOP when `links` refuses them. The open never
// waits (for a FIFO's writer, a device). The descriptor (close-on-exec), or -1 with errno set.
int OpenRegularFile(const std::string& path, std::uint64_t maxBytes, Links links = Links::Follow);

// Reads a whole file of the store (a job file, a book) through OpenRegularFile. 0 or errno.
int ReadStoreFile(const std::string& path, std::string& out, std::uint64_t maxBytes);

// A folder of the store opened once, whose files are then read by name: the 100,000 job files
// of a large store are opened without looking up the folder's path for each.
class CStoreFolder {
public:
    explicit CStoreFolder(std::string dir);
    ~CStoreFolder();
    CStoreFolder(const CStoreFolder&) = delete;
    CStoreFolder& operator=(const CStoreFolder&) = delete;

    // ReadStoreFile of the file `name` (a name, not a path) in the folder.
    int ReadStoreFile(const std::string& name, std::string& out, std::uint64_t maxBytes) const;

private:
    std::string m_dir;
    int m_fd;
};

// Reads at most `maxBytes` bytes of a small file that other programs drop into a shared
// folder (a name file): a regular file only, a symbolic link refused (OpenRegularFile); a
// longer file gives its first `maxBytes` bytes. 0 or errno.
int ReadSmallFile(const std::string& path, std::string& out, std::size_t maxBytes);

// Writes `bytes` to a temporary file in the same directory, flushes it and renames it over
// `path`: a crash leaves the old or the new file, never half of one. 0 or errno. The new
// file gets `mode` (only when the file does not exist yet; an existing file keeps its mode).
int AtomicWriteFile(const std::string& path, std::string_view bytes,
                    unsigned mode = kPrivateFileMode);

// AtomicWriteFile for many files at once: every new content is written before any is flushed,
// so that the flushes share one journal commit, then each is renamed over its file and each
// folder flushed once. A crash still leaves every file old or new, while a batch costs about
// one flush instead of one per file, and never waits for other programs' data. 0 or errno per
// file.
std::vector<int> AtomicWriteFiles(const std::vector<std::pair<std::string, std::string>>& files,
                                  unsigned mode = kPrivateFileMode);

// Removes what killed atomic writes left in `dir`: regular files named as those writes name
// their temporary files (".<name>.XXXXXX") and last written more than `ageSeconds` ago, so a
// write in progress, ours or another program's, is never hit. The number removed.
int RemoveStaleTempFiles(const std::string& dir, std::int64_t ageSeconds);

// Like AtomicWriteFile, but the file always ends with `mode`, also when it existed with another
// one: for files holding secrets, which must not stay readable because they once were.
int AtomicReplaceFile(const std::string& path, std::string_view bytes, unsigned mode);

// Writes `bytes` over the file at `path` in place (cut to their length) and flushes it. Not crash
// safe, but it needs no new room where the file already had as many bytes: the way to finish a
// file whose room was taken earlier when the disk has filled since. 0 or errno.
int OverwriteFile(const std::string& path, std::string_view bytes);

// Like AtomicWriteFile, but fails with EEXIST instead of replacing a file that is there.
int AtomicCreateFile(const std::string& path, std::string_view bytes,
                     unsigned mode = kPrivateFileMode);

// Initialisation-file read with the original's semantics: [section] and key= matched
// ignoring case, surrounding blanks trimmed, one pair of enclosing quotes removed, result cut
// to maxLen - 1 bytes; `def` when the file, section or key is missing.
std::string ReadIniString(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view def, std::size_t maxLen);

// The same lookup in initialisation text already read.
std::string IniValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view def, std::size_t maxLen);

// Writes or replaces key=value in [section] (created when missing), atomically.
int WriteIniString(const std::string& path, std::string_view section, std::string_view key,
                   std::string_view value);

// Directory of the running executable (no trailing "/").
std::string ExecutableDir();

} // namespace platform
