#include "Tree.h"

#include <string.h>
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

void Tree::insert(Tree *root, Tree *node)
{
    if (!root || !node)
        return;
    node->left = node->right = nullptr;
    Tree *cur = root;
    for (;;) {
        if (strcmp(node->name.c_str(), cur->name.c_str()) >= 0) {
            if (!cur->right) {
                cur->right = node;
                return;
            }
            cur = cur->right;
        } else {
            if (!cur->left) {
                cur->left = node;
                return;
            }
            cur = cur->left;
        }
    }
}

void Tree::insertInto(Tree *&root, Tree *node)
{
    if (!node)
        return;
    if (!root) {
        node->left = node->right = nullptr;
        root = node;
    } else {
        insert(root, node);
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
    return newRoot;
}
