#include "Tree.h"

#include <string.h>

#include <algorithm>
#include <new>
#include <vector>

// Trees arrive as long chains (archive members come sorted), so every walk
// here is iterative: no recursion depth grows with the number of nodes.

Tree::~Tree()
{
    // Detach both subtrees and delete them with an explicit stack.
    std::vector<Tree *> pending;
    if (left)
        pending.push_back(left);
    if (right)
        pending.push_back(right);
    left = right = nullptr;
    while (!pending.empty()) {
        Tree *node = pending.back();
        pending.pop_back();
        if (node->left)
            pending.push_back(node->left);
        if (node->right)
            pending.push_back(node->right);
        node->left = node->right = nullptr;
        delete node;
    }
}

static uint32_t weightOf(const Tree *t) { return t ? t->weight : 0; }

// Sets every weight of the subtree from its shape.
static void setWeights(Tree *root)
{
    std::vector<Tree *> order;   // parents before their children
    if (root)
        order.push_back(root);
    for (size_t i = 0; i < order.size(); i++) {
        if (order[i]->left)
            order.push_back(order[i]->left);
        if (order[i]->right)
            order.push_back(order[i]->right);
    }
    for (size_t i = order.size(); i-- > 0;)
        order[i]->weight = 1 + weightOf(order[i]->left) + weightOf(order[i]->right);
}

// Relinks the subtree into a balanced one over the same in-order sequence.
static Tree *rebuild(Tree *root)
{
    std::vector<Tree *> nodes;
    nodes.reserve(weightOf(root));
    Tree::forEachInOrder(root, [&nodes](Tree *t) { nodes.push_back(t); });
    struct Range { Tree **slot; size_t lo, hi; };   // hi exclusive
    Tree *top = nullptr;
    std::vector<Range> pending{{&top, 0, nodes.size()}};
    while (!pending.empty()) {
        Range r = pending.back();
        pending.pop_back();
        if (r.lo >= r.hi) {
            *r.slot = nullptr;
            continue;
        }
        size_t mid = r.lo + (r.hi - r.lo) / 2;
        Tree *t = nodes[mid];
        *r.slot = t;
        t->weight = (uint32_t)(r.hi - r.lo);
        pending.push_back({&t->left, r.lo, mid});
        pending.push_back({&t->right, mid + 1, r.hi});
    }
    return top;
}

// A subtree is rebuilt when one side holds more than 2/3 of it.
static bool lopsided(const Tree *t)
{
    uint32_t bigger = std::max(weightOf(t->left), weightOf(t->right));
    return t->weight > 8 && (uint64_t)bigger * 3 > (uint64_t)t->weight * 2;
}

// Links node under *root and rebuilds the highest lopsided subtree on its
// path; the root itself is rebuilt only when it may be replaced.
static void insertNode(Tree **root, Tree *node, bool rootMayMove)
{
    node->left = node->right = nullptr;
    node->weight = 1;
    std::vector<Tree **> path;   // the links walked, from the root's own
    Tree **link = root;
    while (*link) {
        Tree *cur = *link;
        path.push_back(link);
        cur->weight++;
        link = strcmp(node->name.c_str(), cur->name.c_str()) >= 0 ? &cur->right : &cur->left;
    }
    *link = node;
    for (size_t i = rootMayMove ? 0 : 1; i < path.size(); i++) {
        if (lopsided(*path[i])) {
            *path[i] = rebuild(*path[i]);
            break;
        }
    }
}

void Tree::insert(Tree *root, Tree *node)
{
    if (!root || !node)
        return;
    insertNode(&root, node, false);
}

void Tree::insertInto(Tree *&root, Tree *node)
{
    if (!node)
        return;
    if (!root) {
        node->left = node->right = nullptr;
        node->weight = 1;
        root = node;
    } else {
        insertNode(&root, node, true);
    }
}

Tree *Tree::find(Tree *root, const char *key)
{
    if (!key || !*key)
        return nullptr;
    for (Tree *cur = root; cur;) {
        int c = String::compare(key, cur->name.str);
        if (c == 0)
            return cur;
        cur = c < 0 ? cur->left : cur->right;
    }
    return nullptr;
}

Tree *Tree::findPath(Tree *root, const char *key)
{
    if (!key || !*key)
        return nullptr;
    for (Tree *cur = root; cur;) {
        int c = String::comparePath(key, cur->name.str);
        if (c == 0)
            return cur;
        cur = c < 0 ? cur->left : cur->right;
    }
    return nullptr;
}

unsigned Tree::count(const Tree *node)
{
    unsigned n = 0;
    std::vector<const Tree *> pending;
    if (node)
        pending.push_back(node);
    while (!pending.empty()) {
        const Tree *t = pending.back();
        pending.pop_back();
        n++;
        if (t->left)
            pending.push_back(t->left);
        if (t->right)
            pending.push_back(t->right);
    }
    return n;
}

void Tree::flatten(Tree *node, Tree **&cursor)
{
    // Child links are cleared as nodes are emitted.
    forEachInOrder(node, [&cursor](Tree *t) {
        t->left = t->right = nullptr;
        *cursor++ = t;
    });
}

void Tree::buildBalanced(Tree *node, Tree **array, int lo, int mid, int hi)
{
    struct Range { Tree *node; int lo, mid, hi; };
    std::vector<Range> pending;
    pending.push_back({node, lo, mid, hi});
    while (!pending.empty()) {
        Range r = pending.back();
        pending.pop_back();
        if (r.lo >= r.hi)
            continue;
        if (r.lo < r.mid) {
            int m = (r.lo + r.mid - 1) / 2;
            r.node->left = array[m];
            pending.push_back({array[m], r.lo, m, r.mid - 1});
        }
        if (r.mid < r.hi) {
            int m = (r.mid + 1 + r.hi) / 2;
            r.node->right = array[m];
            pending.push_back({array[m], r.mid + 1, m, r.hi});
        }
    }
}

Tree *Tree::balance(Tree *root)
{
    unsigned n = count(root);
    if (n < 4)
        return root;
    Tree **array = new (std::nothrow) Tree *[n];
    if (!array)
        return root;
    Tree **cursor = array;
    flatten(root, cursor);
    Tree *newRoot = array[n / 2];
    buildBalanced(newRoot, array, 0, (int)(n / 2), (int)n - 1);
    delete[] array;
    setWeights(newRoot);
    return newRoot;
}
