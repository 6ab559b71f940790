#pragma once
// Export of a book as text: one line per contact, "number; company; person", contacts of
// groups inside their groups behind one "@name; " prefix per level, outermost first.
#include "addressbook/AddrBook.h"

#include <functional>
#include <string>

class IFrame;
class IPrompt;

constexpr unsigned kIdsExportingBook = 114;
constexpr unsigned kIdsExportFilter = 176;
constexpr const char* kExportFilterFallback = "Text files (*.txt)|*.txt|";

// The export text of one entry (UTF-8). A group writes each resolvable member behind its
// prefix; a group met again inside itself is left out, so a damaged book cannot loop.
void ExportEntryText(const CAddrBookEntry& entry, std::string& out);

// The whole book's text (UTF-8): every entry in book order, grouped contacts only inside
// their groups. `stop` (optional) is polled per entry; `step` gets the entries done.
std::string ExportBookText(const CAddrBook& book, const std::function<bool()>& stop = {},
                           const std::function<void(std::size_t)>& step = {});

// "Экспорт данных" after the file dialog: writes the text in Windows-1251 to `path`, with
// progress and status texts on `frame` (may be null). A file error goes to
// prompt.FileError and false is returned.
bool ExportBook(const CAddrBook& book, const std::string& path, IPrompt& prompt, IFrame* frame,
                const std::function<bool()>& stop = {});

// The filter of the save dialog: string 176 (or its fallback) followed by "|".
std::string ExportFileFilter();
