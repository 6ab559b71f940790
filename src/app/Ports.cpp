#include "app/Ports.h"

#include "resources/Strings.h"

MsgAnswer IPrompt::MessageId(unsigned id, MsgIcon icon, MsgButtons buttons) {
    return Message(LoadString(id), icon, buttons);
}
