// velquin-tool status ID...: asks the service for the state of jobs, as the status
// synchronisation does.
#include "ToolCommand.h"

#include "app/Settings.h"
#include "service/FormPost.h"
#include "service/JobState.h"

#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <string>

namespace {

// Set by Ctrl+C (or a termination request): the query under way gives up at once.
std::atomic<bool> g_abandon{false};

extern "C" void OnAbandonSignal(int) {
    g_abandon = true;
}

bool ParseId(const std::string& text, std::int32_t& id) {
    const char* end = text.data() + text.size();
    auto r = std::from_chars(text.data(), end, id);
    return !text.empty() && r.ec == std::errc() && r.ptr == end;
}

int Run(const ToolArgs& args) {
    const ToolCommand& cmd = FindToolCommand("status");
    if (args.empty()) {
        return ToolUsageError(cmd, "expected at least one job ID");
    }
    std::vector<std::int32_t> ids;
    for (const std::string& a : args) {
        std::int32_t id = 0;
        if (!ParseId(a, id)) {
            return ToolUsageError(cmd, "not a job id: " + a);
        }
        ids.push_back(id);
    }
    CToolPrompt prompt;
    if (!LoadToolSettings(prompt)) {
        return 1;
    }
    ServiceEndpoint endpoint = ApiEndpointFromSettings();
    struct sigaction sa {};
    sa.sa_handler = OnAbandonSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    const CAbandonRequests abandon(g_abandon);
    int failures = 0;
    for (std::int32_t id : ids) {
        ExchangeFailure why = ExchangeFailure::None;
        ReplyTree tree = RequestFaxStatus(id, endpoint, &why);
        if (g_abandon) {
            std::fprintf(stderr, "velquin-tool status: %d: abandoned\n", id);
            return 130;
        }
        if (!tree) {
            std::fprintf(stderr, "velquin-tool status: %d: %s %s:%d\n", id,
                         why == ExchangeFailure::ProxyRefused
                             ? "the proxy (its user or password wanted or wrong) refused the way to"
                         : why == ExchangeFailure::Certificate
                             ? "the certificate failed verification:"
                             : "no reply from",
                         endpoint.host.c_str(), endpoint.port);
            ++failures;
            continue;
        }
        Dictionary* item = FindReplyPath(tree.get(), {"response", "data", "item"});
        if (item == nullptr) {
            Dictionary* error = FindReplyPath(tree.get(), {"response", "error"});
            std::string message =
                error ? error->valueForKey("message", EmptyValue()).stringValue() : std::string();
            std::fprintf(stderr, "velquin-tool status: %d: %s\n", id,
                         message.empty() ? "the reply holds no job state" : message.c_str());
            ++failures;
            continue;
        }
        std::int32_t state = item->valueForKey("jobstatus", EmptyValue()).intValue();
        std::printf("%d %d %s\n", item->valueForKey("id", EmptyValue()).intValue(), state,
                    JobStateText(state).c_str());
    }
    return failures == 0 ? 0 : 1;
}

const ToolCommandRegistration reg{
    "status", "ask the service for the state of jobs",
    "usage: velquin-tool status ID...\n"
    "Loads the settings (ApiHost, UserID and the remembered password) and asks the service\n"
    "for each job ID. Prints one line per answered job: ID, state number and state text.\n"
    "Exits 1 when any job got no answer (the reason goes to stderr). Ctrl+C abandons the\n"
    "query under way and exits 130.\n",
    Run};

} // namespace
