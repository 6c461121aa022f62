// The core's named binary search tree. File, FontStyle, ImageList, Scheme
// and Theme derive from it; each kind lives in a tree of its own.
#ifndef MIRANDOL_TREE_H
#define MIRANDOL_TREE_H

#include "Strings.h"

#include <stdint.h>

#include <vector>

class Tree {
public:
    String name;
    Tree *left = nullptr;
    Tree *right = nullptr;
    // Levels of this subtree, kept by the inserts and balance(). While a
    // tree fills (insertInto), subtrees whose sides grow apart are rotated
    // (an AVL tree), so trees filled in name order (archive members,
    // configuration names) cost O(n log n) and not O(n^2). Rotations keep
    // the order of the nodes, equal names included, as plain inserts would
    // have it, so balance() gives the very tree it gives after plain
    // inserts; trees of fewer than four nodes, which balance() leaves as
    // they are, are never rotated.
    uint32_t height = 1;

    virtual ~Tree();

    // Links node under a non-null root as a plain insert does (equal names
    // go right, after every equal name already there); no other link
    // changes. For inserts into a tree that was balanced after loading.
    static void insert(Tree *root, Tree *node);
    // Inserts into *root while the tree fills, starting the tree when it is
    // empty; *root may become another node.
    static void insertInto(Tree *&root, Tree *node);
    // The node of that name (findPath: a backslash matches a slash): the
    // first match met from the root, so of equal names the one nearer the
    // root, wherever balance() put it. Null for a null or empty key.
    static Tree *find(Tree *root, const char *key);
    static Tree *findPath(Tree *root, const char *key);
    // find() for a tree that is still filling: what find() meets first in
    // the tree that plain inserts build, which is of equal names the one
    // inserted first (a later equal name always lies below it there).
    static Tree *findWhileFilling(Tree *root, const char *key);
    static unsigned count(const Tree *node);
    static void flatten(Tree *node, Tree **&cursor);
    static void buildBalanced(Tree *node, Tree **array, int lo, int mid, int hi);
    static Tree *balance(Tree *root);

    // Calls visit(node) for every node of the subtree in name order, with an
    // explicit stack (trees may be long chains).
    template <class T, class Visit>
    static void forEachInOrder(T *root, Visit visit)
    {
        std::vector<Tree *> stack;
        Tree *cur = root;
        while (cur || !stack.empty()) {
            while (cur) {
                stack.push_back(cur);
                cur = cur->left;
            }
            cur = stack.back();
            stack.pop_back();
            Tree *next = cur->right;
            visit(static_cast<T *>(cur));
            cur = next;
        }
    }

    template <class T>
    static T *findAs(Tree *root, const char *key) { return static_cast<T *>(find(root, key)); }
    template <class T>
    static T *findPathAs(Tree *root, const char *key) { return static_cast<T *>(findPath(root, key)); }
};

#endif
