// velquin-tool dump-job FILE: a job file (sent or received) as JSON.
#include "ToolCommand.h"

#include "app/Archive.h"
#include "store/FaxRecords.h"

#include <cstdio>
#include <ctime>
#include <string>

namespace {

class CJson {
public:
    void Open(const char* key, char bracket) {
        Key(key);
        m_out += bracket;
        m_first = true;
    }
    void Close(char bracket) {
        m_out += bracket;
        m_first = false;
    }
    void Str(const char* key, const std::string& v) {
        Key(key);
        Quote(v);
    }
    void Int(const char* key, long long v) {
        Key(key);
        m_out += std::to_string(v);
    }
    void Time(const char* key, std::int64_t t) {
        Open(key, '{');
        Int("seconds", t);
        Str("local", Local(t));
        Close('}');
    }
    std::string Text() const { return m_out + "\n"; }

private:
    void Key(const char* key) {
        if (!m_first) {
            m_out += ',';
        }
        m_first = false;
        if (key != nullptr) {
            Quote(key);
            m_out += ':';
        }
    }
    void Quote(const std::string& s) {
        m_out += '"';
        for (unsigned char c : s) {
            if (c == '"' || c == '\\') {
                m_out += '\\';
                m_out += static_cast<char>(c);
            } else if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                m_out += buf;
            } else {
                m_out += static_cast<char>(c);
            }
        }
        m_out += '"';
    }
    static std::string Local(std::int64_t t) {
        std::time_t tt = static_cast<std::time_t>(t);
        std::tm tm{};
        if (localtime_r(&tt, &tm) == nullptr) {
            return "";
        }
        char buf[40];
        std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S%z", &tm);
        std::string s = buf;
        if (s.size() <= 2) {
            return s;
        }
        // +0300 -> +03:00
        return s.substr(0, s.size() - 2) + ":" + s.substr(s.size() - 2);
    }
    std::string m_out;
    bool m_first = true;
};

void DumpEntry(CJson& j, const CFaxEntry& e) {
    j.Int("faxId", e.m_faxId);
    j.Int("status", e.m_status);
    j.Str("serverId", e.m_serverId);
    j.Str("recipient", e.m_recipient);
    j.Str("recipientLabel", e.m_recipientLabel);
    j.Time("created", e.m_created);
    j.Time("lastAttempt", e.m_lastAttempt);
    j.Int("pages", e.m_pages);
    j.Open("attempts", '[');
    for (const CSendStatistics& a : e.m_attempts) {
        j.Open(nullptr, '{');
        j.Int("attempt", a.m_attempt);
        j.Int("result", a.m_result);
        j.Int("duration", a.m_duration);
        j.Time("time", a.m_time);
        j.Close('}');
    }
    j.Close(']');
}

void DumpAttach(CJson& j, const CAttach& a) {
    j.Str("path", a.m_path);
    j.Int("unread", a.m_unread);
}

std::string DumpSent(CFaxEntryBase& record) {
    static const char* const kClass[] = {"CFaxDocument", "CSingleFaxEntry", "CGroupFaxEntry",
                                         "CPersonalFaxEntry"};
    CJson j;
    j.Open(nullptr, '{');
    j.Int("type", record.GetType());
    j.Str("class", kClass[record.GetType()]);
    j.Str("title", record.m_title);
    j.Time("time", record.m_time);
    if (const CAttach* a = AttachOf(record)) {
        DumpAttach(j, *a);
    }
    if (auto* s = dynamic_cast<CSingleFaxEntry*>(&record)) {
        j.Open("entry", '{');
        DumpEntry(j, *s);
        j.Close('}');
    } else if (auto* g = dynamic_cast<CGroupFaxEntry*>(&record)) {
        j.Int("listId", g->m_listId);
        j.Int("status", g->m_status);
        j.Open("recipients", '[');
        for (const CFaxEntry& r : g->m_recipients) {
            j.Open(nullptr, '{');
            DumpEntry(j, r);
            j.Close('}');
        }
        j.Close(']');
    } else if (auto* p = dynamic_cast<CPersonalFaxEntry*>(&record)) {
        j.Int("listId", p->m_listId);
        j.Int("status", p->m_status);
        j.Open("recipients", '[');
        for (const CAttachFaxEntry& r : p->m_recipients) {
            j.Open(nullptr, '{');
            DumpEntry(j, r);
            DumpAttach(j, r);
            j.Close('}');
        }
        j.Close(']');
    }
    j.Close('}');
    return j.Text();
}

std::string DumpReceived(const CReceivedFax& fax) {
    CJson j;
    j.Open(nullptr, '{');
    j.Str("class", "CReceivedFax");
    j.Str("to", fax.m_to);
    j.Str("from", fax.m_from);
    j.Str("serverId", fax.m_serverId);
    j.Int("pages", fax.m_pages);
    j.Int("duration", fax.m_duration);
    j.Time("received", fax.m_received);
    DumpAttach(j, fax);
    j.Str("faxId", fax.m_faxId);
    j.Close('}');
    return j.Text();
}

int Fail(const std::string& file, const std::string& why) {
    std::fprintf(stderr, "velquin-tool dump-job: %s: %s\n", file.c_str(), why.c_str());
    return 1;
}

int Run(const ToolArgs& args) {
    const ToolCommand& cmd = FindToolCommand("dump-job");
    bool received = false;
    std::string file;
    for (const std::string& a : args) {
        if (a == "--received") {
            received = true;
        } else if (file.empty() && !a.empty() && a[0] != '-') {
            file = a;
        } else {
            return ToolUsageError(cmd, "unexpected argument " + a);
        }
    }
    if (file.empty()) {
        return ToolUsageError(cmd, "expected one FILE");
    }
    std::string bytes;
    try {
        bytes = ReadArchiveFile(file);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velquin-tool dump-job: %s\n", e.what());
        return 1;
    }
    if (bytes.empty()) {
        return Fail(file, "empty job file");
    }
    try {
        if (!received) {
            // A sent job file starts with its type code; anything else is read as received.
            CArchive probe(bytes);
            std::int32_t type = bytes.size() >= 4 ? probe.ReadI32() : -1;
            if (type >= kTypeSingle && type <= kTypePersonal) {
                auto record = LoadSentRecord(bytes);
                std::fputs(DumpSent(*record).c_str(), stdout);
                return 0;
            }
        }
        CArchive ar(bytes);
        CReceivedFax fax;
        fax.Serialize(ar);
        std::fputs(DumpReceived(fax).c_str(), stdout);
        return 0;
    } catch (const std::exception& e) {
        return Fail(file, std::string("damaged job file (") + e.what() + ")");
    }
}

const ToolCommandRegistration reg{
    "dump-job", "print a job file (.fax) as JSON",
    "usage: velquin-tool dump-job [--received] FILE\n"
    "Prints every field of the job file FILE as JSON (times as seconds and ISO 8601 local\n"
    "time, texts as UTF-8). A file starting with type code 1-3 is read as a sent job, any\n"
    "other as a received fax; --received forces the latter. Exits 1 on a damaged file.\n",
    Run};

} // namespace
