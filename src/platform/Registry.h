#pragma once
// Registry keys with typed values holding exact bytes, kept in one REGEDIT4 text file per
// hive. Every open reads the file afresh (the fax printer shares the key); writes are
// collected by the key and applied on Flush/Close as one atomic read-modify-write under an
// flock, so two processes writing different values lose nothing.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class Hive { LocalMachine, CurrentUser };

// Any other type number read from a file (hex(N)) is kept as it is.
enum class RegType : unsigned {
    String = 1,
    ExpandString = 2,
    Binary = 3,
    Dword = 4,
    MultiString = 7
};

struct RegValue {
    RegType type = RegType::String;
    std::string bytes; // exactly the stored bytes (a string value may or may not end in NUL)
};

// Error codes (errno-like; 0 is success).
constexpr int kRegNotFound = 2;   // key or value missing
constexpr int kRegBadFile = 1013; // the hive file is malformed (see LastRegistryError)

// Directory holding the hive files: $VELQUIN_REGISTRY_DIR, else $XDG_CONFIG_HOME/velquin,
// else ~/.config/velquin.
std::string RegistryDir();
std::string HivePath(Hive hive);

// Text of the last hive error on this thread ("file:line: what"), for messages.
std::string LastRegistryError();

// A key's values in file order.
using KeyValues = std::vector<std::pair<std::string, RegValue>>;
using KeyValuesChange = std::function<void(KeyValues&)>;

// Lets `change` edit the values of key `path` (created when missing) as the hive file holds them
// now and writes the result, reading and writing under the hive's lock: a read-modify-write that
// no other process's write can fall into (ids handed out once). 0 or an error code; on error
// nothing is written.
int UpdateKey(Hive hive, std::string_view path, const KeyValuesChange& change);

class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey(); // flushes pending writes
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;
    CRegKey(CRegKey&&) noexcept;
    CRegKey& operator=(CRegKey&&) noexcept;

    // Opens an existing key (path like "SOFTWARE\\Tarnwell\\Plendor", case-insensitive).
    int Open(Hive hive, std::string_view path);
    // Opens or creates a key (created in the file at the first flush).
    int Create(Hive hive, std::string_view path);

    bool IsOpen() const { return m_open; }

    // Value names are case-insensitive; "" is the key's default (unnamed) value.
    int QueryValue(std::string_view name, RegValue& out) const;
    std::optional<RegValue> Value(std::string_view name) const;
    std::vector<std::string> ValueNames() const;

    int SetValue(std::string_view name, RegType type, std::string_view bytes);
    int DeleteValue(std::string_view name);

    // Applies pending writes to the hive file. 0 or an error code; on error nothing is written.
    int Flush();
    int Close();

private:
    struct Change {
        std::string name;
        std::optional<RegValue> value; // nullopt = delete
    };
    bool m_open = false;
    bool m_create = false;
    Hive m_hive = Hive::LocalMachine;
    std::string m_path;
    KeyValues m_values; // snapshot, in file order
    std::vector<Change> m_pending;
};

// Reads hive file text (also as Windows writes it: UTF-16 or with a UTF-8 byte-order mark,
// text in Windows-1251; text values become UTF-8) and writes it back in the form Flush writes;
// nullopt (with LastRegistryError set) when the text is malformed. Lets checks drive the reader and
// writer without files.
std::optional<std::string> NormaliseHiveText(const std::string& text);

// Helpers for value bytes.
std::string RegDword(std::uint32_t v);
std::string RegStringZ(std::string_view text); // text + NUL

} // namespace platform
