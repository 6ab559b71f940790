#pragma once
// Printed documents: the image files the fax printer writes into FaxDir (and the saved
// documents of DataDir/SavedFiles), each named by its ".tag" file.
#include "store/FaxRecords.h"

#include <memory>
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

// Copies `source` into `faxDir` under its own name; never overwrites. 0 or errno.
int AddDocumentFile(const std::string& source, const std::string& faxDir);

// The filter of the add-document dialog.
extern const char* const kAddDocumentFilter;
