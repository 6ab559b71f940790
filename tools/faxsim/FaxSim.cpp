#include "FaxSim.h"

#include "platform/Encoding.h"
#include "service/JobState.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace faxsim {

namespace {

const std::string kDelimiterLine = "--------------56CDD882\r\n";
const std::string kDispositionPrefix = "Content-Disposition: form-data; name=\"";

std::string Md5Raw(std::initializer_list<std::string_view> parts) {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    EVP_DigestInit_ex(ctx, EVP_md5(), nullptr);
    for (std::string_view p : parts) {
        EVP_DigestUpdate(ctx, p.data(), p.size());
    }
    EVP_DigestFinal_ex(ctx, md, &len);
    EVP_MD_CTX_free(ctx);
    return std::string(reinterpret_cast<char*>(md), len);
}

bool ParseInt(std::string_view text, std::int64_t& out) {
    if (text.empty() || text.size() > 18) {
        return false;
    }
    std::int64_t n = 0;
    bool negative = false;
    std::size_t i = 0;
    if (text[0] == '-') {
        negative = true;
        i = 1;
        if (text.size() == 1) {
            return false;
        }
    }
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        n = n * 10 + (text[i] - '0');
    }
    out = negative ? -n : n;
    return true;
}

std::string QueryValue(std::string_view query, std::string_view key) {
    std::size_t pos = 0;
    while (pos <= query.size()) {
        std::size_t amp = query.find('&', pos);
        std::string_view pair = query.substr(pos, amp == std::string_view::npos ? amp : amp - pos);
        std::size_t eq = pair.find('=');
        if (pair.substr(0, eq) == key) {
            return eq == std::string_view::npos ? std::string() : std::string(pair.substr(eq + 1));
        }
        if (amp == std::string_view::npos) {
            break;
        }
        pos = amp + 1;
    }
    return {};
}

const FormField* Find(const std::vector<FormField>& fields, std::string_view name) {
    for (const FormField& f : fields) {
        if (f.name == name) {
            return &f;
        }
    }
    return nullptr;
}

// The fields must come in this order, each at most once; the ones marked optional may be
// missing.
bool CheckOrder(const std::vector<FormField>& fields,
                std::initializer_list<std::pair<const char*, bool>> order, std::string& error) {
    std::size_t i = 0;
    for (auto [name, required] : order) {
        if (i < fields.size() && fields[i].name == name) {
            ++i;
        } else if (required) {
            error = std::string("поле ") + name + " отсутствует или стоит не на месте";
            return false;
        }
    }
    if (i != fields.size()) {
        error = "лишнее поле " + fields[i].name;
        return false;
    }
    return true;
}

int CountNumbers(std::string_view csv) {
    int count = 0;
    std::size_t pos = 0;
    while (pos < csv.size()) {
        std::size_t eol = csv.find('\n', pos);
        std::string_view line = csv.substr(pos, eol == std::string_view::npos ? eol : eol - pos);
        for (char c : line) {
            if (c >= '0' && c <= '9') {
                ++count;
                break;
            }
        }
        if (eol == std::string_view::npos) {
            break;
        }
        pos = eol + 1;
    }
    return count;
}

bool EndsWith(std::string_view s, std::string_view tail) {
    return !tail.empty() && s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

} // namespace

std::optional<Fault> FaultFromName(std::string_view name) {
    static const std::pair<const char*, Fault> kNames[] = {
        {"none", Fault::None},       {"delay", Fault::Delay},   {"cut", Fault::Cut},
        {"http500", Fault::Http500}, {"notxml", Fault::NotXml}, {"malformed", Fault::Malformed},
        {"hang", Fault::Hang}};
    for (auto [n, f] : kNames) {
        if (name == n) {
            return f;
        }
    }
    return std::nullopt;
}

