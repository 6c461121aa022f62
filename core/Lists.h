// Owned singly linked lists (tokens, links, areas, layout records) are freed
// one node at a time, never by a recursion as deep as the list is long.
#ifndef MIRANDOL_LISTS_H
#define MIRANDOL_LISTS_H

// Deletes every node of the list starting at head and leaves head null. Each
// node is unlinked before its delete, so no destructor follows `next`.
template <class Node>
void deleteChain(Node *&head)
{
    while (head) {
        Node *following = head->next;
        head->next = nullptr;
        delete head;
        head = following;
    }
}

#endif
