#pragma once
// The application profile: window and column layout kept in the current user's hive under
// "Software\Tarnwell\Velquin\<section>".
#include <QRect>
#include <QString>
#include <optional>

namespace profile {

constexpr const char* kRoot = "Software\\Tarnwell\\Velquin\\";

std::optional<int> ReadInt(const char* section, const QString& name);
void WriteInt(const char* section, const QString& name, int value);
// A 16-byte binary value: left, top, right, bottom as little-endian 32-bit numbers.
std::optional<QRect> ReadRect(const char* section, const char* name);
void WriteRect(const char* section, const char* name, const QRect& rect);

// The address-book splitter's left width: the stored value unless it is not above 0 or not
// below the screen width, else 200.
int SplitterWidth(std::optional<int> stored, int screenWidth);

} // namespace profile
