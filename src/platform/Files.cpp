#include "platform/Files.h"

#include "platform/Encoding.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace platform {

std::string JoinPath(std::string_view dir, std::string_view name) {
    if (dir.empty()) {
        return std::string(name);
    }
    std::string out(dir);
    if (out.back() != '/') {
        out += '/';
    }
    out.append(name);
    return out;
}

std::string DirName(std::string_view path) {
    auto slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return {};
    }
    if (slash == 0) {
        return "/";
    }
    return std::string(path.substr(0, slash));
}

std::string BaseName(std::string_view path) {
    auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string Extension(std::string_view path) {
    std::string base = BaseName(path);
    auto dot = base.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return {};
    }
    return base.substr(dot);
}

std::string Stem(std::string_view path) {
    std::string base = BaseName(path);
    auto dot = base.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return base;
    }
    return base.substr(0, dot);
}

std::string ReplaceExtension(std::string_view path, std::string_view newExt) {
    std::string ext = Extension(path);
    std::string out(path.substr(0, path.size() - ext.size()));
    out.append(newExt);
    return out;
}

bool PathExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int CreateDir(const std::string& path) {
    if (::mkdir(path.c_str(), kPrivateDirMode) == 0) {
        return kOk;
    }
    int err = errno;
    if (err == EEXIST && IsDirectory(path)) {
        return kOk;
    }
    return err;
}

int CreatePrivateDirs(const std::string& path) {
    if (path.empty() || IsDirectory(path)) {
        return kOk;
    }
    if (int err = CreatePrivateDirs(DirName(path)); err != kOk) {
        return err;
    }
    return ::mkdir(path.c_str(), kPrivateDirMode) != 0 && errno != EEXIST ? errno : kOk;
}

namespace {
std::int64_t BirthOrChange(int dirfd, const char* name, const struct stat& st) {
#ifdef STATX_BTIME
    struct statx sx;
    if (::statx(dirfd, name, 0, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME)) {
        return sx.stx_btime.tv_sec;
    }
#else
    (void)dirfd;
    (void)name;
#endif
    return st.st_ctim.tv_sec;
}
} // namespace

std::vector<DirEntry> ListDir(const std::string& dir, int* error, ListDetail detail) {
    std::vector<DirEntry> out;
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        if (error) {
            *error = errno;
        }
        return out;
    }
    int fd = ::dirfd(d);
    while (struct dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) {
            continue;
        }
        DirEntry de;
        de.name = e->d_name;
        // The directory says what an entry is, except on file systems that leave it unknown
        // or for a link, which counts as what it points to.
        if (detail == ListDetail::Names && e->d_type != DT_UNKNOWN && e->d_type != DT_LNK) {
            de.isDir = e->d_type == DT_DIR;
            out.push_back(std::move(de));
            continue;
        }
        struct stat st;
        if (::fstatat(fd, e->d_name, &st, 0) != 0) {
            continue; // vanished meanwhile
        }
        de.isDir = S_ISDIR(st.st_mode);
        de.size = static_cast<std::uint64_t>(st.st_size);
        de.lastWrite = st.st_mtim.tv_sec;
        de.created = BirthOrChange(fd, e->d_name, st);
        out.push_back(std::move(de));
    }
    ::closedir(d);
    if (error) {
        *error = 0;
    }
    return out;
}

namespace {
char Fold(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
} // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    // Iterative match with backtracking to the last '*': linear in practice, no recursion.
    std::size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Fold(pattern[p]) == Fold(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

std::vector<DirEntry> ListMatching(const std::string& dir, std::string_view pattern) {
    std::vector<DirEntry> out;
    for (DirEntry& e : ListDir(dir)) {
        if (!e.isDir && WildcardMatch(pattern, e.name)) {
            out.push_back(std::move(e));
        }
    }
    return out;
}

CDirIndex::CDirIndex(const std::string& dir, ListDetail detail)
    : CDirIndex(ListDir(dir, nullptr, detail)) {}

namespace {

std::uint64_t FoldedHash(std::string_view name) {
    std::uint64_t h = 14695981039346656037ull; // FNV-1a, then mixed: the low bits pick the slot
    for (char c : name) {
        h = (h ^ static_cast<unsigned char>(Fold(c))) * 1099511628211ull;
    }
    h ^= h >> 32;
    h *= 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

bool FoldedEqual(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Fold(x) == Fold(y); });
}

constexpr std::uint64_t kTagMask = 0xFFFFFFFF00000000ull;

} // namespace

CDirIndex::CDirIndex(std::vector<DirEntry> entries) : m_entries(std::move(entries)) {
    std::size_t size = 16;
    while (size < 2 * m_entries.size()) {
        size *= 2;
    }
    m_slots.assign(size, 0);
    const std::size_t mask = size - 1;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const std::uint64_t h = FoldedHash(m_entries[i].name);
        std::size_t at = h & mask;
        // The first of names equal but for case keeps the name.
        for (; m_slots[at] != 0; at = (at + 1) & mask) {
            if ((m_slots[at] & kTagMask) == (h & kTagMask) &&
                FoldedEqual(m_entries[(m_slots[at] & ~kTagMask) - 1].name, m_entries[i].name)) {
                break;
            }
        }
        if (m_slots[at] == 0) {
            m_slots[at] = (h & kTagMask) | (i + 1);
        }
    }
}

