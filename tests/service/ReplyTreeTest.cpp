#include "service/ReplyTree.h"
#include "platform/Encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int g_destroyed = 0;
struct Counted : nsobject {
    ~Counted() override { ++g_destroyed; }
};

TEST(ValueTest, IntegerReadingRules) {
    EXPECT_EQ(Value("0x1a").intValue(), 26);
    EXPECT_EQ(Value("0X1A").intValue(), 0); // only a lower-case x marks hexadecimal
    EXPECT_EQ(Value("12abc").intValue(), 12);
    EXPECT_EQ(Value("").intValue(), 0);
    EXPECT_EQ(Value("-5").intValue(), -5);
    EXPECT_EQ(Value("  +42").intValue(), 42);
    EXPECT_EQ(Value("abc").intValue(), 0);
    EXPECT_EQ(Value("0x").intValue(), 0); // too short to be hexadecimal
    EXPECT_EQ(Value("0xffffffff").intValue(), -1);
    EXPECT_EQ(Value("0xffffffff").unsignedValue(), 0xffffffffu);
    EXPECT_EQ(Value("99999999999999999999").intValue(), 2147483647); // clamped, no overflow
    EXPECT_EQ(Value("-99999999999999999999").intValue(), -2147483647 - 1);
    EXPECT_EQ(Value("70000").shortValue(), static_cast<std::int16_t>(70000));
    EXPECT_EQ(Value("123").longValue(), 123);
}

TEST(ValueTest, BoolFloatAndHexRules) {
    for (const char* t : {"1", "y", "Y", "yes", "1abc"}) {
        EXPECT_TRUE(Value(t).boolValue()) << t;
    }
    for (const char* t : {"0", "true", "", "n", " 1"}) {
        EXPECT_FALSE(Value(t).boolValue()) << t;
    }
    EXPECT_FLOAT_EQ(Value("2.5kg").floatValue(), 2.5f);
    EXPECT_FLOAT_EQ(Value(" -0.25").floatValue(), -0.25f);
    EXPECT_FLOAT_EQ(Value("0x10").floatValue(), 16.0f);
    EXPECT_FLOAT_EQ(Value("x").floatValue(), 0.0f);
    EXPECT_FLOAT_EQ(Value("").floatValue(), 0.0f);
    EXPECT_TRUE(Value("0x1").isHex());
    EXPECT_FALSE(Value("0x").isHex());
    EXPECT_FALSE(Value("0X12").isHex());
}

TEST(ValueTest, ConstructorsWriteTheirFormats) {
    EXPECT_EQ(Value(std::int32_t{-7}).stringValue(), "-7");
    EXPECT_EQ(Value(std::uint16_t{0xab}).stringValue(), "0x00AB");
    EXPECT_EQ(Value(Value::Hex{0x1234abcd}).stringValue(), "0x1234ABCD");
    EXPECT_EQ(Value(Value::Hex{-1}).stringValue(), "0xFFFFFFFF");
    EXPECT_EQ(Value(1.5f).stringValue(), "1.500000");
    EXPECT_EQ(EmptyValue().stringValue(), "");
    EXPECT_EQ(EmptyValue().objectValue(), nullptr);
}

TEST(ValueTest, ObjectsAreRetainedPerCellAndReleasedWithIt) {
    g_destroyed = 0;
    auto obj = NsRef<Counted>::Retain(new Counted);
    {
        Value a(obj.get());
        Value b(a);
        Value c;
        c = b;
        EXPECT_EQ(obj->retainCount(), 4);
        Value d(std::move(c));
        EXPECT_EQ(obj->retainCount(), 4);
        EXPECT_EQ(c.objectValue(), nullptr);
        a = Value("text");
        EXPECT_EQ(obj->retainCount(), 3);
    }
    EXPECT_EQ(obj->retainCount(), 1);
    obj.Reset();
    EXPECT_EQ(g_destroyed, 1);
}

