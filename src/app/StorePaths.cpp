#include "app/StorePaths.h"

#include "app/Settings.h"
#include "platform/Files.h"

const std::vector<std::string>& StoreSubdirectories() {
    static const std::vector<std::string> dirs = {kAddressBookFolder, kMergeFolder, kSavedFolder,
                                                  kSentFolder, kReceivedFolder};
    return dirs;
}

std::string StorePath(const std::string& dataDir, const char* folder) {
    return platform::JoinPath(dataDir, folder);
}

std::string StorePath(const char* folder) {
    return StorePath(Settings().DataDir, folder);
}
