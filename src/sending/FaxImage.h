#pragma once
// Fax image preparation: the copy of a printed document into the fax store, the cut of a
// print run into one Group 4 image per recipient, page counting and the signature trailer.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

class IPrompt;

// "Данный файл испорчен и не может быть отправлен по факсу."
constexpr unsigned kMsgDamagedFile = 170;
// A copy into the fax store failed; %s is the file.
constexpr unsigned kMsgCopyFailed = 9170;

// "%08X" of the low 32 bits of `now` (seconds since 1970).
std::string TimeHex(std::int64_t now);

// Copies a printed document to `sentDir` + "/" + stem + "%08X" + extension (the current time;
// a later time when that name is taken). Returns the copy's path. When the copy cannot be
// made, `prompt` reports the file error and the result is nullopt: the command ends.
std::optional<std::string> CopyDocumentToSent(const std::string& documentPath,
                                              const std::string& sentDir, IPrompt& prompt);
// The same into DataDir/SentFaxes.
std::optional<std::string> CopyDocumentToSent(const std::string& documentPath, IPrompt& prompt);

// Rewrites every page of `inputPath` into `outputPath` in CCITT Group 4, as libtiff's
// `tiffcp -c g4` does; deletes the input afterwards when `deleteInput`. False when a page
// cannot be copied (layouts it cannot handle are named on stderr); `damaged`, when given,
// then says whether a page's image data does not decode. Pages are prepared on up to one
// thread per processor; the output is the same as from one thread.
bool CopyPages(const std::string& inputPath, const std::string& outputPath, bool deleteInput,
               bool* damaged = nullptr);

// Number of pages of a TIFF file; 0 when it is not one or its directory chain is broken.
int CountPages(const std::string& path);

enum class SplitError {
    None,
    BadPagesPerRecipient, // 0 or negative pages per recipient
    MergeDir,             // the Merge directory cannot be emptied or made
    OpenInput,            // the print run cannot be opened or is not a TIFF file
    DamagedPage,          // a page cannot be read: nothing of the run may be sent (message 170)
    Unsupported,          // a sound page stored in a way the cut does not read (tiles)
    CreatePart,           // a part file cannot be created or written (disk full?)
    Rewrite,              // the Group 4 rewrite of a part failed
};

struct CSplitResult {
    int parts = 0;        // part files made: mergeDir/base_0001.tif, _0002 ...
    std::string baseName; // "Fax%08X"
    SplitError error = SplitError::None;
    std::string detail; // what went wrong, for the log
};

// Cuts a print run into parts of `pagesPerRecipient` pages (the last part may be shorter),
// each rewritten in Group 4 with PageNumber (index in the part, pages of the part). The Merge
// directory is emptied first. `now` names the parts ("Fax%08X"). Parts are rewritten up to one
// per processor at a time; files and result are those of one part after another: after a part
// that fails, no later part is left.
CSplitResult SplitPerRecipient(const std::string& inputPath, int pagesPerRecipient,
                               const std::string& mergeDir, std::int64_t now = std::time(nullptr));
// The same into DataDir/Merge.
CSplitResult SplitPerRecipient(const std::string& inputPath, int pagesPerRecipient);

// The path of part `k` (from 1) of a split: mergeDir/base_%04d.tif.
std::string SplitPartPath(const std::string& mergeDir, const std::string& baseName, int k);

// Appends the 32-byte signature trailer to an existing file: MD5(password, subject,
// addressWord) and MD5(password, the file's current bytes). False when the file cannot be
// opened exclusively, read or extended.
bool SignJobFile(std::string_view password, std::string_view addressWord, std::string_view subject,
                 const std::string& path);
