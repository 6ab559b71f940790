#include "service/ReplyTree.h"

#include "platform/Encoding.h"

#include <expat.h>

#include <charconv>
#include <cstdio>
#include <limits>
#include <new>
#include <vector>

nsobject* nsobject::retain() {
    m_refCount.fetch_add(1, std::memory_order_relaxed);
    return this;
}

void nsobject::release() {
    if (m_refCount.fetch_sub(1, std::memory_order_acq_rel) <= 1) {
        delete this;
    }
}

namespace {

std::string Printf(const char* format, auto value) {
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, format, value);
    if (n < 0) {
        return {};
    }
    if (static_cast<std::size_t>(n) < sizeof buf) {
        return std::string(buf, static_cast<std::size_t>(n));
    }
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), format, value);
    big.resize(static_cast<std::size_t>(n));
    return big;
}

std::string FloatText(float value) {
    return Printf("%f", static_cast<double>(value));
}

// The text after "0x" as an unsigned 32-bit number; saturates like the C library does.
std::uint32_t HexNumber(const std::string& text) {
    std::uint64_t n = 0;
    for (std::size_t i = 2; i < text.size(); ++i) {
        int d = platform::HexDigitValue(text[i]);
        if (d < 0) {
            break;
        }
        n = n * 16 + static_cast<unsigned>(d);
        if (n > std::numeric_limits<std::uint32_t>::max()) {
            return std::numeric_limits<std::uint32_t>::max();
        }
    }
    return static_cast<std::uint32_t>(n);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The leading decimal number (blanks and one sign allowed), clamped to 32 bits.
std::int32_t LeadingInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t n = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        n = n * 10 + (text[i] - '0');
        if (n > std::int64_t{1} << 32) {
            n = std::int64_t{1} << 32;
        }
    }
    n = negative ? -n : n;
    if (n > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (n < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(n);
}

// The leading decimal floating-point number, independent of the C locale.
float LeadingFloat(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !(text[i] == '.' || (text[i] >= '0' && text[i] <= '9'))) {
        return 0.0f;
    }
    double d = 0.0;
    auto res =
        std::from_chars(text.data() + i, text.data() + text.size(), d, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        d = std::numeric_limits<double>::infinity();
    } else if (res.ec != std::errc()) {
        return 0.0f;
    }
    if (d > std::numeric_limits<float>::max()) {
        d = std::numeric_limits<double>::infinity();
    }
    float f = static_cast<float>(d);
    return negative ? -f : f;
}

} // namespace

Value::Value(std::int32_t value) : m_text(Printf("%d", value)) {}
Value::Value(std::uint16_t value) : m_text(Printf("0x%04X", static_cast<unsigned>(value))) {}
Value::Value(Hex value) : m_text(Printf("0x%08X", static_cast<std::uint32_t>(value.value))) {}
Value::Value(float value) : m_text(FloatText(value)) {}

Value::Value(nsobject* object) : m_object(object) {
    if (m_object != nullptr) {
        m_object->retain();
    }
}

Value::Value(const Value& other) : m_text(other.m_text), m_object(other.m_object) {
    if (m_object != nullptr) {
        m_object->retain();
    }
}

Value::Value(Value&& other) noexcept
    : m_text(std::move(other.m_text)), m_object(std::exchange(other.m_object, nullptr)) {}

