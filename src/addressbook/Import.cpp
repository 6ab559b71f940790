#include "addressbook/Import.h"
#include "addressbook/AddressBooks.h"
#include "addressbook/ContactEdit.h"

#include "app/Ports.h"
#include "app/Settings.h"
#include "app/ThreadControl.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/SysInfo.h"
#include "resources/Strings.h"

#include <algorithm>
#include <memory>

namespace {

constexpr std::size_t kRowBatch = 256;
constexpr std::uint64_t kProgressSteps = 100;

std::size_t Utf8Length(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xF0) {
        return 4;
    }
    if (lead >= 0xE0) {
        return 3;
    }
    if (lead >= 0xC0) {
        return 2;
    }
    return 1;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

void Trim(std::string& s) {
    std::size_t b = 0;
    while (b < s.size() && IsBlank(s[b])) {
        ++b;
    }
    std::size_t e = s.size();
    while (e > b && IsBlank(s[e - 1])) {
        --e;
    }
    s = s.substr(b, e - b);
}

// The end of the line piece that starts at `pos`: after its "\n", or after 511 bytes (in a
// UTF-8 file not inside a character).
std::size_t PieceEnd(std::string_view bytes, std::size_t pos, bool utf8) {
    std::size_t limit = std::min(bytes.size(), pos + kImportLinePiece);
    std::size_t nl = bytes.find('\n', pos);
    if (nl != std::string_view::npos && nl < limit) {
        return nl + 1;
    }
    std::size_t end = limit;
    if (utf8 && end < bytes.size()) {
        while (end > pos + 1 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) {
            --end;
        }
    }
    return end;
}

// The length of the valid UTF-8 sequence at `pos`, or 0.
std::size_t Utf8SequenceAt(std::string_view bytes, std::size_t pos) {
    const auto c = static_cast<unsigned char>(bytes[pos]);
    const std::size_t len = c < 0x80                ? 1
                            : c >= 0xC2 && c < 0xE0 ? 2
                            : c >= 0xE0 && c < 0xF0 ? 3
                            : c >= 0xF0 && c < 0xF5 ? 4
                                                    : 0;
    if (len == 0 || pos + len > bytes.size() || !platform::IsValidUtf8(bytes.substr(pos, len))) {
        return 0;
    }
    return len;
}

// The bytes with every byte that is not part of valid UTF-8 replaced by "?".
std::string ValidUtf8Of(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t pos = 0; pos < bytes.size();) {
        const std::size_t len = Utf8SequenceAt(bytes, pos);
        out.append(len == 0 ? std::string_view("?") : bytes.substr(pos, len));
        pos += len == 0 ? 1 : len;
    }
    return out;
}

} // namespace

bool LooksLikeDamagedUtf8(std::string_view bytes) {
    std::size_t sequences = 0;
    std::size_t stray = 0;
    for (std::size_t pos = 0; pos < bytes.size();) {
        const std::size_t len = Utf8SequenceAt(bytes, pos);
        sequences += len > 1 ? 1 : 0;
        stray += len == 0 ? 1 : 0;
        pos += len == 0 ? 1 : len;
    }
    return sequences > stray;
}

std::string_view ImportFieldText(int code) {
    switch (code) {
    case kFieldNumber:
        return LoadString(1009);
    case kFieldCompany:
        return LoadString(1010);
    case kFieldPerson:
        return LoadString(1011);
    case kFieldSkip:
        return LoadString(1012);
    default:
        return {};
    }
}

int CFieldMap::PositionOf(int code) const {
    for (std::size_t i = 0; i < codes.size() && i < positions.size(); ++i) {
        if (codes[i] == code) {
            return positions[i];
        }
    }
    return -1;
}

bool CImportFields::MoveToInput(int availableIndex, int before) {
    if (availableIndex < 0 || static_cast<std::size_t>(availableIndex) >= m_available.size()) {
        return false;
    }
    const int code = m_available[static_cast<std::size_t>(availableIndex)];
    std::size_t at = before < 0 || static_cast<std::size_t>(before) > m_input.size()
                         ? m_input.size()
                         : static_cast<std::size_t>(before);
    m_input.insert(m_input.begin() + static_cast<std::ptrdiff_t>(at), code);
    if (code != kFieldSkip) {
        m_available.erase(m_available.begin() + availableIndex);
    }
    return true;
}

