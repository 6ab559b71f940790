#pragma once
// The document's "Новая запись" (32771) and "Новая группа" (32773) commands. Both work on
// CurrentBook() and are disabled without one. The dialog runs through a callback that returns
// whether it ended with OK; `booksChanged` tells the views (HINT_BOOKS_CHANGED).
#include "addressbook/ContactEdit.h"
#include "addressbook/GroupEdit.h"

#include <functional>

class IPrompt;

constexpr int kCmdNewContact = 32771;
constexpr int kCmdNewGroup = 32773;
constexpr int kCmdImportText = 32777;
constexpr int kCmdExportText = 32780;

bool CanRunNewEntryCommand();

// Returns the contact added to CurrentBook(), or null (no book, or not OK).
CContactEntry* RunNewContactCommand(const std::function<bool(CContactEdit&)>& runDialog,
                                    const std::function<void()>& booksChanged);

// Returns the group added to CurrentBook(), or null (no book, or not OK: the group is gone).
CGroupEntry* RunNewGroupCommand(IPrompt& prompt, const std::function<bool(CGroupEdit&)>& runDialog,
                                const std::function<void()>& booksChanged);