bool ParseAccountSpec(std::string_view spec, Account& account) {
    std::size_t c1 = spec.find(':');
    if (c1 == std::string_view::npos || c1 == 0) {
        return false;
    }
    account.user = std::string(spec.substr(0, c1));
    std::string_view rest = spec.substr(c1 + 1);
    std::size_t c2 = rest.rfind(':');
    account.balance = -1;
    if (c2 != std::string_view::npos) {
        std::int64_t b = 0;
        if (!ParseInt(rest.substr(c2 + 1), b)) {
            return false;
        }
        account.balance = b;
        rest = rest.substr(0, c2);
    }
    account.password = std::string(rest);
    return true;
}

bool LoadConfigFile(const std::string& path, Config& config, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::istringstream words(line);
        std::string key;
        if (!(words >> key) || key[0] == '#') {
            continue;
        }
        std::string a, b, c;
        words >> a >> b >> c;
        std::int64_t n = 0;
        bool ok = true;
        if (key == "account") {
            Account acc{a, b, -1};
            ok = !a.empty() && (c.empty() || ParseInt(c, acc.balance));
            if (ok) {
                config.accounts.push_back(acc);
            }
        } else if (key == "deliver-after-queries" && ParseInt(a, n)) {
            config.deliverAfterQueries = static_cast<int>(n);
        } else if (key == "deliver-after-seconds" && ParseInt(a, n)) {
            config.deliverAfterSeconds = static_cast<int>(n);
        } else if (key == "fail-suffix") {
            config.failSuffix = a;
        } else if (key == "encoding") {
            config.utf8Replies = a == "utf-8";
            ok = a == "utf-8" || a == "windows-1251";
        } else if (key == "fault" && FaultFromName(a)) {
            config.fault = *FaultFromName(a);
        } else if (key == "delay-ms" && ParseInt(a, n)) {
            config.delayMs = static_cast<int>(n);
        } else {
            ok = false;
        }
        if (!ok) {
            error = path + ":" + std::to_string(lineNo) + ": bad line";
            return false;
        }
    }
    return true;
}

const std::string* HttpRequest::Header(std::string_view name) const {
    for (const auto& [n, v] : headers) {
        if (platform::EqualsNoCase(n, name)) {
            return &v;
        }
    }
    return nullptr;
}

bool ParseHttpHead(std::string_view head, HttpRequest& request) {
    std::size_t eol = head.find("\r\n");
    std::string_view line = head.substr(0, eol);
    std::size_t s1 = line.find(' ');
    std::size_t s2 = line.rfind(' ');
    if (s1 == std::string_view::npos || s1 == s2) {
        return false;
    }
    request.method = std::string(line.substr(0, s1));
    request.target = std::string(line.substr(s1 + 1, s2 - s1 - 1));
    request.version = std::string(line.substr(s2 + 1));
    while (eol != std::string_view::npos) {
        std::size_t start = eol + 2;
        eol = head.find("\r\n", start);
        std::string_view h = head.substr(start, eol == std::string_view::npos ? eol : eol - start);
        if (h.empty()) {
            continue;
        }
        std::size_t colon = h.find(':');
        if (colon == std::string_view::npos) {
            return false;
        }
        std::string_view value = h.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') {
            value.remove_prefix(1);
        }
        request.headers.emplace_back(std::string(h.substr(0, colon)), std::string(value));
    }
    return true;
}

