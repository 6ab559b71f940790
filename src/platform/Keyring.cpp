#include "platform/Keyring.h"

#include <libsecret/secret.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

const SecretSchema* Schema() {
    static const SecretSchema schema = [] {
        SecretSchema s{};
        s.name = "net.velquin.Password";
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0] = {"kind", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {"hive", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[2] = {"user", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[3] = {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &schema;
}

// A session bus to ask, and this user's own: a set-uid process never asks, nor does root or any
// other user through a bus whose socket someone else owns (an environment carried over by
// "sudo -E" would otherwise hand root a user's keyring).
bool KeyringReachable() {
    if (::geteuid() != ::getuid() || ::getegid() != ::getgid()) {
        return false;
    }
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (bus == nullptr || *bus == '\0') {
        return false;
    }
    const std::string address(bus);
    const std::string prefix = "unix:path=";
    if (address.rfind(prefix, 0) != 0) {
        return ::geteuid() != 0;
    }
    const std::string path = address.substr(prefix.size(), address.find(',') - prefix.size());
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && st.st_uid == ::geteuid();
}

GHashTable* TableOf(const KeyringAttributes& attributes) {
    GHashTable* table = g_hash_table_new(g_str_hash, g_str_equal);
    for (const auto& [name, value] : attributes) {
        g_hash_table_insert(table, const_cast<char*>(name.c_str()),
                            const_cast<char*>(value.c_str()));
    }
    return table;
}

} // namespace

std::optional<std::string> KeyringLookup(const KeyringAttributes& attributes) {
    if (!KeyringReachable()) {
        return std::nullopt;
    }
    GHashTable* table = TableOf(attributes);
    GError* error = nullptr;
    gchar* secret = secret_password_lookupv_sync(Schema(), table, nullptr, &error);
    g_hash_table_unref(table);
    g_clear_error(&error);
    if (secret == nullptr) {
        return std::nullopt;
    }
    std::string value(secret);
    secret_password_free(secret);
    return value;
}

bool KeyringStore(const KeyringAttributes& attributes, const std::string& label,
                  const std::string& secret) {
    if (!KeyringReachable()) {
        return false;
    }
    GHashTable* table = TableOf(attributes);
    GError* error = nullptr;
    const gboolean stored = secret_password_storev_sync(
        Schema(), table, SECRET_COLLECTION_DEFAULT, label.c_str(), secret.c_str(), nullptr, &error);
    g_hash_table_unref(table);
    g_clear_error(&error);
    return stored != FALSE;
}

void KeyringClear(const KeyringAttributes& attributes) {
    if (!KeyringReachable()) {
        return;
    }
    GHashTable* table = TableOf(attributes);
    GError* error = nullptr;
    secret_password_clearv_sync(Schema(), table, nullptr, &error);
    g_hash_table_unref(table);
    g_clear_error(&error);
}

} // namespace platform
