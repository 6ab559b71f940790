#include "gui/shell/Profile.h"

#include "platform/Registry.h"

#include <cstdint>
#include <cstring>

namespace profile {

namespace {

std::string KeyPath(const char* section) {
    return std::string(kRoot) + section;
}

std::uint32_t Le32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

void PutLe32(std::string& b, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) {
        b += static_cast<char>((u >> (8 * i)) & 0xFF);
    }
}

} // namespace

std::optional<int> ReadInt(const char* section, const QString& name) {
    platform::CRegKey key;
    if (key.Open(platform::Hive::CurrentUser, KeyPath(section)) != 0) {
        return std::nullopt;
    }
    auto v = key.Value(name.toStdString());
    if (!v || v->type != platform::RegType::Dword || v->bytes.size() != 4) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(Le32(v->bytes, 0));
}

void WriteInt(const char* section, const QString& name, int value) {
    platform::CRegKey key;
    if (key.Create(platform::Hive::CurrentUser, KeyPath(section)) == 0) {
        key.SetValue(name.toStdString(), platform::RegType::Dword,
                     platform::RegDword(static_cast<std::uint32_t>(value)));
        key.Close();
    }
}

std::optional<QRect> ReadRect(const char* section, const char* name) {
    platform::CRegKey key;
    if (key.Open(platform::Hive::CurrentUser, KeyPath(section)) != 0) {
        return std::nullopt;
    }
    auto v = key.Value(name);
    if (!v || v->bytes.size() != 16) {
        return std::nullopt;
    }
    const auto l = static_cast<std::int32_t>(Le32(v->bytes, 0));
    const auto t = static_cast<std::int32_t>(Le32(v->bytes, 4));
    const auto r = static_cast<std::int32_t>(Le32(v->bytes, 8));
    const auto b = static_cast<std::int32_t>(Le32(v->bytes, 12));
    if (r <= l || b <= t) {
        return std::nullopt;
    }
    return QRect(QPoint(l, t), QPoint(r - 1, b - 1));
}

void WriteRect(const char* section, const char* name, const QRect& rect) {
    std::string bytes;
    PutLe32(bytes, rect.left());
    PutLe32(bytes, rect.top());
    PutLe32(bytes, rect.right() + 1);
    PutLe32(bytes, rect.bottom() + 1);
    platform::CRegKey key;
    if (key.Create(platform::Hive::CurrentUser, KeyPath(section)) == 0) {
        key.SetValue(name, platform::RegType::Binary, bytes);
        key.Close();
    }
}

int SplitterWidth(std::optional<int> stored, int screenWidth) {
    if (!stored || *stored <= 0 || *stored >= screenWidth) {
        return 200;
    }
    return *stored;
}

} // namespace profile