bool ParseClientMultipart(std::string_view body, std::vector<FormField>& fields,
                          std::string& error) {
    const std::string closing = "\r\n" + kDelimiterLine;
    std::size_t pos = 0;
    if (body.empty()) {
        error = "пустое тело запроса";
        return false;
    }
    while (pos < body.size()) {
        if (body.compare(pos, kDelimiterLine.size(), kDelimiterLine) != 0) {
            error = "нет строки-разделителя в позиции " + std::to_string(pos);
            return false;
        }
        pos += kDelimiterLine.size();
        if (body.compare(pos, kDispositionPrefix.size(), kDispositionPrefix) != 0) {
            error = "нет заголовка Content-Disposition в позиции " + std::to_string(pos);
            return false;
        }
        pos += kDispositionPrefix.size();
        FormField field;
        std::size_t quote = body.find('"', pos);
        if (quote == std::string_view::npos) {
            error = "незакрытое имя поля";
            return false;
        }
        field.name = std::string(body.substr(pos, quote - pos));
        pos = quote + 1;
        static const std::string kFilename = "; filename=\"";
        if (body.compare(pos, kFilename.size(), kFilename) == 0) {
            pos += kFilename.size();
            std::size_t end = body.find("\"\r\n", pos);
            if (end == std::string_view::npos) {
                error = "незакрытое имя файла";
                return false;
            }
            field.isFile = true;
            field.filename = std::string(body.substr(pos, end - pos));
            pos = end + 1;
        }
        if (body.compare(pos, 4, "\r\n\r\n") != 0) {
            error = "лишние строки в заголовке поля " + field.name;
            return false;
        }
        pos += 4;
        std::size_t end = body.find(closing, pos);
        if (end == std::string_view::npos) {
            error = "поле " + field.name + " не закрыто строкой-разделителем";
            return false;
        }
        field.value = body.substr(pos, end - pos);
        pos = end + closing.size();
        fields.push_back(std::move(field));
    }
    return true;
}

std::string Md5Hex(std::string_view bytes) {
    std::string raw = Md5Raw({bytes});
    std::string hex;
    char two[3];
    for (unsigned char c : raw) {
        std::snprintf(two, sizeof two, "%02x", c);
        hex += two;
    }
    return hex;
}

std::string SignatureTrailer(std::string_view password, std::string_view subject,
                             std::string_view address, std::string_view content) {
    return Md5Raw({password, subject, address}) + Md5Raw({password, content});
}

std::vector<std::string> PasswordForms(std::string_view password) {
    // The client signs with the password's code-page bytes; accept its UTF-8 bytes as well.
    std::vector<std::string> forms{platform::Utf8ToCp1251(password)};
    if (forms[0] != password) {
        forms.emplace_back(password);
    }
    return forms;
}

bool HasValidTrailer(std::string_view file, std::string_view password) {
    if (file.size() < 32) {
        return false;
    }
    std::string_view signedPart = file.substr(0, file.size() - 32);
    std::string_view d2 = file.substr(file.size() - 16);
    for (const std::string& form : PasswordForms(password)) {
        if (Md5Raw({form, signedPart}) == d2) {
            return true;
        }
    }
    return false;
}

CDocumentDigester::CDocumentDigester(PasswordLookup passwordOf)
    : m_passwordOf(std::move(passwordOf)) {}

CDocumentDigester::~CDocumentDigester() {
    for (EVP_MD_CTX* c : m_contexts) {
        EVP_MD_CTX_free(c);
    }
}