bool CImportFields::MoveToAvailable(int inputIndex) {
    if (inputIndex < 0 || static_cast<std::size_t>(inputIndex) >= m_input.size()) {
        return false;
    }
    const int code = m_input[static_cast<std::size_t>(inputIndex)];
    m_input.erase(m_input.begin() + inputIndex);
    if (code != kFieldSkip) {
        m_available.push_back(code);
    }
    return true;
}

CFieldMap CImportFields::FieldMap() const {
    CFieldMap map;
    for (std::size_t i = 0; i < m_input.size(); ++i) {
        if (m_input[i] != kFieldSkip) {
            map.codes.push_back(m_input[i]);
            map.positions.push_back(static_cast<int>(i));
        }
    }
    return map;
}

void CImportFields::SetInput(std::vector<int> codes) {
    m_input = std::move(codes);
    m_available = {kFieldNumber, kFieldCompany, kFieldPerson, kFieldSkip};
    for (int c : m_input) {
        if (c != kFieldSkip) {
            std::erase(m_available, c);
        }
    }
}

unsigned CheckImportFields(const CFieldMap& map, std::string_view separator) {
    if (map.codes.empty()) {
        return kMsgNoFieldPositions;
    }
    if (map.PositionOf(kFieldNumber) < 0) {
        return kMsgNoNumberPosition;
    }
    if (separator.empty()) {
        return kMsgNoSeparator;
    }
    return 0;
}

unsigned CheckImportPath(std::string_view path) {
    return path.size() < kMinImportPathLength ? kMsgNoDataFile : 0;
}

std::string ExtractField(std::string_view line, int position, std::string_view separator,
                         bool digitsOnly, bool unitBytes) {
    std::string out;
    if (position < 0) {
        return out;
    }
    std::size_t p = 0;
    if (!separator.empty()) {
        for (int n = 0; n < position; ++n) {
            std::size_t k = line.find(separator, p);
            if (k == std::string_view::npos) {
                return out;
            }
            p = k + separator.size();
        }
    } else if (position > 0) {
        return out;
    }
    const bool oneByteSeparator = separator.size() == 1;
    const char sep0 = separator.empty() ? '\0' : separator[0];
    auto atSeparator = [&](std::size_t at) {
        if (separator.empty()) {
            return false;
        }
        return oneByteSeparator ? line[at] == sep0
                                : line.compare(at, separator.size(), separator) == 0;
    };
    std::size_t copied = 0;
    if (digitsOnly) {
        while (p < line.size() && copied < kImportFieldMax) {
            const auto c = static_cast<unsigned char>(line[p]);
            if (c < 32 || atSeparator(p)) {
                break;
            }
            if ((c >= '0' && c <= '9') || c == '+') {
                out += static_cast<char>(c);
                ++copied;
            }
            p += std::min(Utf8Length(c), line.size() - p);
        }
        return out;
    }
    // Copied text is one run of the line: find its end, then take it at once.
    const std::size_t from = p;
    while (p < line.size()) {
        const auto c = static_cast<unsigned char>(line[p]);
        if (c < 32 || atSeparator(p)) {
            break;
        }
        const std::size_t len = std::min(Utf8Length(c), line.size() - p);
        const std::size_t units = unitBytes ? 1 : len;
        if (copied + units > kImportFieldMax) {
            break;
        }
        copied += units;
        p += len;
    }
    out.assign(line.substr(from, p - from));
    return out;
}

