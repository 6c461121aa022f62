#include "Vector/Vector.h"

#include "Assert.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char *SOURCE = "Vector";

static void **allocateArray(int capacity)
{
    void **array = (void **)calloc((size_t)capacity, sizeof(void *));
    if (!array) {
        fprintf(stderr, "Vector: out of memory\n");
        abort();
    }
    return array;
}

Vector *Vector_new(int elements)
{
    M2_ASSERT(elements > 0, SOURCE);
    Vector *vector = (Vector *)malloc(sizeof(Vector));
    if (!vector) {
        fprintf(stderr, "Vector: out of memory\n");
        abort();
    }
    vector->capacity = elements;
    vector->size = 0;
    vector->elements = allocateArray(elements);
    return vector;
}

Vector *Vector_create()
{
    return Vector_new(2);
}

void Vector_delete(Vector *vector)
{
    M2_ASSERT(vector != NULL, SOURCE);
    free(vector->elements);
    free(vector);
}

void Vector_deleteAll(Vector *vector)
{
    M2_ASSERT(vector != NULL, SOURCE);
    for (int i = 0; i < vector->size; i++)
        free(vector->elements[i]);
    Vector_delete(vector);
}

int Vector_size(const Vector *vector)
{
    M2_ASSERT(vector != NULL, SOURCE);
    return vector->size;
}

void **Vector_data(Vector *vector)
{
    M2_ASSERT(vector != NULL, SOURCE);
    return vector->elements;
}

static void grow(Vector *vector)
{
    if (vector->size < vector->capacity)
        return;
    if (vector->capacity > INT32_MAX / 2) {
        fprintf(stderr, "Vector: too many elements\n");
        abort();
    }
    int capacity = vector->capacity * 2;
    void **array = allocateArray(capacity);
    memcpy(array, vector->elements, sizeof(void *) * (size_t)vector->size);
    free(vector->elements);
    vector->elements = array;
    vector->capacity = capacity;
}

void Vector_add(Vector *vector, void *element)
{
    M2_ASSERT(vector != NULL, SOURCE);
    grow(vector);
    vector->elements[vector->size++] = element;
}

void *Vector_get(const Vector *vector, int index)
{
    M2_ASSERT(vector != NULL, SOURCE);
    M2_ASSERT(Vector_checkBounds(vector, index) != FALSE, SOURCE);
    return vector->elements[index];
}

void Vector_set(Vector *vector, int index, void *element)
{
    M2_ASSERT(vector != NULL, SOURCE);
    M2_ASSERT(Vector_checkBounds(vector, index) != FALSE, SOURCE);
    vector->elements[index] = element;
}

void Vector_insertAt(Vector *vector, int index, void *element)
{
    M2_ASSERT(vector != NULL, SOURCE);
    M2_ASSERT(Vector_checkBounds(vector, index) != FALSE, SOURCE);
    grow(vector);
    memmove(vector->elements + index + 1, vector->elements + index,
            sizeof(void *) * (size_t)(vector->size - index));
    vector->elements[index] = element;
    vector->size++;
}

void *Vector_removeAt(Vector *vector, int index)
{
    M2_ASSERT(vector != NULL, SOURCE);
    M2_ASSERT(Vector_checkBounds(vector, index) != FALSE, SOURCE);
    void *element = vector->elements[index];
    memmove(vector->elements + index, vector->elements + index + 1,
            sizeof(void *) * (size_t)(vector->size - index - 1));
    vector->size--;
    vector->elements[vector->size] = NULL;
    return element;
}

void *Vector_removeLast(Vector *vector)
{
    M2_ASSERT(vector != NULL, SOURCE);
    if (vector->size == 0)
        return NULL;
    vector->size--;
    void *element = vector->elements[vector->size];
    vector->elements[vector->size] = NULL;
    return element;
}

void Vector_clear(Vector *vector)
{
    M2_ASSERT(vector != NULL, SOURCE);
    vector->size = 0;
}

int Vector_indexOf(const Vector *vector, const void *element)
{
    M2_ASSERT(vector != NULL, SOURCE);
    for (int i = 0; i < vector->size; i++)
        if (vector->elements[i] == element)
            return i;
    return -1;
}

bool Vector_checkBounds(const Vector *vector, int index)
{
    if (index < 0)
        return false;
    M2_ASSERT(vector != NULL, SOURCE);
    return index < vector->size;
}

void Vector_reverse(Vector *vector)
{
    M2_ASSERT(vector != NULL, SOURCE);
    for (int i = 0, j = vector->size - 1; i < j; i++, j--) {
        void *t = vector->elements[i];
        vector->elements[i] = vector->elements[j];
        vector->elements[j] = t;
    }
}

void Vector_dump(const Vector *vector)
{
    M2_ASSERT(vector != NULL, SOURCE);
    for (int i = 0; i < vector->size; i++)
        printf("addr: %p ", vector->elements[i]);
    printf("\n");
}
