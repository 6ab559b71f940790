#include "app/Settings.h"

#include "app/Archive.h"
#include "app/Log.h"
#include "app/Ports.h"
#include "platform/Encoding.h"
#include "platform/Keyring.h"
#include "platform/Registry.h"
#include "resources/Strings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

using platform::CRegKey;
using platform::Hive;
using platform::RegType;
using platform::RegValue;

namespace {

CSettings g_settings;
// The values as this process last read or wrote them: SaveSettings writes only what differs.
CSettings g_stored;
bool g_loaded = false;

// Buffer sizes of the original's queries: a stored value larger than its buffer is ignored.
constexpr std::size_t kDirBuffer = 4096; // Linux paths are longer than the original's 256
constexpr std::size_t kTextBuffer = 128;
constexpr std::size_t kOneFlagBuffer = 2;
constexpr std::size_t kFlagBuffer = 16;

constexpr const char* kScrambleTemplate = "Qe7TbWz3LmKd9PfA";

// The stored text up to its first terminator, or nullopt when the value is missing or larger
// than `buffer`.
std::optional<std::string> ReadText(const CRegKey& key, const char* name, std::size_t buffer) {
    RegValue v;
    if (key.QueryValue(name, v) != 0 || v.bytes.size() > buffer) {
        return std::nullopt;
    }
    std::string text = v.bytes;
    if (auto nul = text.find('\0'); nul != std::string::npos) {
        text.resize(nul);
    }
    return text;
}

void LoadText(const CRegKey& key, const char* name, std::size_t buffer, std::string& out) {
    if (auto t = ReadText(key, name, buffer); t && !t->empty()) {
        out = *t;
    }
}

void LoadOneFlag(const CRegKey& key, const char* name, bool& out) {
    if (auto t = ReadText(key, name, kOneFlagBuffer); t && !t->empty()) {
        out = (*t)[0] == '1';
    }
}

void LoadNotZeroFlag(const CRegKey& key, const char* name, bool& out) {
    if (auto t = ReadText(key, name, kFlagBuffer); t && !t->empty()) {
        out = (*t)[0] != '0';
    }
}

template <typename T> void LoadRaw(const CRegKey& key, const char* name, T& out) {
    RegValue v;
    if (key.QueryValue(name, v) == 0 && v.bytes.size() == sizeof(T)) {
        std::memcpy(&out, v.bytes.data(), sizeof(T)); // little-endian, as stored
    }
}

void LoadDecimal(const CRegKey& key, const char* name, std::int32_t& out) {
    if (auto t = ReadText(key, name, kTextBuffer); t && !t->empty()) {
        out = static_cast<std::int32_t>(std::strtol(t->c_str(), nullptr, 10));
    }
}

void LoadMailClient(CSettings& s) {
    CRegKey mail;
    if (mail.Open(Hive::LocalMachine, "SOFTWARE\\Clients\\Mail") != 0) {
        return;
    }
    auto client = ReadText(mail, "", 260);
    s.MailClientIsTheBat = client && client->find("The Bat!") != std::string::npos;
    if (!s.MailClientIsTheBat) {
        return;
    }
    CRegKey bat;
    if (bat.Open(Hive::CurrentUser, "SOFTWARE\\RIT\\The Bat!") != 0) {
        return;
    }
    if (auto version = ReadText(bat, "Version", 260)) {
        s.TheBatVersion = TheBatVersionNumber(*version);
    }
}

} // namespace

CSettings& Settings() {
    return g_settings;
}

int TheBatVersionNumber(const std::string& versionText) {
    std::string digits;
    for (char c : versionText) {
        if (c != '.') {
            digits += c;
        }
    }
    return static_cast<int>(std::strtol(digits.c_str(), nullptr, 10));
}