CImportResult ParseImportText(std::string_view bytes, const CImportOptions& options,
                              const std::function<void(CImportRow&&)>& onRow,
                              const std::function<bool()>& stop,
                              const std::function<void(std::size_t)>& onLine) {
    CImportResult result;
    std::string converted;
    bool utf8 = false;
    if (options.encoding != ImportEncoding::Cp1251 && platform::StartsWithUtf16Mark(bytes)) {
        converted = *platform::Utf16MarkedText(bytes);
        bytes = converted;
        utf8 = true;
    } else if (options.encoding == ImportEncoding::Utf8) {
        utf8 = true;
        if (!platform::IsValidUtf8(bytes)) {
            converted = ValidUtf8Of(bytes);
            bytes = converted;
        }
    } else if (options.encoding == ImportEncoding::Auto && platform::HasNonAscii(bytes)) {
        utf8 = platform::IsValidUtf8(bytes);
        result.uncertain = !utf8 && LooksLikeDamagedUtf8(bytes);
    }
    std::string sep;
    if (options.separator != 0) {
        platform::AppendUtf8(sep, options.separator);
    }
    const int numberPos = options.map.PositionOf(kFieldNumber);
    const int companyPos = options.map.PositionOf(kFieldCompany);
    const int personPos = options.map.PositionOf(kFieldPerson);
    std::string decoded;
    std::size_t pos = 0;
    if (utf8 && bytes.starts_with("\xEF\xBB\xBF")) {
        pos = 3; // editors put a byte order mark before the first line
    }
    while (pos < bytes.size()) {
        if (stop && stop()) {
            result.stopped = true;
            break;
        }
        const std::size_t end = PieceEnd(bytes, pos, utf8);
        std::string_view piece = bytes.substr(pos, end - pos);
        pos = end;
        std::string_view line = piece;
        if (!utf8) {
            decoded = platform::Cp1251ToUtf8(piece);
            line = decoded;
        }
        const bool unitBytes = !utf8;
        CImportRow row;
        int shift = 0;
        if (!line.empty() && line[0] == '@') {
            row.group = ExtractField(line, 0, sep, false, unitBytes);
            std::size_t at = row.group.find_first_not_of('@');
            row.group.erase(0, at == std::string::npos ? row.group.size() : at);
            while (!row.group.empty() && IsBlank(row.group.back())) {
                row.group.pop_back();
            }
            shift = 1;
        }
        bool dropped = false;
        if (numberPos >= 0) {
            std::string raw = ExtractField(line, numberPos + shift, sep, true, unitBytes);
            row.number = DiallingDigits(raw);
            if (row.number.empty() && options.ignoreInvalid) {
                dropped = true;
            } else if (row.number.empty() || row.number[0] != '8') {
                row.number = options.areaPrefix + row.number;
                result.prefixed = true;
            }
        }
        if (!dropped) {
            if (companyPos >= 0) {
                row.company = ExtractField(line, companyPos + shift, sep, false, unitBytes);
                Trim(row.company);
            }
            if (personPos >= 0) {
                row.person = ExtractField(line, personPos + shift, sep, false, unitBytes);
                Trim(row.person);
            }
            if (onRow) {
                onRow(std::move(row));
            }
        }
        if (onLine) {
            onLine(pos);
        }
    }
    return result;
}

CImportResult ParseImportText(std::string_view bytes, const CImportOptions& options,
                              std::vector<CImportRow>& rows) {
    return ParseImportText(bytes, options, [&](CImportRow&& r) { rows.push_back(std::move(r)); });
}

void RunImportReader(IImportDialog& dialog, const std::function<bool()>& stop) {
    if (!dialog.GetPreview()) {
        dialog.Finished(false, false);
        return;
    }
    const std::string path = dialog.GetPath();
    std::string bytes;
    if (path.empty() || platform::IsDirectory(path) || platform::ReadFile(path, bytes) != 0) {
        dialog.OpenFailed();
        return;
    }
    CImportOptions options;
    options.encoding = dialog.GetEncoding();
    if (options.encoding != ImportEncoding::Cp1251 && platform::StartsWithUtf16Mark(bytes)) {
        bytes = *platform::Utf16MarkedText(bytes); // the progress counts the text that is read
    }
    const std::uint64_t total = bytes.size();
    dialog.ProgressStart(total);

    options.map = dialog.GetFieldMap();
    const std::string separator = dialog.GetSeparator();
    if (!separator.empty()) {
        // The first character of the separator text.
        const std::u16string u16 = platform::Utf8ToUtf16(separator);
        char32_t c = u16.empty() ? 0 : u16[0];
        if (u16.size() > 1 && c >= 0xD800 && c < 0xDC00) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(u16[1]) - 0xDC00);
        }
        options.separator = c;
    } else {
        options.separator = 0;
    }
    options.ignoreInvalid = dialog.GetIgnoreFlag();
    options.areaPrefix = Settings().DefaultAreaCode;

    std::vector<CImportRow> batch;
    std::size_t recordsRead = 0;
    const std::uint64_t stride = std::max<std::uint64_t>(1, total / kProgressSteps);
    std::uint64_t nextStep = stride;
    CImportResult result = ParseImportText(
        bytes, options,
        [&](CImportRow&& row) {
            batch.push_back(std::move(row));
            ++recordsRead;
        },
        stop,
        [&](std::size_t offset) {
            if (batch.size() >= kRowBatch) {
                dialog.RowsAdded(std::move(batch), recordsRead);
                batch.clear();
            }
            if (offset >= nextStep || offset == total) {
                dialog.ProgressStep(offset);
                nextStep = offset + stride;
            }
        });
    if (!batch.empty()) {
        dialog.RowsAdded(std::move(batch), recordsRead);
    }
    dialog.ProgressEnd();
    if (result.uncertain) {
        dialog.EncodingUncertain();
    }
    dialog.Finished(result.prefixed, !result.stopped);
}