Value& Value::operator=(const Value& other) {
    if (this != &other) {
        Value copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Value& Value::operator=(Value&& other) noexcept {
    if (this != &other) {
        if (m_object != nullptr) {
            m_object->release();
        }
        m_text = std::move(other.m_text);
        m_object = std::exchange(other.m_object, nullptr);
    }
    return *this;
}

Value::~Value() {
    if (m_object != nullptr) {
        m_object->release();
    }
}

bool Value::boolValue() const {
    if (m_text.empty()) {
        return false;
    }
    char c = m_text[0];
    return c == '1' || c == 'y' || c == 'Y';
}

std::int32_t Value::intValue() const {
    if (m_text.empty()) {
        return 0;
    }
    if (isHex()) {
        return static_cast<std::int32_t>(HexNumber(m_text));
    }
    return LeadingInt(m_text);
}

std::int32_t Value::longValue() const {
    return intValue();
}
std::uint32_t Value::unsignedValue() const {
    return static_cast<std::uint32_t>(intValue());
}
std::int16_t Value::shortValue() const {
    return static_cast<std::int16_t>(intValue());
}

float Value::floatValue() const {
    if (m_text.empty()) {
        return 0.0f;
    }
    if (isHex()) {
        return static_cast<float>(HexNumber(m_text));
    }
    return LeadingFloat(m_text);
}

const std::string& Value::stringValue() const {
    return m_text;
}
nsobject* Value::objectValue() const {
    return m_object;
}
bool Value::isHex() const {
    return m_text.size() > 2 && m_text[0] == '0' && m_text[1] == 'x';
}

const Value& EmptyValue() {
    static const Value empty;
    return empty;
}

void Dictionary::Store(const std::string& key, Value&& value) {
    m_entries.try_emplace(key, std::move(value));
}

void Dictionary::setString(const std::string& key, const std::string& text) {
    Store(key, Value(text));
}
void Dictionary::setFloat(const std::string& key, float value) {
    Store(key, Value(value));
}
void Dictionary::setHex(const std::string& key, std::int32_t value) {
    Store(key, Value(Value::Hex{value}));
}
void Dictionary::setInt(const std::string& key, std::int32_t value) {
    Store(key, Value(value));
}
void Dictionary::setObject(const std::string& key, nsobject* object) {
    Store(key, Value(object));
}

const Value& Dictionary::valueForKey(const std::string& key, const Value& fallback) const {
    auto it = m_entries.find(key);
    return it == m_entries.end() ? fallback : it->second;
}

nsobject* Dictionary::objectForKey(const std::string& key) const {
    auto it = m_entries.find(key);
    return it == m_entries.end() ? nullptr : it->second.objectValue();
}

bool Dictionary::containsKey(const std::string& key) const {
    return m_entries.count(key) != 0;
}
std::int32_t Dictionary::count() const {
    return static_cast<std::int32_t>(m_entries.size());
}

Dictionary* Dictionary::dictionaryForKey(const std::string& key) const {
    return dynamic_cast<Dictionary*>(objectForKey(key));
}

Dictionary* FindReplyPath(const Dictionary* top, std::initializer_list<const char*> keys) {
    const Dictionary* node = top;
    for (const char* key : keys) {
        if (node == nullptr) {
            return nullptr;
        }
        node = node->dictionaryForKey(key);
    }
    return const_cast<Dictionary*>(node);
}

namespace {

// Deeper nesting than this is no reply of the service; refusing it also keeps the recursive
// release of a tree off the end of the stack.
constexpr std::size_t kMaxDepth = 256;

struct BuildState {
    XML_Parser parser = nullptr;
    Dictionary* top = nullptr;
    std::vector<NsRef<Dictionary>> stack;
    bool refused = false;
};

void Refuse(BuildState& st) {
    st.refused = true;
    XML_StopParser(st.parser, XML_FALSE);
}

void XMLCALL OnStart(void* user, const XML_Char* name, const XML_Char** attrs) {
    auto& st = *static_cast<BuildState*>(user);
    if (st.stack.size() >= kMaxDepth) {
        Refuse(st);
        return;
    }
    auto node = NsRef<Dictionary>::Retain(new Dictionary);
    for (const XML_Char** a = attrs; a[0] != nullptr; a += 2) {
        node->setString(a[0], a[1] != nullptr ? a[1] : "");
    }
    Dictionary* parent = st.stack.empty() ? st.top : st.stack.back().get();
    parent->setObject(name, node.get());
    st.stack.push_back(std::move(node));
}

void XMLCALL OnEnd(void* user, const XML_Char*) {
    auto& st = *static_cast<BuildState*>(user);
    if (!st.stack.empty()) {
        st.stack.pop_back();
    }
}

// A document type declaration alone is harmless (some servers add one, and nothing external is
// ever read); a declared entity is refused before anything can expand it.
void XMLCALL OnEntityDecl(void* user, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                          const XML_Char*, const XML_Char*, const XML_Char*) {
    Refuse(*static_cast<BuildState*>(user));
}

} // namespace

ReplyTree ParseReplyXml(std::string_view xml) {
    auto top = NsRef<Dictionary>::Retain(new (std::nothrow) Dictionary);
    if (!top) {
        return {};
    }
    // The service's replies have come in Windows-1251 with no declaration, or declared UTF-8
    // while holding code-page bytes: the bytes decide, and the parser is told UTF-8 so the
    // declaration never does.
    std::string decoded;
    if (!platform::IsValidUtf8(xml)) {
        decoded = platform::Cp1251ToUtf8(xml);
        xml = decoded;
    }
    XML_Parser parser = XML_ParserCreate("UTF-8");
    if (parser == nullptr) {
        return top;
    }
    BuildState st;
    st.parser = parser;
    st.top = top.get();
    XML_SetUserData(parser, &st);
    XML_SetElementHandler(parser, OnStart, OnEnd);
    XML_SetEntityDeclHandler(parser, OnEntityDecl);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);

    bool ok = true;
    // Fed in slices because XML_Parse takes an int length.
    constexpr std::size_t kSlice = 1 << 20;
    std::size_t pos = 0;
    do {
        std::size_t n = std::min(kSlice, xml.size() - pos);
        bool last = pos + n == xml.size();
        if (XML_Parse(parser, xml.data() + pos, static_cast<int>(n), last ? XML_TRUE : XML_FALSE) !=
            XML_STATUS_OK) {
            ok = false;
            break;
        }
        pos += n;
    } while (pos < xml.size());
    XML_ParserFree(parser);
    st.stack.clear();
    if (!ok || st.refused) {
        return NsRef<Dictionary>::Retain(new (std::nothrow) Dictionary);
    }
    return top;
}
