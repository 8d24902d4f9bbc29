// The guarded property-list reader: how deep lists are measured in both formats, which
// binary object tables are refused before libplist sees them, and which files are read at all.
#include "platform/shared/PropertyListFile.h"
#include "support/HostilePropertyLists.h"
#include "support/TestWorld.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::test;

namespace {

bool accepted(const QByteArray &bytes) { return propertyListProblem(bytes).isEmpty(); }

/// `depth` nested elements named `name` around `inner`, in a property list.
QByteArray xmlAround(const QByteArray &name, int depth, const QByteArray &inner) {
    const QByteArray open = "<" + name + ">" + (name == "dict" ? "<key>k</key>" : "");
    return "<plist>" + open.repeated(depth) + inner + ("</" + name + ">").repeated(depth) + "</plist>";
}

} // namespace

TEST(PropertyListFileTest, ArraysAndDictionariesNestAtMost256LevelsInEitherFormat) {
    EXPECT_TRUE(accepted(xmlNestedArrays(maximumPropertyListDepth)));
    EXPECT_FALSE(accepted(xmlNestedArrays(maximumPropertyListDepth + 1)));
    EXPECT_TRUE(accepted(binaryNestedArrays(maximumPropertyListDepth)));
    EXPECT_EQ(propertyListProblem(binaryNestedArrays(maximumPropertyListDepth + 1)), "nested deeper than 256 levels");
    // The top-level dictionary is a level of its own.
    EXPECT_TRUE(accepted(xmlInfo("a.b", "X", 255)));
    EXPECT_EQ(propertyListProblem(xmlInfo("a.b", "X", 256)), "nested deeper than 256 levels");
    EXPECT_TRUE(accepted(binaryInfo("a.b", "X", 255)));
    EXPECT_FALSE(accepted(binaryInfo("a.b", "X", 256)));
    // A plain value inside the deepest array is no level either.
    BinaryPropertyList holding;
    for (int level = 0; level < maximumPropertyListDepth; ++level) {
        holding.array({level + 1});
    }
    holding.string("value");
    EXPECT_TRUE(accepted(holding.bytes()));
    EXPECT_TRUE(accepted(xmlAround("dict", 256, "<string>v</string>")));
    EXPECT_FALSE(accepted(xmlAround("dict", 257, "<string>v</string>")));
    // A value inside the deepest level is no level; elements nested below it are refused.
    EXPECT_TRUE(accepted(xmlAround("array", 256, "<string>v</string>")));
    EXPECT_FALSE(accepted(xmlAround("array", 256, "<string><b/></string>")));
    EXPECT_FALSE(accepted(xmlAround("string", 300, "v")));

    // What is accepted is what libplist then reads.
    TestWorld world;
    for (const QByteArray &bytes : {xmlInfo("a.b", "X", 255), binaryInfo("a.b", "X", 255)}) {
        QString error;
        const PropertyList list = readPropertyListFile(world.writeFile("Info.plist", bytes), 1 << 20, error);
        ASSERT_TRUE(list) << qPrintable(error);
        plist_t nested = plist_dict_get_item(list.get(), "Nested");
        int depth = 0;
        for (; nested && plist_get_node_type(nested) == PLIST_ARRAY; ++depth) {
            nested = plist_array_get_size(nested) > 0 ? plist_array_get_item(nested, 0) : nullptr;
        }
        EXPECT_EQ(depth, 255);
    }
}

