#include "platform/Registry.h"

#include "platform/Encoding.h"
#include "platform/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

thread_local std::string t_lastError;

struct HiveKey {
    std::string path; // full path as written, e.g. HKEY_LOCAL_MACHINE\SOFTWARE\X
    std::vector<std::pair<std::string, RegValue>> values;
};

struct HiveData {
    std::vector<HiveKey> keys;
};

const char* HiveName(Hive hive) {
    return hive == Hive::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::string FullKeyPath(Hive hive, std::string_view path) {
    std::string p(path);
    while (!p.empty() && p.front() == '\\') {
        p.erase(0, 1);
    }
    while (!p.empty() && p.back() == '\\') {
        p.pop_back();
    }
    return std::string(HiveName(hive)) + "\\" + p;
}

bool ParseHexBytes(std::string_view s, std::string& out) {
    out.clear();
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == ',')) {
            ++i;
        }
        if (i >= s.size()) {
            break;
        }
        if (i + 1 >= s.size()) {
            return false;
        }
        int hi = HexDigitValue(s[i]), lo = HexDigitValue(s[i + 1]);
        if (hi < 0 || lo < 0) {
            return false;
        }
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        if (i < s.size() && s[i] != ',' && s[i] != ' ' && s[i] != '\t') {
            return false;
        }
    }
    return true;
}

// Reads a quoted string starting at s[i] == '"'; advances i past the closing quote.
bool ParseQuoted(std::string_view s, std::size_t& i, std::string& out) {
    out.clear();
    if (i >= s.size() || s[i] != '"') {
        return false;
    }
    ++i;
    while (i < s.size()) {
        char c = s[i++];
        if (c == '"') {
            out = DecodeUserText(out); // a file written on Windows may hold Windows-1251
            return true;
        }
        if (c == '\\') {
            if (i >= s.size()) {
                return false;
            }
            char e = s[i++];
            if (e == '\\' || e == '"') {
                out += e;
            } else {
                return false;
            }
        } else {
            out += c;
        }
    }
    return false;
}

bool Fail(const std::string& file, int line, const std::string& what) {
    t_lastError = file + ":" + std::to_string(line) + ": " + what;
    return false;
}

// The program reads every text as UTF-8. The text types of a version 5 file (regedit's export)
// hold UTF-16; in a REGEDIT4 file they hold the file's own text.
std::string TextValueBytes(RegType type, std::string bytes, bool utf16) {
    if (utf16 && bytes.size() % 2 == 0 &&
        (type == RegType::String || type == RegType::ExpandString ||
         type == RegType::MultiString)) {
        return *Utf16MarkedText("\xFF\xFE" + bytes); // little-endian, as Windows stores it
    }
    // hex(1) is kept: our own files hold binary data (the scrambled password) under it.
    if (type == RegType::ExpandString || type == RegType::MultiString) {
        return DecodeUserText(bytes);
    }
    return bytes;
}