std::uint32_t StartImportReader(IImportDialog& dialog, CThreadControl& control) {
    // The worker may end before its work begins (the program is closing): the dialog still
    // gets its last call, from the worker's thread when the work is dropped there.
    struct Guard {
        explicit Guard(IImportDialog* d) : dialog(d) {}
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        IImportDialog* dialog;
        bool ran = false;
        ~Guard() {
            if (!ran) {
                dialog->Finished(false, false);
            }
        }
    };
    return control.StartViewWorker(
        nullptr, 0, [guard = std::make_shared<Guard>(&dialog), &dialog, &control] {
            guard->ran = true;
            RunImportReader(dialog, [&control] { return control.StopRequested(); });
        });
}

std::string ImportPrefixedMessage() {
    return FormatString(LoadString(kMsgImportNumbersPrefixed), Settings().DefaultAreaCode);
}

void RemovePreviewRows(std::vector<CImportRow>& rows, std::vector<std::size_t> indices) {
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    for (auto it = indices.rbegin(); it != indices.rend(); ++it) {
        if (*it < rows.size()) {
            rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(*it));
        }
    }
}

std::size_t CommitImport(const std::vector<CImportRow>& rows, CAddrBook& book, IFrame* frame) {
    const std::size_t total = rows.size();
    const std::size_t stride = std::max<std::size_t>(1, total / kProgressSteps);
    if (frame != nullptr) {
        frame->ProgressStart(static_cast<int>(std::min<std::size_t>(total, 0x7FFFFFFF)));
    }
    // Working values of a new contact, looked up once rather than per row.
    const int countryCode = platform::TelephoneCountryCode().value_or(0);
    const std::string areaCode = Settings().LastAreaCode;

    std::size_t filed = 0;
    std::unique_ptr<CGroupEntry> pending;
    std::string previous;
    auto filePending = [&] {
        if (pending && !pending->m_members.empty()) {
            book.AddEntry(std::move(pending));
            ++filed;
        }
        pending.reset();
    };
    for (std::size_t i = 0; i < total; ++i) {
        const CImportRow& row = rows[i];
        auto contact = std::make_unique<CContactEntry>(LoadingTag{});
        contact->m_guid = platform::NewGuid();
        contact->m_name = row.number;
        contact->m_company = row.company;
        contact->m_person = row.person;
        contact->m_domestic = 1;
        contact->m_countryCode = countryCode;
        contact->m_areaCode = areaCode;
        if (!row.group.empty()) {
            if (!pending || row.group != previous) {
                filePending();
                pending = std::make_unique<CGroupEntry>(row.group);
                previous = row.group;
            }
            // The contact knows its group at once, so an export in this session writes it
            // inside the group only.
            contact->m_groups.push_back(pending->m_guid);
            pending->m_members.push_back(contact->m_guid);
        }
        book.AddEntry(std::move(contact));
        if (frame != nullptr && ((i + 1) % stride == 0 || i + 1 == total)) {
            frame->ProgressStep(static_cast<int>(std::min<std::size_t>(i + 1, 0x7FFFFFFF)));
        }
    }
    filePending();
    if (frame != nullptr) {
        frame->ProgressEnd();
    }
    return filed;
}

std::size_t CommitImportToCurrentBook(const std::vector<CImportRow>& rows, IFrame* frame,
                                      const std::function<void()>& booksChanged) {
    if (CurrentBook() == nullptr) {
        AddressBooks().ApplyDefaultRule();
    }
    if (CurrentBook()->IsReadOnly()) {
        return 0; // the dialog refused it already
    }
    const std::size_t filed = CommitImport(rows, *CurrentBook(), frame);
    AddressBooks().Edited(*CurrentBook());
    if (booksChanged) {
        booksChanged();
    }
    return filed;
}
