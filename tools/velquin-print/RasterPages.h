#pragma once
// Raster images (TIFF, PNG, JPEG) turned into a PostScript program that Ghostscript renders
// like any printed document: one page per image, fitted to the paper.
#include <string>

struct PaperSize {
    int widthPt = 595; // A4
    int heightPt = 842;
};

// What one print job may make at most, so that no document fills a disk: pages, and bytes of
// any file the job writes (its spooled input, work files and the fax image).
constexpr int kMaxFaxPages = 10'000;
constexpr unsigned long long kMaxJobFileBytes = 1ull << 30;

enum class InputKind { Unknown, Pdf, PostScript, Tiff, Png, Jpeg };

// Recognises the input by its first bytes.
InputKind DetectInputKind(const std::string& path);

// Writes `psPath` showing every page of the image at `imagePath`. Empty on success, else a
// message naming what is wrong with the image.
std::string WriteImageAsPostScript(const std::string& imagePath, InputKind kind,
                                   const PaperSize& paper, const std::string& psPath);