bool ParseHive(const std::string& file, const std::string& fileBytes, HiveData& hive) {
    hive.keys.clear();
    // Windows saves these files as UTF-16 (regedit) or as UTF-8 after a byte-order mark (Notepad).
    std::string text = Utf16MarkedText(fileBytes).value_or(fileBytes);
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.erase(0, 3);
    }
    // Join continuation lines (a hex list ending in "\") while keeping line numbers for errors.
    std::vector<std::pair<int, std::string>> lines;
    int lineNo = 0;
    std::size_t start = 0;
    bool continuing = false;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        std::string line =
            text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        start = nl == std::string::npos ? text.size() : nl + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (continuing) {
            std::size_t b = line.find_first_not_of(" \t");
            lines.back().second += b == std::string::npos ? std::string() : line.substr(b);
        } else {
            lines.emplace_back(lineNo, line);
        }
        std::string& last = lines.back().second;
        continuing = !last.empty() && last.back() == '\\' && last.find("=hex") != std::string::npos;
        if (continuing) {
            last.pop_back();
        }
    }
    bool headerSeen = false;
    bool version5 = false; // its text values hold UTF-16
    HiveKey* current = nullptr;
    for (auto& [no, line] : lines) {
        std::string_view l = line;
        while (!l.empty() && (l.front() == ' ' || l.front() == '\t')) {
            l.remove_prefix(1);
        }
        while (!l.empty() && (l.back() == ' ' || l.back() == '\t')) {
            l.remove_suffix(1);
        }
        if (l.empty() || l.front() == ';') {
            continue;
        }
        if (!headerSeen) {
            version5 = l == "Windows Registry Editor Version 5.00";
            if (l != "REGEDIT4" && !version5) {
                return Fail(file, no, "expected REGEDIT4 header");
            }
            headerSeen = true;
            continue;
        }
        if (l.front() == '[') {
            if (l.back() != ']' || l.size() < 3) {
                return Fail(file, no, "malformed key line");
            }
            hive.keys.push_back({DecodeUserText(l.substr(1, l.size() - 2)), {}});
            current = &hive.keys.back();
            continue;
        }
        if (!current) {
            return Fail(file, no, "value outside any key");
        }
        std::string name;
        std::size_t i = 0;
        if (l.front() == '@') {
            i = 1;
        } else if (!ParseQuoted(l, i, name)) {
            return Fail(file, no, "malformed value name");
        }
        if (i >= l.size() || l[i] != '=') {
            return Fail(file, no, "expected '=' after the value name");
        }
        ++i;
        std::string_view data = l.substr(i);
        RegValue v;
        if (!data.empty() && data.front() == '"') {
            std::size_t j = 0;
            std::string text2;
            if (!ParseQuoted(data, j, text2) || j != data.size()) {
                return Fail(file, no, "malformed string value");
            }
            v.type = RegType::String;
            v.bytes = text2 + '\0';
        } else if (data.rfind("dword:", 0) == 0) {
            std::string_view hex = data.substr(6);
            if (hex.size() != 8) {
                return Fail(file, no, "dword needs 8 hex digits");
            }
            std::uint32_t x = 0;
            for (char c : hex) {
                int h = HexDigitValue(c);
                if (h < 0) {
                    return Fail(file, no, "malformed dword");
                }
                x = x * 16 + static_cast<std::uint32_t>(h);
            }
            v.type = RegType::Dword;
            v.bytes = RegDword(x);
        } else if (data.rfind("hex", 0) == 0) {
            std::size_t colon = data.find(':');
            if (colon == std::string_view::npos) {
                return Fail(file, no, "malformed hex value");
            }
            std::string_view kind = data.substr(3, colon - 3);
            unsigned type = 3;
            if (!kind.empty()) {
                if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')') {
                    return Fail(file, no, "malformed hex type");
                }
                char* end = nullptr;
                std::string num(kind.substr(1, kind.size() - 2));
                unsigned long t = std::strtoul(num.c_str(), &end, 16);
                if (end == num.c_str() || *end != '\0' || t > 0xFFFFFFFF) {
                    return Fail(file, no, "malformed hex type");
                }
                type = static_cast<unsigned>(t);
            }
            v.type = static_cast<RegType>(type);
            if (!ParseHexBytes(data.substr(colon + 1), v.bytes)) {
                return Fail(file, no, "malformed hex bytes");
            }
            v.bytes = TextValueBytes(v.type, std::move(v.bytes), version5);
        } else {
            return Fail(file, no, "unknown value form");
        }
        bool replaced = false;
        for (auto& [n, old] : current->values) {
            if (EqualsNoCase(n, name)) {
                old = v;
                replaced = true;
            }
        }
        if (!replaced) {
            current->values.emplace_back(std::move(name), std::move(v));
        }
    }
    if (!headerSeen && !text.empty()) {
        return Fail(file, 1, "expected REGEDIT4 header");
    }
    return true;
}

bool QuotableString(const std::string& bytes) {
    if (bytes.empty() || bytes.back() != '\0') {
        return false;
    }
    std::string_view text(bytes.data(), bytes.size() - 1);
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
    }
    return IsValidUtf8(text);
}

void AppendHex(std::string& out, const std::string& bytes) {
    static const char* kDigits = "0123456789abcdef";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i) {
            out += ',';
        }
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
}