std::vector<const DirEntry*> MatchingFiles(const CDirIndex& index, std::string_view pattern) {
    std::vector<const DirEntry*> out;
    for (const DirEntry& e : index.Entries()) {
        if (!e.isDir && WildcardMatch(pattern, e.name)) {
            out.push_back(&e);
        }
    }
    std::sort(out.begin(), out.end(),
              [](const auto* a, const auto* b) { return a->name < b->name; });
    return out;
}

const DirEntry* CDirIndex::Find(std::string_view name) const {
    if (m_slots.empty()) {
        return nullptr;
    }
    const std::uint64_t h = FoldedHash(name);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t at = h & mask; m_slots[at] != 0; at = (at + 1) & mask) {
        const DirEntry& e = m_entries[(m_slots[at] & ~kTagMask) - 1];
        if ((m_slots[at] & kTagMask) == (h & kTagMask) && FoldedEqual(e.name, name)) {
            return &e;
        }
    }
    return nullptr;
}

std::optional<std::string> FindNoCase(const std::string& path) {
    if (PathExists(path)) {
        return path;
    }
    std::string dir = DirName(path);
    std::string base = BaseName(path);
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) {
        return std::nullopt;
    }
    std::optional<std::string> found;
    while (struct dirent* e = ::readdir(d)) {
        if (EqualsNoCase(e->d_name, base)) {
            found = dir.empty() ? std::string(e->d_name) : JoinPath(dir, e->d_name);
            break;
        }
    }
    ::closedir(d);
    return found;
}

std::string CompanionPath(const std::string& path, std::string_view ext) {
    std::string companion = ReplaceExtension(path, ext);
    if (auto real = FindNoCase(companion)) {
        return *real;
    }
    return companion;
}

int OpenForWriting(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, kPrivateFileMode);
}

int DeleteFile(const std::string& path) {
    if (::unlink(path.c_str()) == 0) {
        return kOk;
    }
    return errno;
}

int CopyFile(const std::string& from, const std::string& to, bool failIfExists,
             std::uint64_t maxBytes) {
    int in = OpenRegularFile(from, maxBytes);
    if (in < 0) {
        return errno;
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
    int out = ::open(to.c_str(), flags, kPrivateFileMode);
    if (out < 0) {
        int err = errno;
        ::close(in);
        return err;
    }
    int err = 0;
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n == 0) {
            break;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            err = errno;
            break;
        }
        for (ssize_t off = 0; off < n;) {
            ssize_t w = ::write(out, buf + off, static_cast<std::size_t>(n - off));
            if (w < 0) {
                if (errno == EINTR) {
                    continue;
                }
                err = errno;
                break;
            }
            off += w;
        }
        if (err) {
            break;
        }
    }
    if (::close(out) != 0 && !err) {
        err = errno;
    }
    ::close(in);
    if (err) {
        ::unlink(to.c_str()); // never leave half a copy behind
    }
    return err;
}

int MoveFile(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) == 0) {
        return kOk;
    }
    int err = errno;
    if (err != EXDEV) {
        return err;
    }
    err = CopyFile(from, to, true);
    if (err) {
        return err;
    }
    return DeleteFile(from);
}

std::optional<std::int64_t> LastWriteTime(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return st.st_mtim.tv_sec;
}

std::optional<FileStamp> StampOf(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return FileStamp{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                     static_cast<std::uint64_t>(st.st_size),
                     static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 +
                         st.st_mtim.tv_nsec};
}

