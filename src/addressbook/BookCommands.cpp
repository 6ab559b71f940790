#include "addressbook/BookCommands.h"

#include "addressbook/AddressBooks.h"
#include "app/Ports.h"
#include "resources/Strings.h"

namespace {
constexpr unsigned kIdsBookFilter = 178;
constexpr const char* kBookFilterFallback = "Address book files (*.abk)|*.abk|";
constexpr unsigned kIdsBookReadOnly = 9360;
constexpr unsigned kIdsBookAlreadyOpen = 9363;
} // namespace

bool CanRunNewEntryCommand() {
    return CurrentBook() != nullptr && !CurrentBook()->IsReadOnly();
}

bool RunOpenBookCommand(IPrompt& prompt, IFrame* frame) {
    std::string filter(LoadString(kIdsBookFilter));
    if (filter.empty()) {
        filter = kBookFilterFallback;
    }
    auto path = prompt.AskOpenFile(filter + "|", "");
    if (!path) {
        return false;
    }
    OpenBookFile(*path, prompt, frame);
    return true;
}

CAddrBook* OpenBookFile(const std::string& path, IPrompt& prompt, IFrame* frame) {
    bool alreadyLoaded = false;
    CAddrBook* book = AddressBooks().Open(
        path, [&prompt](const std::string& error) { prompt.FileError(error); }, frame,
        &alreadyLoaded);
    if (book == nullptr) {
        return nullptr;
    }
    if (alreadyLoaded) {
        prompt.Message(
            FormatString(LoadString(kIdsBookAlreadyOpen), path, book->m_name, book->GetFilePath()),
            MsgIcon::Information, MsgButtons::Ok);
    } else if (book->IsReadOnly()) {
        prompt.Message(FormatString(LoadString(kIdsBookReadOnly), book->m_name, path),
                       MsgIcon::Warning, MsgButtons::Ok);
    }
    return book;
}

CContactEntry* RunNewContactCommand(const std::function<bool(CContactEdit&)>& runDialog,
                                    const std::function<void()>& booksChanged) {
    CAddrBook* book = CurrentBook();
    if (!CanRunNewEntryCommand() || !runDialog) {
        return nullptr;
    }
    CContactEdit dlg;
    if (!runDialog(dlg)) {
        return nullptr;
    }
    auto contact = dlg.MakeContact();
    CContactEntry* raw = contact.get();
    book->AddEntry(std::move(contact));
    AddressBooks().Edited(*book);
    if (booksChanged) {
        booksChanged();
    }
    return raw;
}

CGroupEntry* RunNewGroupCommand(IPrompt& prompt, const std::function<bool(CGroupEdit&)>& runDialog,
                                const std::function<void()>& booksChanged) {
    CAddrBook* book = CurrentBook();
    if (!CanRunNewEntryCommand() || !runDialog) {
        return nullptr;
    }
    auto group = std::make_unique<CGroupEntry>();
    CGroupEntry* raw = group.get();
    {
        CGroupEdit dlg(book, *group, prompt);
        if (!runDialog(dlg)) {
            dlg.Cancel(); // contacts created in it go, and none keeps the group in its list
            return nullptr;
        }
    }
    book->AddEntry(std::move(group));
    AddressBooks().Edited(*book);
    if (booksChanged) {
        booksChanged();
    }
    return raw;
}
