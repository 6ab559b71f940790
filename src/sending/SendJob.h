#pragma once
// What the three send jobs share: the fields every dialog holds (credentials, attempts,
// delay, send time), the rule that any edit needs "Готово" again, and the submission step
// split so that the post can run off the GUI thread:
//   Prepare (GUI thread: reads the fields and the settings, may show messages)
//   Post    (any thread: no UI, no settings, only the network)
//   Finish  (GUI thread: messages, records, job file).
#include "app/Ports.h"
#include "sending/SendMessages.h"
#include "service/FormPost.h"
#include "store/SentFaxes.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Send modes of the radio group.
constexpr int kSendAtOnce = 0;
constexpr int kSendAtTime = 1;

// One step of an up-down control: value + delta, clamped to [low, high].
int SpinStep(int value, int delta, int low, int high);

// The pickers at opening: the stored send time when it lies after `now`; otherwise today and
// the next full hour. Both are seconds since 1970.
void InitialSendTime(std::int64_t stored, std::int64_t now, std::int64_t& date, std::int64_t& time);
// The local time made of the date's day and the time's hour and minute, seconds 0.
std::int64_t CombineSendTime(std::int64_t date, std::int64_t time);
// "0000-00-00 00:00" for sending at once, else "%4d-%02d-%02d %02d:%02d" of the pickers.
std::string SendTimeText(int sendMode, std::int64_t date, std::int64_t time);

// What a submission reply said.
struct CSubmitResult {
    enum class Kind {
        NoReply,  // no tree, or no "response"; also code 0 without a job id (no "data"/"item",
                  // or an id that is not a positive decimal number)
        NotSent,  // the connection could not be made: the service got nothing
        NoError,  // "response" without "error": nothing is read further
        Refused,  // error code not 0
        Accepted, // code 0 and an item id
    };
    Kind kind = Kind::NoReply;
    std::int32_t code = 0;
    std::string message; // as received (lower case)
    std::string details;
    std::int32_t id = 0;
    ExchangeFailure failure = ExchangeFailure::None; // None also when a reply came unreadable
    std::string host;                                // the service's, for the messages
};

// Tells why a submission of kind NotSent went nowhere: a refusing proxy, a certificate that
// failed, or no connection.
void TellNotSent(IPrompt& prompt, const CSubmitResult& result);

CSubmitResult ReadSubmitReply(const Dictionary* top);
// Posts one submission and reads the reply. Thread-safe; shows nothing.
CSubmitResult PostSubmission(const SendFaxRequest& request, const ServiceEndpoint& endpoint);

// A request ready to go: everything Post needs, copied out of the job.
struct CPosting {
    SendFaxRequest request;
    ServiceEndpoint endpoint;
};

enum class SendOutcome {
    StayOpen,  // nothing submitted: the dialog stays open
    Submitted, // the dialog ends with IDOK
};

// "X.tif" -> "X.FAX": the job file a send dialog writes beside its image.
std::string NewJobFilePath(const std::string& imagePath);

// Writes the record into `path` and hands it to `records`. A file error is shown through the
// prompt, naming the path; false then.
bool WriteNewJobFile(CFaxEntryBase& record, const std::string& path, IPrompt& prompt,
                     ISentRecords& records);

// The fields every send dialog holds.
class CSendJobBase {
public:
    CSendJobBase(IPrompt& prompt, ISentRecords& records, int attempts, int maxAttempts)
        : m_attempts(attempts), m_prompt(prompt), m_records(records), m_maxAttempts(maxAttempts) {}
    virtual ~CSendJobBase() = default;
    CSendJobBase(const CSendJobBase&) = delete;
    CSendJobBase& operator=(const CSendJobBase&) = delete;

    std::int32_t m_attempts;
    bool m_rememberPwd = false;
    std::int32_t m_delay = 10;
    std::string m_userName;
    std::string m_password;
    std::int64_t m_sendDate = 0;
    std::int64_t m_sendTime = 0;
    std::int32_t m_sendMode = kSendAtOnce;

    // Any change of a field the dialog shows: "Готово" must run again before "Отправить".
    void Edited() { m_sendEnabled = false; }
    void SpinAttempts(int delta);
    void SpinDelay(int delta);
    void SetSendMode(int mode);

    bool SendEnabled() const { return m_sendEnabled; }
    bool PickersEnabled() const { return m_sendMode == kSendAtTime; }
    // True once the job file of an accepted submission is on disk: only then may the printed
    // document go.
    bool Recorded() const { return m_recorded; }
    // The job file of the last send ("" before one).
    const std::string& JobFilePath() const { return m_jobFilePath; }

protected:
    // The job file is written in full before the post: a full or read-only disk then stops the
    // send before the service has the fax, and the file's room is taken for the answer. A file
    // error is shown naming the path; false then.
    bool ReserveJobFile(std::string_view bytes, const std::string& path);
    // The record (its bytes) with the service's ids over the reservation, then handed to the sent
    // records. When even that fails the user is told that the service accepted the jobs `jobIds`,
    // and the job file keeps the reservation; false then.
    bool RecordAccepted(std::string_view bytes, const std::string& path, const std::string& jobIds);
    // Asks before the image at `image` goes again to one of `numbers` that had it within the last
    // days; false when the user would rather not.
    bool ConfirmNotSentBefore(const std::string& image, const std::vector<std::string>& numbers);
    // The post was not accepted: the reservation goes.
    static void DropReservation(const std::string& path);
    // The service's answer to the post: true when it accepted; otherwise the reservation goes
    // and the user is told (a refusal in the service's words, `refusal`).
    bool TakeAnswer(const CSubmitResult& result, const std::string& refusal);

    // The list jobs' fields from the settings at opening, and back into them at "Готово".
    void TakeListFields(std::int64_t now);
    void PutListFields();

    // The send time stored by "Готово" in send mode 1.
    std::int64_t PickedSendTime() const { return CombineSendTime(m_sendDate, m_sendTime); }

    IPrompt& m_prompt;
    ISentRecords& m_records;
    bool m_sendEnabled = false;
    bool m_recorded = false;
    std::string m_jobFilePath;
    int m_maxAttempts;
};
