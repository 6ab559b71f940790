#pragma once
// The store's folders under DataDir. Their names are the store's layout on disk, which the
// fax printer, velquin-tool and older copies share, so they are spelled here only.
#include <string>
#include <vector>

constexpr const char* kAddressBookFolder = "AddressBook";
constexpr const char* kMergeFolder = "Merge";
constexpr const char* kSavedFolder = "SavedFiles";
constexpr const char* kSentFolder = "SentFaxes";
constexpr const char* kReceivedFolder = "ReceivedFaxes";

// The store's subdirectories under DataDir, in the order they are checked.
const std::vector<std::string>& StoreSubdirectories();

// `folder` under `dataDir`.
std::string StorePath(const std::string& dataDir, const char* folder);
// `folder` under the settings' DataDir (read on the calling thread: the GUI thread or a tool).
std::string StorePath(const char* folder);