TEST(DictionaryTest, FirstStoreWinsAndKeysAreByteOrdered) {
    auto d = NsRef<Dictionary>::Retain(new Dictionary);
    d->setString("code", "1");
    d->setInt("code", 2);
    d->setHex("hex", 255);
    d->setFloat("f", 0.5f);
    auto child = NsRef<Dictionary>::Retain(new Dictionary);
    d->setObject("code", child.get()); // discarded: the text entry stays
    EXPECT_EQ(child->retainCount(), 1);
    EXPECT_EQ(d->valueForKey("code", EmptyValue()).stringValue(), "1");
    EXPECT_EQ(d->objectForKey("code"), nullptr);
    EXPECT_EQ(d->valueForKey("hex", EmptyValue()).intValue(), 255);
    EXPECT_EQ(d->valueForKey("f", EmptyValue()).stringValue(), "0.500000");
    EXPECT_EQ(&d->valueForKey("missing", EmptyValue()), &EmptyValue());
    EXPECT_TRUE(d->containsKey("code"));
    EXPECT_FALSE(d->containsKey("Code"));
    EXPECT_EQ(d->count(), 3);
    d->setObject("child", child.get());
    EXPECT_EQ(child->retainCount(), 2);
    EXPECT_EQ(d->dictionaryForKey("child"), child.get());
    EXPECT_EQ(d->dictionaryForKey("code"), nullptr);
}

TEST(DictionaryTest, ReleasingTheTopFreesEveryNode) {
    g_destroyed = 0;
    auto* top = new Dictionary;
    top->retain();
    auto* mid = new Dictionary;
    top->setObject("mid", mid);
    mid->setObject("leaf", new Counted);
    mid->setObject("leaf2", new Counted);
    top->release();
    EXPECT_EQ(g_destroyed, 2);
}

TEST(ParseReplyXmlTest, BuildsAttributesAndChildrenInDocumentOrder) {
    ReplyTree t = ParseReplyXml(
        "<?xml version=\"1.0\"?>\n<response>\n  <error code=\"0\" message=\"ok\" details=\"\"/>\n"
        "  <data><item id=\"77\" jobstatus=\"2\">text is ignored</item>"
        "<item id=\"78\" jobstatus=\"3\"/></data>\n</response>");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->count(), 1);
    Dictionary* error = FindReplyPath(t.get(), {"response", "error"});
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->valueForKey("code", EmptyValue()).intValue(), 0);
    EXPECT_EQ(error->valueForKey("message", EmptyValue()).stringValue(), "ok");
    EXPECT_TRUE(error->containsKey("details"));
    Dictionary* item = FindReplyPath(t.get(), {"response", "data", "item"});
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->valueForKey("id", EmptyValue()).intValue(), 77); // the first item wins
    EXPECT_EQ(item->valueForKey("jobstatus", EmptyValue()).intValue(), 2);
    EXPECT_EQ(item->count(), 2);
    EXPECT_EQ(FindReplyPath(t.get(), {"response", "nothing", "item"}), nullptr);
}

TEST(ParseReplyXmlTest, AttributeBeatsChildOfTheSameNameAndTextIsInvisible) {
    ReplyTree t =
        ParseReplyXml("<?xml version=\"1.0\"?><response><error code=\"5\">"
                      "<code>9</code><message>shown nowhere</message></error></response>");
    Dictionary* error = FindReplyPath(t.get(), {"response", "error"});
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->valueForKey("code", EmptyValue()).intValue(), 5);
    EXPECT_EQ(error->objectForKey("code"), nullptr);
    // The child element is there, but its text is not an attribute.
    EXPECT_EQ(error->valueForKey("message", EmptyValue()).intValue(), 0);
    EXPECT_EQ(error->valueForKey("message", EmptyValue()).stringValue(), "");
}

