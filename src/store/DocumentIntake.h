#pragma once
// Printed documents: the image files the fax printer writes into FaxDir (and the saved
// documents of DataDir/SavedFiles), each named by its ".tag" file.
#include "store/FaxRecords.h"

#include <functional>
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

// Puts new files under the first stem of `directory` that no file there uses, whatever its
// extension or case: `base`, then `base_2`, `base_3`, ... as the fax printer names its
// documents. `place` makes the files of one stem and returns 0, EEXIST when the stem was
// taken meanwhile (the next one is tried) or another errno (given up). The stem used, or ""
// with `error` set.
std::string PlaceUnderFreeStem(const std::string& directory, const std::string& base,
                               const std::function<int(const std::string& stem)>& place,
                               int& error);

// Copies `source` into `faxDir` under a stem no other document uses; never overwrites. With a
// `title`, its name file is written too. 0 or errno; the copy's file name goes to `placed`.
int AddDocumentFile(const std::string& source, const std::string& faxDir,
                    const std::string& title = {}, std::string* placed = nullptr);

// The filter of the add-document dialog.
extern const char* const kAddDocumentFilter;