namespace {

// Where the keyring keeps the service's and the proxy's passwords of this settings file.
platform::KeyringAttributes ServiceSecret(const CSettings& s) {
    return {
        {"kind", "service"}, {"hive", platform::HivePath(Hive::LocalMachine)}, {"user", s.UserID}};
}

platform::KeyringAttributes ProxySecret(const CSettings& s) {
    return {{"kind", "proxy"},
            {"hive", platform::HivePath(Hive::LocalMachine)},
            {"user", s.ProxyUser + "@" + s.ProxyHost}};
}

// A remembered password goes to the keyring when there is one, the hive keeping none; it
// leaves the keyring when it is no longer remembered or its user changed. Nothing is asked
// of the keyring while nothing about the password changed.
void PlaceSecret(const platform::KeyringAttributes& now, const platform::KeyringAttributes& before,
                 bool remember, const std::string& secret, const std::string& storedSecret,
                 bool& inKeyring) {
    if (inKeyring && (!remember || secret.empty() || now != before)) {
        platform::KeyringClear(before);
        inKeyring = false;
    }
    if (remember && !secret.empty() && (!inKeyring || secret != storedSecret)) {
        inKeyring = platform::KeyringStore(now, "Velquin", secret);
    }
}

} // namespace

bool LoadSettings(IPrompt& prompt) {
    if (g_loaded) {
        return true;
    }
    g_loaded = true; // set before the key is opened: a failed load is not retried
    CSettings& s = g_settings;
    s.LastFaxSendTime = s.LastListSendTime = std::time(nullptr);
    s.SMTPAddress = kDefaultSmtpAddress;
    s.ApiHost = kDefaultApiHost;
    s.WebHost = kDefaultWebHost;

    CRegKey key;
    if (const int err = key.Open(Hive::LocalMachine, kMainKey); err != 0) {
        // A damaged or unreadable file is no missing installation: name the file, the line
        // and what is wrong there, so nobody sets up again over it.
        if (err != platform::kRegNotFound) {
            prompt.FileError(
                FormatString(LoadString(kMsgBadSettingsFile), platform::LastRegistryError()));
        }
        return false;
    }
    LoadText(key, "ProgDir", kDirBuffer, s.ProgDir);
    LoadText(key, "FaxDir", kDirBuffer, s.FaxDir);
    LoadText(key, "DataDir", kDirBuffer, s.DataDir);
    if (s.ProgDir.empty() || s.FaxDir.empty() || s.DataDir.empty()) {
        prompt.MessageId(1018, MsgIcon::Error, MsgButtons::Ok);
        return false;
    }
    LoadOneFlag(key, "UseOwnViewer", s.UseOwnViewer);
    {
        // Missing: true; present but empty: false.
        RegValue v;
        if (key.QueryValue("UseSMAPI", v) == 0 && v.bytes.size() <= kOneFlagBuffer) {
            s.UseSMAPI = !v.bytes.empty() && v.bytes[0] == '1';
        }
    }
    LoadOneFlag(key, "AutoShowOnPrint", s.AutoShowOnPrint);
    LoadOneFlag(key, "NotifyOnSync", s.NotifyOnSync);
    LoadText(key, "DefaultAreaCode", kTextBuffer, s.DefaultAreaCode);
    LoadText(key, "LastAreaCode", kTextBuffer, s.LastAreaCode);
    LoadText(key, "LastCountryCode", kTextBuffer, s.LastCountryCode);
    {
        bool location = s.LastLocation != 0;
        LoadOneFlag(key, "LastLocation", location);
        s.LastLocation = location ? 1 : 0;
    }
    LoadNotZeroFlag(key, "HideContentWarning", s.HideContentWarning);
    LoadText(key, "UserID", kTextBuffer, s.UserID);
    LoadNotZeroFlag(key, "RememberPwd", s.RememberPwd);
    if (s.RememberPwd) {
        LoadText(key, "UserPWD", kTextBuffer, s.UserPWD);
    }
    LoadText(key, "FFUserID", kTextBuffer, s.FFUserID);
    if (auto smtp = ReadText(key, "SMTPAddress", kTextBuffer); smtp && smtp->size() > 1) {
        s.SMTPAddress = *smtp;
    }
    LoadText(key, "SMTPMailFrom", kTextBuffer, s.SMTPMailFrom);
    LoadNotZeroFlag(key, "FFRememberPwd", s.FFRememberPwd);
    if (s.FFRememberPwd) {
        RegValue v;
        if (key.QueryValue("FFUserPWD", v) == 0 && v.bytes.size() == 17) {
            s.FFUserPWD = UnscramblePassword(v.bytes.substr(0, 16));
        }
    }
    LoadNotZeroFlag(key, "HideMAPIMsg", s.HideMAPIMsg);
    LoadNotZeroFlag(key, "HideBATVERMsg", s.HideBATVERMsg);
    LoadDecimal(key, "LastFaxID", s.LastFaxID);
    LoadDecimal(key, "LastListID", s.LastListID);
    LoadNotZeroFlag(key, "ConfirmDeleteItem", s.ConfirmDeleteItem);
    LoadNotZeroFlag(key, "ClearNewFaxSection", s.ClearNewFaxSection);
    LoadNotZeroFlag(key, "DeleteSentAfterDays", s.DeleteSentAfterDays);
    LoadNotZeroFlag(key, "DeleteReceivedAfterDays", s.DeleteReceivedAfterDays);
    LoadNotZeroFlag(key, "AutoSyncronize", s.AutoSyncronize);
    LoadNotZeroFlag(key, "DeleteE2FConf", s.DeleteE2FConf);
    LoadNotZeroFlag(key, "DeleteF2EConf", s.DeleteF2EConf);
    LoadRaw(key, "SyncronizationDelay", s.SyncronizationDelay);
    LoadRaw(key, "SentDeleteDays", s.SentDeleteDays);
    LoadRaw(key, "ReceivedDeleteDays", s.ReceivedDeleteDays);
    LoadRaw(key, "SentFilterType", s.SentFilterType);
    LoadRaw(key, "RcvdFilterType", s.RcvdFilterType);
    LoadRaw(key, "SentFilterData", s.SentFilterData);
    LoadRaw(key, "RcvdFilterData", s.RcvdFilterData);
    LoadRaw(key, "LastFaxAttempts", s.LastFaxAttempts);
    LoadRaw(key, "LastFaxDelay", s.LastFaxDelay);
    LoadRaw(key, "LastFaxSendASAP", s.LastFaxSendASAP);
    LoadRaw(key, "LastFaxSendTime", s.LastFaxSendTime);
    LoadRaw(key, "LastListAttempts", s.LastListAttempts);
    LoadRaw(key, "LastListDelay", s.LastListDelay);
    LoadRaw(key, "LastListSendASAP", s.LastListSendASAP);
    LoadRaw(key, "LastListSendTime", s.LastListSendTime);
    LoadText(key, "ApiHost", kTextBuffer, s.ApiHost);
    LoadText(key, "WebHost", kTextBuffer, s.WebHost);
    LoadText(key, "ProxyHost", kTextBuffer, s.ProxyHost);
    LoadText(key, "ProxyUser", kTextBuffer, s.ProxyUser);
    LoadText(key, "ProxyPWD", kTextBuffer, s.ProxyPassword);
    // A password still in the hive (written before there was a keyring) is taken from there
    // and moves to the keyring at the next save.
    if (s.RememberPwd && s.UserPWD.empty()) {
        if (auto password = platform::KeyringLookup(ServiceSecret(s))) {
            s.UserPWD = *password;
            s.PasswordInKeyring = true;
        }
    }
    if (!s.ProxyUser.empty() && s.ProxyPassword.empty()) {
        if (auto password = platform::KeyringLookup(ProxySecret(s))) {
            s.ProxyPassword = *password;
            s.ProxyPasswordInKeyring = true;
        }
    }

    if (s.LastFaxID < kFirstFaxId || s.LastFaxID > kLastFaxId) {
        s.LastFaxID = kFirstFaxId;
    }
    if (s.LastListID < kFirstListId) {
        s.LastListID = kFirstListId;
    }
    if (s.SyncronizationDelay < 10) {
        s.SyncronizationDelay = 10;
    } else if (s.SyncronizationDelay > 300) {
        s.SyncronizationDelay = 300;
    }
    key.Close();
    LoadMailClient(s);
    g_stored = s;
    return true;
}

