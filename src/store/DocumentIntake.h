#pragma once
// Printed documents: the image files the fax printer writes into FaxDir (and the saved
// documents of DataDir/SavedFiles), each named by its ".tag" file.
#include "store/FaxRecords.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using DocumentList = std::vector<std::unique_ptr<CFaxDocument>>;

// The 23 extensions listed as documents (lower case, no dot).
bool IsDocumentExtension(std::string_view extensionWithoutDot);

// The title of a file that has no name file.
std::string ManualTitle(std::string_view fileName);

// Rebuilds `collection` from `directory`, oldest first by last-write time.
void LoadDocuments(DocumentList& collection, const std::string& directory);

// How every document enters a document folder (FaxDir, SavedFiles). `source` is copied under
// the first stem no file there uses, whatever its extension or case: its own, then `_2`, `_3`
// and so on, as the fax printer names its documents; nothing is overwritten. With a `title`,
// its name file is written first, so the copy is never listed under another title. 0 or
// errno; the copy's file name goes to `placed`, the path at fault (the source, the copy or
// the name file) to `failed`.
int AddDocumentFile(const std::string& source, const std::string& directory,
                    const std::optional<std::string>& title = std::nullopt,
                    std::string* placed = nullptr, std::string* failed = nullptr);

// The filter of the add-document dialog.
extern const char* const kAddDocumentFilter;