std::optional<std::int64_t> CreationTime(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return BirthOrChange(AT_FDCWD, path.c_str(), st);
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::uint64_t> FreeBytes(const std::string& path) {
    struct statvfs vfs;
    if (::statvfs(path.c_str(), &vfs) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

namespace {
// Reads `fd` to its end or `maxBytes`, then closes it. 0 or errno.
int ReadAndClose(int fd, std::string& out, std::size_t maxBytes) {
    char buf[1 << 16];
    int err = 0;
    while (out.size() < maxBytes) {
        ssize_t n = ::read(fd, buf, std::min(sizeof buf, maxBytes - out.size()));
        if (n == 0) {
            break;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            err = errno;
            break;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return err;
}
} // namespace

int ReadFile(const std::string& path, std::string& out) {
    out.clear();
    // Reading is not a change: without O_NOATIME the first start of a day writes the inode of
    // every job file in a large store. Only the owner may ask for it.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
    if (fd < 0 && errno == EPERM) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
        return errno;
    }
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        out.reserve(static_cast<std::size_t>(st.st_size));
    }
    return ReadAndClose(fd, out, out.max_size());
}

namespace {
// OpenRegularFile, also telling the file's size.
// `path` is relative to the folder `dirFd` (AT_FDCWD: to the working folder).
int OpenChecked(int dirFd, const char* path, std::uint64_t maxBytes, Links links,
                std::uint64_t& size) {
    // Non-blocking: opening a FIFO to read would wait for a writer that never comes.
    // O_NOATIME as in ReadFile.
    const int flags =
        O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (links == Links::Refuse ? O_NOFOLLOW : 0);
    int fd = ::openat(dirFd, path, flags | O_NOATIME);
    if (fd < 0 && errno == EPERM) {
        fd = ::openat(dirFd, path, flags);
    }
    if (fd < 0) {
        return -1;
    }
    struct stat st;
    int err = ::fstat(fd, &st) != 0 ? errno : (S_ISREG(st.st_mode) ? 0 : EINVAL);
    size = err == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    if (err == 0 && size > maxBytes) {
        err = EFBIG;
    }
    if (err != 0) {
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

// The whole regular file `fd` of `size` bytes (as it was opened), then closed. A short read of
// a regular file is its end: a file as large as it said is read with one call, not two.
int ReadRegularAndClose(int fd, std::uint64_t size, std::string& out, std::uint64_t maxBytes) {
    // One byte past the size tells a file that grew meanwhile, one past the cap a file too large.
    const std::size_t limit =
        static_cast<std::size_t>(std::min<std::uint64_t>(maxBytes, out.max_size() - 1)) + 1;
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size + 1, limit));
    int err = 0;
    for (;;) {
        const std::size_t at = out.size();
        out.resize(want);
        const ssize_t n = ::read(fd, out.data() + at, want - at);
        if (n < 0 && errno == EINTR) {
            out.resize(at);
            continue;
        }
        out.resize(at + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        if (n < 0) {
            err = errno;
        }
        if (n <= 0 || out.size() < want || want == limit) {
            break;
        }
        want = std::min(limit, want + std::max<std::size_t>(want, 1 << 16));
    }
    ::close(fd);
    if (err == 0 && out.size() > maxBytes) {
        out.clear();
        return EFBIG;
    }
    return err;
}

int ReadStoreFileAt(int dirFd, const char* path, std::string& out, std::uint64_t maxBytes) {
    out.clear();
    std::uint64_t size = 0;
    const int fd = OpenChecked(dirFd, path, maxBytes, Links::Follow, size);
    return fd < 0 ? errno : ReadRegularAndClose(fd, size, out, maxBytes);
}
} // namespace

int OpenRegularFile(const std::string& path, std::uint64_t maxBytes, Links links) {
    std::uint64_t size = 0;
    return OpenChecked(AT_FDCWD, path.c_str(), maxBytes, links, size);
}

int ReadStoreFile(const std::string& path, std::string& out, std::uint64_t maxBytes) {
    return ReadStoreFileAt(AT_FDCWD, path.c_str(), out, maxBytes);
}

CStoreFolder::CStoreFolder(std::string dir)
    : m_dir(std::move(dir)), m_fd(::open(m_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

CStoreFolder::~CStoreFolder() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

int CStoreFolder::ReadStoreFile(const std::string& name, std::string& out,
                                std::uint64_t maxBytes) const {
    return m_fd >= 0 ? ReadStoreFileAt(m_fd, name.c_str(), out, maxBytes)
                     : platform::ReadStoreFile(JoinPath(m_dir, name), out, maxBytes);
}

int ReadSmallFile(const std::string& path, std::string& out, std::size_t maxBytes) {
    out.clear();
    const int fd = OpenRegularFile(path, UINT64_MAX, Links::Refuse);
    return fd < 0 ? errno : ReadAndClose(fd, out, maxBytes);
}

namespace {
int WriteAll(int fd, std::string_view bytes) {
    for (std::size_t off = 0; off < bytes.size();) {
        ssize_t w = ::write(fd, bytes.data() + off, bytes.size() - off);
        if (w < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        off += static_cast<std::size_t>(w);
    }
    return 0;
}

// Writes `bytes` to a new temporary file beside `path` and flushes it; its name, or "" with
// `err` set.
std::string WriteTempBeside(const std::string& path, std::string_view bytes, mode_t mode, int& err,
                            bool flush = true) {
    std::string dir = DirName(path);
    std::string tmpl = JoinPath(dir.empty() ? "." : dir, "." + BaseName(path) + ".XXXXXX");
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        err = errno;
        return {};
    }
    ::fchmod(fd, mode);
    err = WriteAll(fd, bytes);
    if (!err && flush && ::fsync(fd) != 0) {
        err = errno;
    }
    if (::close(fd) != 0 && !err) {
        err = errno;
    }
    if (err) {
        ::unlink(tmpl.c_str());
        return {};
    }
    return tmpl;
}

// The names WriteTempBeside gives: "." + a name + "." + mkstemp's six letters or digits.
bool IsTempName(std::string_view name) {
    constexpr std::size_t kSuffix = 7; // ".XXXXXX"
    if (name.size() < kSuffix + 2 || name.front() != '.' || name[name.size() - kSuffix] != '.') {
        return false;
    }
    for (char c : name.substr(name.size() - kSuffix + 1)) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}
} // namespace

int RemoveStaleTempFiles(const std::string& dir, std::int64_t ageSeconds) {
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) {
        return 0;
    }
    const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr)) - ageSeconds;
    int removed = 0;
    const int fd = ::dirfd(d);
    while (struct dirent* e = ::readdir(d)) {
        struct stat st;
        if (IsTempName(e->d_name) && ::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_mtim.tv_sec < before &&
            ::unlinkat(fd, e->d_name, 0) == 0) {
            ++removed;
        }
    }
    ::closedir(d);
    return removed;
}

int AtomicCreateFile(const std::string& path, std::string_view bytes, unsigned mode) {
    int err = 0;
    std::string temp = WriteTempBeside(path, bytes, static_cast<mode_t>(mode), err);
    if (temp.empty()) {
        return err;
    }
    // A hard link never replaces an existing name; where the file system has no hard links,
    // an exclusive create takes its place.
    if (::link(temp.c_str(), path.c_str()) == 0) {
        ::unlink(temp.c_str());
        return kOk;
    }
    err = errno;
    if (err == EPERM || err == ENOTSUP || err == EMLINK) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        static_cast<mode_t>(mode));
        if (fd < 0) {
            err = errno;
        } else {
            ::close(fd);
            err = ::rename(temp.c_str(), path.c_str()) == 0 ? kOk : errno;
        }
    }
    ::unlink(temp.c_str());
    return err;
}

int AtomicWriteFile(const std::string& path, std::string_view bytes, unsigned mode) {
    struct stat st;
    return AtomicReplaceFile(path, bytes,
                             ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : mode);
}

std::vector<int> AtomicWriteFiles(const std::vector<std::pair<std::string, std::string>>& files,
                                  unsigned mode) {
    std::vector<int> errs(files.size(), 0);
    std::vector<std::string> temps(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& path = files[i].first;
        struct stat st;
        const mode_t m = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : mode;
        temps[i] = WriteTempBeside(path, files[i].second, m, errs[i], false);
    }
    // Only the batch's own files are flushed, not the whole file system (which would wait for
    // every other program's unwritten data too). Their writing is started for all of them
    // first, so that they share one journal commit: the first flush pays for it, the others
    // find their data on disk already.
    for (const std::string& temp : temps) {
        if (const int fd = temp.empty() ? -1 : ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
            fd >= 0) {
            ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
            ::close(fd);
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (temps[i].empty()) {
            continue;
        }
        const int fd = ::open(temps[i].c_str(), O_RDONLY | O_CLOEXEC);
        const int flushErr = fd < 0 || ::fdatasync(fd) != 0 ? errno : 0;
        if (fd >= 0) {
            ::close(fd);
        }
        if (flushErr != 0) {
            ::unlink(temps[i].c_str());
            temps[i].clear();
            errs[i] = flushErr;
        }
    }
    std::set<std::string> folders;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (temps[i].empty()) {
            continue;
        }
        if (::rename(temps[i].c_str(), files[i].first.c_str()) != 0) {
            errs[i] = errno;
            ::unlink(temps[i].c_str());
        } else {
            folders.insert(DirName(files[i].first));
        }
    }
    // The renames themselves, once per folder.
    for (const std::string& folder : folders) {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    return errs;
}

int AtomicReplaceFile(const std::string& path, std::string_view bytes, unsigned mode) {
    int err = 0;
    std::string temp = WriteTempBeside(path, bytes, static_cast<mode_t>(mode), err);
    if (temp.empty()) {
        return err;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        err = errno;
        ::unlink(temp.c_str());
    }
    return err;
}

int OverwriteFile(const std::string& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    int err = WriteAll(fd, bytes);
    if (!err && ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) {
        err = errno;
    }
    if (!err && ::fsync(fd) != 0) {
        err = errno;
    }
    if (::close(fd) != 0 && !err) {
        err = errno;
    }
    return err;
}

namespace {
std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

// Splits file text into lines (LF or CR LF).
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) {
            if (start < text.size()) {
                lines.push_back(text.substr(start));
            }
            break;
        }
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

bool IsSectionLine(std::string_view line, std::string_view& name) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') {
        return false;
    }
    auto close = line.find(']');
    if (close == std::string_view::npos) {
        return false;
    }
    name = Trim(line.substr(1, close - 1));
    return true;
}
} // namespace

