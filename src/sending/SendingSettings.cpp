// The entry points that read the settings record; kept apart so that code and tests which pass
// the directories and the prefix themselves do not need the settings.
#include "app/Settings.h"
#include "app/StorePaths.h"
#include "sending/FaxImage.h"
#include "sending/PhoneNumbers.h"

bool AddAreaPrefix(std::string& text) {
    return AddAreaPrefix(text, Settings().DefaultAreaCode);
}

std::optional<std::string> CopyDocumentToSent(const std::string& documentPath, IPrompt& prompt) {
    return CopyDocumentToSent(documentPath, StorePath(kSentFolder), prompt);
}

CSplitResult SplitPerRecipient(const std::string& inputPath, int pagesPerRecipient) {
    return SplitPerRecipient(inputPath, pagesPerRecipient, StorePath(kMergeFolder));
}