void CDocumentDigester::Feed(std::string_view body) {
    if (m_phase == Phase::FindDocument) {
        // The document part is the last; every part before it is complete once its header
        // shows, so the fields before it (the user name) can be read already.
        static const std::string kDocumentHeader =
            kDelimiterLine + kDispositionPrefix + "userfile\"; filename=\"";
        std::size_t at = body.find(kDocumentHeader, m_searchFrom);
        if (at == std::string_view::npos) {
            m_searchFrom = body.size() >= kDocumentHeader.size()
                               ? body.size() - kDocumentHeader.size() + 1
                               : 0;
            return;
        }
        std::size_t nameEnd = body.find("\"\r\n", at + kDocumentHeader.size());
        if (nameEnd == std::string_view::npos) {
            return; // the rest of the header is still to come
        }
        if (body.size() < nameEnd + 5) {
            return;
        }
        std::vector<FormField> before;
        std::string why;
        const FormField* user = nullptr;
        if (body.compare(nameEnd + 1, 4, "\r\n\r\n") != 0 ||
            !ParseClientMultipart(body.substr(0, at), before, why) ||
            (user = Find(before, "username")) == nullptr) {
            m_phase = Phase::GaveUp;
            return;
        }
        std::optional<std::string> password = m_passwordOf(user->value);
        if (!password) {
            m_phase = Phase::GaveUp;
            return;
        }
        for (const std::string& form : PasswordForms(*password)) {
            EVP_MD_CTX* c = EVP_MD_CTX_new();
            m_contexts.push_back(c);
            if (c == nullptr || !EVP_DigestInit_ex(c, EVP_md5(), nullptr) ||
                !EVP_DigestUpdate(c, form.data(), form.size())) {
                m_phase = Phase::GaveUp;
                return;
            }
        }
        m_result.password = std::move(*password);
        m_result.start = nameEnd + 5;
        m_digested = m_searchFrom = m_result.start;
        m_phase = Phase::Digest;
    }
    if (m_phase != Phase::Digest) {
        return;
    }
    // The document ends at the first closing delimiter after its start, as the parse finds it;
    // its signed bytes end 32 before that. Bytes that a closing delimiter not yet complete
    // could still claim wait for the next read.
    const std::string closing = "\r\n" + kDelimiterLine;
    std::size_t end = body.find(closing, m_searchFrom);
    if (end != std::string_view::npos) {
        if (end - m_result.start < 32) {
            m_phase = Phase::GaveUp;
            return;
        }
        Digest(body, end - 32);
        m_result.signedLength = end - 32 - m_result.start;
        for (EVP_MD_CTX* c : m_contexts) {
            unsigned char md[EVP_MAX_MD_SIZE];
            unsigned len = 0;
            EVP_DigestFinal_ex(c, md, &len);
            m_result.md5s.emplace_back(reinterpret_cast<char*>(md), len);
        }
        m_phase = Phase::Done;
        return;
    }
    if (body.size() >= closing.size()) {
        m_searchFrom = std::max(m_searchFrom, body.size() - closing.size() + 1);
    }
    if (m_searchFrom >= m_result.start + 32) {
        Digest(body, m_searchFrom - 32);
    }
}

void CDocumentDigester::Digest(std::string_view body, std::size_t end) {
    if (end <= m_digested) {
        return;
    }
    for (EVP_MD_CTX* c : m_contexts) {
        EVP_DigestUpdate(c, body.data() + m_digested, end - m_digested);
    }
    m_digested = end;
}

std::optional<DocumentDigest> CDocumentDigester::Result() const {
    if (m_phase != Phase::Done) {
        return std::nullopt;
    }
    return m_result;
}

std::string HttpResponse(int status, std::string_view reason, std::string_view contentType,
                         std::string_view body) {
    std::string r = "HTTP/1.0 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
    r += "Server: faxsim\r\n";
    r += "Content-Type: " + std::string(contentType) + "\r\n";
    r += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    r += "Connection: close\r\n\r\n";
    r += body;
    return r;
}

CFaxService::CFaxService(Config config) : m_config(std::move(config)) {
    LoadJobs();
}

// One line per job: id, user, created, final state, stuck, list count, number (tab-separated).
// A line cut by a crash is skipped.
void CFaxService::LoadJobs() {
    std::ifstream in(m_config.jobsFile);
    std::string line;
    while (!m_config.jobsFile.empty() && std::getline(in, line)) {
        std::istringstream fields(line);
        Job job;
        int stuck = 0;
        if (!(fields >> job.id >> job.user >> job.created >> job.finalState >> stuck >>
              job.listCount) ||
            job.id <= 0) {
            continue;
        }
        fields >> job.phone;
        job.stuck = stuck != 0;
        m_jobs[job.id] = job;
        m_nextId = std::max(m_nextId, job.id + 1);
    }
}

void CFaxService::KeepJob(const Job& job) {
    if (m_config.jobsFile.empty()) {
        return;
    }
    std::ofstream out(m_config.jobsFile, std::ios::app);
    out << job.id << '\t' << job.user << '\t' << job.created << '\t' << job.finalState << '\t'
        << (job.stuck ? 1 : 0) << '\t' << job.listCount << '\t' << job.phone << '\n';
}

