// velquin-tool settings: prints every loaded setting, one "Name=value" line each.
#include "ToolCommand.h"

#include "app/Settings.h"

#include <cstdio>
#include <string>

namespace {

const char* const kUsage = "usage: velquin-tool settings\n"
                           "Prints every setting as loaded by Velquin (defaults and clamping "
                           "applied), one Name=value line each. Passwords are masked.\n";

void Line(const char* name, const std::string& value) {
    std::printf("%s=%s\n", name, value.c_str());
}
void Line(const char* name, bool value) {
    Line(name, std::string(value ? "1" : "0"));
}
void Line(const char* name, long long value) {
    Line(name, std::to_string(value));
}
std::string Masked(const std::string& pwd) {
    return pwd.empty() ? "" : "********";
}

int Run(const ToolArgs& args) {
    if (!args.empty()) {
        return ToolUsageError(FindToolCommand("settings"), "no arguments expected");
    }
    CToolPrompt prompt;
    if (!LoadToolSettings(prompt)) {
        return 1;
    }
    const CSettings& s = Settings();
    Line("ProgDir", s.ProgDir);
    Line("FaxDir", s.FaxDir);
    Line("DataDir", s.DataDir);
    Line("UseOwnViewer", s.UseOwnViewer);
    Line("UseSMAPI", s.UseSMAPI);
    Line("AutoShowOnPrint", s.AutoShowOnPrint);
    Line("NotifyOnSync", s.NotifyOnSync);
    Line("DefaultAreaCode", s.DefaultAreaCode);
    Line("LastAreaCode", s.LastAreaCode);
    Line("LastCountryCode", s.LastCountryCode);
    Line("LastLocation", static_cast<long long>(s.LastLocation));
    Line("HideContentWarning", s.HideContentWarning);
    Line("UserID", s.UserID);
    Line("RememberPwd", s.RememberPwd);
    Line("UserPWD", Masked(s.UserPWD));
    Line("FFUserID", s.FFUserID);
    Line("SMTPAddress", s.SMTPAddress);
    Line("SMTPMailFrom", s.SMTPMailFrom);
    Line("FFRememberPwd", s.FFRememberPwd);
    Line("FFUserPWD", Masked(s.FFUserPWD));
    Line("HideMAPIMsg", s.HideMAPIMsg);
    Line("HideBATVERMsg", s.HideBATVERMsg);
    Line("LastFaxID", static_cast<long long>(s.LastFaxID));
    Line("LastListID", static_cast<long long>(s.LastListID));
    Line("ConfirmDeleteItem", s.ConfirmDeleteItem);
    Line("ClearNewFaxSection", s.ClearNewFaxSection);
    Line("DeleteSentAfterDays", s.DeleteSentAfterDays);
    Line("DeleteReceivedAfterDays", s.DeleteReceivedAfterDays);
    Line("AutoSyncronize", s.AutoSyncronize);
    Line("DeleteE2FConf", s.DeleteE2FConf);
    Line("DeleteF2EConf", s.DeleteF2EConf);
    Line("SyncronizationDelay", static_cast<long long>(s.SyncronizationDelay));
    Line("SentDeleteDays", static_cast<long long>(s.SentDeleteDays));
    Line("ReceivedDeleteDays", static_cast<long long>(s.ReceivedDeleteDays));
    Line("SentFilterType", static_cast<long long>(s.SentFilterType));
    Line("RcvdFilterType", static_cast<long long>(s.RcvdFilterType));
    Line("SentFilterData", static_cast<long long>(s.SentFilterData));
    Line("RcvdFilterData", static_cast<long long>(s.RcvdFilterData));
    Line("LastFaxAttempts", static_cast<long long>(s.LastFaxAttempts));
    Line("LastFaxDelay", static_cast<long long>(s.LastFaxDelay));
    Line("LastFaxSendASAP", static_cast<long long>(s.LastFaxSendASAP));
    Line("LastFaxSendTime", static_cast<long long>(s.LastFaxSendTime));
    Line("LastListAttempts", static_cast<long long>(s.LastListAttempts));
    Line("LastListDelay", static_cast<long long>(s.LastListDelay));
    Line("LastListSendASAP", static_cast<long long>(s.LastListSendASAP));
    Line("LastListSendTime", static_cast<long long>(s.LastListSendTime));
    Line("ApiHost", s.ApiHost);
    Line("WebHost", s.WebHost);
    return 0;
}

const ToolCommandRegistration kReg{"settings", "print every loaded setting as Name=value", kUsage,
                                   Run};
} // namespace
