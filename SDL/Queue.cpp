#include "Queue.h"

#include "Assert.h"

#include <stdlib.h>

static const char *SOURCE = "Queue";

Queue *Queue_new()
{
    Queue *queue = (Queue *)calloc(1, sizeof(Queue));
    M2_ASSERT(queue != NULL, SOURCE);
    return queue;
}

void Queue_delete(Queue *queue)
{
    M2_ASSERT(queue != NULL, SOURCE);
    while (queue->first)
        Queue_pop(queue);
    free(queue);
}

void Queue_push(Queue *queue, void *element)
{
    M2_ASSERT(queue != NULL, SOURCE);
    QueueNode *node = (QueueNode *)malloc(sizeof(QueueNode));
    M2_ASSERT(node != NULL, SOURCE);
    node->element = element;
    node->next = NULL;
    if (queue->last)
        queue->last->next = node;
    else
        queue->first = node;
    queue->last = node;
}

void *Queue_pop(Queue *queue)
{
    M2_ASSERT(queue != NULL, SOURCE);
    QueueNode *node = queue->first;
    if (!node)
        return NULL;
    queue->first = node->next;
    if (!queue->first)
        queue->last = NULL;
    void *element = node->element;
    free(node);
    return element;
}

void *Queue_peek(const Queue *queue)
{
    M2_ASSERT(queue != NULL, SOURCE);
    return queue->first ? queue->first->element : NULL;
}

void *Queue_peekLast(const Queue *queue)
{
    M2_ASSERT(queue != NULL, SOURCE);
    return queue->last ? queue->last->element : NULL;
}

bool Queue_isEmpty(const Queue *queue)
{
    M2_ASSERT(queue != NULL, SOURCE);
    return queue->first == NULL;
}
