#pragma once
// The settings record: every persistent option, loaded once from the main key
// HKLM\SOFTWARE\Tarnwell\Plendor and written back whole by SaveSettings. Field names are the
// registry value names. Loaded on the GUI thread before any worker starts; workers only read.
#include <cstdint>
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
    std::int32_t LastFaxID = 1000000000;
    std::int32_t LastListID = 2000000000;
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

// Loads every value once per process. False when the main key is missing (silently), when the
// settings file cannot be read or parsed (message kMsgBadSettingsFile as a file error through
// `prompt`) or when a directory value is missing (message 1018 through `prompt`).
bool LoadSettings(IPrompt& prompt);
// Writes every saved value in order; 0 or the error of creating the key.
int SaveSettings();
// The same, a failure shown through `prompt` as a file error naming the hive file: a full or
// read-only disk must not lose the settings (the next fax and list ids among them) unnoticed.
bool SaveSettings(IPrompt& prompt);

std::string ScramblePassword(const std::string& password8);
std::string UnscramblePassword(const std::string& scrambled16);

// The maker's viewer: ProgDir + "/" (when missing) + "TWTiffView".
std::string OwnViewerPath();

// Tests: forget the loaded-once flag and restore every default.
void ResetSettingsForTest();

// Splits "host" or "host:port" (port 80 when absent or invalid).
void SplitHostPort(const std::string& hostPort, std::string& host, int& port);

// The Bat!'s version text with every "." removed, as a decimal number ("1.6" -> 16).
int TheBatVersionNumber(const std::string& versionText);
