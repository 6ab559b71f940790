#pragma once
// The settings record: every persistent option, loaded once from the main key
// HKLM\SOFTWARE\Tarnwell\Plendor; SaveSettings writes back what this process changed. Field
// names are the registry value names. Loaded and changed on the GUI thread (or a tool's one
// thread); a worker is handed what it needs instead of reading it here.
#include <cstdint>
#include <optional>
#include <string>

class IPrompt;

struct CSettings {
    std::string ProgDir;
    std::string FaxDir;
    std::string DataDir;
    bool UseOwnViewer = false;
    bool UseSMAPI = true;
    bool AutoShowOnPrint = true;
    // A desktop notification when a synchronisation finds faxes delivered or not delivered.
    bool NotifyOnSync = true;
    std::string DefaultAreaCode = "8812";
    std::string LastAreaCode = "812";
    std::string LastCountryCode = "7";
    int LastLocation = 0;
    bool HideContentWarning = false;
    std::string UserID;
    bool RememberPwd = false;
    std::string UserPWD; // the password of this run, also when it is not remembered
    std::string FFUserID;
    std::string SMTPAddress;
    std::string SMTPMailFrom;
    bool FFRememberPwd = false;
    std::string FFUserPWD; // 8 characters in memory
    bool HideMAPIMsg = false;
    bool HideBATVERMsg = false;
    std::int32_t LastFaxID = 1000000000;  // the next fax id: taken only through TakeIds
    std::int32_t LastListID = 2000000000; // the next list id: taken only through TakeIds
    bool ConfirmDeleteItem = false;
    bool ClearNewFaxSection = true;
    bool DeleteSentAfterDays = false;
    bool DeleteReceivedAfterDays = false;
    bool AutoSyncronize = false;
    bool DeleteE2FConf = false;
    bool DeleteF2EConf = false;
    std::int32_t SyncronizationDelay = 10; // minutes, 10..300
    std::int32_t SentDeleteDays = 0;
    std::int32_t ReceivedDeleteDays = 0;
    std::int32_t SentFilterType = 0;
    std::int32_t RcvdFilterType = 0;
    std::int32_t SentFilterData = 0;
    std::int32_t RcvdFilterData = 0;
    std::int32_t LastFaxAttempts = 5;
    std::int32_t LastFaxDelay = 10;
    std::int32_t LastFaxSendASAP = 0;
    std::int64_t LastFaxSendTime = 0; // seconds since 1970; "now" when missing
    std::int32_t LastListAttempts = 3;
    std::int32_t LastListDelay = 10;
    std::int32_t LastListSendASAP = 0;
    std::int64_t LastListSendTime = 0;
    // Service hosts, "host" or "host:port" (port 80 when absent).
    std::string ApiHost;
    std::string WebHost;
    // The office's proxy for the service, "host:port"; "" leaves it to http_proxy, https_proxy
    // and no_proxy in the environment. User and password only where the proxy asks for them.
    std::string ProxyHost;
    std::string ProxyUser;
    std::string ProxyPassword;
    // Whether the remembered passwords are in the desktop's keyring, the hive then keeping none.
    // Found when loading, never saved.
    bool PasswordInKeyring = false;
    bool ProxyPasswordInKeyring = false;

    // From the mail client's keys; never saved.
    bool MailClientIsTheBat = false;
    int TheBatVersion = 0;
};

// The process-wide record.
CSettings& Settings();

constexpr const char* kMainKey = "SOFTWARE\\Tarnwell\\Plendor";
constexpr const char* kDefaultApiHost = "api.velquin.net";
constexpr const char* kDefaultWebHost = "www.velquin.net";
constexpr const char* kDefaultSmtpAddress = "relay.velquin.net";

// A settings file that cannot be read or parsed; %s = "file:line: what".
constexpr unsigned kMsgBadSettingsFile = 9335;

// The ranges of the fax and list ids; a stored id outside them starts again at the first.
constexpr std::int32_t kFirstFaxId = 1000000000;
constexpr std::int32_t kLastFaxId = 2000000000;
constexpr std::int32_t kFirstListId = 2000000000;

// Loads every value once per process. False when the main key is missing (silently), when the
// settings file cannot be read or parsed (message kMsgBadSettingsFile as a file error through
// `prompt`) or when a directory value is missing (message 1018 through `prompt`).
bool LoadSettings(IPrompt& prompt);
// Writes the values this process changed since it last loaded or saved them (and any the file
// lacks), merged into the file as it is now: another program's change of another value stays.
// The fax and list ids are never written here (see TakeIds). 0 or the error of the write.
int SaveSettings();
// The same, a failure shown through `prompt` as a file error naming the hive file: a full or
// read-only disk must not lose the settings (the next fax and list ids among them) unnoticed.
bool SaveSettings(IPrompt& prompt);

// Ids for a submission: `faxIds` consecutive fax ids from `firstFax`, and a list id when asked.
struct CTakenIds {
    std::int32_t firstFax = 0;
    std::int32_t list = 0;
};
// Saves the settings as SaveSettings does and takes the ids from LastFaxID / LastListID, in one
// read-modify-write of the hive under its lock, so that no other program or window sending at
// the same time gets the same. A hive that cannot be written is reported through `prompt` and
// the ids are given all the same; this process never gives them again.
CTakenIds TakeIds(std::int32_t faxIds, bool listId, IPrompt& prompt);

// What a first setup writes into the main key (velquin-tool setup, the first-start dialog).
struct CSetupValues {
    std::string progDir, faxDir, dataDir;
    std::string apiHost, webHost, user;  // left as they are when empty
    std::optional<std::string> password; // remembered when given
};
// Writes them into the main key (created when missing). "" or why the hive cannot take them.
std::string WriteSetupKey(const CSetupValues& values);

std::string ScramblePassword(const std::string& password8);
std::string UnscramblePassword(const std::string& scrambled16);

// The maker's viewer: ProgDir + "/" (when missing) + "TWTiffView".
std::string OwnViewerPath();
// The fax printer's program, beside it: "velquin-print".
std::string FaxPrinterPath();

// Loads the settings once more, from the defaults: after a first setup wrote the key.
bool LoadSettingsAfterSetup(IPrompt& prompt);
// Tests: forget the loaded-once flag and restore every default.
void ResetSettingsForTest();

// The Bat!'s version text with every "." removed, as a decimal number ("1.6" -> 16).
int TheBatVersionNumber(const std::string& versionText);