namespace {

struct SavedRow {
    const char* name;
    RegType type;
    std::string bytes;
};

// Every value SaveSettings keeps, in the file's order, with the bytes it stores. The fax and list
// ids are not among them: only TakeIds writes those, under the hive's lock.
std::vector<SavedRow> SavedRows(const CSettings& s) {
    std::vector<SavedRow> rows;
    rows.reserve(48);
    auto textZ = [&](const char* name, const std::string& v) {
        rows.push_back({name, RegType::String, platform::RegStringZ(v)});
    };
    auto textNoZ = [&](const char* name, const std::string& v) {
        rows.push_back({name, RegType::String, v});
    };
    auto flag = [&](const char* name, bool v) { textZ(name, v ? "1" : "0"); };
    auto flag1 = [&](const char* name, bool v) { textNoZ(name, v ? "1" : "0"); };
    auto number = [&](const char* name, std::int32_t v) {
        rows.push_back({name, RegType::Dword, platform::RegDword(static_cast<std::uint32_t>(v))});
    };
    auto time64 = [&](const char* name, std::int64_t v) {
        std::string bytes(8, '\0');
        std::memcpy(bytes.data(), &v, 8);
        rows.push_back({name, RegType::Dword, bytes}); // 8 bytes under the 32-bit type, as ever
    };

    textNoZ("UserID", s.UserID);
    flag1("RememberPwd", s.RememberPwd);
    textZ("UserPWD", !s.RememberPwd ? "0" : s.PasswordInKeyring ? "" : s.UserPWD);
    textZ("FFUserID", s.FFUserID);
    flag1("FFRememberPwd", s.FFRememberPwd);
    textZ("FFUserPWD", s.FFRememberPwd ? ScramblePassword(s.FFUserPWD) : "0");
    textNoZ("SMTPAddress", s.SMTPAddress);
    textNoZ("SMTPMailFrom", s.SMTPMailFrom);
    textZ("DefaultAreaCode", s.DefaultAreaCode);
    textZ("LastAreaCode", s.LastAreaCode);
    textZ("LastCountryCode", s.LastCountryCode);
    flag("LastLocation", s.LastLocation != 0);
    flag("HideContentWarning", s.HideContentWarning);
    flag("HideMAPIMsg", s.HideMAPIMsg);
    flag("HideBATVERMsg", s.HideBATVERMsg);
    flag("UseOwnViewer", s.UseOwnViewer);
    flag("UseSMAPI", s.UseSMAPI);
    flag("AutoShowOnPrint", s.AutoShowOnPrint);
    flag("NotifyOnSync", s.NotifyOnSync);
    flag("ConfirmDeleteItem", s.ConfirmDeleteItem);
    flag("ClearNewFaxSection", s.ClearNewFaxSection);
    flag("DeleteSentAfterDays", s.DeleteSentAfterDays);
    flag("DeleteReceivedAfterDays", s.DeleteReceivedAfterDays);
    flag("AutoSyncronize", s.AutoSyncronize);
    flag("DeleteE2FConf", s.DeleteE2FConf);
    flag("DeleteF2EConf", s.DeleteF2EConf);
    number("SyncronizationDelay", s.SyncronizationDelay);
    number("SentDeleteDays", s.SentDeleteDays);
    number("ReceivedDeleteDays", s.ReceivedDeleteDays);
    number("SentFilterType", s.SentFilterType);
    number("RcvdFilterType", s.RcvdFilterType);
    number("SentFilterData", s.SentFilterData);
    number("RcvdFilterData", s.RcvdFilterData);
    number("LastFaxAttempts", s.LastFaxAttempts);
    number("LastFaxDelay", s.LastFaxDelay);
    number("LastFaxSendASAP", s.LastFaxSendASAP);
    time64("LastFaxSendTime", s.LastFaxSendTime);
    number("LastListAttempts", s.LastListAttempts);
    number("LastListDelay", s.LastListDelay);
    number("LastListSendASAP", s.LastListSendASAP);
    time64("LastListSendTime", s.LastListSendTime);
    textZ("ApiHost", s.ApiHost);
    textZ("WebHost", s.WebHost);
    textZ("ProxyHost", s.ProxyHost);
    textZ("ProxyUser", s.ProxyUser);
    textZ("ProxyPWD", s.ProxyPasswordInKeyring ? "" : s.ProxyPassword);
    return rows;
}

void ReportHiveError(int err, IPrompt& prompt) {
    const std::string hive = platform::HivePath(Hive::LocalMachine);
    if (err == platform::kRegBadFile) {
        prompt.FileError(DescribeFileError(
            CArchiveException(CArchiveException::kBadFormat, platform::LastRegistryError()), hive));
    } else {
        prompt.FileError(
            DescribeFileError(CFileException(err, hive, platform::LastRegistryError()), hive));
    }
}

// The id stored under `name` read as the loader reads it, clamped to [low, high] (high 0: none).
std::int32_t StoredId(const platform::KeyValues& values, const char* name, std::int32_t low,
                      std::int32_t high) {
    std::int32_t id = low;
    for (const auto& [n, v] : values) {
        if (platform::EqualsNoCase(n, name) && v.bytes.size() <= kTextBuffer) {
            std::string text = v.bytes.substr(0, v.bytes.find('\0'));
            if (!text.empty()) {
                id = static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 10));
            }
        }
    }
    return id < low || (high != 0 && id > high) ? low : id;
}

