#pragma once
// The tree built from a service reply: reference-counted dictionaries of values, read by key.
// Whoever receives a tree owns one reference; NsRef does that bookkeeping for callers.
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <utility>

class nsobject {
public:
    nsobject() = default;
    nsobject(const nsobject&) = delete;
    nsobject& operator=(const nsobject&) = delete;
    virtual ~nsobject() = default;

    nsobject* retain();
    // Destroys the object when the count drops to zero (or below, for an object never retained).
    void release();
    std::int32_t retainCount() const { return m_refCount.load(std::memory_order_relaxed); }

private:
    std::atomic<std::int32_t> m_refCount{0};
};

class Value;

class KeyValueCoding {
public:
    virtual ~KeyValueCoding() = default;
    // A store never replaces an entry already present under the key.
    virtual void setString(const std::string& key, const std::string& text) = 0;
    virtual void setFloat(const std::string& key, float value) = 0;
    virtual void setHex(const std::string& key, std::int32_t value) = 0;
    virtual void setInt(const std::string& key, std::int32_t value) = 0;
    virtual void setObject(const std::string& key, nsobject* object) = 0;
    virtual const Value& valueForKey(const std::string& key, const Value& fallback) const = 0;
    virtual nsobject* objectForKey(const std::string& key) const = 0;
};

class Value {
public:
    struct Hex {
        std::int32_t value;
    };

    Value() = default;
    explicit Value(std::string text) : m_text(std::move(text)) {}
    explicit Value(const char* text) : m_text(text) {}
    explicit Value(std::int32_t value);
    explicit Value(std::uint16_t value);
    explicit Value(Hex value);
    explicit Value(float value);
    explicit Value(nsobject* object);
    Value(const Value& other);
    Value(Value&& other) noexcept;
    Value& operator=(const Value& other);
    Value& operator=(Value&& other) noexcept;
    virtual ~Value();

    virtual bool boolValue() const;
    virtual std::int32_t intValue() const;
    virtual std::int32_t longValue() const;
    virtual std::uint32_t unsignedValue() const;
    virtual std::int16_t shortValue() const;
    virtual float floatValue() const;
    virtual const std::string& stringValue() const;
    // Not retained by the call.
    virtual nsobject* objectValue() const;
    // More than two characters beginning with "0x" (lower-case x only).
    virtual bool isHex() const;

private:
    std::string m_text;
    nsobject* m_object = nullptr;
};

// The shared value with empty text and no object: the default of readers.
const Value& EmptyValue();

class Dictionary : public KeyValueCoding, public nsobject {
public:
    void setString(const std::string& key, const std::string& text) override;
    void setFloat(const std::string& key, float value) override;
    void setHex(const std::string& key, std::int32_t value) override;
    void setInt(const std::string& key, std::int32_t value) override;
    void setObject(const std::string& key, nsobject* object) override;
    const Value& valueForKey(const std::string& key, const Value& fallback) const override;
    nsobject* objectForKey(const std::string& key) const override;
    virtual bool containsKey(const std::string& key) const;
    virtual std::int32_t count() const;

    // The object under `key` when it is a Dictionary (not retained).
    Dictionary* dictionaryForKey(const std::string& key) const;

private:
    void Store(const std::string& key, Value&& value);

    std::map<std::string, Value> m_entries; // std::string orders keys by unsigned bytes
};

// Holds one reference to an nsobject-derived object and releases it when destroyed.
template <class T> class NsRef {
public:
    NsRef() = default;
    // Takes over a reference the caller already holds.
    static NsRef Adopt(T* object) {
        NsRef r;
        r.m_object = object;
        return r;
    }
    // Adds a reference of its own.
    static NsRef Retain(T* object) {
        if (object != nullptr) {
            object->retain();
        }
        return Adopt(object);
    }
    NsRef(const NsRef& other) : m_object(other.m_object) {
        if (m_object != nullptr) {
            m_object->retain();
        }
    }
    NsRef(NsRef&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    NsRef& operator=(NsRef other) noexcept {
        std::swap(m_object, other.m_object);
        return *this;
    }
    ~NsRef() { Reset(); }

    void Reset() {
        if (m_object != nullptr) {
            std::exchange(m_object, nullptr)->release();
        }
    }
    // Hands the reference over to the caller.
    T* Detach() { return std::exchange(m_object, nullptr); }
    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    T* m_object = nullptr;
};

using ReplyTree = NsRef<Dictionary>;

// Builds the tree of one reply, given the text from its XML declaration on. The bytes are read
// as UTF-8 when they are valid UTF-8, else as Windows-1251, whatever the declaration says. A
// document that is not well-formed (or declares an entity, or nests absurdly deep) gives an
// empty top dictionary; the result is empty only when memory runs out. A document type
// declaration is allowed; no external DTD or entity is ever read.
ReplyTree ParseReplyXml(std::string_view xml);

// Follows `keys` from `top` by objectForKey; nullptr at the first missing step.
Dictionary* FindReplyPath(const Dictionary* top, std::initializer_list<const char*> keys);
