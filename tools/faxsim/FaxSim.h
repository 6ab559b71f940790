#pragma once
// faxsim: a simulator of the fax service for tests and demos. This header holds its logic
// (request parsing, accounts, jobs, replies) apart from the socket loop so both can be tested.
#include <openssl/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace faxsim {

enum class Fault {
    None,
    Delay,     // wait before answering
    Cut,       // send part of the reply, then reset the connection
    Http500,   // an HTTP error page without XML
    NotXml,    // a 200 page that holds no XML
    Malformed, // XML that is not well-formed
    Hang,      // never answer
};
std::optional<Fault> FaultFromName(std::string_view name);

struct Account {
    std::string user;          // UTF-8
    std::string password;      // UTF-8, plain
    std::int64_t balance = -1; // faxes left; -1 unlimited
};

struct Config {
    std::vector<Account> accounts;
    int deliverAfterQueries = 1;    // a job is final from query N+1 on
    int deliverAfterSeconds = 0;    // ... or this long after submission (0: never by time)
    std::string failSuffix = "000"; // numbers ending so are not delivered
    bool utf8Replies = false;       // replies declare windows-1251 unless set
    Fault fault = Fault::None;      // applied to every API reply
    int delayMs = 3000;             // for Fault::Delay
    std::string jobsFile;           // jobs kept across runs (the demo), or "" for none
};

// Reads "key value..." lines (# comments) into `config`; false with `error` on a bad line.
bool LoadConfigFile(const std::string& path, Config& config, std::string& error);
// One "--account" value: USER:PASSWORD[:BALANCE].
bool ParseAccountSpec(std::string_view spec, Account& account);

// The signature digests of a submission's document, made while its body arrived.
struct DocumentDigest {
    std::size_t start = 0;         // where the document's bytes begin in the body
    std::size_t signedLength = 0;  // the bytes before the 32-byte trailer
    std::string password;          // the account's password (UTF-8) the digests were made with
    std::vector<std::string> md5s; // MD5(password form, signed bytes), raw, one per form
};

struct HttpRequest {
    std::string method;
    std::string target;                                       // path and query
    std::string version;                                      // "HTTP/1.0"
    std::vector<std::pair<std::string, std::string>> headers; // names as sent
    std::string body;
    std::optional<DocumentDigest> documentDigest;           // when the socket loop made one
    const std::string* Header(std::string_view name) const; // name compared without case
};

// Parses the request line and headers (the text before the blank line).
bool ParseHttpHead(std::string_view head, HttpRequest& request);

struct FormField {
    std::string name;
    bool isFile = false;
    std::string filename;
    std::string_view value; // bytes as sent, within the parsed body
};

// Parses the client's multipart layout: every part opened and closed by the delimiter line,
// no other header lines, no closing "--". False with a reason for anything else.
bool ParseClientMultipart(std::string_view body, std::vector<FormField>& fields,
                          std::string& error);

// MD5 as 32 lower-case hex digits.
std::string Md5Hex(std::string_view bytes);
// The 32-byte signature trailer for `content`: MD5(password, subject, address) and
// MD5(password, content). Tests use it to sign documents the way the client does.
std::string SignatureTrailer(std::string_view password, std::string_view subject,
                             std::string_view address, std::string_view content);
// Whether `file` ends in a trailer whose second digest matches `password`.
bool HasValidTrailer(std::string_view file, std::string_view password);
// The password forms a client may sign with: its code-page bytes and, when they differ, its
// UTF-8 bytes.
std::vector<std::string> PasswordForms(std::string_view password);

// Follows the body of a submission while it arrives and digests the document's signed bytes
// on the way, so that checking the signature needs no second pass over a large upload. Where
// its reading of the body could differ from the final parse, it makes no digest.
class CDocumentDigester {
public:
    // `passwordOf(user)` gives the password (UTF-8) of the account named by the username
    // field as sent, or nullopt.
    using PasswordLookup = std::function<std::optional<std::string>(std::string_view user)>;
    explicit CDocumentDigester(PasswordLookup passwordOf);
    ~CDocumentDigester();
    CDocumentDigester(const CDocumentDigester&) = delete;
    CDocumentDigester& operator=(const CDocumentDigester&) = delete;

    // `body` is the body received so far: the same bytes as before and more.
    void Feed(std::string_view body);
    // The digests once the document's end has been seen.
    std::optional<DocumentDigest> Result() const;

private:
    void Digest(std::string_view body, std::size_t end);

    PasswordLookup m_passwordOf;
    enum class Phase { FindDocument, Digest, Done, GaveUp } m_phase = Phase::FindDocument;
    std::size_t m_searchFrom = 0;
    std::size_t m_digested = 0; // body offset up to which the document has been digested
    DocumentDigest m_result;
    std::vector<EVP_MD_CTX*> m_contexts; // one per password form
};

struct Reply {
    std::string bytes; // the whole HTTP response
    Fault fault = Fault::None;
    int delayMs = 0;
};

struct Job {
    std::int32_t id = 0;
    std::string user;
    std::string phone; // the number, or "" for a list
    int listCount = 0;
    std::string description; // UTF-8
    std::int64_t created = 0;
    int queries = 0;
    std::int32_t finalState = 2;
    bool stuck = false; // no funds: state 6 for good
};

class CFaxService {
public:
    explicit CFaxService(Config config);

    // Answers one request; `now` in seconds since 1970. Thread-safe.
    Reply Handle(const HttpRequest& request, std::int64_t now);

    // The state a status query would report now, without counting a query.
    std::optional<std::int32_t> PeekState(std::int32_t id, std::int64_t now);

    // The password of the account a username field (as sent) names. Thread-safe.
    std::optional<std::string> PasswordOf(std::string_view user);

private:
    Reply HandleSend(const HttpRequest& request, const std::vector<FormField>& fields,
                     std::int64_t now);
    Reply HandleCheck(const std::vector<FormField>& fields, std::int64_t now);
    Reply HandleGate(std::string_view query, std::int64_t now);
    Reply HandleControl(std::string_view query);
    Reply XmlReply(const std::string& innerXml);
    Reply ErrorReply(int code, const std::string& message, const std::string& details);
    Reply ApplyFault(Reply reply);
    Account* Authenticate(std::string_view user, std::string_view digest);
    std::int32_t StateOf(const Job& job, std::int64_t now) const;
    void LoadJobs();
    void KeepJob(const Job& job);

    std::mutex m_mutex;
    Config m_config;
    std::map<std::int32_t, Job> m_jobs;
    std::int32_t m_nextId = 5000001;
    Fault m_pendingFault = Fault::None;
    int m_pendingCount = 0;
};

std::string HttpResponse(int status, std::string_view reason, std::string_view contentType,
                         std::string_view body);

} // namespace faxsim
