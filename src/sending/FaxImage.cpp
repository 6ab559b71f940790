#include "sending/FaxImage.h"

#include "app/Archive.h"
#include "app/Ports.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "resources/Strings.h"
#include "sending/TiffPages.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <future>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

std::string FileErrorText(const std::string& path, int error) {
    return FormatString(LoadString(kMsgCopyFailed), path) + "\n" + std::strerror(error);
}

// Empties the Merge directory (creating it when it is missing).
bool EmptyMergeDir(const std::string& mergeDir, std::string& detail) {
    if (!platform::IsDirectory(mergeDir)) {
        if (platform::CreateDir(mergeDir) != platform::kOk) {
            detail = "cannot create " + mergeDir;
            return false;
        }
        return true;
    }
    for (const platform::DirEntry& e : platform::ListDir(mergeDir)) {
        if (!e.isDir) {
            platform::DeleteFile(platform::JoinPath(mergeDir, e.name));
        }
    }
    return true;
}

struct MdFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

} // namespace

std::string TimeHex(std::int64_t now) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(now & 0xFFFFFFFF));
    return buf;
}

std::optional<std::string> CopyDocumentToSent(const std::string& documentPath,
                                              const std::string& sentDir, IPrompt& prompt) {
    const std::string stem = platform::Stem(documentPath);
    const std::string ext = platform::Extension(documentPath);
    std::int64_t t = std::time(nullptr);
    // The name carries the time; two copies within one second get the next free value
    // instead of overwriting a copy that a job may still use.
    for (int attempt = 0; attempt < 64; ++attempt, ++t) {
        std::string target = platform::JoinPath(sentDir, stem + TimeHex(t) + ext);
        if (platform::FindNoCase(target)) {
            continue;
        }
        int err = platform::CopyFile(documentPath, target, true, platform::kImageFileCap);
        if (err == EEXIST) {
            continue;
        }
        if (err != platform::kOk) {
            // A half-written copy must not be sent.
            platform::DeleteFile(target);
            if (err == EINVAL || err == EFBIG) {
                // The document is a FIFO or device, or larger than any fax.
                prompt.FileError(DescribeFileError(CFileException(err, documentPath, documentPath),
                                                   documentPath));
            } else {
                prompt.FileError(FileErrorText(
                    err == ENOENT && !platform::PathExists(documentPath) ? documentPath : target,
                    err));
            }
            return std::nullopt;
        }
        return target;
    }
    prompt.FileError(FileErrorText(sentDir, EEXIST));
    return std::nullopt;
}

int CountPages(const std::string& path) {
    CTiffPageReader reader;
    std::string error;
    if (!reader.Open(path, error)) {
        return 0;
    }
    std::unordered_set<std::uint32_t> seen;
    std::uint32_t offset = reader.FirstDirectory();
    int pages = 0;
    while (offset != 0) {
        if (offset < 8 || offset >= reader.Size() || !seen.insert(offset).second) {
            return 0; // outside the file, or a directory chain that loops
        }
        std::uint32_t next = 0;
        if (!reader.ReadNextOffset(offset, next)) {
            return 0;
        }
        ++pages;
        offset = next;
    }
    return pages;
}

std::string SplitPartPath(const std::string& mergeDir, const std::string& baseName, int k) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "_%04d.tif", k);
    return platform::JoinPath(mergeDir, baseName + suffix);
}

