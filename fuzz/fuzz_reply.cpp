// The service's replies: whole HTTP answers through the client's reply handling, the tree and
// the readers the submission and the status query use on it.
#include "sending/SendJob.h"
#include "service/FormPost.h"
#include "service/JobState.h"
#include "service/ReplyTree.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string reply(reinterpret_cast<const char*>(data), size);
    ReplyTree tree = ReplyToTree(reply);
    CSubmitResult submitted = ReadSubmitReply(tree.get());
    (void)submitted;
    if (Dictionary* item = FindReplyPath(tree.get(), {"response", "data", "item"})) {
        const Value& state = item->valueForKey("jobstatus", EmptyValue());
        (void)JobStateText(state.intValue());
        (void)item->valueForKey("id", EmptyValue()).stringValue();
    }
    ParseReplyXml(reply);
    return 0;
}
