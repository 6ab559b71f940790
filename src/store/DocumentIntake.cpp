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
#include <optional>

namespace {

constexpr std::array<std::string_view, 23> kExtensions = {
    "doc",  "rtf",  "txt",   "wri", "log", "xml", "xls", "xlw", "xlc", "ppt", "pps", "htm",
    "html", "shtm", "shtml", "pdf", "jpg", "tif", "bmp", "pcx", "dcx", "png", "gif"};

constexpr const char* kManualTitle = "Загружено вручную: (%s)";
constexpr const char* kStatusSection = "TW Ostrevo";
constexpr const char* kPrintFinished = "Printing finished successfully";

// The first line of a name file as the printer's reader saw it: at most `maxBytes` bytes,
// the line break included. nullopt when the file cannot be opened.
std::optional<std::string> ReadFirstLine(const std::string& path, std::size_t maxBytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return std::nullopt;
    }
    std::string line;
    int c = 0;
    while (line.size() < maxBytes && (c = std::fgetc(f)) != EOF) {
        line.push_back(static_cast<char>(c));
        if (c == '\n') {
            break;
        }
    }
    std::fclose(f);
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

// Version 6 and later: up to two trailing control characters go, and a finished print
// reported in the ".grp" file becomes the name file.
std::string TitleVista(const platform::CDirIndex& index, const std::string& dir,
                       const std::string& name) {
    std::string tagPath = Companion(index, dir, name, ".tag");
    if (auto line = ReadFirstLine(tagPath, 1023)) {
        for (int i = 0; i < 2 && !line->empty() && IsControl(line->back()); ++i) {
            line->pop_back();
        }
        return platform::DecodeUserText(*line);
    }
    const platform::DirEntry* grp = index.Find(platform::Stem(name) + ".grp");
    if (grp == nullptr) {
        return ManualTitle(name);
    }
    std::string grpPath = platform::JoinPath(dir, grp->name);
    std::string status =
        platform::ReadIniString(grpPath, kStatusSection, "Print status", "Status not found", 256);
    if (status == kPrintFinished) {
        std::string docName = platform::ReadIniString(grpPath, kStatusSection, "Document name",
                                                      "Unknown document name", 512);
        // The name is kept as the printer wrote it; the next reload reads it back.
        if (platform::AtomicWriteFile(tagPath, docName) == 0) {
            platform::DeleteFile(grpPath);
        }
    }
    return {};
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
    return FormatString(kManualTitle, fileName);
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

int AddDocumentFile(const std::string& source, const std::string& faxDir) {
    std::string target = platform::JoinPath(faxDir, platform::BaseName(source));
    if (platform::FindNoCase(target)) {
        return EEXIST;
    }
    return platform::CopyFile(source, target, true);
}