std::string IniValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view def, std::size_t maxLen) {
    auto cut = [maxLen](std::string_view v) {
        if (maxLen == 0) {
            return std::string();
        }
        return std::string(v.substr(0, std::min(v.size(), maxLen - 1)));
    };
    bool inSection = false;
    for (std::string_view line : Lines(text)) {
        std::string_view name;
        if (IsSectionLine(line, name)) {
            inSection = EqualsNoCase(name, section);
            continue;
        }
        if (!inSection) {
            continue;
        }
        auto eq = line.find('=');
        if (eq == std::string_view::npos) {
            continue;
        }
        if (!EqualsNoCase(Trim(line.substr(0, eq)), key)) {
            continue;
        }
        std::string_view value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                                  (value.front() == '\'' && value.back() == '\''))) {
            value = value.substr(1, value.size() - 2);
        }
        return cut(value);
    }
    return cut(def);
}

std::string ReadIniString(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view def, std::size_t maxLen) {
    std::string text;
    if (ReadFile(path, text) != 0) {
        text.clear();
    }
    return IniValue(text, section, key, def, maxLen);
}

int WriteIniString(const std::string& path, std::string_view section, std::string_view key,
                   std::string_view value) {
    std::string text;
    int err = ReadFile(path, text);
    if (err && err != ENOENT) {
        return err;
    }
    std::vector<std::string_view> lines = Lines(text);
    std::string out;
    bool inSection = false, sectionSeen = false, written = false;
    std::string newLine = std::string(key) + "=" + std::string(value) + "\r\n";
    for (std::string_view line : lines) {
        std::string_view name;
        if (IsSectionLine(line, name)) {
            if (inSection && !written) {
                out += newLine;
                written = true;
            }
            inSection = EqualsNoCase(name, section);
            sectionSeen = sectionSeen || inSection;
        } else if (inSection && !written) {
            auto eq = line.find('=');
            if (eq != std::string_view::npos && EqualsNoCase(Trim(line.substr(0, eq)), key)) {
                out += newLine;
                written = true;
                continue;
            }
        }
        out.append(line);
        if (out.empty() || out.back() != '\r') {
            out += '\r';
        }
        out += '\n';
    }
    if (!written) {
        if (!sectionSeen) {
            out += "[" + std::string(section) + "]\r\n";
        }
        out += newLine;
    }
    return AtomicWriteFile(path, out);
}

std::string ExecutableDir() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) {
        return ".";
    }
    buf[n] = '\0';
    return DirName(buf);
}

std::string MakeTempDir(const std::string& prefix) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        JoinPath(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp", prefix + "-XXXXXX");
    return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

void RemoveTempDir(const std::string& dir) {
    if (dir.empty()) {
        return;
    }
    for (const DirEntry& e : ListDir(dir)) {
        DeleteFile(JoinPath(dir, e.name));
    }
    ::rmdir(dir.c_str());
}

} // namespace platform