std::string FormatHive(const HiveData& hive) {
    std::string out = "REGEDIT4\n";
    for (const HiveKey& k : hive.keys) {
        out += "\n[" + k.path + "]\n";
        for (const auto& [name, v] : k.values) {
            if (name.empty()) {
                out += '@';
            } else {
                AppendQuoted(out, name);
            }
            out += '=';
            if (v.type == RegType::String && QuotableString(v.bytes)) {
                AppendQuoted(out, std::string_view(v.bytes.data(), v.bytes.size() - 1));
            } else if (v.type == RegType::Dword && v.bytes.size() == 4) {
                std::uint32_t x = 0;
                for (int i = 3; i >= 0; --i) {
                    x = x * 256 + static_cast<unsigned char>(v.bytes[static_cast<std::size_t>(i)]);
                }
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", x);
                out += buf;
            } else if (v.type == RegType::Binary) {
                out += "hex:";
                AppendHex(out, v.bytes);
            } else {
                char buf[24];
                std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
                out += buf;
                AppendHex(out, v.bytes);
            }
            out += '\n';
        }
    }
    return out;
}

// Reads and parses a hive file; a missing file is an empty hive.
int LoadHive(const std::string& file, HiveData& hive) {
    std::string text;
    int err = ReadFile(file, text);
    if (err == ENOENT) {
        hive.keys.clear();
        return 0;
    }
    if (err) {
        t_lastError = file + ": " + std::strerror(err);
        return err;
    }
    return ParseHive(file, text, hive) ? 0 : kRegBadFile;
}

HiveKey* FindKey(HiveData& hive, const std::string& fullPath) {
    for (HiveKey& k : hive.keys) {
        if (EqualsNoCase(k.path, fullPath)) {
            return &k;
        }
    }
    return nullptr;
}

// The hives hold the password: a settings folder of ours that others may read or enter (made
// by hand, or by an older version) is closed to them. A folder of another owner is left alone.
void KeepDirPrivate(const std::string& dir) {
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
        (st.st_mode & 077) != 0) {
        ::chmod(dir.c_str(), st.st_mode & 07700);
    }
}

} // namespace

std::string RegistryDir() {
    if (const char* d = std::getenv("VELQUIN_REGISTRY_DIR"); d && *d) {
        return d;
    }
    if (const char* d = std::getenv("XDG_CONFIG_HOME"); d && *d) {
        return JoinPath(d, "velquin");
    }
    const char* home = std::getenv("HOME");
    return JoinPath(JoinPath(home && *home ? home : ".", ".config"), "velquin");
}

std::string HivePath(Hive hive) {
    return JoinPath(RegistryDir(), std::string(HiveName(hive)) + ".reg");
}

std::string LastRegistryError() {
    return t_lastError;
}

std::optional<std::string> NormaliseHiveText(const std::string& text) {
    HiveData hive;
    if (!ParseHive("hive", text, hive)) {
        return std::nullopt;
    }
    return FormatHive(hive);
}