void StoreId(platform::KeyValues& values, const char* name, std::int32_t id) {
    std::erase_if(values, [&](const auto& p) { return platform::EqualsNoCase(p.first, name); });
    values.emplace_back(name, RegValue{RegType::String, platform::RegStringZ(std::to_string(id))});
}

} // namespace

namespace {

// Writes what this process changed since it last read or wrote the values (and any value the
// file lacks, so a save leaves every setting in the file), merged into the file as it is now:
// velquin-tool and the fax printer write the same key meanwhile. Takes `faxIds` fax ids and a
// list id when asked, in the same locked read-modify-write.
int WriteSettings(std::int32_t faxIds, bool listId, CTakenIds& taken) {
    CSettings& s = g_settings;
    PlaceSecret(ServiceSecret(s), ServiceSecret(g_stored), s.RememberPwd, s.UserPWD,
                g_stored.UserPWD, s.PasswordInKeyring);
    PlaceSecret(ProxySecret(s), ProxySecret(g_stored), !s.ProxyUser.empty(), s.ProxyPassword,
                g_stored.ProxyPassword, s.ProxyPasswordInKeyring);
    const std::vector<SavedRow> before = SavedRows(g_stored);
    const std::vector<SavedRow> now = SavedRows(s);
    bool read = false;
    const int err = platform::UpdateKey(Hive::LocalMachine, kMainKey, [&](platform::KeyValues& v) {
        read = true;
        for (std::size_t i = 0; i < now.size(); ++i) {
            auto it = std::find_if(v.begin(), v.end(), [&](const auto& p) {
                return platform::EqualsNoCase(p.first, now[i].name);
            });
            if (it == v.end()) {
                v.emplace_back(now[i].name, RegValue{now[i].type, now[i].bytes});
            } else if (now[i].bytes != before[i].bytes) {
                it->second = RegValue{now[i].type, now[i].bytes};
            }
        }
        if (faxIds > 0 || listId) {
            // What this process took already counts too, should the file have failed to keep it.
            taken.firstFax =
                std::max(StoredId(v, "LastFaxID", kFirstFaxId, kLastFaxId), s.LastFaxID);
            StoreId(v, "LastFaxID", taken.firstFax + faxIds);
        }
        if (listId) {
            taken.list = std::max(StoredId(v, "LastListID", kFirstListId, 0), s.LastListID);
            StoreId(v, "LastListID", taken.list + 1);
        }
    });
    if (!read) {
        // Nothing was read: this process's own count is all there is.
        taken.firstFax = s.LastFaxID;
        taken.list = listId ? s.LastListID : 0;
    }
    if (faxIds > 0 || listId) {
        s.LastFaxID = taken.firstFax + faxIds;
    }
    if (listId) {
        s.LastListID = taken.list + 1;
    }
    if (err == 0) {
        g_stored = s;
    }
    return err;
}

} // namespace