TEST(PropertyListFileTest, AListNestedTwoHundredThousandLevelsIsRefusedBeforeItIsParsed) {
    TestWorld world;
    const QByteArray xml = xmlNestedArrays(200'000);
    const QByteArray binary = binaryNestedArrays(200'000);
    EXPECT_GT(xml.size(), 2'900'000);
    EXPECT_GT(binary.size(), 1'300'000);
    for (const QByteArray &bytes : {xml, binary}) {
        QString error;
        EXPECT_FALSE(readPropertyListFile(world.writeFile("Deep.plist", bytes), 16 << 20, error));
        EXPECT_TRUE(error.endsWith(": nested deeper than 256 levels")) << qPrintable(error);
    }
}

TEST(PropertyListFileTest, BinaryObjectsThatContainThemselvesOrMultiplyAreRefused) {
    BinaryPropertyList selfContained;
    selfContained.setItems(selfContained.array(), {0});
    EXPECT_EQ(propertyListProblem(selfContained.bytes()), "a binary property list that contains itself");

    BinaryPropertyList cycle;
    cycle.array({1});
    cycle.array({2});
    cycle.setItems(cycle.array(), {0});
    EXPECT_FALSE(accepted(cycle.bytes()));

    // Forty levels of arrays each holding the next twice: a few hundred bytes that parse
    // into 2^40 copies.
    BinaryPropertyList doubling;
    for (int i = 0; i < 40; ++i) {
        doubling.array({i + 1, i + 1});
    }
    doubling.string("sixteen bytes...");
    EXPECT_EQ(propertyListProblem(doubling.bytes()), "a binary property list that refers to its objects too many times over");

    // Objects shared as property-list writers share them (a key used throughout) are fine.
    BinaryPropertyList shared;
    const int top = shared.array();
    const int key = shared.string("CFBundleName");
    shared.setItems(top, QList<int>(100, key));
    TestWorld world;
    QString error;
    const PropertyList list = readPropertyListFile(world.writeFile("Shared.plist", shared.bytes(top)), 1 << 20, error);
    ASSERT_TRUE(list) << qPrintable(error);
    EXPECT_EQ(plist_array_get_size(list.get()), 100u);

    // A deep object met first on a short road still counts its levels on a long one.
    BinaryPropertyList reached;
    const int root = reached.array();
    const int deep = reached.array();
    for (int level = 1, outer = deep; level < 200; ++level) {
        const int inner = reached.array();
        reached.setItems(outer, {inner});
        outer = inner;
    }
    const int chain = reached.array();
    int innermost = chain;
    for (int level = 1; level < 100; ++level) {
        const int inner = reached.array();
        reached.setItems(innermost, {inner});
        innermost = inner;
    }
    reached.setItems(innermost, {deep});
    reached.setItems(root, {deep, chain});
    EXPECT_EQ(propertyListProblem(reached.bytes(root)), "nested deeper than 256 levels");
    reached.setItems(root, {deep});
    EXPECT_TRUE(accepted(reached.bytes(root)));
}

TEST(PropertyListFileTest, EveryKindOfValueAWriterMakesIsAccepted) {
    plist_t info = plist_new_dict();
    plist_dict_set_item(info, "ascii", plist_new_string("CFBundleIdentifier and more than fifteen"));
    plist_dict_set_item(info, "unicode", plist_new_string("运行组件"));
    plist_dict_set_item(info, "small", plist_new_uint(7));
    plist_dict_set_item(info, "large", plist_new_uint(0x123456789ABCULL));
    plist_dict_set_item(info, "real", plist_new_real(2.5));
    plist_dict_set_item(info, "flag", plist_new_bool(1));
    plist_dict_set_item(info, "date", plist_new_date(700000000, 0));
    plist_dict_set_item(info, "uid", plist_new_uid(3));
    const QByteArray data(300, 'd');
    plist_dict_set_item(info, "data", plist_new_data(data.constData(), uint64_t(data.size())));
    plist_t many = plist_new_array();
    for (int i = 0; i < 40; ++i) {
        plist_array_append_item(many, plist_new_uint(uint64_t(i)));
    }
    plist_dict_set_item(info, "many", many);
    char *binary = nullptr;
    uint32_t length = 0;
    plist_to_bin(info, &binary, &length);
    const QByteArray bytes(binary, qsizetype(length));
    free(binary);
    plist_free(info);

    EXPECT_EQ(propertyListProblem(bytes), QString());
    TestWorld world;
    QString error;
    const PropertyList read = readPropertyListFile(world.writeFile("All.plist", bytes), 1 << 20, error);
    ASSERT_TRUE(read) << qPrintable(error);
    EXPECT_EQ(plist_dict_get_size(read.get()), 10u);

    // Integers of sixteen bytes, as other writers make for the largest unsigned ones.
    BinaryPropertyList wide;
    wide.array({1});
    wide.raw(QByteArray::fromHex("14") + QByteArray(16, '\xff'));
    EXPECT_EQ(propertyListProblem(wide.bytes()), QString());
}

TEST(PropertyListFileTest, AMalformedBinaryTableIsRefused) {
    const QByteArray good = binaryNestedArrays(3);
    ASSERT_TRUE(accepted(good));
    const auto withTrailerByte = [&](int fromEnd, char value) {
        QByteArray bytes = good;
        bytes[bytes.size() - fromEnd] = value;
        return bytes;
    };
    QList<QByteArray> broken{
        QByteArrayLiteral("bplist00"),
        good.left(good.size() - 1),
        withTrailerByte(26, 0),  // offsets of no bytes
        withTrailerByte(25, 9),  // references of nine bytes
        withTrailerByte(25, 0),  // references of no bytes
        withTrailerByte(9, 3),   // the root is past the last object
        withTrailerByte(1, 2),   // the offset table inside the header
    };
    // The entry past the last offset (the trailer's first byte) made to point at a real object.
    QByteArray pastTheTable = withTrailerByte(9, 3);
    pastTheTable[pastTheTable.size() - 32] = 8;
    broken.append(pastTheTable);
    const QList<QByteArray> objects{
        QByteArray::fromHex("5e616263"),           // a string of 14 bytes that has 3
        QByteArray::fromHex("af5178"),             // an array counted by a string
        QByteArray::fromHex("af14"),               // counted by an integer of 16 bytes
        QByteArray::fromHex("af134000000000000000"), // 2^62 references
        QByteArray::fromHex("6f5178"),             // a UTF-16 string counted by a string
        QByteArray::fromHex("6f134000000000000000"), // 2^62 UTF-16 units
        QByteArray::fromHex("1500"),               // an integer of 32 bytes
        QByteArray::fromHex("90"),                 // no such type
    };
    for (const QByteArray &object : objects) {
        BinaryPropertyList list;
        list.array({1});
        list.raw(object);
        broken.append(list.bytes());
    }
    for (const QByteArray &bytes : broken) {
        EXPECT_EQ(propertyListProblem(bytes), "a malformed binary property list") << bytes.toHex().constData();
    }
    BinaryPropertyList dangling;
    dangling.array({7});
    EXPECT_FALSE(accepted(dangling.bytes()));
    EXPECT_FALSE(accepted("<plist><array></plist>"));
    EXPECT_FALSE(accepted(QByteArray()));
}

TEST(PropertyListFileTest, OnlyARegularFileWithinTheLimitIsRead) {
    TestWorld world;
    const QByteArray info = xmlInfo("a.b", "X", 0);
    const QString path = world.writeFile("Info.plist", info);
    QString error;
    EXPECT_TRUE(readPropertyListFile(path, info.size(), error)) << qPrintable(error);
    EXPECT_FALSE(readPropertyListFile(path, info.size() - 1, error));
    EXPECT_TRUE(error.contains("more than")) << qPrintable(error);

    // Through a link, what counts is the file it leads to.
    ASSERT_TRUE(QFile::link(path, world.path("Linked.plist")));
    EXPECT_TRUE(readPropertyListFile(world.path("Linked.plist"), 1 << 20, error)) << qPrintable(error);
    EXPECT_FALSE(readPropertyListFile(world.makeFolder("Folder.plist"), 1 << 20, error));
    EXPECT_TRUE(error.endsWith("is not a regular file")) << qPrintable(error);
    // Well-formed, shallow, and no property list.
    EXPECT_FALSE(readPropertyListFile(world.writeFile("Page.plist", "<html><body/></html>"), 1 << 20, error));
    EXPECT_TRUE(error.endsWith("Page.plist is not a property list")) << qPrintable(error);
    EXPECT_FALSE(readPropertyListFile(world.path("Missing.plist"), 1 << 20, error));
    EXPECT_TRUE(error.startsWith("cannot open")) << qPrintable(error);
}
