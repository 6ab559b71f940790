#include "sending/PhoneNumbers.h"

#include <gtest/gtest.h>
#include <random>

namespace {

TEST(PhoneNumbers, DigitFilterKeepsOnlyAsciiDigitsInOrder) {
    std::string s = "  8 (812) 352-08-09\t\n";
    KeepDigits(s);
    EXPECT_EQ(s, "88123520809");

    s = "+7 495 123 45 67";
    KeepDigits(s);
    EXPECT_EQ(s, "74951234567");

    // Digits of other scripts (Arabic-Indic three, fullwidth five) and letters are dropped.
    s = "1\xD9\xA3"
        "2\xEF\xBC\x95"
        "3abc";
    KeepDigits(s);
    EXPECT_EQ(s, "123");

    s = "no digits";
    KeepDigits(s);
    EXPECT_EQ(s, "");
}

TEST(PhoneNumbers, PrefixCompletionLooksOnlyAtTheFirstCharacter) {
    std::string s = "3520809";
    EXPECT_TRUE(AddAreaPrefix(s, "8812"));
    EXPECT_EQ(s, "88123520809");

    s = "3520809";
    EXPECT_TRUE(AddAreaPrefix(s, "8495"));
    EXPECT_EQ(s, "84953520809");

    s = "8123"; // a local number that happens to begin with 8 is left alone
    EXPECT_FALSE(AddAreaPrefix(s, "8812"));
    EXPECT_EQ(s, "8123");

    s = "";
    EXPECT_TRUE(AddAreaPrefix(s, "8812"));
    EXPECT_EQ(s, "8812");
}

// One test per place of the rules table.
TEST(PhoneNumbers, SingleFaxLeavingTheFieldCompletesFiveDigitsOrMore) {
    EXPECT_EQ(NumberOnLeavingField("8 (812) 352-08-09", "8812"), "88123520809");
    EXPECT_EQ(NumberOnLeavingField("3520809", "8812"), "88123520809");
    EXPECT_EQ(NumberOnLeavingField("1234", "8812"), "1234");
    EXPECT_EQ(NumberOnLeavingField("12-345", "8812"), "881212345");
}

TEST(PhoneNumbers, TypedNumberNeedsMoreThanFourDigits) {
    std::string n;
    EXPECT_FALSE(NormalizeTypedNumber("1-2-3-4", "8812", n));
    EXPECT_EQ(n, "1234"); // left filtered in the field, message 141
    EXPECT_FALSE(NormalizeTypedNumber("", "8812", n));
    EXPECT_EQ(n, "");
    EXPECT_TRUE(NormalizeTypedNumber("12345", "8812", n));
    EXPECT_EQ(n, "881212345");
    EXPECT_TRUE(NormalizeTypedNumber("8 (812) 352-08-09", "8495", n));
    EXPECT_EQ(n, "88123520809");
}

TEST(PhoneNumbers, ListFieldIsAlwaysCompleted) {
    std::string n;
    EXPECT_TRUE(NumberFromListField("", "8812", n));
    EXPECT_EQ(n, "8812");
    EXPECT_TRUE(NumberFromListField("12", "8812", n));
    EXPECT_EQ(n, "881212");
    EXPECT_TRUE(NumberFromListField("352-08-09 ", "8812", n));
    EXPECT_EQ(n, "88123520809");
    EXPECT_FALSE(NumberFromListField("8 812 3520809", "8812", n));
    EXPECT_EQ(n, "88123520809");
}

TEST(PhoneNumbers, TypedDuplicateIsAWholeLineMatch) {
    std::vector<std::string> lines;
    EXPECT_TRUE(AddTypedNumber(lines, "88123520809"));
    EXPECT_FALSE(AddTypedNumber(lines, "88123520809")); // the caller beeps
    ASSERT_EQ(lines.size(), 1u);

    // A labelled line is not equal to the number alone, nor is a longer number.
    lines = {"88123520809 Firm"};
    EXPECT_FALSE(IsDuplicateTypedNumber(lines, "88123520809"));
    EXPECT_FALSE(IsDuplicateTypedNumber(lines, "8812352"));
    EXPECT_TRUE(IsDuplicateTypedNumber(lines, "88123520809 firm")); // case ignored
}

// A leading "+" is dialled abroad wherever the number comes from: typed, from a list, imported.
TEST(PhoneNumbers, APlusIsDialledAbroadEverywhere) {
    std::string n;
    EXPECT_TRUE(NormalizeTypedNumber("+7 (495) 123-45-67", "8812", n));
    EXPECT_EQ(n, "81074951234567");
    EXPECT_EQ(NumberOnLeavingField("+7 (495) 123-45-67", "8812"), "81074951234567");
    EXPECT_FALSE(NumberFromListField(" +44 20 7946 0000", "8812", n));
    EXPECT_EQ(n, "810442079460000");
    // Only before the first digit: elsewhere it is noise, and the number is completed.
    EXPECT_TRUE(NumberFromListField("3520809+", "8812", n));
    EXPECT_EQ(n, "88123520809");
    // A short number stays short however it is written.
    EXPECT_FALSE(NormalizeTypedNumber("+12", "8812", n));
    EXPECT_EQ(n, "12");
}

TEST(PhoneNumbers, ListDuplicateIsAPrefixMatch) {
    std::vector<std::string> lines = {"88123520809 Firm"};
    bool duplicate = false;
    {
        CListAppender list(lines);
        EXPECT_FALSE(list.Add("8812352", "Other", duplicate));
        EXPECT_TRUE(duplicate);
        EXPECT_FALSE(list.Add("88123520809", "", duplicate));

        duplicate = false;
        EXPECT_TRUE(list.Add("84951234567", "Ivanov", duplicate));
        EXPECT_FALSE(duplicate);
        EXPECT_EQ(lines.back(), "84951234567 Ivanov");

        // A line without digits becomes the prefix alone, and a later one is its duplicate.
        std::string n;
        NumberFromListField("", "8812", n);
        EXPECT_FALSE(list.Add(n, "Firm", duplicate)); // 88123520809... begins with 8812
    }
    lines = {"84951234567 Ivanov"};
    CListAppender list(lines);
    EXPECT_TRUE(list.Add("8812", "Firm", duplicate));
    EXPECT_EQ(lines.back(), "8812 Firm");
    EXPECT_TRUE(IsDuplicateListNumber(lines, "8812"));
}

// The ordered index gives the answers of the plain rule "some line begins with the number"
// (ASCII case ignored) on lines of every shape: contacts' numbers with letters and dashes,
// empty numbers, numbers that are prefixes of others; enough of them, before and after the
// appender starts, to fill and split its blocks.
TEST(PhoneNumbers, ListAppenderAgreesWithThePlainRule) {
    std::mt19937 random(15);
    const std::vector<std::string> pieces = {"",   "8",  "81",   "812",  "8812", "88123520809",
                                             "ab", "AB", "8-12", "8 12", "x",    "88123"};
    auto digits = [&] { return std::to_string(random() % 100000000); };
    std::vector<std::string> fast = {"8812 Start", "Ab-1 contact"};
    for (int i = 0; i < 1500; ++i) {
        fast.push_back(digits() + " old");
    }
    std::vector<std::string> plain = fast;
    CListAppender list(fast);
    for (int i = 0; i < 4000; ++i) {
        std::string number =
            i % 2 == 0 ? digits()
                       : pieces[random() % pieces.size()] + pieces[random() % pieces.size()];
        const std::string label = pieces[random() % pieces.size()];
        bool fastDuplicate = false;
        const bool added = list.Add(number, label, fastDuplicate);
        const bool plainDuplicate = IsDuplicateListNumber(plain, number);
        ASSERT_EQ(added, !plainDuplicate) << number;
        ASSERT_EQ(fastDuplicate, plainDuplicate) << number;
        if (!plainDuplicate) {
            plain.push_back(number + " " + label);
        }
    }
    EXPECT_EQ(fast, plain);
}

} // namespace