Reply CFaxService::XmlReply(const std::string& innerXml) {
    std::string xml;
    if (m_config.utf8Replies) {
        xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n" + innerXml + "\r\n";
    } else {
        xml = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n" +
              platform::Utf8ToCp1251(innerXml) + "\r\n";
    }
    std::string type =
        m_config.utf8Replies ? "text/xml; charset=utf-8" : "text/xml; charset=windows-1251";
    return ApplyFault(Reply{HttpResponse(200, "OK", type, xml)});
}

Reply CFaxService::ErrorReply(int code, const std::string& message, const std::string& details) {
    return XmlReply("<response><error code=\"" + std::to_string(code) + "\" message=\"" +
                    platform::HtmlText(message) + "\" details=\"" + platform::HtmlText(details) +
                    "\"/></response>");
}

Reply CFaxService::ApplyFault(Reply reply) {
    Fault fault = m_config.fault;
    if (m_pendingCount > 0) {
        fault = m_pendingFault;
        --m_pendingCount;
    }
    reply.fault = fault;
    reply.delayMs = m_config.delayMs;
    switch (fault) {
    case Fault::Http500:
        reply.bytes = HttpResponse(500, "Internal Server Error", "text/html; charset=utf-8",
                                   "<html><body><h1>500 Internal Server Error</h1></body></html>");
        break;
    case Fault::NotXml:
        reply.bytes = HttpResponse(200, "OK", "text/html; charset=utf-8",
                                   "<html><body>Сервис временно недоступен</body></html>");
        break;
    case Fault::Malformed:
        reply.bytes = HttpResponse(200, "OK", "text/xml",
                                   "<?xml version=\"1.0\"?>\r\n<response><data><item id=\"1\">"
                                   "</data></response>\r\n");
        break;
    default:
        break;
    }
    return reply;
}

Account* CFaxService::Authenticate(std::string_view user, std::string_view digest) {
    for (Account& a : m_config.accounts) {
        if (platform::Utf8ToCp1251(a.user) == user) {
            std::string expected =
                a.password.empty() ? std::string() : Md5Hex(platform::Utf8ToCp1251(a.password));
            return expected == digest ? &a : nullptr;
        }
    }
    return nullptr;
}

std::int32_t CFaxService::StateOf(const Job& job, std::int64_t now) const {
    if (job.stuck) {
        return kJobStateNoFunds;
    }
    bool byQueries =
        m_config.deliverAfterQueries >= 0 && job.queries > m_config.deliverAfterQueries;
    bool byTime =
        m_config.deliverAfterSeconds > 0 && now - job.created >= m_config.deliverAfterSeconds;
    return byQueries || byTime ? job.finalState : kJobStateQueued;
}

std::optional<std::int32_t> CFaxService::PeekState(std::int32_t id, std::int64_t now) {
    std::lock_guard lock(m_mutex);
    auto it = m_jobs.find(id);
    if (it == m_jobs.end()) {
        return std::nullopt;
    }
    return StateOf(it->second, now);
}

Reply CFaxService::Handle(const HttpRequest& request, std::int64_t now) {
    std::lock_guard lock(m_mutex);
    std::string_view target = request.target;
    std::string_view path = target.substr(0, target.find('?'));
    std::string_view query =
        path.size() < target.size() ? target.substr(path.size() + 1) : std::string_view();
    if (request.method == "GET" && path == "/api/__gate.php") {
        return HandleGate(query, now);
    }
    if (request.method == "GET" && path == "/__control") {
        return HandleControl(query);
    }
    bool isSend = path == "/api/fax.send.api.php";
    bool isCheck = path == "/api/fax.check.api.php";
    if (request.method != "POST" || (!isSend && !isCheck)) {
        return Reply{HttpResponse(404, "Not Found", "text/html; charset=utf-8",
                                  "<html><body><h1>404 Not Found</h1></body></html>")};
    }
    const std::string* type = request.Header("Content-type");
    if (request.version != "HTTP/1.0" || type == nullptr ||
        *type != "multipart/form-data, boundary=------------56CDD882") {
        return ErrorReply(1, "Неверный формат запроса", "заголовок запроса");
    }
    std::vector<FormField> fields;
    std::string why;
    if (!ParseClientMultipart(request.body, fields, why)) {
        return ErrorReply(1, "Неверный формат запроса", why);
    }
    return isSend ? HandleSend(request, fields, now) : HandleCheck(fields, now);
}

