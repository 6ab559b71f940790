#include "store/DocumentIntake.h"

#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/SysInfo.h"
#include "resources/Strings.h"
#include "store/Trace.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <optional>
#include <unordered_set>

namespace {

constexpr std::array<std::string_view, 23> kExtensions = {
    "doc",  "rtf",  "txt",   "wri", "log", "xml", "xls", "xlw", "xlc", "ppt", "pps", "htm",
    "html", "shtm", "shtml", "pdf", "jpg", "tif", "bmp", "pcx", "dcx", "png", "gif"};

constexpr unsigned kIdsManualTitle = 9424;
constexpr const char* kStatusSection = "TW Ostrevo";
constexpr const char* kPrintFinished = "Printing finished successfully";

// The name and print-status files are a few hundred bytes; nothing beyond this is read.
constexpr std::size_t kStatusFileCap = 8192;

// The first line of a name file as the printer's reader saw it: at most `maxBytes` bytes,
// the line break included. nullopt when the file cannot be read or is no regular file (a FIFO
// or a link to a device left in the shared folder must not stall or flood the listing).
std::optional<std::string> ReadFirstLine(const std::string& path, std::size_t maxBytes) {
    std::string line;
    if (platform::ReadSmallFile(path, line, maxBytes) != 0) {
        return std::nullopt;
    }
    if (auto nl = line.find('\n'); nl != std::string::npos) {
        line.resize(nl + 1);
    }
    return line;
}

bool IsControl(char c) {
    return static_cast<unsigned char>(c) < 32;
}

// The real name of the companion with extension `ext` in the listing, or the name it would get.
std::string Companion(const platform::CDirIndex& index, const std::string& dir,
                      const std::string& name, const char* ext) {
    std::string wanted = platform::Stem(name) + ext;
    if (const platform::DirEntry* e = index.Find(wanted)) {
        return platform::JoinPath(dir, e->name);
    }
    return platform::JoinPath(dir, wanted);
}

// Systems before version 6: one trailing control character goes.
std::string TitleXP(const platform::CDirIndex& index, const std::string& dir,
                    const std::string& name) {
    auto line = ReadFirstLine(Companion(index, dir, name, ".tag"), 511);
    if (!line) {
        return ManualTitle(name);
    }
    if (!line->empty() && IsControl(line->back())) {
        line->pop_back();
    }
    return platform::DecodeUserText(*line);
}

// Version 6 and later: the first line of a name file less up to two trailing control
// characters.
std::string VistaTitle(std::string line) {
    for (int i = 0; i < 2 && !line.empty() && IsControl(line.back()); ++i) {
        line.pop_back();
    }
    return platform::DecodeUserText(line);
}

// Version 6 and later: a finished print reported in the ".grp" file becomes the name file.
std::string TitleVista(const platform::CDirIndex& index, const std::string& dir,
                       const std::string& name) {
    std::string tagPath = Companion(index, dir, name, ".tag");
    if (auto line = ReadFirstLine(tagPath, 1023)) {
        return VistaTitle(std::move(*line));
    }
    const platform::DirEntry* grp = index.Find(platform::Stem(name) + ".grp");
    if (grp == nullptr) {
        return ManualTitle(name);
    }
    std::string grpPath = platform::JoinPath(dir, grp->name);
    std::string grpText;
    if (platform::ReadSmallFile(grpPath, grpText, kStatusFileCap) != 0) {
        return {};
    }
    std::string status =
        platform::IniValue(grpText, kStatusSection, "Print status", "Status not found", 256);
    if (status != kPrintFinished) {
        return {};
    }
    std::string docName =
        platform::IniValue(grpText, kStatusSection, "Document name", "Unknown document name", 512);
    // The name is kept as the printer wrote it. The listing shows it now, as a reload would
    // read it back: a document printed while the program was closed gets its title at start.
    if (platform::AtomicWriteFile(tagPath, docName) == 0) {
        platform::DeleteFile(grpPath);
    }
    return VistaTitle(std::move(docName));
}

} // namespace

const char* const kAddDocumentFilter =
    "Microsoft Word files (*.doc; *.rtf; *.txt; *.wri; *.log; *.xml)|*.doc; *.rtf; *.txt; "
    "*.wri; *.log; *.xml|Microsoft Excel files (*.xls; *.xlw; *.xlc)|*.xls; *.xlw; "
    "*.xlc|Microsoft PowerPoint files (*.ppt; *.pps)|*.ppt; *.pps|HTML files (*.htm; *.html; "
    "*.shtm; *.shtml)|*.htm; *.html; *.shtm; *.shtml|Portable Document Format files "
    "(*.pdf)|*.pdf|JPEG image files (*.jpg)|*.jpg|TIFF image files (*.tif)|*.tif|Windows "
    "Bitmap image files (*.bmp)|*.bmp|ZSoft PCX image files (*.pcx)|*.pcx|ZSoft DCX image files "
    "(*.dcx)|*.dcx|CServe Portable Network Graphics image files (*.png)|*.png|Graphics "
    "Interchange Format image files (*.gif)|*.gif||";

