#pragma once
// Passwords in the desktop's keyring (the Secret Service, through libsecret). Each is found by
// its attributes: "kind" (whose password), "hive" (the settings file) and "user". Every call
// answers at once when there is no session bus or no keyring on it; a process running as another
// user than its own (root, set-uid) never looks for one.
#include <map>
#include <optional>
#include <string>

namespace platform {

using KeyringAttributes = std::map<std::string, std::string>;

// nullopt when there is no keyring or no such password.
std::optional<std::string> KeyringLookup(const KeyringAttributes& attributes);
// false when there is no keyring or it refused.
bool KeyringStore(const KeyringAttributes& attributes, const std::string& label,
                  const std::string& secret);
void KeyringClear(const KeyringAttributes& attributes);

} // namespace platform
