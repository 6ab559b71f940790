#pragma once
// Proof of sending: what was sent to whom and what became of it, as a CSV table or as a PDF
// with one page per recipient (the first page of the fax image it got beside the facts), for
// offices that file such proof. Texts are UTF-8; user-visible words come from the string table.
#include "store/FaxRecords.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

// "Нет сведений": the state text of a recipient whose state has no text (none yet).
constexpr unsigned kIdsReportNoState = 9450;
// The CSV header; its fields are also the labels of a recipient's page.
constexpr unsigned kIdsReportColumns = 9451;
constexpr unsigned kIdsReportPageTitle = 9452;
constexpr unsigned kIdsReportSummaryTitle = 9453;
constexpr unsigned kIdsReportRecipients = 9454; // %s: count
constexpr unsigned kIdsReportNoImage = 9455;
constexpr unsigned kIdsReportBadImage = 9456;
constexpr unsigned kIdsReportNotWritten = 9457; // %s: file, %s: reason
constexpr unsigned kIdsReportEmpty = 9458;

// One recipient of a sent fax as the report shows it.
struct CReportRow {
    std::string title;
    std::string number;  // the dialled number
    std::string contact; // the recipient's label, may be empty
    std::int32_t pages = 0;
    std::string jobId; // the service's id when it gave one, else the fax id
    std::int64_t submitted = 0;
    std::int32_t state = -1;    // kJobState*
    std::string stateText;      // never empty
    std::int64_t stateTime = 0; // when the state was learnt; 0: unknown
    std::string imagePath;      // the image this recipient got; "" when the record names none
};

// The rows of one sent entry, a row per recipient. Images are looked up in `storeDir`
// (DataDir/SentFaxes; "" keeps the stored paths' own folder).
std::vector<CReportRow> ReportRowsOf(const CFaxEntryBase& entry, const std::string& storeDir);

// The text of `state` for a report: JobStateText, or "Нет сведений".
std::string ReportStateText(std::int32_t state);

// Local time as "YYYY-MM-DD HH:MM:SS"; "" for 0.
std::string ReportTime(std::int64_t time);

// Writes a header line and one line per row, RFC 4180 quoting, CRLF line ends, UTF-8.
// False when the stream failed.
bool WriteReportCsv(const std::vector<CReportRow>& rows, std::ostream& out);

// The pages of one sent entry: a mass fax (`mass`) starts with a summary page (title, number
// of recipients, recipients per state, counted over `rows`).
struct CReportSection {
    std::string title;
    bool mass = false;
    std::vector<CReportRow> rows;
};

// The section of one sent entry, every recipient included.
CReportSection ReportSectionOf(const CFaxEntryBase& entry, const std::string& storeDir);

// Writes the proof as an A4 PDF: the sections' pages in order. An image that is missing or
// cannot be read gets a framed notice in its place; an image shared by consecutive recipients
// is decoded once. The file is written beside `pdfPath` under a temporary name and renamed
// over it when complete, so a failure leaves no part of a PDF. "" on success, else the error
// text for the user (naming the file).
std::string WriteProofPdf(const std::vector<CReportSection>& sections, const std::string& pdfPath);

// What the window's "save proof of sending" calls for the selected sent entries (in the order
// given; null entries are skipped): every recipient of each, images from `storeDir`
// (DataDir/SentFaxes), written to `pdfPath`. "" on success, else the error text to show.
// Runs on any thread; it only reads the entries, which must stay alive during the call.
std::string SaveProof(const std::vector<const CFaxEntryBase*>& entries, const std::string& storeDir,
                      const std::string& pdfPath);
