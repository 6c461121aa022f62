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

static int heightOf(const Tree *t) { return t ? (int)t->height : 0; }

static void updateHeight(Tree *t) { t->height = (uint32_t)(1 + std::max(heightOf(t->left), heightOf(t->right))); }

// Sets every height of the subtree from its shape.
static void setHeights(Tree *root)
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
        updateHeight(order[i]);
}

// Rotations keep the order of the nodes, equal names included.
static Tree *rotateLeft(Tree *t)
{
    Tree *r = t->right;
    t->right = r->left;
    r->left = t;
    updateHeight(t);
    updateHeight(r);
    return r;
}

static Tree *rotateRight(Tree *t)
{
    Tree *l = t->left;
    t->left = l->right;
    l->right = t;
    updateHeight(t);
    updateHeight(l);
    return l;
}

// The subtree with its sides at most one level apart (an AVL step). Trees of
// up to three levels keep the shape plain inserts give them: balance()
// leaves trees of fewer than four nodes as they are.
static Tree *rebalance(Tree *t)
{
    updateHeight(t);
    if (t->height <= 3)
        return t;
    int lean = heightOf(t->left) - heightOf(t->right);
    if (lean > 1) {
        if (heightOf(t->left->left) < heightOf(t->left->right))
            t->left = rotateLeft(t->left);
        return rotateRight(t);
    }
    if (lean < -1) {
        if (heightOf(t->right->right) < heightOf(t->right->left))
            t->right = rotateRight(t->right);
        return rotateLeft(t);
    }
    return t;
}

// Links node under *root (equal names go right, so after every equal name
// already there). With rotate set, the subtrees on its path are rebalanced,
// so the tree stays O(log n) deep whatever order the names come in; the
// root itself moves only when rootMayMove is set too. Without rotate the
// node is linked as a plain insert links it and no other link changes.
static void insertNode(Tree **root, Tree *node, bool rotate, bool rootMayMove)
{
    node->left = node->right = nullptr;
    node->height = 1;
    static thread_local std::vector<Tree **> path;   // the links walked, from the root's own
    path.clear();
    Tree **link = root;
    while (*link) {
        Tree *cur = *link;
        path.push_back(link);
        link = strcmp(node->name.c_str(), cur->name.c_str()) >= 0 ? &cur->right : &cur->left;
    }
    *link = node;
    for (size_t i = path.size(); i-- > 0;) {
        if (!rotate || (i == 0 && !rootMayMove))
            updateHeight(*path[i]);
        else
            *path[i] = rebalance(*path[i]);
    }
}

void Tree::insert(Tree *root, Tree *node)
{
    if (!root || !node)
        return;
    insertNode(&root, node, false, false);
}

void Tree::insertInto(Tree *&root, Tree *node)
{
    if (!node)
        return;
    if (!root) {
        node->left = node->right = nullptr;
        node->height = 1;
        root = node;
    } else {
        insertNode(&root, node, true, true);
    }
}

// The walk from the root. firstGiven unset: it stops at the first match met.
// firstGiven set: it goes on left past every match and returns the last one
// met, the first of the equal names in name order, which is the first one
// inserted (inserts put an equal name after the ones there, rotations and
// balance() keep the order).
template <int (*Compare)(const char *, const char *)>
static Tree *search(Tree *root, const char *key, bool firstGiven)
{
    if (!key || !*key)
        return nullptr;
    Tree *found = nullptr;
    for (Tree *cur = root; cur;) {
        int c = Compare(key, cur->name.str);
        if (c == 0) {
            if (!firstGiven)
                return cur;
            found = cur;
        }
        cur = c <= 0 ? cur->left : cur->right;
    }
    return found;
}

Tree *Tree::find(Tree *root, const char *key)
{
    return search<String::compare>(root, key, false);
}

Tree *Tree::findPath(Tree *root, const char *key)
{
    return search<String::comparePath>(root, key, false);
}

Tree *Tree::findWhileFilling(Tree *root, const char *key)
{
    return search<String::compare>(root, key, true);
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
    setHeights(newRoot);
    return newRoot;
}
