#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "Strings.h"
#include "Tree.h"

namespace {

struct Node : Tree {
    static int alive;
    explicit Node(const char *n) { name.set(n); alive++; }
    ~Node() override { alive--; }
};
int Node::alive = 0;

// The depth of the deepest node (a chain is cut short at 100).
unsigned height(const Tree *t, unsigned depth = 0)
{
    return !t || depth > 100 ? depth : std::max(height(t->left, depth + 1), height(t->right, depth + 1));
}

TEST(Tree, DuplicatesAndPathLookups)
{
    Node *first = new Node("x"), *second = new Node("x");
    Tree *root = nullptr;
    for (Node *n : {first, second, new Node("images/a.jpg")})
        Tree::insertInto(root, n);
    EXPECT_EQ(Tree::find(root, "x"), first);
    EXPECT_EQ(first->right, second);
    EXPECT_NE(Tree::findPath(root, "images\\a.jpg"), nullptr);
    for (const char *missing : {"images\\a.jpg", "", (const char *)nullptr})
        EXPECT_EQ(Tree::find(root, missing), nullptr);
    delete root;
    EXPECT_EQ(Node::alive, 0);
}

TEST(Tree, OfEqualNamesTheOneNearerTheRootIsFoundAndLaterInsertsAreLinkedPlainly)
{
    // Over a, k, k, m, n, p, q the balanced root is m, its left child the first k.
    Node *n[] = {new Node("a"), new Node("k"), new Node("k"), new Node("m"), new Node("n"), new Node("p"), new Node("q")};
    Tree *root = nullptr;
    for (Node *node : n)
        Tree::insertInto(root, node);
    root = Tree::balance(root);
    // Names inserted afterwards hang below; a rotation would lift the second k over the first.
    for (const char *late : {"kz", "kzz"})
        Tree::insert(root, new Node(late));
    EXPECT_EQ(std::make_tuple(root, root->left, n[1]->left, n[1]->right, Tree::find(root, "k")),
              std::make_tuple((Tree *)n[3], (Tree *)n[1], (Tree *)n[0], (Tree *)n[2], (Tree *)n[1]));
    delete root;
    EXPECT_EQ(Node::alive, 0);
}

// Trees of three nodes keep the shape their inserts give them, so of two
// equal names the first inserted stays above the second and is found. A
// rotation would lift the second over the first in each of these shapes.
TEST(Tree, TreesOfThreeNodesKeepTheirInsertShapeAndFindTheFirstOfEqualNames)
{
    const struct { const char *shape; const char *names[3]; const char *key; int found; } cases[] = {
        {"zig-zag, left then right", {"?default", "!a", "!a"}, "!a", 1},
        {"zig-zag, right then left", {"a", "c", "a"}, "a", 0},
        {"chain to the right", {"a", "a", "b"}, "a", 0},
    };
    for (const auto &c : cases) {
        Node *n[3];
        Tree *root = nullptr;
        for (int i = 0; i < 3; i++)
            Tree::insertInto(root, n[i] = new Node(c.names[i]));
        root = Tree::balance(root);   // leaves trees under four nodes as they are
        EXPECT_EQ(root, n[0]) << c.shape;
        EXPECT_EQ(Tree::find(root, c.key), n[c.found]) << c.shape;
        EXPECT_EQ(Tree::findWhileFilling(root, c.key), n[c.found]) << c.shape;
        delete root;
    }
    EXPECT_EQ(Node::alive, 0);
}

TEST(Tree, InsertsInNameOrderStayShallowAndBalanceToTheTreeOfPlainInserts)
{
    // Sorted names (as archives and configurations bring them), each twice,
    // then names in a scrambled order.
    std::vector<Node *> inserted;
    Tree *root = nullptr;
    char name[16];
    for (int i = 0; i < 70000; i++) {
        snprintf(name, sizeof name, "%07d", i < 50000 ? i : (i - 50000) * 7919 % 20000 * 5 + 1);
        for (int copy = 0; copy < (i < 50000 ? 2 : 1); copy++) {
            inserted.push_back(new Node(name));
            Tree::insertInto(root, inserted.back());
        }
    }
    EXPECT_LE(height(root), 40u); // a chain of 120,000 without the rebuilds
    EXPECT_EQ(Tree::count(root), 120000u);
    // The balanced tree is built over the name order, equal names as they came.
    std::vector<Node *> expected = inserted;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const Node *a, const Node *b) { return strcmp(a->name.c_str(), b->name.c_str()) < 0; });
    root = Tree::balance(root);
    EXPECT_EQ(root, expected[expected.size() / 2]);
    std::vector<Node *> order;
    Tree::forEachInOrder(static_cast<Node *>(root), [&order](Node *n) { order.push_back(n); });
    EXPECT_TRUE(order == expected);
    EXPECT_EQ(height(root), 17u);
    delete root;
    EXPECT_EQ(Node::alive, 0);
}

TEST(Strings, CompareNamesNumbersAndBytes)
{
    EXPECT_TRUE(String::compare(nullptr, "") == 0 && String::compare("", "a") < 0 && String::compare("a", nullptr) > 0);
    EXPECT_EQ(String::comparePath("a\\b", "a/b"), 0);
    EXPECT_GT(String::comparePath("a/\xe9", "a/b"), 0); // bytes compare unsigned
    for (auto [path, name] : {std::pair{"dir/sub\\x.jpg", "x.jpg"}, {"dir/", ""}, {"x.jpg", "x.jpg"}})
        EXPECT_STREQ(String(path).fileName(), name) << path;
    for (auto [from, to] : {std::pair{"page007.htm", "page008.htm"}, {"page999.htm", ""}, {"ab.htm", ""}}) {
        String n(from);
        n.incrementNumber();
        EXPECT_STREQ(n.isEmpty() ? "" : n.c_str(), to) << from;
    }
    String a;
    a.append(nullptr);
    EXPECT_TRUE(a.isEmpty());
    char upper[] = "AB\xC4Z";
    EXPECT_STREQ(strlwr(upper), "ab\xC4z");
    EXPECT_TRUE(swap16(0x0080) == -32768 && swap32(0x11223344u) == 0x44332211u);
    const uint8_t bytes[] = {1, 2, 3};
    ByteReader r(bytes, sizeof bytes); // stops at the end
    EXPECT_TRUE(r.u16() == 0x0201 && r.u16() == 0 && !r.ok());
}

TEST(Strings, NumberRanges)
{
    // Input, first and last number (-1: not checked), and what is left of the text.
    const struct {
        const char *text;
        int first, last;
        const char *rest;
    } cases[] = {{"  5-12 a.bmp", 5, 12, "a.bmp"}, {"9-3 c.bmp  ", 3, 3, "c.bmp"},
                 {"4-x.bmp", -1, 4, "-x.bmp"},     {"12", 0, 0, "12"},
                 {"1234 z", 123, -1, nullptr}};
    for (const auto &c : cases) {
        std::string text = c.text;
        unsigned f = 0, l = 0;
        parseNumberRange(&text[0], f, l);
        EXPECT_TRUE(c.first < 0 || f == (unsigned)c.first) << c.text << " first " << f;
        EXPECT_TRUE(c.last < 0 || l == (unsigned)c.last) << c.text << " last " << l;
        EXPECT_TRUE(!c.rest || text.c_str() == std::string(c.rest)) << c.text << " rest " << text.c_str();
    }
}

} // namespace