int SaveSettings() {
    CTakenIds none;
    return WriteSettings(0, false, none);
}

bool SaveSettings(IPrompt& prompt) {
    const int err = SaveSettings();
    if (err != 0) {
        ReportHiveError(err, prompt);
    }
    return err == 0;
}

CTakenIds TakeIds(std::int32_t faxIds, bool listId, IPrompt& prompt) {
    CTakenIds taken;
    if (const int err = WriteSettings(faxIds, listId, taken); err != 0) {
        ReportHiveError(err, prompt);
    }
    return taken;
}

std::string WriteSetupKey(const CSetupValues& v) {
    platform::CRegKey key;
    if (key.Create(platform::Hive::LocalMachine, kMainKey) != 0) {
        // The file there cannot be read: it is never written over.
        return FormatString(LoadString(kMsgBadSettingsFile), platform::LastRegistryError());
    }
    auto text = [&](const char* name, const std::string& value) {
        key.SetValue(name, platform::RegType::String, platform::RegStringZ(value));
    };
    text("ProgDir", v.progDir);
    text("FaxDir", v.faxDir);
    text("DataDir", v.dataDir);
    if (!v.apiHost.empty()) {
        text("ApiHost", v.apiHost);
    }
    if (!v.webHost.empty()) {
        text("WebHost", v.webHost);
    }
    if (!v.user.empty()) {
        key.SetValue("UserID", platform::RegType::String, v.user);
    }
    if (v.password) {
        key.SetValue("RememberPwd", platform::RegType::String, "1");
        text("UserPWD", *v.password);
    }
    if (key.Close() != 0) {
        const std::string why = platform::LastRegistryError();
        return why.empty() ? platform::HivePath(platform::Hive::LocalMachine) : why;
    }
    return {};
}

