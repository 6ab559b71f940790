// velquin-tool report --since DATE [--state STATE] --format csv|pdf [--output FILE]: proof of
// sending for the sent faxes of the store, as a table or as a PDF with the fax images.
#include "ToolCommand.h"

#include "app/Settings.h"
#include "app/StorePaths.h"
#include "platform/Files.h"
#include "resources/Strings.h"
#include "sending/SentReport.h"
#include "service/JobState.h"
#include "store/SentFaxes.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

namespace {

// Local midnight of "YYYY-MM-DD"; nullopt for anything else, impossible days included.
std::optional<std::int64_t> ParseDate(const std::string& text) {
    int y = 0, m = 0, d = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    auto number = [&](std::size_t at, std::size_t len, int& out) {
        const char* end = text.data() + at + len;
        auto r = std::from_chars(text.data() + at, end, out);
        return r.ec == std::errc() && r.ptr == end;
    };
    if (!number(0, 4, y) || !number(5, 2, m) || !number(8, 2, d)) {
        return std::nullopt;
    }
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = m - 1;
    tm.tm_mday = d;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) || tm.tm_year != y - 1900 || tm.tm_mon != m - 1 ||
        tm.tm_mday != d) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(t);
}

std::optional<std::int32_t> ParseState(const std::string& text) {
    static const std::pair<const char*, std::int32_t> kNames[] = {
        {"delivered", kJobStateDelivered}, {"not-delivered", kJobStateNotDelivered},
        {"queued", kJobStateQueued},       {"no-funds", kJobStateNoFunds},
        {"none", kJobStateNone},
    };
    for (const auto& [name, state] : kNames) {
        if (text == name) {
            return state;
        }
    }
    std::int32_t state = 0;
    const char* end = text.data() + text.size();
    auto r = std::from_chars(text.data(), end, state);
    if (text.empty() || r.ec != std::errc() || r.ptr != end) {
        return std::nullopt;
    }
    return state;
}

int Run(const ToolArgs& args) {
    const ToolCommand& cmd = FindToolCommand("report");
    std::string since, stateText, format, output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        bool missing = false;
        if (TakeOption(args, i, "--since", since, missing) ||
            TakeOption(args, i, "--state", stateText, missing) ||
            TakeOption(args, i, "--format", format, missing) ||
            TakeOption(args, i, "--output", output, missing)) {
            if (missing) {
                return ToolUsageError(cmd, args[i] + " needs a value");
            }
            continue;
        }
        return ToolUsageError(cmd, "unexpected argument " + args[i]);
    }
    if (since.empty()) {
        return ToolUsageError(cmd, "--since DATE is required");
    }
    const std::optional<std::int64_t> from = ParseDate(since);
    if (!from) {
        return ToolUsageError(cmd, "not a date (YYYY-MM-DD): " + since);
    }
    std::optional<std::int32_t> state;
    if (!stateText.empty() && !(state = ParseState(stateText))) {
        return ToolUsageError(cmd, "not a state: " + stateText);
    }
    if (format != "csv" && format != "pdf") {
        return ToolUsageError(cmd, "--format must be csv or pdf");
    }
    if (format == "pdf" && output.empty()) {
        return ToolUsageError(cmd, "a PDF needs --output FILE");
    }

    CToolPrompt prompt;
    if (!LoadToolSettings(prompt)) {
        return 1;
    }
    // A report only reads: old faxes are not removed, whatever the settings say.
    const std::string dir = StorePath(kSentFolder);
    CSentStore store = CSentFaxes::Read({dir, false, 0});
    for (const auto& [file, error] : store.damaged) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "velquin-tool report: %s left out: %s\n", file.c_str(), e.what());
        } catch (...) {
            std::fprintf(stderr, "velquin-tool report: %s left out\n", file.c_str());
        }
    }

    std::vector<CReportSection> sections;
    for (const auto& entry : store.entries) {
        if (entry->m_time < *from) {
            continue;
        }
        CReportSection section = ReportSectionOf(*entry, dir);
        if (state) {
            std::erase_if(section.rows, [&](const CReportRow& r) { return r.state != *state; });
        }
        if (!section.rows.empty()) {
            sections.push_back(std::move(section));
        }
    }

    if (format == "pdf") {
        const std::string error = WriteProofPdf(sections, output);
        if (!error.empty()) {
            std::fprintf(stderr, "velquin-tool report: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    std::vector<CReportRow> rows;
    for (CReportSection& section : sections) {
        std::move(section.rows.begin(), section.rows.end(), std::back_inserter(rows));
    }
    if (output.empty()) {
        return WriteReportCsv(rows, std::cout) ? 0 : 1;
    }
    std::ostringstream text;
    WriteReportCsv(rows, text);
    if (int err = platform::AtomicWriteFile(output, text.str()); err != 0) {
        std::fprintf(
            stderr, "velquin-tool report: %s\n",
            FormatString(LoadString(kIdsReportNotWritten), output, std::strerror(err)).c_str());
        return 1;
    }
    return 0;
}

const ToolCommandRegistration reg{
    "report", "proof of sending: sent faxes as CSV or PDF",
    "usage: velquin-tool report --since DATE [--state STATE] --format csv|pdf [--output FILE]\n"
    "Lists every recipient of the faxes sent on or after DATE (YYYY-MM-DD, local midnight):\n"
    "document, number, contact, pages, job id, time sent, last known state and when it was\n"
    "learnt. --state keeps the recipients in one state: delivered, not-delivered, queued,\n"
    "no-funds, none (no answer yet) or the state's number.\n"
    "csv: a UTF-8 table, to stdout unless --output is given.\n"
    "pdf: one A4 page per recipient with the first page of the fax it got, after a summary\n"
    "page for each mass fax; needs --output. A file is replaced only when wholly written.\n"
    "Exits 2 on bad arguments, 1 when nothing matches (pdf) or the file cannot be written.\n",
    Run};

} // namespace