TEST(ParseReplyXmlTest, DocumentsThatAreNotWellFormedGiveAnEmptyTop) {
    for (const char* bad : {"", "<?xml version=\"1.0\"?>", "<?xml version=\"1.0\"?><a><b></a>",
                            "<?xml version=\"1.0\"?><a></a><b/>", "<?xml version=\"1.0\"?><a x=1/>",
                            "<?xml version=\"1.0\"?><response><data><item id=\"1\""}) {
        ReplyTree t = ParseReplyXml(bad);
        ASSERT_TRUE(t) << bad;
        EXPECT_EQ(t->count(), 0) << bad;
    }
}

TEST(ParseReplyXmlTest, TheBytesDecideTheCharacterSetWhateverTheDeclarationSays) {
    const std::string message = "Неверное имя пользователя или пароль";
    const std::string cp = platform::Utf8ToCp1251(message);
    auto messageOf = [](const std::string& xml) {
        ReplyTree t = ParseReplyXml(xml);
        Dictionary* error = FindReplyPath(t.get(), {"response", "error"});
        return error ? error->valueForKey("message", EmptyValue()).stringValue() : "<no reply>";
    };
    // Code-page bytes: declared so, not declared at all, or declared as UTF-8 or unknown.
    for (const char* declaration :
         {"<?xml version=\"1.0\" encoding=\"windows-1251\"?>", "<?xml version=\"1.0\"?>",
          "<?xml version=\"1.0\" encoding=\"utf-8\"?>",
          "<?xml version=\"1.0\" encoding=\"koi8-x\"?>"}) {
        EXPECT_EQ(messageOf(std::string(declaration) + "<response><error code=\"2\" message=\"" +
                            cp + "\"/></response>"),
                  message)
            << declaration;
    }
    // UTF-8 bytes stay UTF-8, also under a code-page declaration.
    for (const char* declaration : {"<?xml version=\"1.0\" encoding=\"utf-8\"?>",
                                    "<?xml version=\"1.0\" encoding=\"windows-1251\"?>"}) {
        EXPECT_EQ(messageOf(std::string(declaration) + "<response><error message=\"" + message +
                            "\"/></response>"),
                  message)
            << declaration;
    }
}

TEST(ParseReplyXmlTest, EntityDeclarationsAreRefusedAndAPlainDoctypeIsRead) {
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\">";
    for (char c = 'b'; c <= 'j'; ++c) {
        std::string prev(1, static_cast<char>(c - 1));
        laughs += std::string("<!ENTITY ") + c + " \"";
        for (int i = 0; i < 10; ++i) {
            laughs += "&" + prev + ";";
        }
        laughs += "\">";
    }
    laughs += "]><r x=\"&j;\"/>";
    EXPECT_EQ(ParseReplyXml(laughs)->count(), 0);
    EXPECT_EQ(ParseReplyXml("<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY % p SYSTEM "
                            "\"file:///etc/passwd\"> %p;]><r/>")
                  ->count(),
              0);
    ReplyTree plain = ParseReplyXml("<?xml version=\"1.0\"?><!DOCTYPE r SYSTEM "
                                    "\"file:///etc/passwd\"><r/>");
    EXPECT_NE(FindReplyPath(plain.get(), {"r"}), nullptr) << "harmless: nothing external is read";
    // Predefined and character references still work.
    ReplyTree t = ParseReplyXml("<?xml version=\"1.0\"?><r m=\"a&amp;b&#1071;\"/>");
    ASSERT_NE(FindReplyPath(t.get(), {"r"}), nullptr);
    EXPECT_EQ(FindReplyPath(t.get(), {"r"})->valueForKey("m", EmptyValue()).stringValue(), "a&bЯ");
}

TEST(ParseReplyXmlTest, AbsurdNestingIsRefusedWithoutExhaustingTheStack) {
    std::string deep = "<?xml version=\"1.0\"?>";
    for (int i = 0; i < 100000; ++i) {
        deep += "<a>";
    }
    for (int i = 0; i < 100000; ++i) {
        deep += "</a>";
    }
    EXPECT_EQ(ParseReplyXml(deep)->count(), 0);
}

} // namespace