bool IsDocumentExtension(std::string_view ext) {
    std::string lower = platform::AsciiLower(ext);
    return std::find(kExtensions.begin(), kExtensions.end(), lower) != kExtensions.end();
}

std::string ManualTitle(std::string_view fileName) {
    return FormatString(LoadString(kIdsManualTitle), fileName);
}

void LoadDocuments(DocumentList& collection, const std::string& directory) {
    StoreTrace("LoadDocuments Start");
    collection.clear();
    platform::SystemVersion version = platform::GetSystemVersion();
    StoreTrace("OS details {major version: " + std::to_string(version.major) +
               ", minor version: " + std::to_string(version.minor) + "}");
    const bool xp = version.major < 6;
    StoreTrace(xp ? "LoadDocumentsXP Start" : "LoadDocumentsVISTA Start");

    platform::CDirIndex index(directory);
    for (const platform::DirEntry& entry : index.Entries()) {
        if (entry.isDir) {
            continue;
        }
        std::string ext = platform::Extension(entry.name);
        if (ext.size() < 2 || !IsDocumentExtension(std::string_view(ext).substr(1))) {
            continue;
        }
        StoreTrace(entry.name);
        auto doc = std::make_unique<CFaxDocument>(platform::JoinPath(directory, entry.name),
                                                  entry.lastWrite, std::string());
        doc->m_title =
            xp ? TitleXP(index, directory, entry.name) : TitleVista(index, directory, entry.name);
        collection.push_back(std::move(doc));
    }
    StoreTrace(xp ? "LoadDocumentsXP End" : "LoadDocumentsVISTA End");
    std::stable_sort(collection.begin(), collection.end(),
                     [](const auto& a, const auto& b) { return a->m_time < b->m_time; });
    StoreTrace("LoadDocuments End");
}

namespace {

// `place` makes the files of one stem and returns 0, EEXIST when the stem was taken meanwhile
// (the next one is tried) or another errno (given up). The stem used, or "" with `error` set.
std::string PlaceUnderFreeStem(const std::string& directory, const std::string& base,
                               const std::function<int(const std::string& stem)>& place,
                               int& error) {
    std::unordered_set<std::string> taken;
    for (const platform::DirEntry& e : platform::ListDir(directory)) {
        taken.insert(platform::AsciiLower(platform::Stem(e.name)));
    }
    for (int n = 1; n < 10000; ++n) {
        std::string stem = n == 1 ? base : base + "_" + std::to_string(n);
        if (taken.count(platform::AsciiLower(stem)) != 0) {
            continue;
        }
        error = place(stem);
        if (error == 0) {
            return stem;
        }
        if (error != EEXIST) {
            return {};
        }
    }
    error = EEXIST;
    return {};
}

} // namespace

int AddDocumentFile(const std::string& source, const std::string& directory,
                    const std::optional<std::string>& title, std::string* placed,
                    std::string* failed) {
    // A stem of its own: a name file of another document with the same stem would give this
    // one its title, and sending either would take the other's title with it.
    const std::string ext = platform::Extension(source);
    std::string failedPath;
    int error = 0;
    const std::string stem = PlaceUnderFreeStem(
        directory, platform::Stem(source),
        [&](const std::string& stem) {
            const std::string tag = platform::JoinPath(directory, stem + ".tag");
            if (title) {
                if (int rc = platform::AtomicCreateFile(tag, platform::Utf8ToCp1251(*title))) {
                    failedPath = tag;
                    return rc;
                }
            }
            const std::string copy = platform::JoinPath(directory, stem + ext);
            const int rc = platform::CopyFile(source, copy, true);
            if (rc != 0) {
                if (title) {
                    platform::DeleteFile(tag);
                }
                failedPath = rc == ENOENT && !platform::PathExists(source) ? source : copy;
            }
            return rc;
        },
        error);
    if (error == 0 && placed != nullptr) {
        *placed = stem + ext;
    }
    if (error != 0 && failed != nullptr) {
        *failed = failedPath.empty() ? platform::JoinPath(directory, platform::BaseName(source))
                                     : failedPath;
    }
    return error;
}