std::optional<std::string> CFaxService::PasswordOf(std::string_view user) {
    std::lock_guard lock(m_mutex);
    for (const Account& a : m_config.accounts) {
        if (platform::Utf8ToCp1251(a.user) == user) {
            return a.password;
        }
    }
    return std::nullopt;
}

Reply CFaxService::HandleSend(const HttpRequest& request, const std::vector<FormField>& fields,
                              std::int64_t now) {
    std::string why;
    if (!CheckOrder(fields,
                    {{"username", true},
                     {"password", true},
                     {"Phone", false},
                     {"item_csv", false},
                     {"Attempts", true},
                     {"Delay", true},
                     {"Descr", true},
                     {"userfile", true}},
                    why)) {
        return ErrorReply(1, "Неверный формат запроса", why);
    }
    const FormField* file = Find(fields, "userfile");
    const FormField* phone = Find(fields, "Phone");
    const FormField* list = Find(fields, "item_csv");
    if (!file->isFile || (list != nullptr && !list->isFile) || Find(fields, "Descr")->isFile) {
        return ErrorReply(1, "Неверный формат запроса", "вид поля");
    }
    Account* acc = Authenticate(Find(fields, "username")->value, Find(fields, "password")->value);
    if (acc == nullptr) {
        return ErrorReply(2, "Неверное имя пользователя или пароль", "");
    }
    if (file->value.empty()) {
        return ErrorReply(3, "Файл факса не передан", "");
    }
    // The digests made while the body arrived count when they cover exactly this document.
    const std::optional<DocumentDigest>& digest = request.documentDigest;
    const std::string_view value = file->value;
    bool signedRight = false;
    if (digest && value.size() >= 32 && digest->password == acc->password &&
        digest->start == static_cast<std::size_t>(value.data() - request.body.data()) &&
        digest->signedLength == value.size() - 32) {
        for (const std::string& md5 : digest->md5s) {
            signedRight = signedRight || md5 == value.substr(value.size() - 16);
        }
    } else {
        signedRight = HasValidTrailer(value, acc->password);
    }
    if (!signedRight) {
        return ErrorReply(4, "Неверная подпись файла факса", "");
    }
    std::int64_t attempts = 0;
    std::int64_t delay = 0;
    if (!ParseInt(Find(fields, "Attempts")->value, attempts) ||
        !ParseInt(Find(fields, "Delay")->value, delay)) {
        return ErrorReply(1, "Неверный формат запроса", "Attempts или Delay");
    }
    Job job;
    job.user = acc->user;
    job.created = now;
    job.description = platform::Cp1251ToUtf8(Find(fields, "Descr")->value);
    int cost = 1;
    if (phone != nullptr) {
        job.phone = platform::Cp1251ToUtf8(phone->value);
        if (job.phone.empty()) {
            return ErrorReply(5, "Не указан номер получателя", "");
        }
        if (EndsWith(job.phone, m_config.failSuffix)) {
            job.finalState = kJobStateNotDelivered;
        }
    } else if (list != nullptr) {
        job.listCount = CountNumbers(list->value);
        if (job.listCount == 0) {
            return ErrorReply(5, "Не указан номер получателя", ": список номеров пуст");
        }
        cost = job.listCount;
    } else {
        return ErrorReply(5, "Не указан номер получателя", "");
    }
    if (acc->balance >= 0) {
        if (acc->balance < cost) {
            job.stuck = true;
            acc->balance = 0;
        } else {
            acc->balance -= cost;
        }
    }
    job.id = m_nextId++;
    m_jobs[job.id] = job;
    KeepJob(job);
    return XmlReply("<response><error code=\"0\" message=\"Факс принят к отправке\" details=\"\"/>"
                    "<data><item id=\"" +
                    std::to_string(job.id) + "\"/></data></response>");
}

