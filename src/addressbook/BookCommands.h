#pragma once
// The book commands: "Новая запись" (32771) and "Новая группа" (32773) work on CurrentBook()
// and are disabled without one or when it is read-only. The dialog runs through a callback that
// returns whether it ended with OK; the books' owner then tells that the book was edited.
#include "addressbook/ContactEdit.h"
#include "addressbook/GroupEdit.h"

#include <functional>
#include <string>

class IPrompt;
class IFrame;
class CAddrBook;

constexpr int kCmdNewContact = 32771;
constexpr int kCmdNewGroup = 32773;
constexpr int kCmdImportText = 32777;
constexpr int kCmdExportText = 32780;

bool CanRunNewEntryCommand();

// "Открыть адресную книгу" (32779): asks for a file and opens it (OpenBookFile).
bool RunOpenBookCommand(IPrompt& prompt, IFrame* frame);
// Opens a book file: a book read only in part is said once to be read-only, a copy of a book
// already loaded is said to be one (the loaded book becomes current).
CAddrBook* OpenBookFile(const std::string& path, IPrompt& prompt, IFrame* frame);

// Returns the contact added to CurrentBook(), or null (no book, or not OK).
CContactEntry* RunNewContactCommand(const std::function<bool(CContactEdit&)>& runDialog,
                                    const std::function<void()>& booksChanged);

// Returns the group added to CurrentBook(), or null (no book, or not OK: the group is gone).
CGroupEntry* RunNewGroupCommand(IPrompt& prompt, const std::function<bool(CGroupEdit&)>& runDialog,
                                const std::function<void()>& booksChanged);