std::string ScramblePassword(const std::string& password8) {
    std::string out = kScrambleTemplate;
    for (int i = 0; i < 8; ++i) {
        std::size_t src = static_cast<std::size_t>(7 - i);
        unsigned char p = src < password8.size() ? static_cast<unsigned char>(password8[src]) : 0;
        out[static_cast<std::size_t>(2 * i)] = static_cast<char>(static_cast<unsigned char>(p + i));
    }
    return out;
}

std::string UnscramblePassword(const std::string& scrambled16) {
    std::string out(8, '\0');
    for (int i = 0; i < 8; ++i) {
        std::size_t src = static_cast<std::size_t>(2 * i);
        unsigned char c =
            src < scrambled16.size() ? static_cast<unsigned char>(scrambled16[src]) : 0;
        out[static_cast<std::size_t>(7 - i)] = static_cast<char>(static_cast<unsigned char>(c - i));
    }
    return out;
}

namespace {
std::string InProgDir(const char* name) {
    std::string dir = g_settings.ProgDir;
    if (dir.empty() || dir.back() != '/') {
        dir += '/';
    }
    return dir + name;
}
} // namespace

std::string OwnViewerPath() {
    return InProgDir("TWTiffView");
}

std::string FaxPrinterPath() {
    return InProgDir("velquin-print");
}

void ResetSettingsForTest() {
    g_settings = g_stored = CSettings{};
    g_loaded = false;
}

bool LoadSettingsAfterSetup(IPrompt& prompt) {
    ResetSettingsForTest();
    return LoadSettings(prompt);
}