Reply CFaxService::HandleCheck(const std::vector<FormField>& fields, std::int64_t now) {
    std::string why;
    if (!CheckOrder(fields, {{"username", true}, {"password", true}, {"faxid", true}}, why)) {
        return ErrorReply(1, "Неверный формат запроса", why);
    }
    Account* acc = Authenticate(Find(fields, "username")->value, Find(fields, "password")->value);
    if (acc == nullptr) {
        return ErrorReply(2, "Неверное имя пользователя или пароль", "");
    }
    std::int64_t id = 0;
    if (!ParseInt(Find(fields, "faxid")->value, id)) {
        return ErrorReply(1, "Неверный формат запроса", "faxid");
    }
    auto it = m_jobs.find(static_cast<std::int32_t>(id));
    if (it == m_jobs.end() || it->second.user != acc->user) {
        return ErrorReply(6, "Задание не найдено", "");
    }
    ++it->second.queries;
    return XmlReply("<response><data><item id=\"" + std::to_string(id) + "\" jobstatus=\"" +
                    std::to_string(StateOf(it->second, now)) + "\"/></data></response>");
}

Reply CFaxService::HandleGate(std::string_view query, std::int64_t now) {
    Account* acc = Authenticate(platform::Utf8ToCp1251(QueryValue(query, "username")),
                                QueryValue(query, "password"));
    if (acc == nullptr) {
        return Reply{HttpResponse(403, "Forbidden", "text/html; charset=utf-8",
                                  "<html><head><meta charset=\"utf-8\"><title>Отчёт о доставке"
                                  "</title></head><body><p>Доступ запрещён: неверное имя "
                                  "пользователя или пароль.</p></body></html>\n")};
    }
    std::string html = "<html><head><meta charset=\"utf-8\"><title>Отчёт о доставке</title>"
                       "</head><body><h1>Отчёт о доставке: " +
                       platform::HtmlText(acc->user) +
                       "</h1>\n<table border=\"1\">\n<tr><th>Задание</th><th>Получатель</th>"
                       "<th>Описание</th><th>Состояние</th></tr>\n";
    for (const auto& [id, job] : m_jobs) {
        if (job.user != acc->user) {
            continue;
        }
        std::string to =
            job.phone.empty() ? "список: " + std::to_string(job.listCount) + " номеров" : job.phone;
        html += "<tr><td>" + std::to_string(id) + "</td><td>" + platform::HtmlText(to) +
                "</td><td>" + platform::HtmlText(job.description) + "</td><td>" +
                JobStateText(StateOf(job, now)) + "</td></tr>\n";
    }
    html += "</table>\n";
    if (acc->balance >= 0) {
        html += "<p>Баланс: " + std::to_string(acc->balance) + "</p>\n";
    }
    html += "</body></html>\n";
    return Reply{HttpResponse(200, "OK", "text/html; charset=utf-8", html)};
}

Reply CFaxService::HandleControl(std::string_view query) {
    std::string name = QueryValue(query, "fault");
    std::optional<Fault> fault = FaultFromName(name);
    if (!fault) {
        return Reply{HttpResponse(400, "Bad Request", "text/plain", "unknown fault\n")};
    }
    std::int64_t count = 1;
    std::string c = QueryValue(query, "count");
    if (!c.empty() && !ParseInt(c, count)) {
        return Reply{HttpResponse(400, "Bad Request", "text/plain", "bad count\n")};
    }
    std::string d = QueryValue(query, "delay");
    std::int64_t delay = 0;
    if (!d.empty() && ParseInt(d, delay)) {
        m_config.delayMs = static_cast<int>(delay);
    }
    m_pendingFault = *fault;
    m_pendingCount = static_cast<int>(count);
    return Reply{HttpResponse(200, "OK", "text/plain", "ok\n")};
}

} // namespace faxsim
