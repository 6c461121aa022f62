// Vector: a growable array of pointer-sized elements. The vector owns its
// array, not the elements. Elements that Vector_deleteAll frees must come
// from malloc (strdup and friends): that is the one allocator of owned
// elements throughout the SDL layer.
#ifndef MIRANDOL_VECTOR_H
#define MIRANDOL_VECTOR_H

struct Vector {
    int capacity;
    int size;
    void **elements;
};

Vector *Vector_new(int elements);
Vector *Vector_create();
void Vector_delete(Vector *vector);
void Vector_deleteAll(Vector *vector);
int Vector_size(const Vector *vector);
void **Vector_data(Vector *vector);
void Vector_add(Vector *vector, void *element);
void *Vector_get(const Vector *vector, int index);
void Vector_set(Vector *vector, int index, void *element);
void Vector_insertAt(Vector *vector, int index, void *element);
void *Vector_removeAt(Vector *vector, int index);
void *Vector_removeLast(Vector *vector);
void Vector_clear(Vector *vector);
int Vector_indexOf(const Vector *vector, const void *element);
bool Vector_checkBounds(const Vector *vector, int index);
void Vector_reverse(Vector *vector);
void Vector_dump(const Vector *vector);

#endif
