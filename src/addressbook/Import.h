#pragma once
// Import of delimited text into an address book: the field lists of the import dialog, the
// reader (run on a worker, talking to the dialog only through IImportDialog) and the commit
// of the preview rows into contacts and groups.
#include "addressbook/AddrBook.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CThreadControl;
class IFrame;
class IPrompt;

// Field codes; their texts are strings 1009..1012.
constexpr int kFieldNumber = 1;
constexpr int kFieldCompany = 2;
constexpr int kFieldPerson = 3;
constexpr int kFieldSkip = 100;

constexpr unsigned kIdsColumnGroup = 1008;
constexpr unsigned kMsgNoFieldPositions = 1013;
constexpr unsigned kMsgNoNumberPosition = 1014;
constexpr unsigned kMsgNoSeparator = 1015;
constexpr unsigned kMsgNoDataFile = 1016;
constexpr unsigned kMsgCannotOpenDataFile = 1017;
constexpr unsigned kMsgImportNumbersPrefixed = 2044; // %s = DefaultAreaCode
constexpr unsigned kMsgImportEncodingUncertain = 9350;

constexpr std::size_t kImportLinePiece = 511; // bytes per line read; longer lines continue
constexpr std::size_t kImportFieldMax = 255;  // bytes copied per field
constexpr std::size_t kMinImportPathLength = 6;

std::string_view ImportFieldText(int code);

// Codes of the non-skip entries of the input-field list and their positions in a line.
struct CFieldMap {
    std::vector<int> codes;
    std::vector<int> positions;
    int PositionOf(int code) const; // -1 when not mapped
};

// The two lists of the dialog.
class CImportFields {
public:
    const std::vector<int>& Available() const { return m_available; }
    const std::vector<int>& Input() const { return m_input; }
    // "<--": the available entry goes before input entry `before` (-1 or past the end: last);
    // it leaves the available list unless it is the skip entry. False for a bad index.
    bool MoveToInput(int availableIndex, int before = -1);
    // "-->": the input entry returns to the end of the available list (skip entries vanish).
    bool MoveToAvailable(int inputIndex);
    CFieldMap FieldMap() const;
    void SetInput(std::vector<int> codes); // for the tool: the input list as given

private:
    std::vector<int> m_available{kFieldNumber, kFieldCompany, kFieldPerson, kFieldSkip};
    std::vector<int> m_input;
};

// "Загрузить файл..." before the file is chosen: 0 when reading may start, else the message id
// (1013, 1014, 1015).
unsigned CheckImportFields(const CFieldMap& map, std::string_view separator);
// After the file dialog: 0, or 1016 for a path of five bytes or fewer.
unsigned CheckImportPath(std::string_view path);

// A preview row: group, fax number, company, contact person (UTF-8).
struct CImportRow {
    std::string group;
    std::string number;
    std::string company;
    std::string person;
};

// How the reader takes the file's bytes. Auto: UTF-16 by its byte-order mark, else UTF-8 when
// the bytes are valid UTF-8 with a non-ASCII byte, else Windows-1251. A chosen UTF-8 reads bytes
// that are not UTF-8 as "?".
enum class ImportEncoding { Auto, Utf8, Cp1251 };

// Auto's verdict on bytes that are neither UTF-16 nor valid UTF-8: true when they look like
// UTF-8 with a few damaged bytes rather than Windows-1251 (many valid multi-byte sequences,
// fewer stray bytes), so the reading as Windows-1251 is likely wrong.
bool LooksLikeDamagedUtf8(std::string_view bytes);

// The reader's side of the dialog. On a worker the GUI forwards each call to its own thread
// and waits, so every call is a synchronous message. The last call is OpenFailed or Finished.
class IImportDialog {
public:
    virtual ~IImportDialog() = default;
    virtual bool GetPreview() = 0; // false: no preview to fill, the reader ends at once
    virtual std::string GetPath() = 0;
    virtual std::string GetSeparator() = 0;
    virtual bool GetIgnoreFlag() = 0;
    virtual CFieldMap GetFieldMap() = 0;
    virtual ImportEncoding GetEncoding() { return ImportEncoding::Auto; }
    virtual void ProgressStart(std::uint64_t total) = 0;
    virtual void ProgressStep(std::uint64_t position) = 0;
    virtual void ProgressEnd() = 0;
    // Rows in batches; `recordsRead` is the number of rows read so far.
    virtual void RowsAdded(std::vector<CImportRow>&& rows, std::size_t recordsRead) = 0;
    // Message 1017 is the dialog's to show; it enables its controls again.
    virtual void OpenFailed() = 0;
    virtual void Finished(bool numbersPrefixed, bool notStopped) = 0;
    // Before Finished, when Auto read the file as Windows-1251 although it looks like damaged
    // UTF-8: the dialog offers the choice of encoding.
    virtual void EncodingUncertain() {}
};

struct CImportOptions {
    char32_t separator = U';';
    bool ignoreInvalid = true;
    CFieldMap map;
    std::string areaPrefix; // DefaultAreaCode
    ImportEncoding encoding = ImportEncoding::Auto;
};

struct CImportResult {
    bool prefixed = false;  // some number got the area prefix
    bool stopped = false;   // `stop` ended the reading
    bool uncertain = false; // Auto read Windows-1251 where LooksLikeDamagedUtf8 said otherwise
};

// Reads `bytes` (as `options.encoding` says) line by line; each accepted line gives `onRow`.
// `stop` is polled before each line; `onLine` gets the byte offset after each line.
CImportResult ParseImportText(std::string_view bytes, const CImportOptions& options,
                              const std::function<void(CImportRow&&)>& onRow,
                              const std::function<bool()>& stop = {},
                              const std::function<void(std::size_t)>& onLine = {});
// The same into a vector.
CImportResult ParseImportText(std::string_view bytes, const CImportOptions& options,
                              std::vector<CImportRow>& rows);

// One field of a line piece (UTF-8 text): after `position` separators, up to the next
// separator or control character, at most 255 bytes of the file's form (`unitBytes`: count
// characters as one byte each, as Windows-1251 does); `digitsOnly` keeps 0-9 and "+".
std::string ExtractField(std::string_view line, int position, std::string_view separator,
                         bool digitsOnly, bool unitBytes = false);

// The reader: runs on the calling thread; `stop` is polled before each line.
void RunImportReader(IImportDialog& dialog, const std::function<bool()>& stop);
// The reader on an address-book worker of `control` (it waits for the loader and other
// workers, and stops on the control's stop request). `dialog` must live until its last call.
std::uint32_t StartImportReader(IImportDialog& dialog, CThreadControl& control);

// The text of message 2044 with the DefaultAreaCode setting.
std::string ImportPrefixedMessage();

// "Удалить" in the preview: removes the rows at `indices` (any order, duplicates ignored).
void RemovePreviewRows(std::vector<CImportRow>& rows, std::vector<std::size_t> indices);

// "Импорт": contacts and groups into `book`. Rows without a group give plain contacts; a run
// of rows with the same group name gives one group (filed when it has members). Returns the
// number of groups filed.
std::size_t CommitImport(const std::vector<CImportRow>& rows, CAddrBook& book,
                         IFrame* frame = nullptr);
// "Импорт" of the dialog: into CurrentBook() (the default book is made when there is none, so
// the rows are never lost), then `booksChanged`. Returns the number of groups filed.
std::size_t CommitImportToCurrentBook(const std::vector<CImportRow>& rows, IFrame* frame,
                                      const std::function<void()>& booksChanged);