std::string RegDword(std::uint32_t v) {
    std::string b(4, '\0');
    for (int i = 0; i < 4; ++i) {
        b[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    return b;
}

std::string RegStringZ(std::string_view text) {
    std::string b(text);
    b += '\0';
    return b;
}

CRegKey::~CRegKey() {
    Flush();
}

CRegKey::CRegKey(CRegKey&& o) noexcept {
    *this = std::move(o);
}

CRegKey& CRegKey::operator=(CRegKey&& o) noexcept {
    if (this != &o) {
        Flush();
        m_open = o.m_open;
        m_create = o.m_create;
        m_hive = o.m_hive;
        m_path = std::move(o.m_path);
        m_values = std::move(o.m_values);
        m_pending = std::move(o.m_pending);
        o.m_open = false;
        o.m_pending.clear();
    }
    return *this;
}

int CRegKey::Open(Hive hive, std::string_view path) {
    Close();
    HiveData data;
    int err = LoadHive(HivePath(hive), data);
    if (err) {
        return err;
    }
    std::string full = FullKeyPath(hive, path);
    HiveKey* k = FindKey(data, full);
    if (!k) {
        return kRegNotFound;
    }
    m_hive = hive;
    m_path = full;
    m_values = std::move(k->values);
    m_create = false;
    m_open = true;
    return 0;
}

int CRegKey::Create(Hive hive, std::string_view path) {
    Close();
    HiveData data;
    int err = LoadHive(HivePath(hive), data);
    if (err) {
        return err; // a malformed hive is never overwritten
    }
    std::string full = FullKeyPath(hive, path);
    m_hive = hive;
    m_path = full;
    m_values.clear();
    if (HiveKey* k = FindKey(data, full)) {
        m_values = std::move(k->values);
    }
    m_create = true;
    m_open = true;
    return 0;
}

int CRegKey::QueryValue(std::string_view name, RegValue& out) const {
    if (!m_open) {
        return kRegNotFound;
    }
    for (const auto& [n, v] : m_values) {
        if (EqualsNoCase(n, name)) {
            out = v;
            return 0;
        }
    }
    return kRegNotFound;
}

std::optional<RegValue> CRegKey::Value(std::string_view name) const {
    RegValue v;
    if (QueryValue(name, v) != 0) {
        return std::nullopt;
    }
    return v;
}

std::vector<std::string> CRegKey::ValueNames() const {
    std::vector<std::string> names;
    for (const auto& [n, v] : m_values) {
        names.push_back(n);
    }
    return names;
}

int CRegKey::SetValue(std::string_view name, RegType type, std::string_view bytes) {
    if (!m_open) {
        return EBADF;
    }
    RegValue v{type, std::string(bytes)};
    bool found = false;
    for (auto& [n, old] : m_values) {
        if (EqualsNoCase(n, name)) {
            old = v;
            found = true;
        }
    }
    if (!found) {
        m_values.emplace_back(std::string(name), v);
    }
    m_pending.push_back({std::string(name), v});
    return 0;
}

int CRegKey::DeleteValue(std::string_view name) {
    if (!m_open) {
        return EBADF;
    }
    std::erase_if(m_values, [&](const auto& p) { return EqualsNoCase(p.first, name); });
    m_pending.push_back({std::string(name), std::nullopt});
    return 0;
}

namespace {

// Reads the hive file, lets `change` edit the values of key `fullPath` (created when missing) and
// writes the file back, all under the hive's lock: no other writer's change falls in between.
int LockedUpdate(Hive hive, const std::string& fullPath, const KeyValuesChange& change) {
    const std::string file = HivePath(hive);
    int err = CreatePrivateDirs(RegistryDir());
    if (err) {
        t_lastError = RegistryDir() + ": " + std::strerror(err);
        return err;
    }
    KeepDirPrivate(RegistryDir());
    // A separate lock file: the hive itself is replaced by rename, so it cannot carry the lock.
    int lockFd = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0) {
        err = errno;
        t_lastError = file + ".lock: " + std::strerror(err);
        return err;
    }
    while (::flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {
    }
    HiveData data;
    err = LoadHive(file, data);
    if (!err) {
        HiveKey* k = FindKey(data, fullPath);
        if (!k) {
            data.keys.push_back({fullPath, {}});
            k = &data.keys.back();
        }
        change(k->values);
        // Always 0600, also over a hive that was readable by others before.
        err = AtomicReplaceFile(file, FormatHive(data), 0600);
        if (err) {
            t_lastError = file + ": " + std::strerror(err);
        }
    }
    ::flock(lockFd, LOCK_UN);
    ::close(lockFd);
    return err;
}

} // namespace

int UpdateKey(Hive hive, std::string_view path, const KeyValuesChange& change) {
    return LockedUpdate(hive, FullKeyPath(hive, path), change);
}

int CRegKey::Flush() {
    if (!m_open || (m_pending.empty() && !m_create)) {
        return 0;
    }
    const int err = LockedUpdate(m_hive, m_path, [this](KeyValues& vals) {
        for (const Change& c : m_pending) {
            if (!c.value) {
                std::erase_if(vals, [&](const auto& p) { return EqualsNoCase(p.first, c.name); });
                continue;
            }
            bool found = false;
            for (auto& [n, old] : vals) {
                if (EqualsNoCase(n, c.name)) {
                    old = *c.value;
                    found = true;
                }
            }
            if (!found) {
                vals.emplace_back(c.name, *c.value);
            }
        }
    });
    if (!err) {
        m_pending.clear();
        m_create = false;
    }
    return err;
}

int CRegKey::Close() {
    int err = Flush();
    m_open = false;
    m_values.clear();
    m_pending.clear();
    return err;
}

} // namespace platform