CSplitResult SplitPerRecipient(const std::string& inputPath, int pagesPerRecipient,
                               const std::string& mergeDir, std::int64_t now) {
    CSplitResult result;
    if (pagesPerRecipient <= 0) {
        result.error = SplitError::BadPagesPerRecipient;
        return result;
    }
    if (!EmptyMergeDir(mergeDir, result.detail)) {
        result.error = SplitError::MergeDir;
        return result;
    }
    result.baseName = "Fax" + TimeHex(now);

    CTiffPageReader reader;
    if (!reader.Open(inputPath, result.detail)) {
        result.error = SplitError::OpenInput;
        return result;
    }

    // Parts are cut here in order and rewritten in Group 4 up to one per processor at a time,
    // so one part's opening, writing and closing overlap another's encoding. Their outcomes are
    // taken in order: after the first part that fails, no later part is kept, as when the
    // parts were made one after another.
    struct CPartRewrite {
        std::string tmpPath, partPath;
        bool damaged = false;
        std::future<bool> ok; // last: its end waits for the rewrite that uses the others
    };
    std::deque<CPartRewrite> rewrites;
    const std::size_t inFlight = std::max(1u, std::thread::hardware_concurrency());
    auto finishOldest = [&] {
        CPartRewrite& part = rewrites.front();
        const bool ok = part.ok.get();
        if (result.error != SplitError::None) {
            platform::DeleteFile(part.partPath);
            platform::DeleteFile(part.tmpPath);
        } else if (ok) {
            ++result.parts;
        } else {
            result.error = part.damaged ? SplitError::DamagedPage : SplitError::Rewrite;
            result.detail = part.damaged
                                ? "the image data of a page in " + part.tmpPath + " does not decode"
                                : "cannot rewrite " + part.tmpPath + " in Group 4";
        }
        rewrites.pop_front();
    };
    auto finishAll = [&] {
        while (!rewrites.empty()) {
            finishOldest();
        }
    };
    // Ends the split with the first failure in the order of the parts.
    auto fail = [&](SplitError error, const std::string& detail) {
        finishAll();
        if (result.error == SplitError::None) {
            result.error = error;
            result.detail = detail;
        }
        return result;
    };

    std::unordered_set<std::uint32_t> seen;
    std::uint32_t offset = reader.FirstDirectory();
    std::vector<CTiffPage> pages;
    std::string detail;
    for (int k = 1; offset != 0 && result.error == SplitError::None; ++k) {
        // Read the whole part first: a damaged page stops the run before anything of it is
        // written, so no recipient is sent a cut-short fax.
        pages.clear();
        std::uint64_t heldBytes = 0;
        while (offset != 0 && pages.size() < static_cast<std::size_t>(pagesPerRecipient)) {
            if (pages.size() == 0xFFFF) {
                return fail(SplitError::DamagedPage,
                            "more pages in one part than PageNumber can count");
            }
            if (!seen.insert(offset).second) {
                return fail(SplitError::DamagedPage, "page directories form a loop");
            }
            CTiffPage& page = pages.emplace_back();
            page.index = static_cast<std::int32_t>(pages.size() - 1);
            std::uint32_t next = 0;
            if (!reader.ReadPage(offset, page, next, detail)) {
                return fail(reader.Unsupported() ? SplitError::Unsupported
                                                 : SplitError::DamagedPage,
                            detail);
            }
            // Pages of a sound file do not share strip bytes: more than the file holds means
            // directories that point at the same data again and again.
            heldBytes += page.strips.size();
            if (heldBytes > reader.Size()) {
                return fail(SplitError::DamagedPage,
                            "pages claim more strip data than the file holds");
            }
            offset = next;
        }

        char suffix[32];
        std::snprintf(suffix, sizeof suffix, "_%04d.tmp", k);
        const std::string tmpPath = platform::JoinPath(mergeDir, result.baseName + suffix);
        const int fd = platform::OpenForWriting(tmpPath);
        UniqueFile out(fd >= 0 ? ::fdopen(fd, "wb") : nullptr);
        if (!out) {
            const int err = errno;
            if (fd >= 0) {
                ::close(fd);
            }
            return fail(SplitError::CreatePart,
                        "cannot create " + tmpPath + ": " + std::strerror(err));
        }
        std::uint64_t position = 0;
        bool ok = WriteTiffHeader(out.get(), position);
        for (std::size_t i = 0; ok && i < pages.size(); ++i) {
            ok = WriteTiffPage(out.get(), position, pages[i], i + 1 < pages.size(),
                               static_cast<std::uint16_t>(pages.size()));
        }
        ok = std::fclose(out.release()) == 0 && ok;
        if (!ok) {
            return fail(SplitError::CreatePart, "cannot write " + tmpPath);
        }
        if (rewrites.size() == inFlight) {
            finishOldest();
        }
        CPartRewrite& part = rewrites.emplace_back();
        part.tmpPath = tmpPath;
        part.partPath = SplitPartPath(mergeDir, result.baseName, k);
        part.ok = std::async(std::launch::async | std::launch::deferred, [&part] {
            return CopyPages(part.tmpPath, part.partPath, true, &part.damaged);
        });
    }
    finishAll();
    return result;
}

bool SignJobFile(std::string_view password, std::string_view addressWord, std::string_view subject,
                 const std::string& path) {
    FdCloser f{::open(path.c_str(), O_RDWR | O_CLOEXEC)};
    if (f.fd < 0 || ::flock(f.fd, LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    // The texts are hashed in the code page they travel in.
    const std::string pwd = platform::Utf8ToCp1251(password);
    const std::string subj = platform::Utf8ToCp1251(subject);
    const std::string addr = platform::Utf8ToCp1251(addressWord);

    unsigned char trailer[32];
    unsigned int len = 0;
    std::unique_ptr<EVP_MD_CTX, MdFree> md(EVP_MD_CTX_new());
    if (!md || !EVP_DigestInit_ex(md.get(), EVP_md5(), nullptr) ||
        !EVP_DigestUpdate(md.get(), pwd.data(), pwd.size()) ||
        !EVP_DigestUpdate(md.get(), subj.data(), subj.size()) ||
        !EVP_DigestUpdate(md.get(), addr.data(), addr.size()) ||
        !EVP_DigestFinal_ex(md.get(), trailer, &len) || len != 16) {
        return false;
    }
    if (!EVP_DigestInit_ex(md.get(), EVP_md5(), nullptr) ||
        !EVP_DigestUpdate(md.get(), pwd.data(), pwd.size())) {
        return false;
    }
    char block[8192];
    for (;;) {
        ssize_t n = ::read(f.fd, block, sizeof block);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        if (!EVP_DigestUpdate(md.get(), block, static_cast<std::size_t>(n))) {
            return false;
        }
    }
    if (!EVP_DigestFinal_ex(md.get(), trailer + 16, &len) || len != 16) {
        return false;
    }
    for (int half = 0; half < 2; ++half) {
        if (::write(f.fd, trailer + 16 * half, 16) != 16) {
            return false;
        }
    }
    return true;
}
