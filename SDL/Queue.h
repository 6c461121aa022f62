// Queue: a singly linked first-in first-out list of element pointers.
// Not locked by itself: SDLSystem guards its message queue with a mutex.
#ifndef MIRANDOL_QUEUE_H
#define MIRANDOL_QUEUE_H

struct QueueNode {
    void *element;
    QueueNode *next;
};

struct Queue {
    QueueNode *first;
    QueueNode *last;
};

Queue *Queue_new();
// Frees the nodes and the head, not the elements.
void Queue_delete(Queue *queue);
void Queue_push(Queue *queue, void *element);
void *Queue_pop(Queue *queue);
void *Queue_peek(const Queue *queue);
void *Queue_peekLast(const Queue *queue);
bool Queue_isEmpty(const Queue *queue);

#endif
