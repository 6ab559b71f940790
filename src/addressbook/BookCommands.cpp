#include "addressbook/BookCommands.h"

bool CanRunNewEntryCommand() {
    return CurrentBook() != nullptr;
}

CContactEntry* RunNewContactCommand(const std::function<bool(CContactEdit&)>& runDialog,
                                    const std::function<void()>& booksChanged) {
    CAddrBook* book = CurrentBook();
    if (book == nullptr || !runDialog) {
        return nullptr;
    }
    CContactEdit dlg;
    if (!runDialog(dlg)) {
        return nullptr;
    }
    auto contact = dlg.MakeContact();
    CContactEntry* raw = contact.get();
    book->AddEntry(std::move(contact));
    if (booksChanged) {
        booksChanged();
    }
    return raw;
}

CGroupEntry* RunNewGroupCommand(IPrompt& prompt, const std::function<bool(CGroupEdit&)>& runDialog,
                                const std::function<void()>& booksChanged) {
    CAddrBook* book = CurrentBook();
    if (book == nullptr || !runDialog) {
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
    if (booksChanged) {
        booksChanged();
    }
    return raw;
}
