// The service's replies: whole HTTP answers through the client's reply handling and the tree.
#include "service/FormPost.h"
#include "service/ReplyTree.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string reply(reinterpret_cast<const char*>(data), size);
    ReplyTree tree = ReplyToTree(reply);
    if (Dictionary* item = FindReplyPath(tree.get(), {"response", "data", "item"})) {
        const Value& id = item->valueForKey("id", EmptyValue());
        (void)id.intValue();
        (void)id.stringValue();
    }
    ParseReplyXml(reply);
    return 0;
}
