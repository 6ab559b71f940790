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
constexpr unsigned kIdsExportTooLarge = 9362;
// Far above the text of any real book (100,000 contacts make a few megabytes), yet small
// enough to hold in memory twice (the text and its Windows-1251 form).
constexpr std::size_t kMaxExportTextBytes = std::size_t{128} << 20;

// The export text of one entry (UTF-8). A group writes each resolvable member behind its
// prefix. Below one group each nested group is written once: a group met again, on the way
// down (a damaged book's loop) or on another path (groups sharing subgroups), is left out,
// so neither a loop nor 2^n paths through shared subgroups can run away.
void ExportEntryText(const CAddrBookEntry& entry, std::string& out);

// The whole book's text (UTF-8): every entry in book order, grouped contacts only inside
// their groups. `stop` (optional) is polled per entry; `step` gets the entries done. Past
// `maxBytes` the text ends there and `tooLarge` (optional) is set.
std::string ExportBookText(const CAddrBook& book, const std::function<bool()>& stop = {},
                           const std::function<void(std::size_t)>& step = {},
                           std::size_t maxBytes = kMaxExportTextBytes, bool* tooLarge = nullptr);

// "Экспорт данных" after the file dialog: writes the text in Windows-1251 to `path`, with
// progress and status texts on `frame` (may be null). A file error goes to
// prompt.FileError and false is returned; so does a text past kMaxExportTextBytes (a book
// whose groups nest beyond reason), with a message naming the file, and nothing is written.
bool ExportBook(const CAddrBook& book, const std::string& path, IPrompt& prompt, IFrame* frame,
                const std::function<bool()>& stop = {});

// The filter of the save dialog: string 176 (or its fallback) followed by "|".
std::string ExportFileFilter();
